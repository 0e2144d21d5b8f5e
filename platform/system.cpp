// The system module: the one driver, the re-entry guard of PollSystem/WaitSystem,
// the signal table with its lock-free pending cell, the race-free sleep until the
// next signal, and background completions.
#include "platform/system.h"

#include <poll.h>
#include <signal.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <vector>

#include "platform/event.h"
#include "platform/linux_system_driver.h"

namespace {

constexpr int kSignals = 65;
void (*signal_table[kSignals])(int) = {};
std::atomic<int> pending_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal cell must be lock-free");

bool busy = false;

struct TBusy {
  TBusy() { busy = true; }
  ~TBusy() { busy = false; }
};

std::mutex completions_lock;
std::vector<std::function<void()>> completions;

}  // namespace

TLinuxSystemDriver* LinuxSystemDriver() {
  // Created once and never destroyed: its display outlives every window.
  static TLinuxSystemDriver* driver = [] {
    EmitEventHook();
    return new TLinuxSystemDriver();
  }();
  return driver;
}

TSystemDriver* SystemDriver() { return LinuxSystemDriver(); }

void PollSystem() {
  if (busy) return;
  TBusy guard;
  SystemDriver()->Poll();
}

void WaitSystem() {
  if (busy) return;
  TBusy guard;
  SystemDriver()->Wait();
}

bool SystemBusy() { return busy; }

void SystemPump() { SystemDriver()->Poll(); }

void HideMouse() { SystemDriver()->SetMouseVisible(false); }
void ShowMouse() { SystemDriver()->SetMouseVisible(true); }
void MoveMouse(int x, int y) { SystemDriver()->MoveMouse(x, y); }
void SetInputWindow(unsigned long xwindow) { LinuxSystemDriver()->SetInputWindow(xwindow); }
_XDisplay* SystemDisplay() { return LinuxSystemDriver()->Display(); }
void SetRawEventFilter(int (*fn)(void*)) { LinuxSystemDriver()->SetRawEventFilter(fn); }

void SetSignalHandler(int sig, void (*fn)(int)) {
  if (sig > 0 && sig < kSignals) signal_table[sig] = fn;
}

void PostPendingSignal(int sig) noexcept { pending_signal.store(sig, std::memory_order_release); }

void DispatchPendingSignal() {
  const int sig = pending_signal.exchange(0, std::memory_order_acq_rel);
  if (sig > 0 && sig < kSignals && signal_table[sig]) signal_table[sig](sig);
}

void SleepUntilSignal(int timeout_ms) {
  // SIGALRM stays blocked from the pending check until ppoll atomically unblocks it,
  // so an alarm between the check and the sleep cannot be lost.
  sigset_t alarm, old;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  pthread_sigmask(SIG_BLOCK, &alarm, &old);
  if (pending_signal.load(std::memory_order_acquire) == 0) {
    sigset_t during = old;
    sigdelset(&during, SIGALRM);
    pollfd fd{LinuxSystemDriver()->ConnectionFd(), POLLIN, 0};
    timespec ts{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
    ppoll(&fd, fd.fd >= 0 ? 1 : 0, &ts, &during);  // EINTR is the normal way out
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void PostCompletion(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(completions_lock);
  completions.push_back(std::move(fn));
}

void RunCompletions() {
  std::vector<std::function<void()>> ready;
  {
    std::lock_guard<std::mutex> lock(completions_lock);
    ready.swap(completions);
  }
  for (auto& fn : ready) fn();
}

void Notify(const std::u16string& text, bool serious) { SystemDriver()->Notify(text, serious); }
bool Confirm(const std::u16string& text, bool serious) { return SystemDriver()->Confirm(text, serious); }
int Proceed(const std::u16string& text, bool serious) { return SystemDriver()->Proceed(text, serious); }
std::u16string RequestFile(const std::u16string& title, const std::u16string& filter, bool save,
                           const std::u16string& path) {
  return SystemDriver()->RequestFile(title, filter, save, path);
}
std::u16string RequestDir(const std::u16string& title, const std::u16string& path) {
  return SystemDriver()->RequestDir(title, path);
}
int OpenURL(const std::u16string& url) { return SystemDriver()->OpenURL(url); }
