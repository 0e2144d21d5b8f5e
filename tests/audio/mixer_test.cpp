// Block rendering of the FreeAudio mixer, driven directly with a fake clock.
#include "audio/fa_mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <vector>

#include "tests/support/fa_doubles.h"

namespace {

std::atomic<int> g_now{1000};
int FakeClock() { return g_now.load(); }

constexpr int kN = TFaMixer::kBlockFrames;

struct Mixer {
  TFaMixer m{FakeClock};
  std::vector<int16_t> out = std::vector<int16_t>(kN * 2);
  std::vector<TFaSound*> sounds;
  ~Mixer() {
    for (TFaSound* s : sounds) TFaMixer::FreeSound(s);
  }
  const std::vector<int16_t>& Render() {
    m.Render(out.data());
    return out;
  }
  // Renders frames blocks and returns left, right interleaved.
  std::vector<int16_t> RenderBlocks(int blocks) {
    std::vector<int16_t> all;
    for (int i = 0; i < blocks; ++i) {
      Render();
      all.insert(all.end(), out.begin(), out.end());
    }
    return all;
  }
  TFaSound* Mono16(const std::vector<int16_t>& v, int hertz = 44100, bool loop = false) {
    TFaSound* s = TFaMixer::CreateSound(int(v.size()), 16, 1, hertz, v.data(), loop);
    sounds.push_back(s);
    return s;
  }
};

std::vector<int16_t> Constant(int n, int16_t value) { return std::vector<int16_t>(n, value); }

std::vector<int16_t> Sine(int n, double period, double amp = 16000) {
  std::vector<int16_t> v(n);
  for (int i = 0; i < n; ++i) v[i] = int16_t(std::lround(amp * std::sin(2 * M_PI * i / period)));
  return v;
}

int FirstNonZero(const std::vector<int16_t>& lr) {
  for (size_t i = 0; i < lr.size(); i += 2)
    if (lr[i] != 0 || lr[i + 1] != 0) return int(i / 2);
  return -1;
}

int LastNonZero(const std::vector<int16_t>& lr) {
  for (size_t i = lr.size(); i >= 2; i -= 2)
    if (lr[i - 2] != 0 || lr[i - 1] != 0) return int(i / 2 - 1);
  return -1;
}

// Rising zero crossings of the left side.
int Crossings(const std::vector<int16_t>& lr, int from, int to) {
  int c = 0;
  for (int i = from + 1; i < to; ++i)
    if (lr[(i - 1) * 2] < 0 && lr[i * 2] >= 0) ++c;
  return c;
}

// Plays with the request and the render at the same instant minus 20 ms, so the
// voice starts at frame 0 of the next block.
int PlayNow(Mixer& mx, TFaSound* s, int handle = 0) {
  g_now = 5000;
  const int h = mx.m.PlaySound(s, false, handle);
  g_now = 5020;
  return h;
}

}  // namespace

TEST(FaMixer, FullScaleVoicesClipInsteadOfWrapping) {
  Mixer mx;
  TFaSound* hi = mx.Mono16(Constant(4000, 32767));
  TFaSound* lo = mx.Mono16(Constant(4000, -32768));
  PlayNow(mx, hi);
  mx.m.PlaySound(hi, false, 0);
  auto& out = mx.Render();
  for (int i = 0; i < kN * 2; ++i) ASSERT_EQ(out[i], 32767) << i;

  Mixer mx2;
  TFaSound* lo2 = mx2.Mono16(Constant(4000, -32768));
  PlayNow(mx2, lo2);
  mx2.m.PlaySound(lo2, false, 0);
  auto& out2 = mx2.Render();
  for (int i = 0; i < kN * 2; ++i) ASSERT_EQ(out2[i], -32768) << i;
  (void)lo;
}

TEST(FaMixer, OneVoiceAtFullVolumeComesOutUnchanged) {
  Mixer mx;
  auto wave = Sine(4000, 50.3);
  PlayNow(mx, mx.Mono16(wave));
  auto& out = mx.Render();
  for (int i = 0; i < kN; ++i) {
    ASSERT_EQ(out[i * 2], wave[i]) << i;
    ASSERT_EQ(out[i * 2 + 1], wave[i]) << i;
  }
}

