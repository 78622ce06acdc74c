#ifndef TESTS_SUPPORT_FAKE_INTERNET_H_
#define TESTS_SUPPORT_FAKE_INTERNET_H_

#include <map>
#include <string>
#include <vector>

#include "platform/network/internet.h"

// Serves bodies from a table, for logic tests of what the program does with
// pages. URLs missing from the table fail as a refused connection would;
// "nofile:" URLs yield no file object. Records every URL asked for.
class FakeInternet : public Internet {
 public:
  std::unique_ptr<InternetSession> OpenSession() override;
  std::map<std::string, std::string> bodies;
  std::vector<std::string> requested;
};

#endif  // TESTS_SUPPORT_FAKE_INTERNET_H_
