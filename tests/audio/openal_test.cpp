// The OpenAL driver against the installed OpenAL library, configured (through
// ALSOFT_CONF in this program's own environment) to write its output to a WAV
// file, which the test then reads back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <thread>

#include "audio/audio.h"
#include "audio/openal_driver.h"
#include "audio/sample_loader.h"
#include "platform/ustring.h"
#include "tests/support/temp_dir.h"

namespace {

Ref<TAudioSample> Sine(double hz, int frames) {
  auto s = CreateAudioSample(frames, 44100, SF_MONO16LE);
  for (int i = 0; i < frames; ++i) {
    const int16_t v = int16_t(std::lround(12000 * std::sin(2 * M_PI * hz * i / 44100.0)));
    s->samples[i * 2] = uint8_t(v);
    s->samples[i * 2 + 1] = uint8_t(uint16_t(v) >> 8);
  }
  return s;
}

}  // namespace

TEST(OpenALDriver, ASoundPlayedThroughOpenALLandsInTheOutputFile) {
  TempDir dir;
  const std::string wav = dir.str() + "/out.wav";
  dir.Write("alsoft.conf", "[general]\ndrivers = wave\nfrequency = 44100\nchannels = stereo\n"
                           "sample-type = int16\n[wave]\nfile = " + wav + "\n");
  setenv("ALSOFT_CONF", (dir.str() + "/alsoft.conf").c_str(), 1);  // before the library loads
  if (!AudioDriverExists(u"OpenAL")) GTEST_SKIP() << "no OpenAL library installed";
  ASSERT_EQ(AudioDrivers()[0], u"OpenAL");
  ASSERT_EQ(SetAudioDriver(u"openal"), 1);

  auto sound = LoadSound(Sine(440, 22050), 0);  // 0.5 s
  ASSERT_TRUE(std::dynamic_pointer_cast<TOpenALSound>(sound));
  auto ch = PlaySound(sound);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ChannelPlaying(ch), 1);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (ChannelPlaying(ch) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ChannelPlaying(ch), 0);

  // Channel control: a static channel keeps its source until stopped.
  auto fixed = AllocChannel();
  ASSERT_TRUE(fixed);
  EXPECT_EQ(CueSound(sound, fixed), fixed);
  EXPECT_EQ(ChannelPlaying(fixed), 0);
  ResumeChannel(fixed);
  EXPECT_EQ(ChannelPlaying(fixed), 1);
  SetChannelPan(fixed, 1.f);
  SetChannelRate(fixed, 1.5f);
  StopChannel(fixed);
  EXPECT_EQ(ChannelPlaying(fixed), 0);
  ResumeChannel(fixed);  // stopped: the channel no longer reaches the source
  EXPECT_EQ(ChannelPlaying(fixed), 0);
  EXPECT_EQ(PlaySound(sound, std::make_shared<TChannel>()), nullptr);

  ASSERT_EQ(SetAudioDriver(u"Null"), 1);  // shuts OpenAL down, which finishes the file
  sound.reset();

  // The library writes an extensible-format header, which our loader refuses, so
  // take the 16-bit stereo data chunk directly.
  std::ifstream in(wav, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(bytes.size(), 44u) << "no output at " << wav;
  size_t at = 12;
  std::vector<int16_t> x;
  while (at + 8 <= bytes.size()) {
    const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t(bytes[at + 7]) << 24;
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      const size_t n = std::min<size_t>(size, bytes.size() - at - 8) / 4;
      for (size_t i = 0; i < n; ++i)
        x.push_back(int16_t(bytes[at + 8 + i * 4] | bytes[at + 9 + i * 4] << 8));
      break;
    }
    at += 8 + size + (size & 1);
  }
  ASSERT_FALSE(x.empty()) << "no data chunk in " << wav;
  const int rate = 44100;  // as configured
  int first = -1, last = -1, crossings = 0, peak = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const int l = x[i];
    if (std::abs(l) > 1000) {
      if (first < 0) first = int(i);
      last = int(i);
    }
    peak = std::max(peak, std::abs(l));
    if (i > 0 && first >= 0 && x[i - 1] < 0 && l >= 0) ++crossings;
  }
  ASSERT_GE(first, 0) << "the output file holds only silence";
  EXPECT_GT(double(last - first) / rate, 0.4);
  // Pitch over the first 0.4 s (the second, retuned play comes later).
  crossings = 0;
  const size_t span = size_t(rate * 4 / 10);
  for (size_t i = size_t(first) + 1; i < size_t(first) + span && i < x.size(); ++i)
    if (x[i - 1] < 0 && x[i] >= 0) ++crossings;
  EXPECT_NEAR(crossings / 0.4, 440, 10);
  EXPECT_GT(peak, 3000);
}

TEST(OpenALDriver, DevicesAreListedOnlyOnRequest) {
  TempDir dir;  // the silent output, so no sound server is contacted
  dir.Write("alsoft.conf", "[general]\ndrivers = null\n");
  setenv("ALSOFT_CONF", (dir.str() + "/alsoft.conf").c_str(), 1);
  if (!AudioDriverExists(u"OpenAL")) GTEST_SKIP() << "no OpenAL library installed";
  EXPECT_EQ(AudioDriverExists(u"OpenAL Default"), 0);
  const int added = EnumOpenALDevices();
  EXPECT_GE(added, 1);
  EXPECT_EQ(AudioDriverExists(u"OpenAL Default"), 1);
  EXPECT_EQ(int(AudioDrivers().size()), added + 4);
}
