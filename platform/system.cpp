// The system module: the one driver, the re-entry guard of PollSystem/WaitSystem,
// the signal table with its lock-free pending cell, the termination request, the
// race-free sleep until the next signal, and background completions.
#include "platform/system.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <vector>

#include "platform/alarm_signal.h"
#include "platform/app.h"
#include "platform/event.h"
#include "platform/linux_system_driver.h"

namespace {

constexpr int kSignals = 65;
void (*signal_table[kSignals])(int) = {};
std::atomic<int> pending_signal{0};
std::atomic<int> termination_signal{0};  // kept apart: the 1 ms alarm overwrites the other
static_assert(std::atomic<int>::is_always_lock_free, "the signal cell must be lock-free");

bool busy = false;
bool dispatching = false;  // a signal-table handler is running

// Marks the pump as running and restores the outer state (a wait nested in a hook).
struct TBusy {
  bool outer = busy;
  TBusy() { busy = true; }
  ~TBusy() { busy = outer; }
};

int (*sleep_limit)() = nullptr;

std::mutex completions_lock;
std::vector<std::function<void()>> completions;
// Set after a completion is queued and the wake fd written: most pumps find it
// clear and take no lock and make no system call.
std::atomic<bool> completions_posted{false};

// Non-blocking eventfd that PostCompletion writes and a sleeping Wait polls.
int WakeFd() {
  static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return fd;
}

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
void SetPointerView(float scale, int x, int y) { LinuxSystemDriver()->SetPointerView(scale, x, y); }
_XDisplay* SystemDisplay() { return LinuxSystemDriver()->Display(); }
void SetRawEventFilter(int (*fn)(void*)) { LinuxSystemDriver()->SetRawEventFilter(fn); }

void SetSignalHandler(int sig, void (*fn)(int)) {
  if (sig > 0 && sig < kSignals) signal_table[sig] = fn;
}

void PostPendingSignal(int sig) noexcept { pending_signal.store(sig, std::memory_order_release); }

bool PostTerminationRequest(int sig) noexcept { return termination_signal.exchange(sig) == 0; }

void DispatchPendingSignal() {
  if (dispatching) return;  // the pending signal waits for the outer dispatch to end
  // Once: an exit handler that pumps must not start the ending again. The request
  // stays posted, so a second signal during a stuck ending still ends at once.
  static bool ending = false;
  if (!ending && termination_signal.load(std::memory_order_acquire) != 0) {
    ending = true;
    End();
  }
  const int sig = pending_signal.exchange(0, std::memory_order_acq_rel);
  if (sig > 0 && sig < kSignals && signal_table[sig]) {
    dispatching = true;
    struct TDone {
      ~TDone() { dispatching = false; }
    } done;
    signal_table[sig](sig);
  }
}

bool WaitSystemOrSleep() {
  if (dispatching) return false;
  // Inside the pump too: the wait translates what X delivered (the input it waits
  // for, and bytes that would otherwise keep every sleep from starting).
  TBusy guard;
  SystemDriver()->Wait();
  return true;
}

void SetSleepLimit(int (*fn)()) { sleep_limit = fn; }

void SleepUntilSignal(int timeout_ms) {
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &AlarmSignalSet(), &old);
  if (pending_signal.load(std::memory_order_acquire) == 0 && termination_signal.load() == 0) {
    const int limit = sleep_limit ? sleep_limit() : -1;
    int ms = timeout_ms < 0 ? 0 : timeout_ms;
    sigset_t during = old;
    if (limit == 0) {
      sigdelset(&during, SIGALRM);  // due now: the very next alarm ends the sleep
    } else {
      sigaddset(&during, SIGALRM);  // sleep through the alarms up to the due time
      if (limit > 0 && limit < ms) ms = limit;
    }
    pollfd fds[2];
    nfds_t n = 0;
    if (int fd = LinuxSystemDriver()->ConnectionFd(); fd >= 0) fds[n++] = {fd, POLLIN, 0};
    if (int fd = WakeFd(); fd >= 0) fds[n++] = {fd, POLLIN, 0};
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    ppoll(fds, n, &ts, &during);  // EINTR is a normal way out
  }
  // Unblocking delivers an alarm that came during the sleep: it becomes the pending
  // signal that the caller dispatches next.
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void PostCompletion(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(completions_lock);
    completions.push_back(std::move(fn));
  }
  const uint64_t one = 1;
  if (int fd = WakeFd(); fd >= 0) (void)!write(fd, &one, sizeof one);  // ends a sleeping Wait
  // After the write: whoever sees the flag also drains that write, so the fd never
  // stays readable with the flag clear (a sleeping Wait would spin on it).
  completions_posted.store(true, std::memory_order_release);
}

void RunCompletions() {
  if (!completions_posted.exchange(false, std::memory_order_acq_rel)) return;
  uint64_t count;
  if (int fd = WakeFd(); fd >= 0) (void)!read(fd, &count, sizeof count);
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
