// The driver registry, the Null driver, and the FreeAudio driver objects over a
// memory device that consumes in real time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "audio/audio.h"
#include "audio/fa_output.h"
#include "audio/freeaudio_driver.h"
#include "platform/ustring.h"
#include "tests/support/fa_doubles.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

TFaMemoryDevice* g_device = nullptr;
std::unique_ptr<TFaDevice> OpenMemory() {
  auto d = std::make_unique<TFaMemoryDevice>(44100, 44100 * 4);
  g_device = d.get();
  return d;
}

Ref<TAudioSample> Tone(int frames, int format = SF_MONO16LE, int16_t value = 6000) {
  auto s = CreateAudioSample(frames, 44100, format);
  for (int i = 0; i < frames * SampleFrameChannels(format); ++i) {
    const int16_t v = (i / 20) % 2 ? value : int16_t(-value);
    if (format == SF_MONO16BE || format == SF_STEREO16BE) {
      s->samples[i * 2] = uint8_t(uint16_t(v) >> 8);
      s->samples[i * 2 + 1] = uint8_t(v);
    } else {
      s->samples[i * 2] = uint8_t(v);
      s->samples[i * 2 + 1] = uint8_t(uint16_t(v) >> 8);
    }
  }
  return s;
}

template <class F>
bool WaitFor(F cond, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The block in which a voice ended is written after it was rendered.
void LetTheDeviceCatchUp() {
  const int seen = g_device->Writes();
  WaitFor([&] { return g_device->Writes() >= seen + 2; }, 2000);
}

bool HasSound(const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes)
    if (b) return true;
  return false;
}

}  // namespace

namespace {
// Runs body in a child process; its exit code. This test comes first in the file,
// so that no driver has been chosen yet in this process.
int InChild(int (*body)()) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}
}  // namespace

TEST(AudioDrivers, TheFirstUseChoosesFreeAudioAndFallsBackToNull) {
  EXPECT_EQ(InChild([] {
              fa_SetDeviceOpener(OpenMemory);
              auto sound = LoadSound(Tone(100), 0);
              if (AudioDriver().Name() != u"FreeAudio") return 1;
              if (!std::dynamic_pointer_cast<TFreeAudioSound>(sound)) return 2;
              ShutdownAudioDriver();
              return fa_Running() ? 3 : 0;
            }),
            0);
  EXPECT_EQ(InChild([] {
              fa_SetDeviceOpener([]() -> std::unique_ptr<TFaDevice> { return nullptr; });
              auto sound = LoadSound(Tone(100), 0);
              if (AudioDriver().Name() != u"Null") return 1;
              if (!sound || !PlaySound(sound)) return 2;
              return 0;
            }),
            0);
}

TEST(AudioDrivers, RegistryListsNewestFirstAndComparesWithoutCase) {
  auto names = AudioDrivers();
  std::vector<std::u16string> want = {u"FreeAudio", u"FreeAudio OpenSound System", u"Null"};
  if (!names.empty() && names[0] == u"OpenAL") want.insert(want.begin(), u"OpenAL");
  EXPECT_EQ(names, want);
  EXPECT_EQ(AudioDriverExists(u"freeaudio"), 1);
  EXPECT_EQ(AudioDriverExists(u"NULL"), 1);
  EXPECT_EQ(AudioDriverExists(u"FreeAudio "), 0);
  EXPECT_EQ(SetAudioDriver(u"no such driver"), 0);
  EXPECT_EQ(AudioDriver().Name(), u"Null");
}

TEST(AudioDrivers, WithoutASoundDeviceEverythingIsSilentNullAndNoServerIsStarted) {
  struct stat st;
  if (::stat("/dev/dsp", &st) == 0) GTEST_SKIP() << "this machine has /dev/dsp";
  if (::stat("/dev/snd", &st) == 0) GTEST_SKIP() << "this machine has a sound card for ALSA";
  // No sound server either: none of the user's is reachable from here.
  TempDir home;
  setenv("HOME", home.str().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", home.str().c_str(), 1);
  unsetenv("PULSE_SERVER");
  fa_SetDeviceOpener(nullptr);
  ShutdownAudioDriver();
  EXPECT_EQ(SetAudioDriver(u"FreeAudio"), 0);  // no device: the Null driver stays
  EXPECT_EQ(AudioDriver().Name(), u"Null");
  EXPECT_FALSE(std::filesystem::exists(home.path() / "pulse/native")) << "a sound server was started";
  auto sound = LoadSound(Tone(100), 0);
  ASSERT_TRUE(sound);
  auto ch = PlaySound(sound);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ChannelPlaying(ch), 0);
  SetChannelVolume(ch, 0.5f);
  StopChannel(ch);
  EXPECT_TRUE(AllocChannel());
  EXPECT_TRUE(CueSound(sound));
  if (!TestDataDir().empty()) {
    EXPECT_TRUE(LoadSound(TUrl(FromOSBytes(TestDataDir() + "/ogg-libnogg/square.ogg")), 2));
    EXPECT_EQ(LoadSound(TUrl(FromOSBytes(TestDataDir() + "/ogg-libnogg/6ch-moving-sine.ogg"))), nullptr);
  }
}

class FreeAudioDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    fa_SetDeviceOpener(OpenMemory);
    ASSERT_EQ(SetAudioDriver(u"freeaudio"), 1);
    ASSERT_EQ(AudioDriver().Name(), u"FreeAudio");
  }
  void TearDown() override {
    ShutdownAudioDriver();
    fa_SetDeviceOpener(nullptr);
    EXPECT_FALSE(fa_Running());
  }
};

TEST_F(FreeAudioDriver, ADroppedChannelPlaysToItsEnd) {
  auto sound = LoadSound(Tone(2205), 0);  // 50 ms
  ASSERT_TRUE(std::dynamic_pointer_cast<TFreeAudioSound>(sound));
  {
    auto ch = PlaySound(sound);
    ASSERT_TRUE(std::dynamic_pointer_cast<TFreeAudioChannel>(ch));
    EXPECT_EQ(ChannelPlaying(ch), 1);
  }
  ASSERT_TRUE(WaitFor([] { return HasSound(g_device->Bytes()); }, 2000));
  ASSERT_TRUE(WaitFor([] { return TFaMixerProbe::VoicesInUse(*fa_Mixer()) == 0; }, 2000));
  LetTheDeviceCatchUp();
  // The whole sound arrived: 2205 non-silent frames.
  auto bytes = g_device->Bytes();
  int loud = 0;
  for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
    const int16_t l = int16_t(bytes[i] | bytes[i + 1] << 8);
    if (l != 0) ++loud;
  }
  EXPECT_EQ(loud, 2205);
}

TEST_F(FreeAudioDriver, ChannelsPlayPauseResumeAndStop) {
  auto sound = LoadSound(Tone(44100), SOUND_LOOP);
  auto cued = CueSound(sound);
  ASSERT_TRUE(cued);
  EXPECT_EQ(ChannelPlaying(cued), 0);  // prepared, paused
  ResumeChannel(cued);
  EXPECT_EQ(ChannelPlaying(cued), 1);
  PauseChannel(cued);
  EXPECT_EQ(ChannelPlaying(cued), 0);
  StopChannel(cued);
  EXPECT_EQ(ChannelPlaying(cued), 0);

  auto ch = AllocChannel();
  ASSERT_TRUE(ch);
  EXPECT_EQ(PlaySound(sound, ch), ch);  // plays on the given channel
  EXPECT_EQ(ChannelPlaying(ch), 1);
  auto fc = std::dynamic_pointer_cast<TFreeAudioChannel>(ch);
  ASSERT_TRUE(WaitFor([&] { return fc->Position() > 0; }, 2000));
  SetChannelRate(ch, 2.f);
  SetChannelPan(ch, -1.f);
  SetChannelDepth(ch, 0.f);
  SetChannelVolume(ch, 0.25f);
  EXPECT_EQ(ChannelPlaying(ch), 1);
  StopChannel(ch);
  EXPECT_EQ(ChannelPlaying(ch), 0);
  EXPECT_EQ(fc->fa_channel, 0);
  // Another driver's channel cannot carry a FreeAudio sound.
  EXPECT_EQ(PlaySound(sound, std::make_shared<TChannel>()), nullptr);
}

TEST_F(FreeAudioDriver, AFinishedVoiceStopsPlayingAndBigEndianSamplesWork) {
  auto sound = LoadSound(Tone(441, SF_STEREO16BE), 0);
  ASSERT_TRUE(sound);
  auto ch = PlaySound(sound);
  ASSERT_TRUE(ch);
  ASSERT_TRUE(WaitFor([&] { return ChannelPlaying(ch) == 0; }, 2000));
  LetTheDeviceCatchUp();
  EXPECT_TRUE(HasSound(g_device->Bytes()));
  EXPECT_EQ(LoadSound(Ref<TAudioSample>(), 0), nullptr);
  EXPECT_EQ(AudioDriver().CreateSound(CreateAudioSample(0, 44100, SF_MONO8), 0), nullptr);
}

TEST_F(FreeAudioDriver, AChannelFromBeforeARestartLeavesTheNewOnesAlone) {
  auto before = AllocChannel();
  ASSERT_TRUE(before);
  ASSERT_EQ(SetAudioDriver(u"FreeAudio"), 1);  // a new mixer
  auto now = AllocChannel();
  ASSERT_TRUE(now);
  before.reset();  // releases a handle of the old mixer
  EXPECT_EQ(now->SetVolume(0.5f), 0) << "the new channel lost its handle";
  EXPECT_NE(AllocChannel(), nullptr);
  EXPECT_EQ(now->SetVolume(0.25f), 0);
}
