#ifndef SUGGESTION_PROOF_H_
#define SUGGESTION_PROOF_H_

#include <functional>
#include <string>
#include <vector>

#include "picture/picture_codec.h"
#include "platform/desktop/desktop.h"
#include "platform/network/internet.h"
#include "suggestion/step_rule.h"
#include "suggestion/web_probe.h"

// What a proof crawls with: the system's transfers and pictures (a test's
// fakes), and the desktop, which a check never asks.
struct ProofTools {
  Internet& internet;
  PictureCodec& pictures;
  Desktop& desktop;
  std::function<int64_t()> clock;
  // Where the proof's crawls keep their files: a private directory of the
  // caller's (--check has one already), "" for one of the proof's own.
  std::string directory;
};

// What the proof found.
struct ProofResult {
  bool proved = false;
  int runs = 0;                       // runs made, each from Begin to a picture or a failure
  std::vector<std::string> pictures;  // the picture URL each run ended at
  std::string failure;                // why it was not proved, in words
  std::string failed_url;             // the address a failed run went wrong at, "" when none
};

// The section's Sites.ini text (LF line ends): Name, SecondsToDownload,
// Begin and the steps.
std::string SiteSectionText(int site, const std::string& name, long seconds,
                            const std::string& begin, const std::vector<StepRule>& steps);

// Runs the chain `runs` times through the check's own crawl (Crawler in
// check mode, in a private directory, changing nothing), each run drawing
// its own links; proved when every run ends at a decodable picture at
// least `min_width` x `min_height` (and no larger than `max_width` x
// `max_height`, when these are not 0). Its requests are counted on `probe`,
// whose bounds it keeps.
ProofResult ProveChain(const std::string& begin, const std::vector<StepRule>& steps, int runs,
                       long long min_width, long long min_height, WebProbe& probe,
                       const ProofTools& tools);

#endif  // SUGGESTION_PROOF_H_
