#include "support/end_to_end.h"

#include <sys/stat.h>

#include "config/ini_document.h"
#include "platform/filesystem/text_file.h"

void EndToEndTest::SetUp() {
  ASSERT_EQ(0, ::mkdir(dir_.Join("prog").c_str(), 0755));
  program_ = CopyFetcherInto(dir_.Join("prog/"));
  ASSERT_TRUE(server_.Start());
}

void EndToEndTest::WriteSitesIni(const std::string& general, const std::string& name, int seconds,
                                 const std::string& site) {
  const std::string text = "[General]\nDebugMode=1\nSuppressMessages=1\nNumOfSites=1\n" + general +
                           "\n[Site1]\nName=" + name +
                           "\nSecondsToDownload=" + std::to_string(seconds) + "\n" + site;
  WriteFileBytes(dir_.Join("prog/Sites.ini"), ToTextMode(text));
}

std::string EndToEndTest::General(const std::string& key) const {
  IniDocument ini;
  ini.SetFileName(dir_.Join("prog/Sites.ini"));
  ini.Load();
  return ini.GetValue("General", key);
}

std::map<std::string, std::string> EndToEndTest::NoDesktop() {
  // Whatever session the test itself runs in (a desktop's terminal, a CI
  // job started from one) is none of the program's.
  std::map<std::string, std::string> none;
  for (const char* name :
       {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "DBUS_SESSION_BUS_ADDRESS", "XDG_CURRENT_DESKTOP",
        "XDG_SESSION_DESKTOP", "XDG_SESSION_TYPE", "DESKTOP_SESSION", "GDMSESSION"}) {
    none[name] = "\x01unset";
  }
  none["XDG_RUNTIME_DIR"] = TestHome() + "/run";
  return none;
}

ProgramResult EndToEndTest::Run(int timeout_ms) const {
  return RunProgram({program_}, dir_.path(), NoDesktop(), timeout_ms);
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

ProgramResult EndToEndTest::RunWith(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {program_};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, dir_.path(), NoDesktop(), 120000);
}
