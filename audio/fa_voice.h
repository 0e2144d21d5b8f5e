// One playing instance of a mixer sound, shared by the handle table (main thread,
// fa_mixer.cpp) and rendering (mixing thread, fa_render.cpp). Fields are grouped
// by who writes them.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/fa_mixer.h"

struct TFaVoice {
  // Set by the main thread before the voice enters the input ring (published by
  // the ring's release store), then read by the mixing thread.
  TFaSound* sound = nullptr;
  int request_ms = 0;

  // Written by the mixing thread only; the main thread reads.
  std::atomic<int> status{0};
  std::atomic<int64_t> played{0};  // frames since start, through loop wraps

  // Requests and parameters from the main thread; the mixing thread reads them at
  // its next block (relaxed is enough: each is a single value).
  std::atomic<bool> paused{false};
  std::atomic<bool> stop{false};
  std::atomic<bool> auto_free{false};
  std::atomic<int> rate{0x10000};
  std::atomic<int> volume{4096};
  std::atomic<int> pan{0};
  std::atomic<int> depth{0};

  // Mixing thread only (initialised before the hand-over).
  uint64_t pos = 0;  // frames, 32.32 fixed point
  int64_t wraps = 0;
  int delay = 0;  // output frames before the first mixed frame
  int cur_rate = 0x10000;
  int cur_volume = 4096;
  TFaVoice* next = nullptr;

  // Main thread only.
  int handle = 0;
};

namespace fa_detail {
constexpr uint32_t kRingMask = TFaMixer::kRingSize - 1;
constexpr auto rlx = std::memory_order_relaxed;
}  // namespace fa_detail
