#include "platform/thread_util.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <poll.h>

#include <atomic>
#include <cerrno>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/timer.h"

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

struct TPollCount {
  std::atomic<bool> stop{false};
  int polls = 0;
  int interrupted = 0;
};

void* PollUntilStopped(void* arg) {
  auto* c = static_cast<TPollCount*>(arg);
  while (!c->stop) {
    ++c->polls;
    if (::poll(nullptr, 0, 2) < 0 && errno == EINTR) ++c->interrupted;
  }
  return nullptr;
}

// A thread that a library starts after start-up, with plain pthread_create and the
// main thread's mask, never takes the alarm: its sleeps are not cut short.
TEST(ThreadUtil, ALibraryThreadSeesNoAlarmWhileTheMainThreadWaitsOnATimer) {
  StartClock();
  TPollCount count;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, &PollUntilStopped, &count), 0);
  auto timer = CreateTimer(65.0f);
  const uint64_t t0 = MilliSecs64();
  int ticks = 0;
  while (MilliSecs64() - t0 < 1000) ticks += WaitTimer(timer);
  count.stop = true;
  pthread_join(thread, nullptr);
  StopTimer(timer);
  EXPECT_GT(count.polls, 100);
  EXPECT_EQ(count.interrupted, 0);
  EXPECT_GT(ticks, 20);  // the main thread still takes it (a loaded machine merges ticks)
}

}  // namespace
