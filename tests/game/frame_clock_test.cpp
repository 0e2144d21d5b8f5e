// The frame clock on a scripted millisecond source: the frame-rate display at a
// steady 65 frames per second, also where the 32-bit clock turns negative or wraps,
// and the 16-bit display arithmetic.
#include <gtest/gtest.h>

#include <set>

#include "audio/audio.h"
#include "game/frame.h"
#include "game/state.h"
#include "platform/clock.h"

namespace {

uint64_t g_now = 0;
uint64_t FakeClock() { return g_now; }

class FrameClock : public ::testing::TestWithParam<uint64_t> {
 protected:
  void SetUp() override {
    ResetGameState();
    SetClockSource(&FakeClock);
  }
  void TearDown() override {
    SetClockSource(nullptr);
    ResetGameState();
  }
};

TEST_P(FrameClock, SixtyFiveFramesASecondShow64Or68) {
  const uint64_t start = GetParam();
  g_now = start;
  TIME = MilliSecs();
  FPSTime = TIME;  // as start-up sets it
  std::set<int> shown;
  for (int k = 1; k <= 650; ++k) {
    // Frames on the 65 Hz grid, some of them a few milliseconds late as the 1 ms
    // alarm lets them be: a window then holds 16 or 17 frames.
    g_now = start + static_cast<uint64_t>(k) * 1000 / 65 + (k % 5 == 0 ? 4 : 0);
    FPS();
    EXPECT_EQ(TIME, static_cast<int>(static_cast<uint32_t>(g_now)));
    if (k > 40) shown.insert(FPSDraw);
  }
  EXPECT_EQ(shown, (std::set<int>{64, 68}));
}

INSTANTIATE_TEST_SUITE_P(ClockStarts, FrameClock,
                         ::testing::Values(uint64_t{1000000}, uint64_t{0x7FFFFF00},
                                           uint64_t{0x80000000u + 5000u}, uint64_t{0xFFFFFF00u}));

TEST(FrameCounter, DisplayIsTheCountTimesFourIn16Bits) {
  ResetGameState();
  SetClockSource(&FakeClock);
  g_now = 5000;
  FPSTime = 0;
  FPSCounter = 20000;
  FPS();
  EXPECT_EQ(FPSDraw, static_cast<uint16_t>(80000 % 65536));
  EXPECT_EQ(FPSCounter, 1);
  FPSCounter = 65535;
  FPS();  // inside the window: the count wraps
  EXPECT_EQ(FPSCounter, 0);
  SetClockSource(nullptr);
  ResetGameState();
}

TEST(FrameCounter, WheelMovementIsTheDifferenceOfPositions) {
  ResetGameState();
  EXPECT_EQ(MouseZSpeed(3), 3);
  EXPECT_EQ(MouseZSpeed(3), 0);
  EXPECT_EQ(MouseZSpeed(1), -2);
  EXPECT_EQ(Eventsystem(nullptr), 0);  // a sound that failed to load plays nothing
}

}  // namespace
