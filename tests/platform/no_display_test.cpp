// Without an X server the system driver must still run timers and never crash.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/event_queue.h"
#include "platform/system.h"
#include "platform/timer.h"

namespace {

int handled = 0;
void CountSignal(int) { ++handled; }

class NoDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("DISPLAY", ":987", 1);  // a server that is not there; read when the driver starts
    StartClock();
    ASSERT_EQ(SystemDisplay(), nullptr);
  }
};

TEST_F(NoDisplay, PollDoesNothingWhileWaitSleepsAndDispatches) {
  SetSignalHandler(SIGUSR1, &CountSignal);
  handled = 0;
  PostPendingSignal(SIGUSR1);
  PollSystem();
  SystemPump();
  EXPECT_EQ(handled, 0);
  WaitSystem();
  EXPECT_EQ(handled, 1);
  WaitSystem();  // a second Wait has nothing pending: it sleeps until the alarm or 1 s
  EXPECT_EQ(handled, 1);
  SetSignalHandler(SIGUSR1, nullptr);
}

TEST_F(NoDisplay, TimersStillTickThroughWait) {
  auto timer = CreateTimer(100.0f);
  const uint64_t t0 = MilliSecs64();
  int total = 0;
  for (int i = 0; i < 5; ++i) total += WaitTimer(timer);
  EXPECT_EQ(total, 5);
  EXPECT_LT(MilliSecs64() - t0, 2000u);
  StopTimer(timer);
  FlushEvents();
}

TEST_F(NoDisplay, PointerAndEventCallsAreHarmless) {
  HideMouse();
  ShowMouse();
  MoveMouse(1, 2);
  SetInputWindow(1234);  // a window id without a display: still nothing to do
  HideMouse();
  EXPECT_EQ(PollEvent(), 0);
  EXPECT_EQ(PeekEvent(), nullptr);
}

}  // namespace
