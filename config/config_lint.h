#ifndef CONFIG_CONFIG_LINT_H_
#define CONFIG_CONFIG_LINT_H_

#include <string>
#include <vector>

class IniDocument;

// The warning lines (without "warning: ") for what a run of `ini` would get
// wrong without saying so: keys it does not read as written, sections it
// never reads, settings that read as 0, sites it cannot draw, a SavePath it
// cannot use, steps that end the chain early or leave placeholders in the
// link. `sites` are the site numbers whose sections are looked at.
std::vector<std::string> ConfigurationWarnings(const IniDocument& ini,
                                               const std::vector<int>& sites);

// What makes a run of `ini` end with exit code 101 or make no attempt, one
// line each (without "FAILED at configuration: "): TryNumber below 1, a
// SavePath that does not exist or cannot be written (tried with a file of
// the check's own, created and removed). `program_dir` is where a relative
// SavePath starts.
std::vector<std::string> ConfigurationFailures(const IniDocument& ini,
                                               const std::string& program_dir);

// The site numbers from 1 to `sites_count` that have a [SiteN] section, in
// order; MissingSites: those that have none, at most `most` of them from the
// first. Memory and time follow the sections present, not `sites_count`.
std::vector<int> ExistingSites(const IniDocument& ini, int sites_count);
std::vector<int> MissingSites(const IniDocument& ini, int sites_count, size_t most);

// Missing site numbers up to this many are named one by one.
constexpr size_t kMissingSitesListed = 10;

#endif  // CONFIG_CONFIG_LINT_H_
