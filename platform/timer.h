// Periodic timers paced by the 1 ms alarm. Ticks are counted on the main thread when
// the system is polled or waited on; periods that pass without a dispatch merge
// into one tick. Each tick emits the timer's event or a fresh TimerTick.
#pragma once
#include <cstdint>

#include "platform/event.h"

struct TTimer : TObject {
  uint32_t _ticks = 0;       // ticks fired so far (wrapping)
  uint32_t _wticks = 0;      // _ticks at the last Wait
  Ref<TTimer> _cycle;        // itself while running, so dropping the caller's ref keeps it
  Ref<TEvent> _event;        // emitted on each tick; null: a fresh TimerTick
  uintptr_t _handle = 0;     // non-zero while running

  int Ticks() const { return static_cast<int>(_ticks); }
  void Stop();
  void Fire();
  int Wait();

  // Null when hertz is not finite and positive. Rates above 1000 per second tick
  // once a millisecond, as fast as the alarm goes.
  static Ref<TTimer> Create(float hertz, Ref<TEvent> event = nullptr);
};

Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event = nullptr);
// Blocks until at least one tick since the last call; returns the ticks since then.
// Returns 0 for a null or stopped timer, also when a hook stops it during the wait.
int WaitTimer(const Ref<TTimer>& timer);
int TimerTicks(const Ref<TTimer>& timer);
void StopTimer(const Ref<TTimer>& timer);

// Updates every running timer from the clock; the SIGALRM entry of the signal table.
void TimerSignalHandler(int sig);
