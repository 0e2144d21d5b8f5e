// Timers: each running TTimer has a TLinuxTimer in the running list; the SIGALRM
// entry of the signal table updates them all on the main thread. An update fires at
// most once, so periods missed between dispatches merge into one tick.
#include "platform/timer.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <list>
#include <vector>

#include "platform/clock.h"
#include "platform/system.h"

namespace {

// The alarm dispatches once a millisecond, so no timer can tick faster; the cap
// also keeps the period count far inside 64 bits.
constexpr float kMaxHertz = 1000.0f;

struct TLinuxTimer {
  float _hertz = 0;
  TTimer* _timer = nullptr;  // the TTimer's _cycle keeps it alive while listed
  int64_t _count = 0;        // periods counted at the last update
  uint64_t _millis = 0;      // 64-bit origin: no wrap during the run

  void Update(uint64_t now) {
    const double periods = static_cast<double>(now - _millis) * _hertz / 1000.0;
    const int64_t n = static_cast<int64_t>(periods);
    if (n > _count) {
      _count = n;
      _timer->Fire();
    }
  }
};

std::list<TLinuxTimer>& Running() {
  static std::list<TLinuxTimer> running;
  return running;
}

// Milliseconds until the first running timer reaches its next period; -1 for none.
int TimerSleepLimit() {
  const uint64_t now = MilliSecs64();
  double best = -1;
  for (auto& t : Running()) {
    const double due = static_cast<double>(t._count + 1) * 1000.0 / t._hertz;
    double left = std::ceil(due - static_cast<double>(now - t._millis));
    if (left < 0) left = 0;
    if (best < 0 || left < best) best = left;
  }
  return best < 0 ? -1 : static_cast<int>(std::min(best, 1000.0));
}

void StartTimerModule() {
  static bool started = false;
  if (started) return;
  started = true;
  StartClock();
  SetSignalHandler(SIGALRM, &TimerSignalHandler);
  SetSleepLimit(&TimerSleepLimit);
}

TLinuxTimer* FromHandle(uintptr_t h) { return reinterpret_cast<TLinuxTimer*>(h); }

}  // namespace

void TimerSignalHandler(int) {
  const uint64_t now = MilliSecs64();
  // A tick's hooks may create or stop timers: walk a snapshot of live timers.
  std::vector<Ref<TTimer>> live;
  for (auto& t : Running()) live.push_back(t._timer->_cycle);
  for (auto& timer : live) {
    if (timer && timer->_handle) FromHandle(timer->_handle)->Update(now);
  }
}

Ref<TTimer> TTimer::Create(float hertz, Ref<TEvent> event) {
  if (!std::isfinite(hertz) || !(hertz > 0)) return nullptr;
  hertz = std::min(hertz, kMaxHertz);
  StartTimerModule();
  auto timer = std::make_shared<TTimer>();
  auto& running = Running();
  running.push_back(TLinuxTimer{hertz, timer.get(), 0, MilliSecs64()});
  timer->_handle = reinterpret_cast<uintptr_t>(&running.back());
  timer->_cycle = timer;
  timer->_event = std::move(event);
  return timer;
}

void TTimer::Stop() {
  if (!_handle) return;
  auto& running = Running();
  for (auto it = running.begin(); it != running.end(); ++it) {
    if (reinterpret_cast<uintptr_t>(&*it) == _handle) {
      running.erase(it);
      break;
    }
  }
  _handle = 0;
  _event.reset();
  Ref<TTimer> self = std::move(_cycle);  // released last: *this may go with it
}

void TTimer::Fire() {
  if (!_handle) return;
  ++_ticks;
  if (_event) {
    EmitEvent(_event);
  } else {
    EmitEvent(CreateEvent(EVENT_TIMERTICK, _cycle, static_cast<int>(_ticks)));
  }
}

int TTimer::Wait() {
  if (!_handle) return 0;
  Ref<TTimer> keep = _cycle;  // a hook may stop the timer while we wait
  uint32_t n;
  do {
    // From a tick's own hook no tick can arrive: give up rather than hang.
    if (!WaitSystemOrSleep()) break;
    n = _ticks - _wticks;
  } while (n == 0 && _handle);
  n = _ticks - _wticks;
  _wticks += n;
  return static_cast<int>(n);
}

Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event) { return TTimer::Create(hertz, std::move(event)); }
int WaitTimer(const Ref<TTimer>& timer) { return timer ? timer->Wait() : 0; }
int TimerTicks(const Ref<TTimer>& timer) { return timer ? timer->Ticks() : 0; }
void StopTimer(const Ref<TTimer>& timer) {
  if (timer) timer->Stop();
}