TEST(FaMixer, RateChangesDurationAndFrequency) {
  auto wave = Sine(4000, 40);  // 100 periods
  {
    Mixer mx;
    const int h = mx.m.AllocChannel();
    mx.m.SetChannelRate(h, 2.0f);
    PlayNow(mx, mx.Mono16(wave), h);
    auto lr = mx.RenderBlocks(3);
    EXPECT_EQ(LastNonZero(lr), 1999);  // 4000 frames in half the time
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(lr[i * 2], wave[i * 2]) << i;
    EXPECT_NEAR(Crossings(lr, 0, 2000), 100, 1);  // period 20 frames: doubled frequency
    EXPECT_EQ(mx.m.ChannelStatus(h), 1);
    EXPECT_EQ(mx.m.ChannelPosition(h), 4000);
  }
  {
    Mixer mx;
    const int h = mx.m.AllocChannel();
    mx.m.SetChannelRate(h, 0.5f);
    PlayNow(mx, mx.Mono16(wave), h);
    auto lr = mx.RenderBlocks(8);
    EXPECT_EQ(LastNonZero(lr) / 10, 7999 / 10);  // twice the time
    EXPECT_NEAR(Crossings(lr, 0, 4096), 4096 / 80, 1);  // period 80 frames: halved
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(lr[i * 4], wave[i]) << i;
  }
}

TEST(FaMixer, HalfRateSoundStepsByHalfAFrameAndEndsOnTime) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(1000, 1000), 22050);
  const int h = mx.m.AllocChannel();
  PlayNow(mx, s, h);
  auto lr = mx.RenderBlocks(2);
  EXPECT_EQ(FirstNonZero(lr), 0);
  EXPECT_EQ(LastNonZero(lr), 1999);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(lr[i * 2], 1000) << i;
  EXPECT_EQ(mx.m.ChannelStatus(h), 1);  // finished, kept for its channel
  EXPECT_EQ(mx.m.ChannelPosition(h), 1000);
}

TEST(FaMixer, PanSilencesOneSideAndCentreKeepsBoth) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(4000, 8000));
  const int right = mx.m.AllocChannel();
  mx.m.SetChannelPan(right, 1.0f);
  PlayNow(mx, s, right);
  auto& out = mx.Render();
  for (int i = 0; i < kN; ++i) {
    ASSERT_EQ(out[i * 2], 0);
    ASSERT_EQ(out[i * 2 + 1], 8000);
  }
  mx.m.SetChannelPan(right, 0.f);
  mx.Render();
  EXPECT_EQ(out[0], 8000);
  EXPECT_EQ(out[1], 8000);
  mx.m.SetChannelPan(right, -0.5f);
  mx.Render();
  EXPECT_EQ(out[0], 8000);
  EXPECT_EQ(out[1], 4000);
}

TEST(FaMixer, StereoAndEightBitSoundsKeepTheirChannelsAndLevels) {
  Mixer mx;
  std::vector<int16_t> st;
  for (int i = 0; i < 2000; ++i) st.insert(st.end(), {1200, -3400});
  TFaSound* s = TFaMixer::CreateSound(2000, 16, 2, 44100, st.data(), false);
  mx.sounds.push_back(s);
  std::vector<uint8_t> b8(2000, 0xFF);
  TFaSound* s8 = TFaMixer::CreateSound(2000, 8, 1, 44100, b8.data(), false);
  mx.sounds.push_back(s8);
  PlayNow(mx, s);
  auto& out = mx.Render();
  EXPECT_EQ(out[10], 1200);
  EXPECT_EQ(out[11], -3400);
  Mixer m8;
  m8.sounds.push_back(TFaMixer::CreateSound(2000, 8, 1, 44100, b8.data(), false));
  PlayNow(m8, m8.sounds.back());
  EXPECT_EQ(m8.Render()[0], 127 * 256);
}

