// Starts a private Xvfb through -displayfd, which reports the display it chose;
// it is stopped by the kernel when the test process ends.
#include "tests/support/private_x.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int g_state = 0;  // 0 not tried, 1 running, -1 failed

}  // namespace

bool UsePrivateXServer() {
  if (g_state != 0) return g_state == 1;
  g_state = -1;
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::close(fds[0]);
    // The server ends with the test process, after its connections are gone, so
    // no client ever sees it vanish.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::string fd = std::to_string(fds[1]);
    const char* screen = std::getenv("TESS_X_SCREEN");
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen ? screen : "1280x1024x24", "+extension", "GLX",
           "+render", "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return false;
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  g_state = 1;
  return true;
}

bool MergeXResources(const char* text) {
  FILE* p = ::popen("xrdb -merge -nocpp", "w");
  if (!p) return false;
  std::fputs(text, p);
  return ::pclose(p) == 0;
}
