// The adaptive queue target of the output devices (see fa_queue.h).
#include "audio/fa_queue.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/fa_mixer.h"

TFaQueue::TFaQueue(int least_frames, int rate, int most_frames)
    : _least(std::max(least_frames, TFaMixer::kBlockFrames)),
      _block(TFaMixer::kBlockFrames),
      _settle_blocks((rate > 0 ? rate : 44100) / TFaMixer::kBlockFrames),
      _calm_blocks(int(int64_t(kCalmMs) * (rate > 0 ? rate : 44100) / 1000 / TFaMixer::kBlockFrames)),
      _most_extra(most_frames <= 0 ? kMaxExtraBlocks
                                   : std::clamp((most_frames - _least) / _block, 0, kMaxExtraBlocks)) {}

int TFaQueue::FramesToWait(int delay, int held) const {
  const int by_delay = delay - Frames();
  const int by_held = held - _least / 2;
  const int wait = by_delay < by_held ? by_delay : by_held;
  return wait > 0 ? wait : 0;
}

void TFaQueue::Ready(int delay) {
  ++_blocks;
  // In its first second a device fills up, and a sound server may hold a new
  // stream back a while: that is no sign of a busy machine.
  if (_blocks > _settle_blocks && delay < _block / 4) {
    // Nothing left: it ran dry (not every device reports that). One late
    // wake-up is forgiven; a second soon after says the machine is busy.
    if (delay <= 0 || (_near_miss >= 0 && _blocks - _near_miss <= _calm_blocks)) RanDry();
    else _near_miss = _calm_since = _blocks;
  } else if (_extra > 0 && _blocks - _calm_since >= _calm_blocks) {
    --_extra;
    _calm_since = _blocks;
  }
}

void TFaQueue::RanDry() {
  if (_extra < _most_extra) ++_extra;
  _calm_since = _blocks;
  _near_miss = -1;  // start counting near misses afresh
}

void TFaQueue::Sleep(int frames, int rate, int64_t at_most_us) {
  const int64_t us = int64_t(frames) * 1000000 / (rate > 0 ? rate : 44100);
  const int64_t sleep_us = std::min(std::max<int64_t>(us, 500), at_most_us);
  std::this_thread::sleep_for(std::chrono::microseconds(sleep_us));
}
