#include "platform/thread_util.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/system.h"

namespace {

bool AlarmBlockedHere() {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return sigismember(&mask, SIGALRM) == 1;
}

TEST(ThreadUtil, ThreadsStartedWithoutAlarmNeverTakeItAndTheCallerKeepsIt) {
  ASSERT_FALSE(AlarmBlockedHere());
  bool blocked_in_thread = false;
  auto t = StartThreadWithoutAlarm([&blocked_in_thread] { blocked_in_thread = AlarmBlockedHere(); });
  t.join();
  EXPECT_TRUE(blocked_in_thread);
  EXPECT_FALSE(AlarmBlockedHere());  // the guard restored the creator's mask
  {
    TAlarmBlock block;
    EXPECT_TRUE(AlarmBlockedHere());
  }
  EXPECT_FALSE(AlarmBlockedHere());
}

TEST(ThreadUtil, WorkCompletedOnAnotherThreadWakesASleepingWait) {
  StartClock();
  std::atomic<bool> ran{false};
  auto worker = StartThreadWithoutAlarm([&ran] {
    Delay(30);
    PostCompletion([&ran] { ran = true; });
  });
  const uint64_t t0 = MilliSecs64();
  while (!ran && MilliSecs64() - t0 < 2000) WaitSystem();
  const uint64_t took = MilliSecs64() - t0;
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_LT(took, 900u);  // not the one-second sleep of an idle Wait
}

}  // namespace
