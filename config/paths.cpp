#include "config/paths.h"

namespace {
std::vector<std::string>& CommandLineWords() {
  static std::vector<std::string> words;
  return words;
}
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  CommandLineWords().assign(argv, argv + argc);
}

const std::vector<std::string>& GetCommandLine() { return CommandLineWords(); }

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
