// Main executable is library plus main() function.
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_line_help.h"
#include "app/fetcher_app.h"
#include "app/init_command.h"
#include "app/run_record.h"
#include "app/single_instance_guard.h"
#include "app/site_check.h"
#include "app/suggest_command.h"
#include "picture/picture_codec.h"
#include "platform/console/console.h"
#include "platform/filesystem/user_files.h"
#include "platform/network/internet.h"

namespace {

// Every command but a run: prints where it was typed and ends.
int RunCommand(const CommandLine& line, const std::string& program) {
  const ConsoleShowsProgramText console_text;
  const std::string* named = line.file_named ? &line.file : nullptr;
  switch (line.command) {
    case Command::kUsageError:
      // Nothing read, written or fetched: a typo is not a configuration.
      std::fprintf(stderr, "wallpaper-fetcher: %s\n%s\n", line.error.c_str(),
                   UsageHint(line.usage_of).c_str());
      return 2;
    case Command::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case Command::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case Command::kStatus:
      std::fputs(RunStatusText(UserStateDir()).c_str(), stdout);
      return 0;
    case Command::kInit: {
      std::string out, err;
      const int code = RunInitCommand(named, GetDirOfPath(program), &out, &err);
      std::fputs(out.c_str(), stdout);
      std::fputs(err.c_str(), stderr);
      return code;
    }
    case Command::kCheck: {
      // A check writes nothing that a run writes, so it neither claims the
      // single-instance guard nor gives way to a running copy.
      InitSystemInternet();
      CheckRequest request;
      request.site = line.site;
      request.file_named = line.file_named;
      request.file = line.file;
      request.program_dir = GetDirOfPath(program);
      return RunCheck(request, SystemPlatform(), stdout, stderr);
    }
    case Command::kSuggest: {
      // Like a check, a suggestion changes nothing a run depends on.
      InitSystemInternet();
      SuggestRequest request;
      request.url = line.url;
      request.name = line.name;
      request.add = line.add;
      request.file_named = line.file_named;
      request.file = line.file;
      request.program_dir = GetDirOfPath(program);
      return RunSuggest(request, SystemPlatform(), stdout, stderr);
    }
    case Command::kRun:  // main's own
      break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // Standard output may be a pipe whose reader went away: a failed write of
  // the trace, not the end of the run.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  const std::vector<std::string> words(argv, argv + argc);
  // A decoder child started by this program does that alone.
  const int decoder_child = RunAsDecoderChild(words);
  if (decoder_child >= 0) return decoder_child;
  const std::string program = words.empty() ? std::string() : words[0];
  const CommandLine line = ParseCommandLine(words);
  if (line.command != Command::kRun) return RunCommand(line, program);
  // The guard comes first: a second instance gives way to the first at once.
  static SingleInstanceGuard guard(program);
  if (!guard.first_instance()) {
    // Nothing read or fetched; one line in the run record, so that a start
    // that never ran (a copy held by a box nobody answers) leaves a trace.
    const RunningCopy& running = guard.running_copy();
    (void)AppendRunLine(UserStateDir(), FormatGaveWayLine(program, running.pid, running.started,
                                                          std::time(nullptr)));
    return 0;
  }
  InitSystemInternet();
  Invocation invocation;
  invocation.program = program;
  invocation.file_named = line.file_named;
  invocation.file = line.file;
  invocation.record_dir = UserStateDir();
  invocation.single_instance_problem = guard.problem();
  static FetcherApp app(invocation);
  app.InitInstance();
  return 0;
}
