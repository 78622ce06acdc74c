// Sites.ini as read from disk: loading, saving and loading again must give the
// same document, whatever the bytes; and --check's reading of it (the sites
// it looks at, its warnings) ends without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "config/config_lint.h"
#include "config/ini_document.h"
#include "platform/filesystem/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  IniDocument first;
  first.Parse(FromTextMode(bytes));
  const std::string saved = ToTextMode(first.Serialize());

  IniDocument second;
  second.Parse(FromTextMode(saved));
  if (second.Serialize() != first.Serialize()) std::abort();
  if (ToTextMode(second.Serialize()) != saved) std::abort();

  // Every section read back is found by its name; the first of a name
  // answers for its own keys (later duplicates are never searched).
  std::set<std::string> seen;
  for (const IniSection& section : second.sections()) {
    if (section.name.empty() || !second.SectionExists(section.name)) std::abort();
    if (!seen.insert(section.name).second) continue;
    for (const IniEntry& entry : section.entries) {
      if (!second.KeyExists(section.name, entry.key)) std::abort();
    }
    if (!section.entries.empty() &&
        second.GetValue(section.name, section.entries[0].key) != section.entries[0].value)
      std::abort();
  }
  (void)second.GetIntValue("General", "TryNumber");

  const int count = second.GetIntValue("General", "NumOfSites");
  const std::vector<int> sites = ExistingSites(second, count);
  for (int site : sites) {
    if (site < 1 || site > count || !second.SectionExists("Site" + std::to_string(site)))
      std::abort();
  }
  if (MissingSites(second, count, kMissingSitesListed).size() > kMissingSitesListed) std::abort();
  (void)ConfigurationWarnings(second, sites);
  return 0;
}
