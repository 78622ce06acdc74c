#include "app/command_line.h"

#include <cstdlib>

#include "platform/network/internet.h"

namespace {

struct Option {
  const char* word;
  Command command;
};
constexpr Option kCommands[] = {
    {"--check", Command::kCheck},     {"--init", Command::kInit}, {"--suggest", Command::kSuggest},
    {"--status", Command::kStatus},   {"--help", Command::kHelp}, {"-h", Command::kHelp},
    {"--version", Command::kVersion},
};

CommandLine UsageError(Command command, const std::string& error) {
  CommandLine line;
  line.command = Command::kUsageError;
  line.usage_of = command;
  line.error = error;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
  CommandLine line;
  bool command_given = false;
  bool options_end = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!options_end && word == "--") {
      options_end = true;
      continue;
    }
    if (options_end || word.empty() || word[0] != '-' || word == "-") {
      if (!line.file_named) {
        line.file_named = true;
        line.file = word;
      } else if (line.command != Command::kRun) {
        return UsageError(line.command, "unexpected argument '" + word + "'");
      }
      continue;
    }
    if (word == "--site") {
      if (line.command != Command::kCheck) {
        return UsageError(line.command, "--site goes with --check");
      }
      char* end = nullptr;
      const long site = i + 1 < words.size() ? std::strtol(words[i + 1].c_str(), &end, 10) : 0;
      if (i + 1 >= words.size() || words[i + 1].empty() || *end != '\0' || site < 1 ||
          site > 1000000) {
        return UsageError(line.command, "--site needs a site number from 1");
      }
      line.site = static_cast<int>(site);
      ++i;
      continue;
    }
    if (word == "--name" || word == "--add") {
      if (line.command != Command::kSuggest) {
        return UsageError(line.command, word + " goes with --suggest");
      }
      if (word == "--add") {
        line.add = true;
        continue;
      }
      if (i + 1 >= words.size() || words[i + 1].empty()) {
        return UsageError(line.command, "--name needs a name");
      }
      line.name_given = true;
      line.name = words[++i];
      continue;
    }
    const Option* option = nullptr;
    for (const Option& known : kCommands) {
      if (word == known.word) option = &known;
    }
    if (option == nullptr) return UsageError(line.command, "unknown option '" + word + "'");
    if (command_given || line.file_named) {
      return UsageError(line.command, "'" + word + "' must come first and alone");
    }
    command_given = true;
    line.command = option->command;
    if (line.command == Command::kSuggest) {
      if (i + 1 >= words.size() || words[i + 1].empty() || words[i + 1][0] == '-') {
        return UsageError(line.command, "--suggest needs the address of a page");
      }
      line.url = words[++i];
      const std::string scheme = SchemeOf(line.url);
      if (scheme != "http" && scheme != "https") {
        return UsageError(line.command, "--suggest needs an http or https address: " + line.url);
      }
    }
  }
  if (line.command == Command::kSuggest && line.file_named && !line.add) {
    return UsageError(line.command, "unexpected argument '" + line.file + "'");
  }
  if (line.file_named && (line.command == Command::kStatus || line.command == Command::kHelp ||
                          line.command == Command::kVersion)) {
    return UsageError(line.command, "unexpected argument '" + line.file + "'");
  }
  return line;
}

std::string UsageHint(Command command) {
  switch (command) {
    case Command::kCheck:
      return "Usage: wallpaper-fetcher --check [--site N] [FILE]";
    case Command::kInit:
      return "Usage: wallpaper-fetcher --init [PATH]";
    case Command::kSuggest:
      return "Usage: wallpaper-fetcher --suggest URL [--name NAME] [--add [FILE]]";
    default:
      return "Usage: wallpaper-fetcher [--] [CONFIG] | --check [--site N] [CONFIG] | --init [PATH]"
             " | --suggest URL | --status | --help | --version";
  }
}
