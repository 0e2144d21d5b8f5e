// End to end through a real OSS consumer: a private PulseAudio server with a null
// sink, the player helper writing /dev/dsp through the server's OSS emulation
// (libpulsedsp preloaded), and parec recording the sink's monitor. Checks pitch,
// level and duration of a test tone, that two overlapping sounds both arrive, and
// prints the delay from PlaySound to the sound's first recorded sample.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace {

struct Burst {
  size_t start, end;  // frames
};

std::vector<Burst> FindBursts(const std::vector<int16_t>& x, int threshold) {
  std::vector<Burst> out;
  const size_t gap = 44100 / 100;  // quieter than the threshold for 10 ms ends a burst
  size_t i = 0;
  while (i < x.size()) {
    if (std::abs(x[i]) <= threshold) {
      ++i;
      continue;
    }
    Burst b{i, i};
    size_t quiet = 0;
    for (; i < x.size() && quiet < gap; ++i) {
      if (std::abs(x[i]) > threshold) {
        b.end = i + 1;
        quiet = 0;
      } else {
        ++quiet;
      }
    }
    out.push_back(b);
  }
  return out;
}

double Goertzel(const std::vector<int16_t>& x, size_t from, size_t to, double hz) {
  const double w = 2 * M_PI * hz / 44100, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < to; ++i) {
    const double s0 = x[i] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) / double(to - from);
}

}  // namespace

TEST(PulseAudioEndToEnd, ToneAndOverlappingSoundsArriveThroughTheOssEmulation) {
#ifndef TESS_PULSE_PLAYER
  GTEST_SKIP() << "player helper not built";
#else
  if (UnderThreadSanitizer())
    GTEST_SKIP() << "ThreadSanitizer build: its runtime cannot share the process with the "
                    "preloaded OSS emulation library";
  if (OssEmulationLibrary().empty()) GTEST_SKIP() << "the OSS emulation library is not installed";
  TempDir dir;
  TPulseServer pulse(dir.str());
  if (!pulse.Why().empty()) GTEST_SKIP() << pulse.Why();
  TMonitorRecording r;
  std::string why;
  ASSERT_TRUE(r.Start(pulse, &why)) << why;

  TChildProcess player;
  ASSERT_TRUE(player.Spawn({TESS_PULSE_PLAYER}, pulse.OssEmulationEnv(), true));
  std::string text;
  char buf[512];
  for (ssize_t n; (n = read(player.Out(), buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
  const int code = player.Wait(10000);
  const long long exited = MonotonicUs();
  ASSERT_EQ(code, 0) << text;
  usleep(300000);
  r.Stop();

  std::vector<long long> plays;
  long long end_us = 0;
  std::istringstream lines(text);
  for (std::string word, name; lines >> word;) {
    long long t;
    if (word == "PLAY" && lines >> name >> t) plays.push_back(t);
    if (word == "END" && lines >> t) end_us = t;
  }
  ASSERT_EQ(plays.size(), 7u) << text;
  EXPECT_LT(exited - end_us, 2000000) << "End took too long";

  const std::vector<int16_t> x = r.Left();
  // A stall of the emulation delays the rest of a sound (the server fills in
  // silence), so a tone may come in pieces: judge the pieces by their pitch.
  auto bursts = FindBursts(x, 2000);
  ASSERT_GE(bursts.size(), 6u) << "recorded " << x.size() << " frames";
  auto ms_of = [](const Burst& b) { return double(b.end - b.start) * 1000 / 44100; };
  auto pitch_of = [&](const Burst& b) {
    int crossings = 0;
    for (size_t k = b.start + 1; k < b.end; ++k)
      if (x[k - 1] < 0 && x[k] >= 0) ++crossings;
    return crossings * 1000.0 / ms_of(b);
  };
  std::vector<Burst> tones, rest;
  for (const Burst& b : bursts) (std::abs(pitch_of(b) - 440) < 20 && rest.empty() ? tones : rest).push_back(b);
  ASSERT_GE(tones.size(), 5u);
  double tone_ms = 0;
  for (const Burst& b : tones) {
    tone_ms += ms_of(b);
    int peak = 0;
    for (size_t k = b.start; k < b.end; ++k) peak = std::max(peak, std::abs(int(x[k])));
    EXPECT_NEAR(peak, 16000, 800) << "level";
    if (ms_of(b) > 30) {
      EXPECT_NEAR(pitch_of(b), 440, 6);
    }
  }
  EXPECT_NEAR(tone_ms, 5 * 200, 5 * 10) << "duration of the five tones";

  // The overlapping pair: first 1000 Hz alone, then 1000 and 1500 Hz together.
  ASSERT_FALSE(rest.empty());
  double pair_ms = 0;
  for (const Burst& b : rest) pair_ms += ms_of(b);
  EXPECT_NEAR(pair_ms, 550, 30);
  bool a_alone = false, together = false;
  for (const Burst& b : rest) {
    for (size_t w = b.start; w + 2205 <= b.end; w += 1102) {
      const double pa = Goertzel(x, w, w + 2205, 1000), pb = Goertzel(x, w, w + 2205, 1500);
      a_alone = a_alone || (pa > 2000 && pb < 300);
      together = together || (pa > 2000 && pb > 2000);
    }
  }
  EXPECT_TRUE(a_alone);
  EXPECT_TRUE(together) << "the second sound did not arrive alongside the first";

  // Latency, when every tone came in one piece (so the i-th burst is the i-th play).
  if (tones.size() != 5) {
    std::printf("the emulation stalled during the tones: no latency figures this time\n");
    return;
  }
  std::vector<double> latency_ms;
  for (int i = 0; i < 5; ++i) latency_ms.push_back(double(r.TimeOf(tones[i].start) - plays[i]) / 1000);
  std::vector<double> sorted = latency_ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("PlaySound to first recorded sample (ms):");
  for (double l : latency_ms) std::printf(" %.1f", l);
  std::printf("; median %.1f\n", sorted[2]);
  for (double l : latency_ms) {
    // Not before it was played (the recording's stamps may run early by the
    // sink's block on a busy machine, so the 20 ms start delay is no bound here).
    EXPECT_GT(l, 0);
    EXPECT_LT(l, 2500);
  }
#endif
}
