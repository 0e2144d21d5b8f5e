// Forked children under an address-space limit: the limit is set in the child only,
// the result and the resident-memory gain come back through a pipe, and a child
// that outlives the time-out is killed.
#include "tests/support/limited_child.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

long StatusKiB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  const std::string k = key;
  while (std::getline(f, line))
    if (line.compare(0, k.size(), k) == 0) return std::atol(line.c_str() + k.size());
  return 0;
}

}  // namespace

bool SanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

std::string ChildOutcome::Describe() const {
  return std::string(finished ? "finished" : "did not finish") + (passed ? ", passed" : ", failed") +
         ", gained " + std::to_string(peakKiB) + " KiB";
}

ChildOutcome RunInChild(const std::function<bool()>& body, size_t limitBytes, int timeoutSeconds) {
  ChildOutcome out;
  int fds[2];
  if (pipe(fds) != 0) return out;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const long start = StatusKiB("VmRSS:");
    if (limitBytes && !SanitizerBuild()) {
      const rlim_t mapped = static_cast<rlim_t>(StatusKiB("VmSize:")) * 1024;
      const rlimit lim{mapped + limitBytes, mapped + limitBytes};
      if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(3);
    }
    long report[2] = {body() ? 1 : 0, 0};
    report[1] = StatusKiB("VmHWM:") - start;
    _exit(write(fds[1], report, sizeof report) == sizeof report ? 0 : 4);
  }
  close(fds[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      close(fds[0]);
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  long report[2] = {0, 0};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && read(fds[0], report, sizeof report) == sizeof report) {
    out.finished = true;
    out.passed = report[0] == 1;
    out.peakKiB = report[1];
  }
  close(fds[0]);
  return out;
}

unsigned UnusedUserId() { return 50000u + static_cast<unsigned>(::getpid()) % 10000u; }

bool LimitThreadsOfThisChild(int threads, unsigned user) {
  if (::geteuid() != 0) return false;
  if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) return false;
  const rlim_t n = static_cast<rlim_t>(1 + threads);
  const rlimit lim{n, n};
  return ::setrlimit(RLIMIT_NPROC, &lim) == 0;
}
