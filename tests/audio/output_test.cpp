// The mixing thread over devices that stall, fail, go away or never return, and a
// concurrent workout of the main-thread calls while the thread mixes (run this
// program under ThreadSanitizer to check the two threads share no plain data).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "audio/audio.h"
#include "audio/fa_output.h"
#include "audio/freeaudio.h"
#include "platform/app.h"
#include "tests/support/fa_doubles.h"

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

// A device whose write never comes back in time (a wedged sound server). It notes
// whether it was destroyed while a write was still inside.
std::atomic<int> g_stuck_devices{0};
std::atomic<bool> g_freed_while_writing{false};
struct TStuckDevice : TFaDevice {
  std::atomic<bool> inside{false};
  TStuckDevice() { ++g_stuck_devices; }
  ~TStuckDevice() override {
    if (inside) g_freed_while_writing = true;
    --g_stuck_devices;
  }
  int Rate() const override { return 44100; }
  int WaitWritable(int) override { return 1; }
  long Write(const void*, size_t n) override {
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1400));
    inside = false;
    return long(n);
  }
};

// Takes every block, except that one write is cut short and the next one fails.
struct TFlakyDevice : TFaDevice {
  std::mutex m;
  std::vector<uint8_t> bytes;
  int writes = 0;
  int Rate() const override { return 44100; }
  int WaitWritable(int) override { return 1; }
  long Write(const void* p, size_t n) override {
    std::lock_guard<std::mutex> lock(m);
    ++writes;
    if (writes == 3) {
      errno = EIO;
      return -1;
    }
    if (writes == 2) n = 6;  // one and a half frames
    bytes.insert(bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    return long(n);
  }
};

int StillClock() { return 1000; }

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
}

TEST(FaOutput, CloseGivesUpOnAThreadStuckInTheDeviceAndFreesNothing) {
  auto dev = std::make_unique<TStuckDevice>();
  TStuckDevice* stuck = dev.get();
  ASSERT_EQ(StartMixerOn(std::move(dev)), 0);
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

TEST(FaOutput, AStopThatGaveUpLeavesTheThreadEverythingItUses) {
  auto dev = std::make_unique<TStuckDevice>();
  TStuckDevice* stuck = dev.get();
  auto out = std::make_unique<TFaOutput>(std::move(dev), nullptr);
  ASSERT_TRUE(out->Start());
  ASSERT_TRUE(WaitFor([&] { return stuck->inside.load(); }, 1000));
  EXPECT_FALSE(out->Stop(100));
  EXPECT_FALSE(out->Stop(100)) << "the thread is still in the device";
  out.reset();
  EXPECT_EQ(g_stuck_devices, 1) << "the device went while its thread was inside";
  // The thread frees what it used once its write comes back.
  EXPECT_TRUE(WaitFor([] { return g_stuck_devices == 0; }, 3000));
  EXPECT_FALSE(g_freed_while_writing);
}

TEST(FaOutput, AWriteCutShortThenFailingLosesNoFrameAndKeepsFramesWhole) {
  auto dev = std::make_unique<TFlakyDevice>();
  TFlakyDevice* flaky = dev.get();
  TFaOutput out(std::move(dev), StillClock);
  // A stereo ramp: left k, right -k.
  std::vector<int16_t> ramp(2 * 8000);
  for (int k = 0; k < 8000; ++k) ramp[2 * k] = int16_t(k), ramp[2 * k + 1] = int16_t(-k);
  TFaSound* s = TFaMixer::CreateSound(8000, 16, 2, 44100, ramp.data(), false);
  out.Mixer().PlaySound(s, false, 0);  // starts 20 ms (882 frames) into the stream
  ASSERT_TRUE(out.Start());
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> lock(flaky->m);
    return flaky->bytes.size() >= 8 * 4096;
  }, 3000));
  EXPECT_TRUE(out.Stop(1000));
  TFaMixer::FreeSound(s);
  std::lock_guard<std::mutex> lock(flaky->m);
  const auto& b = flaky->bytes;
  for (int k = 0; k < 6000; ++k) {
    const size_t at = size_t(882 + k) * 4;
    const int16_t l = int16_t(b[at] | b[at + 1] << 8), r = int16_t(b[at + 2] | b[at + 3] << 8);
    ASSERT_EQ(l, k) << "frame " << k << " of the sound";
    ASSERT_EQ(r, -k) << "frame " << k << " of the sound";
  }
}

// A device that is gone is closed; while there is none, whatever is played ends
// unheard; a new device is tried every two seconds and its rate is the mixer's.
std::atomic<int> g_opens{0};
std::atomic<TFaMemoryDevice*> g_second{nullptr};

std::unique_ptr<TFaDevice> OpenSecondTime() {
  if (g_opens.fetch_add(1) == 0) return nullptr;  // nothing there yet
  auto d = std::make_unique<TFaMemoryDevice>(48000, 48000 * 4);
  g_second = d.get();
  return d;
}

TEST(FaOutput, AGoneDeviceIsReplacedEveryTwoSecondsAndWhatPlayedMeanwhileIsDropped) {
  auto dev = std::make_unique<TFaMemoryDevice>(44100, 44100 * 4);
  TFaMemoryDevice* first = dev.get();
  TFaOutput out(std::move(dev), nullptr);
  std::vector<int16_t> level(4410, 5000);
  TFaSound* s = TFaMixer::CreateSound(4410, 16, 1, 44100, level.data(), false);
  TFaSound* loop = TFaMixer::CreateSound(4410, 16, 1, 44100, level.data(), true);
  ASSERT_TRUE(out.Start({.open = OpenSecondTime}));
  ASSERT_TRUE(WaitFor([&] { return first->Writes() > 0; }, 1000));
  const int looping = out.Mixer().PlaySound(loop, false, out.Mixer().AllocChannel());
  first->SetGone(true);
  const auto gone = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 0; i < 100; ++i) out.Mixer().PlaySound(s, false, 0);
  EXPECT_TRUE(WaitFor([&] { return TFaMixerProbe::VoicesInUse(out.Mixer()) == 1; }, 1000));
  EXPECT_EQ(out.Mixer().ChannelStatus(looping), 1) << "the loop still plays";

  ASSERT_TRUE(WaitFor([] { return g_second.load() != nullptr; }, 6000));
  EXPECT_GE(MsSince(gone), 3500) << "after an empty try the next waits two seconds";
  EXPECT_EQ(g_opens, 2);
  // 4410 frames at 44100 Hz take 4800 at 48000, and nothing else is heard.
  out.Mixer().PlaySound(s, false, 0);
  TFaMemoryDevice* second = g_second;
  ASSERT_TRUE(WaitFor([&] { return second->ByteCount() >= 48000 * 4 / 2; }, 3000));
  EXPECT_TRUE(out.Stop(1000));
  const std::vector<uint8_t> b = second->Bytes();
  int heard = 0;
  for (size_t at = 0; at + 4 <= b.size(); at += 4) heard += (b[at] | b[at + 1]) != 0;
  EXPECT_NEAR(heard, 4800, 2);
  out.Mixer().StopChannel(looping);
  TFaMixer::FreeSound(s);
  TFaMixer::FreeSound(loop);
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
  ASSERT_EQ(StartMixerOn(std::move(dev)), 0);
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
  ASSERT_TRUE(WaitFor([] { return TFaMixerProbe::VoicesInUse(*fa_Mixer()) == 0; }, 3000));
  fa_FreeSound(loop);
  fa_Close();
  EXPECT_FALSE(fa_Running());
  for (TFaSound* s : sounds) fa_FreeSound(s);
}
