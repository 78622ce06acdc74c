// Main executable is library plus main() function.
#include <csignal>
#include <cstdio>

#include "app/command_line_help.h"
#include "app/fetcher_app.h"
#include "app/init_command.h"
#include "app/single_instance_guard.h"
#include "app/site_check.h"
#include "config/paths.h"
#include "platform/network/internet.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // Standard output may be a pipe whose reader went away: a failed write of
  // the trace, not the end of the run.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  SetCommandLine(argc, argv);
  const std::string help = HelpOrVersionText(GetCommandLine());
  if (!help.empty()) {
    std::fputs(help.c_str(), stdout);
    return 0;
  }
  if (IsInitCommand(GetCommandLine())) {
    std::string out, err;
    const int code = RunInitCommand(GetCommandLine(), &out, &err);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return code;
  }
  // A check writes nothing that a run writes, so it neither claims the
  // single-instance guard nor gives way to a running copy.
  if (IsCheckCommandLine(GetCommandLine())) {
    InitSystemInternet();
    return RunCheck(ParseCheckCommandLine(GetCommandLine()), SystemPlatform(), stdout, stderr);
  }
  // The guard comes first: a second instance ends inside its constructor.
  static SingleInstanceGuard guard;
  InitSystemInternet();
  static FetcherApp app;
  app.InitInstance();
  return 0;
}
