// Output devices the mixing thread writes its blocks to: the OSS device
// (/dev/dsp, in oss_device.cpp) and a memory device that records what it is given
// (for tests and measurements, optionally paced like real hardware or stalled).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TFaDevice {
  virtual ~TFaDevice() = default;  // closes the device
  // Frames per second the device accepted (the mixer renders at this rate).
  virtual int Rate() const = 0;
  // Waits up to timeout_ms for room to write: 1 ready, 0 timed out, -1 error.
  virtual int WaitWritable(int timeout_ms) = 0;
  // Writes up to count bytes without blocking for long; the number written, or -1
  // with errno set (EAGAIN and EINTR mean "try again").
  virtual long Write(const void* buf, size_t count) = 0;
  // Drops whatever is queued (called once the thread has stopped).
  virtual void Reset() {}
};

// Opens path write-only and non-blocking, then asks for three 4096-byte fragments,
// signed 16-bit little-endian, 2 channels and 44100 Hz. Null (with the reason in
// *why) when it cannot be opened or refuses the sample format or channel count.
std::unique_ptr<TFaDevice> OpenOSSDevice(const char* path, std::string* why = nullptr);

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
  std::atomic<int> _writes{0};
  std::atomic<int> _resets{0};
  mutable std::mutex _mutex;
  std::vector<uint8_t> _bytes;
  int64_t _start_us = -1;
};
