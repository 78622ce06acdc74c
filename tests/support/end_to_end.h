#ifndef TESTS_SUPPORT_END_TO_END_H_
#define TESTS_SUPPORT_END_TO_END_H_

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/http_server.h"
#include "support/test_support.h"

// Whole runs of the real binary: a copy of it in prog/ of a temporary
// directory, started from that directory with no display and no desktop to
// reach, and a local HTTP server (started; routes may be added at any time).
class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Writes prog/Sites.ini: [General] with DebugMode=1, SuppressMessages=1,
  // NumOfSites=1 and then the lines `general`; [Site1] named `name`, with
  // SecondsToDownload=`seconds` and then the lines `site`.
  void WriteSitesIni(const std::string& general, const std::string& name, int seconds,
                     const std::string& site);
  // A [General] value of prog/Sites.ini as it is now.
  std::string General(const std::string& key) const;

  // The environment of a run: the test's own without any display or desktop.
  static std::map<std::string, std::string> NoDesktop();
  ProgramResult Run(int timeout_ms = 120000) const;
  // The program with `args` (--status, ...).
  ProgramResult RunWith(const std::vector<std::string>& args) const;

  ScopedTempDir dir_;
  std::string program_;
  LocalHttpServer server_;
};

// How many times `part` occurs in `text`, overlaps included.
size_t Count(const std::string& text, const std::string& part);

#endif  // TESTS_SUPPORT_END_TO_END_H_
