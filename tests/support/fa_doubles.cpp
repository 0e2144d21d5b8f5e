// The memory output device and the mixer started on a chosen device.
#include "tests/support/fa_doubles.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "audio/freeaudio.h"

namespace {
int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

int TFaMemoryDevice::WaitWritable(int timeout_ms) {
  if (_stalled.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return _stalled.load() ? 0 : 1;
  }
  if (_bps <= 0) return 1;
  // Real time: allow writing once the bytes taken so far have "played".
  int64_t due;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_start_us < 0) return 1;
    due = _start_us + int64_t(_bytes.size()) * 1000000 / _bps - 40000;  // ~40 ms queued
  }
  const int64_t wait = due - NowUs();
  if (wait <= 0) return 1;
  if (wait > int64_t(timeout_ms) * 1000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return 0;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(wait));
  return 1;
}

long TFaMemoryDevice::Write(const void* buf, size_t count) {
  _writes.fetch_add(1);
  if (_failing.load()) {
    errno = EIO;
    return -1;
  }
  if (_stalled.load()) {
    errno = EAGAIN;
    return -1;
  }
  std::lock_guard<std::mutex> lock(_mutex);
  if (_start_us < 0) _start_us = NowUs();
  const auto* p = static_cast<const uint8_t*>(buf);
  _bytes.insert(_bytes.end(), p, p + count);
  return long(count);
}

std::vector<uint8_t> TFaMemoryDevice::Bytes() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _bytes;
}

size_t TFaMemoryDevice::ByteCount() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _bytes.size();
}

namespace {
std::unique_ptr<TFaDevice> g_next;
}  // namespace

int StartMixerOn(std::unique_ptr<TFaDevice> device) {
  g_next = std::move(device);
  fa_SetDeviceOpener([] { return std::move(g_next); });
  const int r = fa_Init(0);
  fa_SetDeviceOpener(nullptr);
  g_next.reset();
  return r;
}