TEST(FaMixer, LoopingSoundWrapsThroughItsFirstFrame) {
  Mixer mx;
  std::vector<int16_t> v(100, 5000);
  v[0] = 10000;
  v[99] = 0;
  TFaSound* s = mx.Mono16(v, 44100, true);
  const int h = mx.m.AllocChannel();
  mx.m.SetChannelRate(h, 0.5f);
  PlayNow(mx, s, h);
  auto lr = mx.RenderBlocks(1);
  // Frame 199 sits halfway between the last frame (0) and the first (10000).
  EXPECT_EQ(lr[198 * 2], 0);
  EXPECT_EQ(lr[199 * 2], 5000);
  EXPECT_EQ(lr[200 * 2], 10000);
  EXPECT_EQ(mx.m.ChannelStatus(h), 4);
  EXPECT_EQ(mx.m.ChannelPosition(h), 512);  // counted on through the wraps

  // A smooth loop stays smooth across the seam at an odd rate.
  Mixer m2;
  TFaSound* sine = m2.Mono16(Sine(200, 200), 44100, true);
  const int h2 = m2.m.AllocChannel();
  m2.m.SetChannelRate(h2, 1.37f);
  PlayNow(m2, sine, h2);
  auto lr2 = m2.RenderBlocks(2);
  int worst = 0;
  for (int i = 1; i < 2 * kN; ++i) worst = std::max(worst, std::abs(lr2[i * 2] - lr2[i * 2 - 2]));
  EXPECT_LT(worst, 800);  // max slope 16000 x 2 pi x 1.37 / 200 = 689
}

TEST(FaMixer, EachVoiceStartsTwentyMillisecondsAfterItsRequest) {
  struct Case {
    int request, render, first;
  };
  for (Case c : {Case{1000, 1000, 882}, Case{1000, 1007, 573}, Case{1000, 1025, 0},
                 Case{INT_MAX - 3, INT_MIN + 3, 573}, Case{-4, 3, 573}}) {
    Mixer mx;
    TFaSound* s = mx.Mono16(Constant(3000, 100));
    g_now = c.request;
    mx.m.PlaySound(s, false, 0);
    g_now = c.render;
    EXPECT_EQ(FirstNonZero(mx.RenderBlocks(1)), c.first) << c.request << " " << c.render;
  }
  // Two plays 10 ms apart, picked up by the same block: 441 and 882 frames.
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(3000, 100));
  g_now = 1000;
  mx.m.PlaySound(s, false, 0);
  g_now = 1010;
  mx.m.PlaySound(s, false, 0);
  auto& out = mx.Render();
  EXPECT_EQ(out[440 * 2], 0);
  EXPECT_EQ(out[441 * 2], 100);
  EXPECT_EQ(out[881 * 2], 100);
  EXPECT_EQ(out[882 * 2], 200);
  // A delay longer than a block carries over to the next one.
  Mixer late;
  late.m.PlaySound(late.Mono16(Constant(3000, 100)), false, 0);
  EXPECT_EQ(FirstNonZero(late.RenderBlocks(1)), 882);
}

TEST(FaMixer, VolumeRampsToSilenceThenSkipsAhead) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 16000));
  const int h = mx.m.AllocChannel();
  PlayNow(mx, s, h);
  mx.Render();
  ASSERT_EQ(mx.out[0], 16000);
  mx.m.SetChannelVolume(h, 0.f);
  auto& out = mx.Render();
  EXPECT_EQ(out[0], 16000);
  for (int i = 1; i < kN; ++i) ASSERT_LE(out[i * 2], out[i * 2 - 2]) << i;
  EXPECT_NEAR(out[512 * 2], 8000, 20);  // linear: half-way at the middle
  EXPECT_LT(out[1023 * 2], 40);
  const int64_t before = mx.m.ChannelPosition(h);
  mx.Render();
  for (int i = 0; i < kN * 2; ++i) ASSERT_EQ(out[i], 0);
  EXPECT_EQ(mx.m.ChannelPosition(h), before + kN);
  EXPECT_EQ(mx.m.ChannelStatus(h), 2);
}

TEST(FaMixer, PausedVoiceHoldsItsPositionAndTakesSettingsAtOnce) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 4000));
  const int h = mx.m.AllocChannel();
  g_now = 5000;
  mx.m.PlaySound(s, true, h);  // cued
  g_now = 5020;
  EXPECT_EQ(mx.m.ChannelStatus(h), 2 | 0x10);
  mx.Render();
  EXPECT_EQ(FirstNonZero(mx.out), -1);
  EXPECT_EQ(mx.m.ChannelPosition(h), 0);
  mx.m.SetChannelVolume(h, 0.5f);
  mx.Render();
  mx.m.SetChannelPaused(h, false);
  EXPECT_EQ(mx.m.ChannelStatus(h), 2);
  auto& out = mx.Render();
  EXPECT_EQ(out[0], 2000);  // no ramp from the old volume
  EXPECT_EQ(out[2046], 2000);
  EXPECT_EQ(mx.m.ChannelPosition(h), kN);
}

