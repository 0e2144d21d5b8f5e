// Frame pacing of the game loop: a 65 Hz timer waited on for 10 s (or argv[1]
// seconds). Prints ticks per second, frames and the CPU time the waiting cost.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/event_queue.h"
#include "platform/system.h"
#include "platform/timer.h"

namespace {

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  StartClock();
  std::printf("display: %s\n", SystemDisplay() ? "yes" : "none");
  auto timer = CreateTimer(65.0f);
  if (!timer) return 1;
  WaitTimer(timer);  // start on a tick boundary

  const double cpu0 = CpuSeconds();
  const uint64_t t0 = MilliSecs64();
  long ticks = 0, frames = 0, multi = 0;
  while (MilliSecs64() - t0 < static_cast<uint64_t>(seconds * 1000.0)) {
    int n = WaitTimer(timer);
    ticks += n;
    multi += n > 1;
    ++frames;
    FlushEvents();  // the game never reads the queue; keep it from filling
  }
  const double wall = static_cast<double>(MilliSecs64() - t0) / 1000.0;
  const double cpu = CpuSeconds() - cpu0;
  std::printf("wall time        %.3f s\n", wall);
  std::printf("ticks            %ld (%.2f per second, target 65)\n", ticks, ticks / wall);
  std::printf("frames           %ld (frames with more than one tick: %ld)\n", frames, multi);
  std::printf("cpu user+system  %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / wall);
  StopTimer(timer);
  return 0;
}
