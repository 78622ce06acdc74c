#include "config/paths.h"

namespace {
std::vector<std::string>& CommandLineWords() {
  static std::vector<std::string> words;
  return words;
}

struct NamedConfiguration {
  bool named = false;
  std::string path;
};
NamedConfiguration& Named() {
  static NamedConfiguration named;
  return named;
}
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  CommandLineWords().assign(argv, argv + argc);
  SetNamedConfiguration(argc > 1 ? &CommandLineWords()[1] : nullptr);
}

const std::vector<std::string>& GetCommandLine() { return CommandLineWords(); }

const std::string* GetNamedConfiguration() { return Named().named ? &Named().path : nullptr; }

void SetNamedConfiguration(const std::string* named) {
  Named().named = named != nullptr;
  Named().path = named != nullptr ? *named : "";
}

std::string GetProgramDir() {
  const std::vector<std::string>& words = GetCommandLine();
  return words.empty() ? std::string() : GetDirOfPath(words[0]);
}

std::string FindFile(const std::string& path) {
  if (IsAbsolutePath(path)) return FileExists(path) ? path : "";
  const std::string in_current = GetCurrentDir() + path;
  if (FileExists(in_current)) return in_current;
  const std::string in_program = GetProgramDir() + path;
  if (FileExists(in_program)) return in_program;
  return "";
}

std::string MakeFullPath(const std::string& path, const std::string& base, bool must_exist) {
  const std::string candidate = IsAbsolutePath(path) ? path : base + path;
  if (must_exist && !FileExists(candidate)) return "";
  return candidate;
}
