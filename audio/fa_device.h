// Output devices the mixing thread writes its blocks to: the abstract device, the
// OSS device (/dev/dsp, in oss_device.cpp) and the ALSA device (alsa_device.cpp).
#pragma once
#include <cstddef>
#include <memory>
#include <string>

struct TFaDevice {
  virtual ~TFaDevice() = default;  // closes the device
  // Frames per second the device accepted (the mixer renders at this rate).
  virtual int Rate() const = 0;
  // Waits up to timeout_ms until the device can take a whole block of the mixer
  // and its queue is as short as the device allows without running dry: 1
  // ready, 0 timed out, -1 error. The mixer renders only then.
  virtual int WaitWritable(int timeout_ms) = 0;
  // Writes up to count bytes without blocking for long; the number written, or -1
  // with errno set (EAGAIN and EINTR mean "try again").
  virtual long Write(const void* buf, size_t count) = 0;
  // Drops whatever is queued (called once the thread has stopped).
  virtual void Reset() {}
  // True once the device cannot be used again (a sound server that ended, a card
  // unplugged): the mixing thread then closes it and opens a new one.
  virtual bool Gone() const { return false; }
};

// Opens an output device; null when none can be opened now.
using TFaDeviceOpener = std::unique_ptr<TFaDevice> (*)();

// Opens path write-only and non-blocking, then asks for three 4096-byte fragments,
// signed 16-bit little-endian, 2 channels and 44100 Hz. Null (with the reason in
// *why) when it cannot be opened or refuses the sample format or channel count.
std::unique_ptr<TFaDevice> OpenOSSDevice(const char* path, std::string* why = nullptr);

// Opens the ALSA device of that name (the mixer uses "default") non-blocking and
// negotiates like the OSS device: signed 16-bit little-endian stereo required, the
// rate nearest 44100 Hz accepted. Null (with the reason in *why) otherwise.
std::unique_ptr<TFaDevice> OpenAlsaDevice(const char* name, std::string* why = nullptr);
