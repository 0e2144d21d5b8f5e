// Test doubles and probes for the FreeAudio mixer: a memory device that records
// what it is given (optionally paced like real hardware, stalled or failing), the
// process-wide mixer started on a device of the test's choice, and a look at the
// mixer's voice records.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"

class TFaMemoryDevice : public TFaDevice {
 public:
  // bytes_per_second > 0 paces writes like a device consuming in real time.
  explicit TFaMemoryDevice(int rate = 44100, int bytes_per_second = 0)
      : _rate(rate), _bps(bytes_per_second) {}

  int Rate() const override { return _rate; }
  int WaitWritable(int timeout_ms) override;
  long Write(const void* buf, size_t count) override;
  void Reset() override { _resets.fetch_add(1); }

  // While stalled, WaitWritable times out and nothing is taken.
  void SetStalled(bool stalled) { _stalled.store(stalled); }
  // Every later write returns -1 with EIO.
  void SetFailing(bool failing) { _failing.store(failing); }
  // The device says it is gone (a sound server that ended).
  void SetGone(bool gone) { _gone.store(gone); }
  bool Gone() const override { return _gone.load(); }
  // A copy of the bytes received so far; the byte count.
  std::vector<uint8_t> Bytes() const;
  size_t ByteCount() const;
  int Writes() const { return _writes.load(); }
  int Resets() const { return _resets.load(); }

 private:
  int _rate;
  int _bps;
  std::atomic<bool> _stalled{false};
  std::atomic<bool> _failing{false};
  std::atomic<bool> _gone{false};
  std::atomic<int> _writes{0};
  std::atomic<int> _resets{0};
  mutable std::mutex _mutex;
  std::vector<uint8_t> _bytes;
  int64_t _start_us = -1;
};

// fa_Init(0) on this device instead of the sound device: 0 or -1.
int StartMixerOn(std::unique_ptr<TFaDevice> device);

// The mixer's voice records, read on the main thread.
class TFaMixerProbe {
 public:
  static int Records(const TFaMixer& m) { return int(m._records.size()); }
  // Voices playing, or handed over and not yet back for reuse.
  static int VoicesInUse(TFaMixer& m) {
    m.DrainRecycled();
    return int(m._records.size() - m._pool.size());
  }
};
