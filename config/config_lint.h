#ifndef CONFIG_CONFIG_LINT_H_
#define CONFIG_CONFIG_LINT_H_

#include <string>
#include <vector>

class IniDocument;

// The warning lines (without "warning: ") for what a run of `ini` would get
// wrong without saying so: keys it does not read as written, sections it
// never reads, settings that read as 0, sites it cannot draw, a SavePath it
// cannot use, steps that end the chain early or leave placeholders in the
// link. `sites` are the site numbers whose sections are looked at;
// `program_dir` is where a relative SavePath starts.
std::vector<std::string> ConfigurationWarnings(const IniDocument& ini,
                                               const std::vector<int>& sites,
                                               const std::string& program_dir);

#endif  // CONFIG_CONFIG_LINT_H_
