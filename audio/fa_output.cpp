// Mixing thread loop over a TFaDevice.
#include "audio/fa_output.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "audio/fa_priority.h"
#include "platform/thread_util.h"

namespace {
// How long one wait for the device may last before the thread looks at its
// running flag again.
constexpr int kWaitMs = 100;
// How often a new device is tried once the old one is gone.
constexpr auto kReopenEvery = std::chrono::seconds(2);

// A device that takes blocks faster than they play (ALSA's null device, which
// some systems make the default to silence programs) has no clock to wait on:
// the thread then keeps to the sound's own pace. It may render a tenth faster
// than that, after a burst of a few blocks, so a real device, whose clock may
// run a little ahead of ours or that asks for its whole buffer at once, is never
// held back and no sound comes later.
class TPace {
 public:
  explicit TPace(int rate) : _frames_per_us(double(rate) * 1.1 / 1e6) {}
  // Microseconds until the next block may be rendered: 0 now.
  int64_t WaitUs() {
    const auto now = std::chrono::steady_clock::now();
    const double us = std::chrono::duration<double, std::micro>(now - _last).count();
    _last = now;
    _credit = std::min(_credit + us * _frames_per_us, kBurst);
    return _credit >= TFaMixer::kBlockFrames
               ? 0
               : int64_t((TFaMixer::kBlockFrames - _credit) / _frames_per_us) + 1;
  }
  void Rendered() { _credit -= TFaMixer::kBlockFrames; }

 private:
  static constexpr double kBurst = 8.0 * TFaMixer::kBlockFrames;
  double _frames_per_us;
  double _credit = kBurst;
  std::chrono::steady_clock::time_point _last = std::chrono::steady_clock::now();
};
}  // namespace

TFaOutput::TFaOutput(std::unique_ptr<TFaDevice> device, TFaClock clock, uint32_t first_generation)
    : _s(std::make_shared<TShared>(std::move(device), clock, first_generation)) {}

// A thread left inside the device holds its own share of what it uses.
TFaOutput::~TFaOutput() {
  if (_thread.joinable()) Stop(1000);
}

bool TFaOutput::Start(const TOptions& options) {
  if (_thread.joinable() || _detached) return false;
  if (!_s->device && !options.open) return false;
  _s->options = options;
  std::future<bool> opened = _s->opened.get_future();
  _s->running.store(true, std::memory_order_release);
  _s->alive.store(true, std::memory_order_release);
  try {
    _thread = StartThreadWithoutAlarm(Run, _s);
  } catch (const std::system_error&) {
    _s->running.store(false);
    _s->alive.store(false);
    return false;
  }
  if (opened.get()) return true;
  _thread.join();
  return false;
}

void TFaOutput::Run(const std::shared_ptr<TShared>& shared) {
  TShared& s = *shared;
  pthread_setname_np(pthread_self(), "sound mixer");  // as tools like top show it
  // Real-time before a device opens: a sound library's own threads, started
  // while it opens, carry the sound too and inherit it. The other ways (a
  // request over the system bus) wait until the device is open, so a start
  // never waits for them.
  const bool direct = s.options.realtime && MakeThisThreadRealtime();
  const bool opened = s.device || Open(s);
  s.opened.set_value(opened);
  if (opened && s.options.realtime && !direct) RaiseThisThreadOtherwise();
  while (opened && s.running.load(std::memory_order_acquire)) {
    if (s.device) PlayUntilGone(s);
    if (!s.running.load(std::memory_order_acquire)) break;
    s.device.reset();
    WaitForDevice(s);
  }
  s.alive.store(false, std::memory_order_release);
}

// Until the device is gone or the thread is asked to stop: waits until the device
// has room for a block, renders it, then writes it. What is written is as fresh
// as it can be, so a sound requested now is heard after its start delay and the
// device's queue, never after a block that waited in here. A block is written
// whole: after a short write the rest follows as soon as the device takes data
// again, even after errors in between, so the stream never loses part of a
// frame. The thread never runs ahead of the sound (see TPace).
void TFaOutput::PlayUntilGone(TShared& s) {
  int16_t block[TFaMixer::kBlockFrames * 2];
  const auto* bytes = reinterpret_cast<const uint8_t*>(block);
  size_t done = sizeof block;  // bytes of the block written: none pending
  const auto block_time =
      std::chrono::microseconds(int64_t(TFaMixer::kBlockFrames) * 1000000 / s.mixer.OutputRate());
  TPace pace(s.mixer.OutputRate());
  while (s.running.load(std::memory_order_acquire) && !s.device->Gone()) {
    const int ready = s.device->WaitWritable(kWaitMs);
    if (ready == 0) continue;  // look at the running flag again
    if (ready > 0 && done == sizeof block) {
      if (const int64_t early_us = pace.WaitUs()) {
        std::this_thread::sleep_for(std::chrono::microseconds(std::min<int64_t>(early_us, kWaitMs * 1000)));
        continue;
      }
      s.mixer.Render(block);
      pace.Rendered();
      done = 0;
    }
    const long w = ready > 0 ? s.device->Write(bytes + done, sizeof block - done) : -1;
    if (w > 0) {
      done += size_t(w);
    } else if (ready > 0 && (w == 0 || errno == EAGAIN)) {
      // It said it had room and took nothing: do not spin on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (ready < 0 || errno != EINTR) {
      // A device error: wait a block's time, then try again (or leave a device gone).
      std::this_thread::sleep_for(block_time);
    }
  }
}

// Voices end unheard meanwhile: a sound seconds late is worse than none, and the
// main thread's hand-over ring must not fill up.
void TFaOutput::WaitForDevice(TShared& s) {
  using Clock = std::chrono::steady_clock;
  auto next_try = Clock::now() + kReopenEvery;
  while (s.running.load(std::memory_order_acquire)) {
    s.mixer.DropAll();
    if (s.options.open && Clock::now() >= next_try) {
      if (Open(s)) return;
      next_try = Clock::now() + kReopenEvery;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
  }
}

bool TFaOutput::Open(TShared& s) {
  std::unique_ptr<TFaDevice> device = s.options.open ? s.options.open() : nullptr;
  if (!device) return false;
  s.mixer.SetOutputRate(device->Rate());
  s.device = std::move(device);
  return true;
}

bool TFaOutput::Stop(int deadline_ms) {
  if (!_thread.joinable() && !_detached) return true;
  _s->running.store(false, std::memory_order_release);
  // The 1 ms alarm cuts sleeps short on the main thread, so wait against a clock.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
  while (Alive() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (Alive()) {
    if (_thread.joinable()) _thread.detach();
    _detached = true;
    return false;
  }
  if (_thread.joinable()) _thread.join();
  _detached = false;
  if (_s->device) _s->device->Reset();
  return true;
}
