#ifndef SUGGESTION_STEP_RULE_H_
#define SUGGESTION_STEP_RULE_H_

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "suggestion/page_links.h"

// One crawl step as Sites.ini writes it.
struct StepRule {
  std::string expression;    // StepNGet
  std::string url_template;  // StepNGo
};

// A page the rule is made for: its address (what relative links are
// resolved against, its <base> included), its text and the links the rule
// must find on it.
struct RulePage {
  std::string base;
  const std::string* text = nullptr;
  std::vector<const PageLink*> wanted;
};

// What a rule does on its pages.
struct RuleFit {
  bool finds_all = false;  // every wanted link, on every page
  int unwanted = 0;        // distinct other addresses it finds
};

// The rule that finds the wanted links of every page, generalised from them
// as siblings: the markup before and after them kept as literal anchors,
// their varying parts (names, numbers, date folders) as character classes,
// so that it finds tomorrow's links too; made more literal where it would
// otherwise find other links of the pages (thumbnails, other sizes,
// navigation). False when no rule finds them all; `*fit` says how close
// the rule came to finding nothing else.
bool MakeStepRule(const std::vector<RulePage>& pages, StepRule* rule, RuleFit* fit);

// What `rule` finds on a page of `text` (fetched from an address whose
// links resolve against `base`): the links as the crawl would make them.
std::vector<std::string> ApplyStepRule(const StepRule& rule, const std::string& text);

#endif  // SUGGESTION_STEP_RULE_H_
