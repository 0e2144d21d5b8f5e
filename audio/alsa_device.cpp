// The ALSA output device, the mixer's way out where there is no /dev/dsp: ALSA's
// "default" device, which desktops route to their sound server (PulseAudio,
// PipeWire) and other machines to the sound card. The only module that knows
// <alsa/asoundlib.h>. Opened non-blocking; the mixing thread waits in
// snd_pcm_wait with a time-out, so it can always notice a shutdown request.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"
#include "audio/fa_queue.h"

namespace {

constexpr snd_pcm_uframes_t kBlock = TFaMixer::kBlockFrames;
constexpr int kFrameBytes = 4;  // signed 16-bit stereo
constexpr int kResumeNapMs = 20;

class TAlsaDevice : public TFaDevice {
 public:
  TAlsaDevice(snd_pcm_t* pcm, int rate, snd_pcm_uframes_t period, snd_pcm_uframes_t buffer)
      : _pcm(pcm), _rate(rate), _buffer(snd_pcm_sframes_t(buffer)),
        _queue(int(period), rate, int(buffer - kBlock)) {}
  ~TAlsaDevice() override { snd_pcm_close(_pcm); }

  int Rate() const override { return _rate; }

  int WaitWritable(int timeout_ms) override {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    if (_gone) return -1;
    bool recovered = false;
    for (;;) {
      const snd_pcm_sframes_t avail = snd_pcm_avail(_pcm);
      if (avail < 0) {
        // One recovery per wait: a device that fails again at once waits a block.
        const int r = Recover(int(avail));
        if (r < 0 || (r > 0 && recovered)) return -1;
        recovered = r > 0;
        if (r == 0 && !NapWhileSuspended(end)) return 0;
        continue;
      }
      // All that is still to be heard (a sound server's latency included), and
      // what the device holds that its consumer has not taken yet.
      const snd_pcm_sframes_t held = _buffer - avail;
      snd_pcm_sframes_t delay = held;
      if (snd_pcm_state(_pcm) == SND_PCM_STATE_RUNNING && snd_pcm_delay(_pcm, &delay) < 0)
        delay = held;
      const int wait =
          avail < snd_pcm_sframes_t(kBlock) ? -1 : _queue.FramesToWait(int(delay), int(held));
      if (wait == 0) {
        _queue.Ready(int(delay));
        return 1;
      }
      const int64_t left =
          std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
      if (left <= 0) return 0;
      if (wait < 0) {  // no room for a block: the device wakes us when there is
        const int r = snd_pcm_wait(_pcm, int((left + 999) / 1000));
        if (r == 0) return 0;
        if (r < 0) {
          const int rr = Recover(r);
          if (rr < 0 || (rr > 0 && recovered)) return -1;
          recovered = rr > 0;
          if (rr == 0 && !NapWhileSuspended(end)) return 0;
        }
      } else {
        TFaQueue::Sleep(wait, _rate, left);
      }
    }
  }

  long Write(const void* buf, size_t count) override {
    if (_gone) {
      errno = EIO;
      return -1;
    }
    const snd_pcm_sframes_t n = snd_pcm_writei(_pcm, buf, count / kFrameBytes);
    if (n >= 0) return long(n) * kFrameBytes;
    if (n == -EAGAIN) {
      errno = EAGAIN;
      return -1;
    }
    // After an underrun the device starts again with this write: try it at once.
    const int r = Recover(int(n));
    errno = r > 0 ? EINTR : (r == 0 ? EAGAIN : EIO);
    return -1;
  }

  void Reset() override {
    if (!_gone) snd_pcm_drop(_pcm);
    _queue.Restart();
  }

  bool Gone() const override { return _gone; }

 private:
  // Underruns, suspends and interruptions: 1 when the device can take data again,
  // 0 while it is still suspended (resuming hardware asks to be asked again), -1
  // for a device that is gone (a sound server that ended, a card unplugged),
  // which is then left alone: the library is not asked again (it would report
  // every failed attempt) and the mixing thread opens another.
  int Recover(int err) {
    if (err == -EINTR) return 1;
    if (err == -EPIPE) {
      _queue.RanDry();
      if (snd_pcm_prepare(_pcm) == 0) return 1;
    } else if (err == -ESTRPIPE) {
      // Not snd_pcm_recover: it sleeps a second per attempt.
      const int r = snd_pcm_resume(_pcm);
      if (r == -EAGAIN) return 0;
      if (r == 0 || snd_pcm_prepare(_pcm) == 0) return 1;
    }
    _gone = true;
    return -1;
  }

