// The ALSA device against a real sound server: a private PulseAudio server with a
// null sink, reached through ALSA's PulseAudio plugin, recorded at its monitor.
// A tone must arrive in tune; when the server goes away the mixing thread must
// wait rather than spin, report nothing on standard error, drop what was playing
// and play again through a new server on the same socket; it still stops at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "audio/fa_device.h"
#include "audio/fa_output.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

namespace {

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::unique_ptr<TFaDevice> OpenDefault() { return OpenAlsaDevice("default"); }

// Where the recording's first and last loud samples are, and how often it
// crosses zero upwards in between.
struct TLoud {
  size_t first = 0, last = 0, crossings = 0;
};
TLoud LoudPart(const std::vector<int16_t>& x) {
  TLoud t;
  for (size_t i = 1; i < x.size(); ++i) {
    if (std::abs(x[i]) > 2000) {
      if (!t.first) t.first = i;
      t.last = i;
    }
    if (t.first && x[i - 1] < 0 && x[i] >= 0) ++t.crossings;
  }
  return t;
}

}  // namespace

TEST(AlsaDevice, PlaysThroughASoundServerWaitsWhenItGoesAwayAndComesBackWithANewOne) {
  struct stat st;
  if (stat("/usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_pulse.so", &st) != 0)
    GTEST_SKIP() << "ALSA's PulseAudio plugin (libasound2-plugins) not installed";
  TempDir dir;
  TPulseServer pulse(dir.str());
  if (!pulse.Why().empty()) GTEST_SKIP() << pulse.Why();
  pulse.RouteAlsaHere();
  pulse.SetEnvHere();  // before this process first reads ALSA's configuration
  TMonitorRecording rec;
  std::string why;
  ASSERT_TRUE(rec.Start(pulse, &why)) << why;

  std::unique_ptr<TFaDevice> dev = OpenAlsaDevice("default", &why);
  ASSERT_TRUE(dev) << why;
  ASSERT_EQ(dev->Rate(), 44100);
  TFaOutput out(std::move(dev), nullptr);
  std::vector<int16_t> tone(44100 * 3 / 10);  // 300 ms at 441 Hz
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(std::lround(12000 * std::sin(2 * M_PI * 441 * double(i) / 44100)));
  TFaSound* s = TFaMixer::CreateSound(int(tone.size()), 16, 1, 44100, tone.data(), false);
  TFaSound* hum = TFaMixer::CreateSound(int(tone.size()), 16, 1, 44100, tone.data(), true);
  ASSERT_TRUE(out.Start({.open = OpenDefault}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a server may drop a stream's start
  out.Mixer().PlaySound(s, false, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));

  TLoud loud = LoudPart(rec.Left());
  ASSERT_GT(loud.first, 0u) << "the tone did not arrive";
  // Loosely: a loaded machine may cost the tone a few milliseconds (the
  // game's end-to-end test checks sounds sample by sample).
  EXPECT_NEAR(double(loud.last - loud.first) / 44.1, 300, 30) << "length in ms";
  // A gap of a few milliseconds lowers the count a little; a wrong rate (48000
  // taken for 44100) would be about 40 Hz off.
  EXPECT_NEAR(double(loud.crossings) / (double(loud.last - loud.first) / 44100), 441, 15) << "pitch";

  // A sound playing on when the server goes is dropped, not kept for the next.
  const int looping = out.Mixer().PlaySound(hum, false, out.Mixer().AllocChannel());
  testing::internal::CaptureStderr();
  pulse.Kill();
  rec.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double cpu = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(CpuSeconds() - cpu, 0.2) << "the mixing thread spins on a device that is gone";
  EXPECT_EQ(out.Mixer().ChannelStatus(looping), 1) << "the loop still plays";

  TPulseServer again(dir.str());
  ASSERT_EQ(again.Why(), "");
  TMonitorRecording rec_again;
  ASSERT_TRUE(rec_again.Start(again, &why)) << why;
  // The thread tries every two seconds: the new server has its stream by then.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  out.Mixer().PlaySound(s, false, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  loud = LoudPart(rec_again.Left());
  ASSERT_GT(loud.first, 0u) << "no sound through the new server";
  EXPECT_NEAR(double(loud.last - loud.first) / 44.1, 300, 30) << "only the new tone, in ms";

  const auto t = std::chrono::steady_clock::now();
  EXPECT_TRUE(out.Stop(1000));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the program writes nothing there";
  EXPECT_LT(std::chrono::steady_clock::now() - t, std::chrono::milliseconds(300));
  out.Mixer().StopChannel(looping);
  TFaMixer::FreeSound(s);
  TFaMixer::FreeSound(hum);
}

// ALSA's null device takes every block at once and has no clock of its own (some
// systems make it the default to silence programs): the mixing thread must still
// go at the pace of the sound, not render as fast as the processor can.
TEST(AlsaDevice, ADeviceWithoutAClockIsFedInRealTime) {
  std::string why;
  std::unique_ptr<TFaDevice> dev = OpenAlsaDevice("null", &why);
  ASSERT_TRUE(dev) << why;
  ASSERT_EQ(dev->Rate(), 44100);
  TFaOutput out(std::move(dev), nullptr);
  ASSERT_TRUE(out.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double cpu = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(CpuSeconds() - cpu, 0.2) << "the mixing thread renders faster than the sound plays";
  EXPECT_TRUE(out.Stop(1000));
}
