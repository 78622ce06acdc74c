#include "config/paths.h"

std::string FindFile(const std::string& path, const std::string& program_dir) {
  if (IsAbsolutePath(path)) return FileExists(path) ? path : "";
  const std::string in_current = GetCurrentDir() + path;
  if (FileExists(in_current)) return in_current;
  const std::string in_program = program_dir + path;
  if (FileExists(in_program)) return in_program;
  return "";
}

std::string MakeFullPath(const std::string& path, const std::string& base, bool must_exist) {
  const std::string candidate = IsAbsolutePath(path) ? path : base + path;
  if (must_exist && !FileExists(candidate)) return "";
  return candidate;
}
