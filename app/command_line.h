#ifndef APP_COMMAND_LINE_H_
#define APP_COMMAND_LINE_H_

#include <string>
#include <vector>

// The program's command line, read strictly: a word that starts with "-"
// is an option, and one the program does not know is an error, so a typo
// never becomes the name of a configuration. "--" ends the options.
//
//   wallpaper-fetcher [--] [CONFIG]             a run
//   wallpaper-fetcher --check [--site N] [CONFIG]
//   wallpaper-fetcher --init [PATH]
//   wallpaper-fetcher --suggest URL [--name NAME] [--add [FILE]]
//   wallpaper-fetcher --status | --help | -h | --version

enum class Command { kRun, kCheck, kInit, kSuggest, kStatus, kHelp, kVersion, kUsageError };

struct CommandLine {
  Command command = Command::kRun;
  // The word after the options: CONFIG of a run or a check, PATH of --init.
  bool file_named = false;
  std::string file;
  int site = 0;             // --check --site N; 0 when not given
  std::string url;          // --suggest URL
  bool name_given = false;  // --suggest --name NAME
  std::string name;
  bool add = false;                  // --suggest --add [FILE]: FILE is `file`
  std::string error;                 // kUsageError: what is wrong, in words
  Command usage_of = Command::kRun;  // kUsageError: the command it was given for
};

// Reads `words` ([0] is the program). A run ignores words after CONFIG, as
// it always has; the other commands take at most one.
CommandLine ParseCommandLine(const std::vector<std::string>& words);

// The one line that follows a usage error on standard error: the usage of
// `command` (of the whole program for a run).
std::string UsageHint(Command command);

#endif  // APP_COMMAND_LINE_H_
