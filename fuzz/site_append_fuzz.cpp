// --add on any Sites.ini: appending a site either fails, leaving the file
// as it was, or leaves a file in which a run finds the new site and the new
// NumOfSites, every other section as it read them before.
//
// Input: the file's bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/ini_document.h"
#include "config/site_append.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The file at `path` as a run loads it.
IniDocument Loaded(const std::string& path) {
  IniDocument ini;
  ini.SetFileName(path);
  ini.Load();
  return ini;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One folder for the whole run, removed when the fuzzer ends.
  static char folder[] = "/tmp/site-append-fuzz-XXXXXX";
  static const std::string path = [] {
    if (::mkdtemp(folder) == nullptr) std::abort();
    std::atexit([] {
      std::remove((std::string(folder) + "/Sites.ini").c_str());
      ::rmdir(folder);
    });
    return std::string(folder) + "/Sites.ini";
  }();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  const IniDocument before = Loaded(path);
  constexpr int kSite = 900;
  const bool site_was_there = before.SectionExists("Site900");

  const Outcome appended = AppendSiteSection(path, "; a comment\n[Site900]\nName=Added", kSite);
  if (!appended.ok()) {
    if (ReadAll(path) != bytes) std::abort();  // a failure changes nothing
    return 0;
  }
  const IniDocument after = Loaded(path);
  // Where a run reads [General], it finds the new count.
  if (before.SectionExists("General") &&
      after.GetValue("General", "NumOfSites") != std::to_string(kSite)) {
    std::abort();
  }
  if (!site_was_there && before.SectionExists("General") &&
      after.GetValue("Site900", "Name") != "Added") {
    std::abort();
  }
  // Every section read before reads the same, [General] but for NumOfSites.
  for (const IniSection& section : before.sections()) {
    for (const IniEntry& entry : section.entries) {
      if (section.name == "General" && entry.key == "NumOfSites") continue;
      if (after.GetValue(section.name, entry.key) != before.GetValue(section.name, entry.key))
        std::abort();
    }
  }
  return 0;
}
