// The millisecond clock (CLOCK_BOOTTIME), Delay, and the 1 ms interval alarm, sent to
// the main thread alone, whose handler only posts SIGALRM as the pending signal of
// the system driver.
#include "platform/clock.h"

#include <pthread.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/alarm_signal.h"
#include "platform/system.h"

namespace {

std::atomic<TClockSource> clock_source{nullptr};
std::thread::id main_thread;
bool clock_started = false;

uint64_t BootMillis() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void AlarmHandler(int sig) { PostPendingSignal(sig); }

void ArmAlarm(int period_ms) {
  struct sigaction sa {};
  sa.sa_handler = &AlarmHandler;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGALRM, &sa, nullptr);
  const timespec period{period_ms / 1000, (period_ms % 1000) * 1000000L};
  // Directed at the calling (main) thread only. A process-wide alarm goes to any
  // thread that does not block it, and threads that libraries start (sound server
  // clients, GL drivers) take their creator's mask: each alarm would cut one of
  // their sleeps short.
  sigevent ev{};
  ev.sigev_notify = SIGEV_THREAD_ID;
  ev.sigev_signo = SIGALRM;
  ev._sigev_un._tid = gettid();  // glibc before 2.41 has no sigev_notify_thread_id
  timer_t alarm;
  if (timer_create(CLOCK_MONOTONIC, &ev, &alarm) == 0) {
    const itimerspec every{period, period};
    timer_settime(alarm, 0, &every, nullptr);
    return;
  }
  itimerval it{};  // no timer left for us: the process-wide interval timer
  it.it_interval.tv_sec = period.tv_sec;
  it.it_interval.tv_usec = period.tv_nsec / 1000;
  it.it_value = it.it_interval;
  setitimer(ITIMER_REAL, &it, nullptr);
}

}  // namespace

const sigset_t& AlarmSignalSet() {
  static const sigset_t set = [] {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGALRM);
    return s;
  }();
  return set;
}

uint64_t MilliSecs64() {
  TClockSource source = clock_source.load(std::memory_order_relaxed);
  return source ? source() : BootMillis();
}

int MilliSecs() { return static_cast<int>(static_cast<uint32_t>(MilliSecs64())); }

void SetClockSource(TClockSource source) { clock_source.store(source); }

void Delay(int millis) {
  if (millis <= 0) return;
  // The 1 ms alarm is held off while we sleep (it would wake us every millisecond)
  // and delivered when the mask is restored; other signals still end a sleep early,
  // so the deadline is checked again after every wake.
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &AlarmSignalSet(), &old);
  const uint64_t start = MilliSecs64();
  for (;;) {
    const uint64_t passed = MilliSecs64() - start;
    if (passed >= static_cast<uint64_t>(millis)) break;
    uint64_t left = static_cast<uint64_t>(millis) - passed;
    if (left > 1000) left = 1000;
    timespec ts{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void StartClock() {
  if (clock_started) return;
  clock_started = true;
  main_thread = std::this_thread::get_id();
  ArmAlarm(1);
}

bool OnMainThread() { return clock_started && std::this_thread::get_id() == main_thread; }
