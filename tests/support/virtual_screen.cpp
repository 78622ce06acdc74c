#include "support/virtual_screen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "support/test_support.h"

extern char** environ;

VirtualScreen::VirtualScreen(const std::string& geometry) {
  ArmTestDeadline();  // a hung server fails the test rather than holding it
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  ::fcntl(fds[1], F_SETFD, 0);  // Xvfb writes its display number here
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {
      "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", geometry, "-nolisten", "tcp"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    pid_ = -1;
    missing_ = spawned == ENOENT;
    ::close(fds[0]);
    return;
  }
  std::string number;
  for (;;) {
    struct pollfd poll_fd = {fds[0], POLLIN, 0};
    if (::poll(&poll_fd, 1, 20000) <= 0) break;
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

VirtualScreen::~VirtualScreen() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  ::waitpid(pid_, &status, 0);
}
