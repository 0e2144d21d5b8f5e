// How much an output device keeps queued before it takes the next mixer block.
// On a quiet machine one block (or the device's period if that is longer), so a
// new sound waits behind as little as possible. The target grows by one block,
// up to four more (or what the device can hold), only when the device ran dry,
// or when the mixing thread found less than a quarter block left twice within a
// few seconds; after about three seconds without either it shrinks by one block
// again. So sounds hold together while a machine is busy, and a single busy
// moment costs no lasting latency. The queue is measured as the device's delay,
// all that is still to be heard (a sound server's own latency included), but a
// device is never left to run dry of the data it holds itself while that delay
// is long.
#pragma once
#include <cstdint>

class TFaQueue {
 public:
  static constexpr int kMaxExtraBlocks = 4;
  // A near miss counts when another came at most this long before it; a block
  // more is given back after this long without one.
  static constexpr int kCalmMs = 3000;

  // most_frames: the longest queue the device can hold (0: no limit of its own).
  TFaQueue(int least_frames, int rate, int most_frames = 0);
  // Frames to keep queued: the device takes a block once its queue is down to this.
  int Frames() const { return _least + _extra * _block; }
  int MostFrames() const { return _least + _most_extra * _block; }
  // With delay frames still to be heard, of which the device holds held frames
  // not yet taken by its consumer: 0 when the next block is due, otherwise the
  // frames to wait for.
  int FramesToWait(int delay, int held) const;
  // Called when the device takes a block, with its delay.
  void Ready(int delay);
  // The device ran dry outright (an underrun it reported).
  void RanDry();
  // Back to the start after the device was reset.
  void Restart() { _blocks = _calm_since = 0, _near_miss = -1; }
  // Sleeps while `frames` play at `rate`, at least half a millisecond and at most
  // at_most_us.
  static void Sleep(int frames, int rate, int64_t at_most_us);

 private:
  int _least;
  int _block;
  int _settle_blocks;  // the device's first second
  int _calm_blocks;
  int _most_extra;
  int _extra = 0;
  long _blocks = 0;      // blocks taken since the start
  long _calm_since = 0;  // block count at the last near miss or change
  long _near_miss = -1;  // block count at the last near miss not yet acted on
};