  // A short nap between resume attempts, within the wait's time: false when
  // that is over.
  static bool NapWhileSuspended(std::chrono::steady_clock::time_point end) {
    const auto nap = std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(kResumeNapMs), end - std::chrono::steady_clock::now());
    if (nap <= nap.zero()) return false;
    std::this_thread::sleep_for(nap);
    return true;
  }

  snd_pcm_t* _pcm;
  int _rate;
  snd_pcm_sframes_t _buffer;
  TFaQueue _queue;
  bool _gone = false;
};

// The library reports every failure on standard error, a missing card or
// server included; the program writes nothing there, and a device that cannot
// be used only means silence.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

struct TPcmCloser {
  void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using TPcm = std::unique_ptr<snd_pcm_t, TPcmCloser>;

// Signed 16-bit stereo near 44100 Hz, in periods of one mixer block, with room
// for a block beside the longest queue; null, or the reason the device refuses.
const char* Configure(snd_pcm_t* pcm, unsigned* rate, snd_pcm_uframes_t* period,
                      snd_pcm_uframes_t* buffer) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return "the ALSA device offers no configuration";
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
    return "the ALSA device refuses interleaved writes";
  if (snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0)
    return "the ALSA device refuses signed 16-bit little-endian samples";
  if (snd_pcm_hw_params_set_channels(pcm, hw, 2) < 0) return "the ALSA device refuses stereo";
  *rate = 44100;
  if (snd_pcm_hw_params_set_rate_near(pcm, hw, rate, nullptr) < 0 || *rate < 8000 || *rate > 192000)
    return "the ALSA device refuses every usable rate";
  *period = kBlock;
  snd_pcm_hw_params_set_period_size_near(pcm, hw, period, nullptr);
  *buffer = snd_pcm_uframes_t(TFaQueue(int(*period), int(*rate)).MostFrames()) + kBlock;
  snd_pcm_hw_params_set_buffer_size_near(pcm, hw, buffer);
  if (snd_pcm_hw_params(pcm, hw) < 0) return "the ALSA device refuses every buffer size";
  snd_pcm_hw_params_get_period_size(hw, period, nullptr);
  snd_pcm_hw_params_get_buffer_size(hw, buffer);
  if (*buffer < kBlock + std::max(*period, kBlock)) return "the ALSA device's buffer is too small";
  return nullptr;
}

}  // namespace

std::unique_ptr<TFaDevice> OpenAlsaDevice(const char* name, std::string* why) {
  auto fail = [&](const char* reason) -> std::unique_ptr<TFaDevice> {
    if (why) *why = reason;
    return nullptr;
  };
  snd_lib_error_set_handler(Quiet);
  snd_pcm_t* raw = nullptr;
  // Non-blocking, so that a device held by another program fails at once.
  if (snd_pcm_open(&raw, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
    return fail("cannot open the ALSA device");
  TPcm pcm(raw);
  unsigned rate = 0;
  snd_pcm_uframes_t period = 0, buffer = 0;
  if (const char* reason = Configure(pcm.get(), &rate, &period, &buffer)) return fail(reason);
  // The thread wakes once a block fits; playback starts with the first period.
  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  if (snd_pcm_sw_params_current(pcm.get(), sw) < 0 ||
      snd_pcm_sw_params_set_avail_min(pcm.get(), sw, std::min(buffer, kBlock)) < 0 ||
      snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, std::min(buffer, period)) < 0 ||
      snd_pcm_sw_params(pcm.get(), sw) < 0 || snd_pcm_prepare(pcm.get()) < 0)
    return fail("the ALSA device refuses its start settings");
  return std::make_unique<TAlsaDevice>(pcm.release(), int(rate), period, buffer);
}