TEST(FaMixer, StaleHandlesAreIgnored) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 4000));
  const int h = mx.m.PlaySound(s, false, 0);
  EXPECT_EQ(h, 0x2001);
  EXPECT_EQ(mx.m.ChannelStatus(h), 2);
  mx.m.StopChannel(h);
  EXPECT_EQ(mx.m.ChannelStatus(h), 0);
  const int h2 = mx.m.AllocChannel();
  EXPECT_EQ(h2, 0x3001);
  EXPECT_EQ(mx.m.ChannelStatus(0x2001), 0);
  EXPECT_EQ(mx.m.SetChannelVolume(0x2001, 0.5f), -1);
  mx.m.FreeChannel(0x2001);  // already free in that generation: no effect
  EXPECT_EQ(mx.m.AllocChannel(), 0x2002);
  mx.m.FreeChannel(h2);
  mx.m.FreeChannel(h2);  // twice: the free list stays intact
  EXPECT_EQ(mx.m.AllocChannel(), 0x4001);
  EXPECT_EQ(mx.m.AllocChannel(), 0x2003);
  EXPECT_EQ(mx.m.ChannelStatus(0), 0);
  EXPECT_EQ(mx.m.ChannelStatus(0x7FFFF000), 0);
}

TEST(FaMixer, FullHandleTableStillPlaysWithoutAHandle) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(3000, 10));
  std::vector<int> handles;
  for (int i = 0; i < 4095; ++i) handles.push_back(mx.m.AllocChannel());
  EXPECT_NE(handles.back(), 0);
  EXPECT_EQ(mx.m.AllocChannel(), 0);
  EXPECT_EQ(PlayNow(mx, s), 0);
  mx.Render();
  EXPECT_EQ(mx.out[0], 10);
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 1);
  mx.RenderBlocks(3);  // ends and is reclaimed
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 0);
}

TEST(FaMixer, PlaysBeyondTheRingAreDroppedWhileTheMixerStalls) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(100, 1));
  for (int i = 0; i < 5000; ++i) mx.m.PlaySound(s, false, 0);
  EXPECT_EQ(TFaMixerProbe::Records(mx.m), TFaMixer::kMaxVoices);
  g_now += 100;
  mx.Render();
  EXPECT_EQ(mx.out[0], TFaMixer::kMaxVoices);
  mx.Render();
  mx.m.DrainRecycled();
  // All records came back and can play again.
  for (int i = 0; i < 10; ++i) mx.m.PlaySound(s, false, 0);
  EXPECT_EQ(TFaMixerProbe::Records(mx.m), TFaMixer::kMaxVoices);
}

TEST(FaMixer, StoppedAndAbandonedVoicesLeaveTheActiveList) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(2000, 300));
  const int a = mx.m.AllocChannel();
  const int b = mx.m.AllocChannel();
  PlayNow(mx, s, a);
  PlayNow(mx, s, b);
  mx.Render();
  EXPECT_EQ(mx.out[0], 600);
  mx.m.StopChannel(a);
  mx.Render();
  EXPECT_EQ(mx.out[0], 300);
  mx.m.FreeChannel(b);  // plays on to its end, then is reclaimed
  mx.Render();
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 0);
  EXPECT_EQ(mx.m.ChannelStatus(b), 0);
}

TEST(FaMixer, PlayingOnAChannelReplacesItsVoice) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 300));
  const int h = mx.m.AllocChannel();
  mx.m.SetChannelVolume(h, 0.5f);
  PlayNow(mx, s, h);
  EXPECT_EQ(PlayNow(mx, s, h), h);
  mx.Render();
  EXPECT_EQ(mx.out[0], 150);  // one voice, with the channel's volume
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 1);
}

