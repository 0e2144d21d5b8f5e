// Millisecond clock since boot (CLOCK_BOOTTIME, so setting the wall clock never
// freezes timers), Delay, and the 1 ms interval alarm that drives timers, sent to the
// main thread only.
#pragma once
#include <cstdint>

// Milliseconds since boot, wrapping in 32 bits. Compare readings with MilliSecsDiff.
int MilliSecs();
// later - earlier as a wrap-safe signed difference (no signed overflow).
inline int MilliSecsDiff(int later, int earlier) {
  return static_cast<int>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
// The same clock unwrapped (64 bits); timers keep their origin in it.
uint64_t MilliSecs64();

// Waits at least millis milliseconds (0 or negative: returns at once); no events
// pumped. The alarm is held off during the sleep and delivered after it.
void Delay(int millis);

// Remembers the calling thread as the main thread and arms the 1 ms alarm (SIGALRM,
// whose handler only posts the pending signal). Idempotent.
void StartClock();
bool OnMainThread();

// Test seam: replaces the millisecond source (null restores CLOCK_BOOTTIME).
using TClockSource = uint64_t (*)();
void SetClockSource(TClockSource source);
