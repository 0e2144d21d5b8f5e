// Mixing thread loop over a TFaDevice.
#include "audio/fa_output.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#include "platform/thread_util.h"

TFaOutput::TFaOutput(std::unique_ptr<TFaDevice> device, TFaClock clock)
    : _device(std::move(device)), _mixer(clock, _device->Rate()) {}

TFaOutput::~TFaOutput() {
  if (_thread.joinable()) Stop(1000);
}

bool TFaOutput::Start() {
  _running.store(true, std::memory_order_release);
  _alive.store(true, std::memory_order_release);
  try {
    _thread = StartThreadWithoutAlarm([this] { Run(); });
  } catch (const std::system_error&) {
    _running.store(false);
    _alive.store(false);
    return false;
  }
  return true;
}

bool TFaOutput::WriteBlock(const uint8_t* p, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (!_running.load(std::memory_order_acquire)) return false;
    const int ready = _device->WaitWritable(100);
    if (ready == 0) continue;  // re-check the running flag
    if (ready < 0) return false;
    const long w = _device->Write(p + done, n - done);
    if (w < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    done += size_t(w);
  }
  return true;
}

void TFaOutput::Run() {
  int16_t block[TFaMixer::kBlockFrames * 2];
  const auto block_time =
      std::chrono::microseconds(int64_t(TFaMixer::kBlockFrames) * 1000000 / _mixer.OutputRate());
  while (_running.load(std::memory_order_acquire)) {
    _mixer.Render(block);
    _blocks.fetch_add(1, std::memory_order_relaxed);
    if (!WriteBlock(reinterpret_cast<const uint8_t*>(block), sizeof block) &&
        _running.load(std::memory_order_acquire)) {
      // A device error: do not spin; lose this block and go on.
      _errors.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::sleep_for(block_time);
    }
  }
  _alive.store(false, std::memory_order_release);
}

bool TFaOutput::Stop(int deadline_ms) {
  if (!_thread.joinable()) return true;
  _running.store(false, std::memory_order_release);
  // The 1 ms alarm cuts sleeps short on the main thread, so wait against a clock.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  while (Alive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (Alive()) {
    _thread.detach();
    return false;
  }
  _thread.join();
  _device->Reset();
  return true;
}
