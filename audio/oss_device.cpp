// The Open Sound System output device. The only module that knows <sys/soundcard.h>.
// The descriptor stays non-blocking: the mixing thread waits with poll and a
// time-out, so it can always notice a shutdown request.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/soundcard.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "audio/fa_device.h"
#include "audio/fa_queue.h"

namespace {

class TOSSDevice : public TFaDevice {
 public:
  static constexpr int kFrameBytes = 4;  // signed 16-bit stereo

  // The device plays a fragment (one block, as asked for) at a time and holds
  // what its fragments hold.
  TOSSDevice(int fd, int rate, int fragment_bytes, int buffer_bytes)
      : _fd(fd), _rate(rate),
        _queue(fragment_bytes / kFrameBytes, rate, buffer_bytes / kFrameBytes) {}
  ~TOSSDevice() override { ::close(_fd); }

  int Rate() const override { return _rate; }

  int WaitWritable(int timeout_ms) override {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const int64_t left =
          std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
      if (left <= 0) return 0;
      pollfd p{_fd, POLLOUT, 0};
      const int r = ::poll(&p, 1, int((left + 999) / 1000));
      if (r < 0) return errno == EINTR ? 0 : -1;
      if (r == 0) return 0;
      if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        _gone = true;
        return -1;
      }
      // All that is still to be heard (an emulation's sound server latency
      // included), and what the device holds that its consumer has not taken.
      int delay = 0;
      audio_buf_info space{};
      if (::ioctl(_fd, SNDCTL_DSP_GETODELAY, &delay) < 0 ||
          ::ioctl(_fd, SNDCTL_DSP_GETOSPACE, &space) < 0)
        return 1;
      const int held = space.fragstotal * space.fragsize - space.bytes;
      const int wait = _queue.FramesToWait(delay / kFrameBytes, held / kFrameBytes);
      if (wait == 0) {
        _queue.Ready(delay / kFrameBytes);
        return 1;
      }
      TFaQueue::Sleep(wait, _rate, left);
    }
  }

  // Nothing to recover on this device: any error but "try again" means it is gone
  // (a card unplugged, an emulation whose server ended).
  long Write(const void* buf, size_t count) override {
    const ssize_t n = ::write(_fd, buf, count);
    if (n < 0 && errno != EAGAIN && errno != EINTR) _gone = true;
    return long(n);
  }

  void Reset() override {
    ::ioctl(_fd, SNDCTL_DSP_RESET, 0);
    _queue.Restart();
  }

  bool Gone() const override { return _gone; }

 private:
  int _fd;
  int _rate;
  TFaQueue _queue;
  bool _gone = false;
};

}  // namespace

std::unique_ptr<TFaDevice> OpenOSSDevice(const char* path, std::string* why) {
  auto fail = [&](int fd, const char* reason) -> std::unique_ptr<TFaDevice> {
    if (fd >= 0) ::close(fd);
    if (why) *why = reason;
    return nullptr;
  };
  // Non-blocking, so that a device held by another program fails at once.
  const int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(-1, "cannot open the sound device");
  int frag = 0x0003000C;  // three fragments of 4096 bytes; must come first
  ::ioctl(fd, SNDCTL_DSP_SETFRAGMENT, &frag);
  int fmt = AFMT_S16_LE;
  if (::ioctl(fd, SNDCTL_DSP_SETFMT, &fmt) < 0 || fmt != AFMT_S16_LE)
    return fail(fd, "the sound device refuses signed 16-bit little-endian samples");
  int channels = 2;
  if (::ioctl(fd, SNDCTL_DSP_CHANNELS, &channels) < 0 || channels != 2)
    return fail(fd, "the sound device refuses stereo");
  int rate = 44100;
  if (::ioctl(fd, SNDCTL_DSP_SPEED, &rate) < 0 || rate < 8000 || rate > 192000)
    return fail(fd, "the sound device refuses every usable rate");
  audio_buf_info space{};
  if (::ioctl(fd, SNDCTL_DSP_GETOSPACE, &space) < 0 || space.fragsize <= 0)
    space = {3, 3, 4096, 3 * 4096};  // what was asked for
  return std::make_unique<TOSSDevice>(fd, rate, space.fragsize, space.fragstotal * space.fragsize);
}
