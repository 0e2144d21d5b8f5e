// The game under soak: scratch folder, start, end, stall and sanitizer checks.
// Leans on POSIX processes and /proc for the processor time.
#include "soak_game.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kSanitizerReports[] = {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                                             "runtime error:", "WARNING: ThreadSanitizer",
                                             "ERROR: ThreadSanitizer"};

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string Tail(const std::string& text, int lines) {
  size_t at = text.size();
  while (lines-- > 0 && at > 0) {
    at = text.rfind('\n', at - 1);
    if (at == std::string::npos) return text;
  }
  return text.substr(at);
}

// The name of a top-level window, "" when it has none.
std::string NameOf(Display* d, Window w) {
  char* name = nullptr;
  std::string s;
  if (XFetchName(d, w, &name) && name) s = name;
  if (name) XFree(name);
  return s;
}

}  // namespace

TSoakGame::TSoakGame(const std::string& program) {
  char pattern[] = "/tmp/tessolino-soak-XXXXXX";
  if (!mkdtemp(pattern)) return;
  _dir = pattern;
  std::error_code ec;
  fs::copy_file(program, _dir / "Tessolino", ec);
  fs::copy(fs::path(program).parent_path() / "Motives", _dir / "Motives", ec);
}

TSoakGame::~TSoakGame() {
  if (_pid > 0) {
    ::kill(_pid, SIGKILL);
    ::waitpid(_pid, nullptr, 0);
  }
}

bool TSoakGame::Start() {
  if (_dir.empty() || !fs::exists(_dir / "Tessolino")) return Fail("cannot copy the program");
  ++_run;
  _pid = ::fork();
  if (_pid < 0) return Fail("cannot start the program");
  if (_pid == 0) {
    if (::chdir(_dir.c_str()) != 0) ::_exit(126);
    // Its saved boards stay in the scratch folder, and carry over from one start to the next.
    ::setenv("XDG_STATE_HOME", (_dir / "state").c_str(), 1);
    const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execl("./Tessolino", "Tessolino", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  _last_cpu = -1;
  _last_progress = Clock::now();
  return true;
}

Window TSoakGame::WaitForWindow(Display* d) {
  const auto until = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < until) {
    if (Ended()) {
      if (EndedNormally()) Fail("ended before its window appeared");
      return 0;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
      for (unsigned i = 0; i < n && !found; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width == 800 &&
            a.height == 600 && NameOf(d, children[i]) == "Tessolino")
          found = children[i];
      }
      if (children) XFree(children);
    }
    if (found) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the menu's first frames
      return found;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Fail("no 800 x 600 window within a minute");
  return 0;
}

bool TSoakGame::Ended() {
  if (_pid <= 0) return true;
  int status = 0;
  if (::waitpid(_pid, &status, WNOHANG) != _pid) return false;
  _status = status;
  _pid = -1;
  return true;
}

bool TSoakGame::EndedNormally() {
  const std::string err = Slurp(_dir / "stderr.txt");
  for (const char* report : kSanitizerReports)
    if (err.find(report) != std::string::npos) return Fail(std::string("sanitizer report (") + report + ")");
  if (WIFSIGNALED(_status)) return Fail("killed by signal " + std::to_string(WTERMSIG(_status)));
  if (!WIFEXITED(_status) || WEXITSTATUS(_status) != 0)
    return Fail("exit status " + std::to_string(WEXITSTATUS(_status)));
  return true;
}

long TSoakGame::CpuTicks() const {
  std::ifstream f("/proc/" + std::to_string(_pid) + "/stat");
  std::string line;
  std::getline(f, line);
  const size_t close = line.rfind(')');  // the name in parentheses may hold blanks
  if (close == std::string::npos) return -1;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

bool TSoakGame::Progressing() {
  const long cpu = CpuTicks();
  if (cpu != _last_cpu) {
    _last_cpu = cpu;
    _last_progress = Clock::now();
    return true;
  }
  if (Clock::now() - _last_progress < std::chrono::seconds(20)) return true;
  return Fail("no processor time used for 20 s: hanging");
}

bool TSoakGame::Fail(const std::string& why) {
  if (_failure.empty()) _failure = why;
  return false;
}

void TSoakGame::Report() const {
  std::printf("soak: run %d failed: %s\n", _run, _failure.empty() ? "unknown" : _failure.c_str());
  const std::string err = Slurp(_dir / "stderr.txt");
  if (!err.empty())
    std::printf("---- the program's error output (end) ----\n%s\n----\n", Tail(err, 80).c_str());
  std::printf("soak: the run's folder stays at %s\n", _dir.c_str());
}

void TSoakGame::CleanUp() {
  std::error_code ec;
  if (!_dir.empty()) fs::remove_all(_dir, ec);
}
