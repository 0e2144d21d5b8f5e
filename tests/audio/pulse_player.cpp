// Helper program for the sound-server test: plays a known sequence through the
// FreeAudio driver and prints when each PlaySound call happened (CLOCK_MONOTONIC,
// microseconds), so the test can find the sounds in its recording and time them.
// Run with libpulsedsp preloaded, so that /dev/dsp is the sound server's emulation.
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "audio/audio.h"
#include "platform/app.h"

namespace {

long long NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

Ref<TSound> Sine(double hz, int ms, double amp) {
  const int n = 44100 * ms / 1000;
  auto s = CreateAudioSample(n, 44100, SF_MONO16LE);
  for (int i = 0; i < n; ++i) {
    const int16_t v = int16_t(std::lround(amp * std::sin(2 * M_PI * hz * i / 44100.0)));
    s->samples[i * 2] = uint8_t(v);
    s->samples[i * 2 + 1] = uint8_t(uint16_t(v) >> 8);
  }
  return LoadSound(s, 0);
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Play(const char* name, const Ref<TSound>& s) {
  std::printf("PLAY %s %lld\n", name, NowUs());
  std::fflush(stdout);
  PlaySound(s);
}

}  // namespace

int main() {
  if (SetAudioDriver(u"FreeAudio") != 1) {
    std::printf("NODEVICE\n");
    return 2;
  }
  auto tone = Sine(440, 200, 16000);
  auto a = Sine(1000, 400, 8000);
  auto b = Sine(1500, 400, 8000);
  if (!tone || !a || !b) return 3;
  Sleep(600);  // the emulation drops the start of a new stream: lead with silence
  for (int i = 0; i < 5; ++i) {
    Play("tone", tone);
    Sleep(350);
  }
  Play("a", a);
  Sleep(150);
  Play("b", b);
  Sleep(700);
  std::printf("END %lld\n", NowUs());
  std::fflush(stdout);
  End();
}
