#ifndef SUGGESTION_SUGGESTER_H_
#define SUGGESTION_SUGGESTER_H_

#include <string>
#include <vector>

#include "suggestion/proof.h"
#include "suggestion/step_rule.h"
#include "suggestion/web_probe.h"

// What a suggestion came to.
struct Suggestion {
  bool proved = false;
  std::vector<StepRule> steps;        // the chain, empty when Begin is the picture
  std::vector<std::string> comments;  // what each step matches and what was left out
  std::vector<std::string> reasons;   // why no chain was proved
  long long width = 0;                // the picture's size
  long long height = 0;
};

// Searches the pages from `url` for the chain of at most three steps that
// leads to the largest pictures on offer, makes each step's expression from
// the sibling links it must find, and proves the chain by crawling it three
// times in check mode, all within `probe`'s bounds. `siblings`: other pages
// of the kind of `url` (a broken chain's other links to it), whose links the
// first step is made from as well.
Suggestion SuggestSite(const std::string& url, WebProbe& probe, const ProofTools& tools,
                       const std::vector<std::string>& siblings = {});

#endif  // SUGGESTION_SUGGESTER_H_
