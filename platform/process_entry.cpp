// Process entry: application globals, change to the program's directory, clock and
// alarm, SIGPIPE ignored, fatal-signal report on an alternate stack, termination
// signals turned into an orderly End, the module body run once, and the report of
// an error that nothing caught.
#include "platform/process_entry.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/app.h"
#include "platform/clock.h"
#include "platform/filesystem.h"
#include "platform/runtime_error.h"
#include "platform/system.h"
#include "platform/ustring.h"

namespace {

std::string ReadExeLink() {
  std::string buf(1024, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 1) return ".";
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));  // readlink does not terminate the text
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

// Default action, then the same signal again: it is delivered as soon as the
// handler returns (a fault re-executes the faulting instruction anyway).
void RaiseWithDefaultAction(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  raise(sig);
}

// Signal context: only async-signal-safe calls, the number formatted by hand.
void FatalSignal(int sig) {
  char msg[64] = "appstub.linux signal handler ";
  size_t len = sizeof("appstub.linux signal handler ") - 1;
  char digits[12];
  int nd = 0;
  unsigned v = static_cast<unsigned>(sig);
  do {
    digits[nd++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v && nd < 11);
  while (nd) msg[len++] = digits[--nd];
  msg[len++] = '\n';
  for (size_t done = 0; done < len;) {
    ssize_t n = write(STDERR_FILENO, msg + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  RaiseWithDefaultAction(sig);
}

// Signal context. Termination asked from outside (kill, the end of the session, a
// closed terminal): the main thread ends the program through End at its next pump,
// so the exit handlers run. Asked again before that, the program ends at once.
void TerminationSignal(int sig) {
  if (!PostTerminationRequest(sig)) RaiseWithDefaultAction(sig);
}

void TrapFatalSignals() {
  // An alternate stack lets a stack overflow be reported too.
  static char alt_stack[64 * 1024];
  stack_t ss{};
  ss.ss_sp = alt_stack;
  ss.ss_size = sizeof alt_stack;
  sigaltstack(&ss, nullptr);

  struct sigaction sa {};
  sa.sa_handler = &FatalSignal;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGBUS, SIGSEGV, SIGTRAP}) sigaction(sig, &sa, nullptr);
  sa.sa_handler = &TerminationSignal;
  sa.sa_flags = SA_ONSTACK | SA_RESTART;  // a thread's read or write carries on
  for (int sig : {SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);

  signal(SIGPIPE, SIG_IGN);
}

void ReportCurrentException() {
  try {
    throw;
  } catch (const TRuntimeError& e) {
    std::fprintf(stderr, "Runtime error: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unhandled exception of unknown type\n");
  }
  std::fflush(nullptr);
}

// An exception escaping another thread: report it before the abort.
void Terminate() {
  if (std::current_exception()) ReportCurrentException();
  std::abort();
}

}  // namespace

int ProcessEntryMain(int argc, char** argv, void (*body)()) {
  static bool started = false;
  if (started) return 0;
  started = true;

  AppFile = FromOSBytes(ReadExeLink());
  AppDir = AppDirOf(AppFile);
  if (const auto slash = AppFile.rfind(u'/'); slash != std::u16string::npos)
    AppClass = AppFile.substr(slash + 1);

  // "." when the start folder was removed or cannot be read.
  const std::u16string launch = CurrentDir();
  LaunchDir = launch.empty() ? std::u16string(1, u'.') : launch;
  for (auto& c : LaunchDir) {
    if (c == u'\\') c = u'/';
  }
  AppArgs.clear();
  for (int i = 0; i < argc; ++i) AppArgs.push_back(FromOSBytes(argv[i] ? argv[i] : ""));
  if (chdir(ToOSBytes(AppDir).c_str()) != 0) {
    std::fprintf(stderr, "Cannot change to the program directory\n");
  }
  StartClock();

  TrapFatalSignals();
  std::set_terminate(&Terminate);

  try {
    if (body) body();
  } catch (...) {
    ReportCurrentException();
    _exit(1);  // no static destructors: threads and contexts may still be live
  }
  End();
}