TEST(FaMixer, AKeptChannelNeverControlsTheNextVoiceOfItsRecord) {
  Mixer mx;
  TFaSound* shortone = mx.Mono16(Constant(10, 100));
  TFaSound* longone = mx.Mono16(Constant(40000, 100));
  const int kept = PlayNow(mx, shortone);
  mx.RenderBlocks(2);
  EXPECT_EQ(mx.m.ChannelStatus(kept), 0);
  const int other = PlayNow(mx, longone);  // reuses the voice record
  EXPECT_NE(other, kept);
  mx.m.SetChannelVolume(kept, 0.f);
  mx.m.SetChannelPaused(kept, true);
  mx.m.StopChannel(kept);
  mx.Render();
  EXPECT_EQ(mx.out[0], 100);
  EXPECT_EQ(TFaMixerProbe::Records(mx.m), 1);
}

TEST(FaMixer, SettersClampAndRefuseNaN) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 1000));
  const int h = mx.m.AllocChannel();
  EXPECT_EQ(mx.m.SetChannelVolume(h, 7.f), 0);
  EXPECT_EQ(mx.m.SetChannelRate(h, 1e9f), 0);
  EXPECT_EQ(mx.m.SetChannelPan(h, -3.f), 0);
  EXPECT_EQ(mx.m.SetChannelVolume(h, std::nanf("")), -1);
  EXPECT_EQ(mx.m.SetChannelRate(h, -std::nanf("")), -1);
  PlayNow(mx, s, h);
  auto lr = mx.RenderBlocks(3);
  EXPECT_EQ(lr[0], 1000);  // volume 1
  EXPECT_EQ(lr[1], 0);     // pan full left
  EXPECT_EQ(LastNonZero(lr), 2499);  // rate 16: 40000 frames in 2500
}

TEST(FaMixer, NegativeDepthInvertsTheRightSide) {
  Mixer mx;
  const int h = mx.m.AllocChannel();
  mx.m.SetChannelDepth(h, -1.f);
  PlayNow(mx, mx.Mono16(Constant(4000, 1000)), h);
  auto& out = mx.Render();
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[1], -1000);
}

TEST(FaMixer, SoundsWithoutFramesOrRateAreRefused) {
  int16_t v[4] = {1, 2, 3, 4};
  EXPECT_EQ(TFaMixer::CreateSound(0, 16, 1, 44100, v, false), nullptr);
  EXPECT_EQ(TFaMixer::CreateSound(4, 16, 1, 0, v, false), nullptr);
  EXPECT_EQ(TFaMixer::CreateSound(4, 24, 1, 44100, v, false), nullptr);
  EXPECT_EQ(TFaMixer::CreateSound(4, 16, 3, 44100, v, false), nullptr);
  EXPECT_EQ(TFaMixer::CreateSound(4, 16, 1, INT_MAX, v, false), nullptr);
  EXPECT_EQ(TFaMixer::CreateSound(-1, 16, 1, 44100, v, false), nullptr);
}

TEST(FaMixer, MixesAtTheRateTheDeviceAccepted) {
  TFaMixer m(FakeClock, 48000);
  std::vector<int16_t> v(48000, 50);
  TFaSound* s = TFaMixer::CreateSound(1000, 16, 1, 48000, v.data(), false);
  g_now = 100;
  m.PlaySound(s, false, 0);
  std::vector<int16_t> out(kN * 2);
  m.Render(out.data());
  EXPECT_EQ(FirstNonZero(out), 960);  // 20 ms at 48 kHz
  TFaMixer::FreeSound(s);
}

TEST(FaMixer, AbandonedPausedVoicesStopAndCuesNeedAHandle) {
  Mixer mx;
  TFaSound* s = mx.Mono16(Constant(40000, 300));
  const int h = mx.m.AllocChannel();
  g_now = 5000;
  mx.m.PlaySound(s, true, h);
  mx.Render();
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 1);
  mx.m.FreeChannel(h);  // nobody can resume it any more
  mx.Render();
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 0);
  for (int i = 0; i < 4095; ++i) mx.m.AllocChannel();
  EXPECT_EQ(mx.m.PlaySound(s, true, 0), 0);
  mx.Render();
  EXPECT_EQ(TFaMixerProbe::VoicesInUse(mx.m), 0);
}
