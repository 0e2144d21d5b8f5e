// The mixing thread over devices that stall, fail or never return, and a
// concurrent workout of the main-thread calls while the thread mixes (run this
// program under ThreadSanitizer to check the two threads share no plain data).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include "audio/audio.h"
#include "audio/fa_output.h"
#include "audio/freeaudio.h"
#include "platform/app.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

template <class F>
bool WaitFor(F cond, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A device whose write never comes back in time (a wedged sound server).
struct TStuckDevice : TFaDevice {
  std::atomic<bool> inside{false};
  int Rate() const override { return 44100; }
  int WaitWritable(int) override { return 1; }
  long Write(const void*, size_t n) override {
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1400));
    return long(n);
  }
};

std::vector<int16_t> Square(int n) {
  std::vector<int16_t> v(n);
  for (int i = 0; i < n; ++i) v[i] = (i / 50) % 2 ? 9000 : -9000;
  return v;
}

}  // namespace

TEST(FaOutput, StopsPromptlyWhileTheDeviceTakesNothing) {
  auto dev = std::make_unique<TFaMemoryDevice>();
  TFaMemoryDevice* mem = dev.get();
  TFaOutput out(std::move(dev), nullptr);
  ASSERT_TRUE(out.Start());
  ASSERT_TRUE(WaitFor([&] { return mem->Writes() > 0; }, 1000));
  mem->SetStalled(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const auto t = Clock::now();
  EXPECT_TRUE(out.Stop(1000));
  EXPECT_LT(MsSince(t), 700);  // a 100 ms wait or two, far from the 1 s deadline
  EXPECT_EQ(mem->Resets(), 1);
  EXPECT_FALSE(out.Alive());
}

TEST(FaOutput, WriteErrorsDoNotSpin) {
  auto dev = std::make_unique<TFaMemoryDevice>();
  TFaMemoryDevice* mem = dev.get();
  mem->SetFailing(true);
  TFaOutput out(std::move(dev), nullptr);
  ASSERT_TRUE(out.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(out.Stop(1000));
  // About one attempt per 23 ms block, not thousands.
  EXPECT_GE(mem->Writes(), 3);
  EXPECT_LE(mem->Writes(), 30);
  EXPECT_GE(out.WriteErrors(), 3);
}

TEST(FaOutput, CloseGivesUpOnAThreadStuckInTheDeviceAndFreesNothing) {
  auto dev = std::make_unique<TStuckDevice>();
  TStuckDevice* stuck = dev.get();
  ASSERT_EQ(fa_InitWithDevice(std::move(dev)), 0);
  ASSERT_TRUE(WaitFor([&] { return stuck->inside.load(); }, 1000));
  const auto t = Clock::now();
  fa_Close();
  const int64_t took = MsSince(t);
  EXPECT_GE(took, 900);
  EXPECT_LT(took, 1500);
  EXPECT_FALSE(fa_Running());
  // The detached thread still owns its mixer and device; let it finish its write
  // and leave before the program ends.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

TEST(FaOutput, EndReturnsQuicklyAfterPlayingWhenTheServerStopsTakingData) {
  const auto t = Clock::now();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    static TFaMemoryDevice* mem = nullptr;
    fa_SetDeviceOpener([]() -> std::unique_ptr<TFaDevice> {
      auto d = std::make_unique<TFaMemoryDevice>(44100, 44100 * 4);
      mem = d.get();
      return d;
    });
    if (SetAudioDriver(u"FreeAudio") != 1) _exit(3);
    auto sample = CreateAudioSample(44100, 44100, SF_MONO16LE);
    auto sound = LoadSound(sample, SOUND_LOOP);
    PlaySound(sound);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    mem->SetStalled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    End();  // runs the exit handlers, which shut the driver down
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_LT(MsSince(t), 200 + 2000);
}

// Plays, stops, pauses, retunes and abandons many voices from this thread while
// the mixing thread renders into a fast device.
TEST(FaOutput, ManyVoicesControlledWhileTheThreadMixes) {
  auto dev = std::make_unique<TFaMemoryDevice>(44100, 44100 * 4 * 8);  // 8x real time
  TFaMemoryDevice* mem = dev.get();
  ASSERT_EQ(fa_InitWithDevice(std::move(dev)), 0);
  auto shorter = Square(300), longer = Square(4000);
  // Every voice ends by itself within a second, except the loop kept on one channel.
  TFaSound* sounds[3] = {
      fa_CreateSound(300, 16, 1, 22050, shorter.data(), 0),
      fa_CreateSound(4000, 16, 1, 44100, longer.data(), 0),
      fa_CreateSound(2000, 16, 2, 48000, longer.data(), 0),
  };
  for (TFaSound* s : sounds) ASSERT_TRUE(s);
  TFaSound* loop = fa_CreateSound(2000, 8, 2, 11025, longer.data(), 1);
  const int loop_channel = fa_PlaySound(loop, 0, fa_AllocChannel());
  ASSERT_NE(loop_channel, 0);
  std::mt19937 rng(12345);
  std::vector<int> handles;
  const auto until = Clock::now() + std::chrono::milliseconds(1500);
  int ops = 0;
  while (Clock::now() < until) {
    for (int k = 0; k < 50; ++k, ++ops) {
      const int pick = int(rng() % 12);
      const int h = handles.empty() ? 0 : handles[rng() % handles.size()];
      switch (pick) {
        case 0: case 1: handles.push_back(fa_PlaySound(sounds[rng() % 3], 0, 0)); break;
        case 2: handles.push_back(fa_PlaySound(sounds[rng() % 3], 1, fa_AllocChannel())); break;
        case 3: fa_PlaySound(sounds[rng() % 3], 0, h); break;
        case 4: fa_StopChannel(h); break;
        case 5: fa_SetChannelPaused(h, int(rng() % 2)); break;
        case 6: fa_SetChannelRate(h, float(rng() % 300 + 25) / 100.f); break;
        case 7: fa_SetChannelVolume(h, float(rng() % 100) / 100.f); break;
        case 8: fa_SetChannelPan(h, float(int(rng() % 200) - 100) / 100.f); break;
        case 9: fa_FreeChannel(h); break;
        case 10: (void)fa_ChannelStatus(h); (void)fa_ChannelPosition(h); break;
        case 11: fa_SetChannelDepth(h, -1.f); break;
      }
      if (handles.size() > 3000) {  // abandon the oldest channels
        for (int i = 0; i < 1000; ++i) fa_FreeChannel(handles[i]);
        handles.erase(handles.begin(), handles.begin() + 1000);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  EXPECT_GT(ops, 1000);
  EXPECT_GT(mem->Writes(), 5);  // the thread really mixed meanwhile
  EXPECT_EQ(fa_ChannelStatus(loop_channel), 4);
  fa_StopChannel(loop_channel);
  for (int h : handles) fa_StopChannel(h);
  ASSERT_TRUE(WaitFor([] { return fa_Mixer()->ActiveVoices() == 0; }, 3000));
  fa_FreeSound(loop);
  fa_Close();
  EXPECT_FALSE(fa_Running());
  for (TFaSound* s : sounds) fa_FreeSound(s);
}
