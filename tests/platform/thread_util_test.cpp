// Threads that never take the alarm, work handed back to the main thread, and the
// worker pool built on both.
#include "platform/thread_util.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>

#include "platform/clock.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "platform/worker_pool.h"
#include "tests/support/limited_child.h"

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

TEST(WorkerPool, JobsRunOnAllWorkersWithTheAlarmBlockedAndAThrowEndsOnlyItsJob) {
  TWorkerPool pool(3);
  ASSERT_EQ(pool.Threads(), 3);
  std::mutex lock;
  std::set<std::thread::id> seen;
  std::atomic<int> done{0}, blocked{0};
  std::atomic<int> waiting{0};
  for (int i = 0; i < 30; ++i) {
    pool.Submit([&, i] {
      if (i == 3) throw std::runtime_error("a broken picture");
      if (i == 4) throw std::bad_alloc();
      // The first three jobs wait for each other, so each runs on its own worker.
      if (i < 3) {
        ++waiting;
        while (waiting < 3) std::this_thread::yield();
      }
      if (AlarmBlockedHere()) ++blocked;
      std::lock_guard<std::mutex> hold(lock);
      seen.insert(std::this_thread::get_id());
      ++done;
    });
  }
  pool.WaitIdle();
  EXPECT_EQ(done, 28);
  EXPECT_EQ(blocked, 28);
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen.count(std::this_thread::get_id()), 0u);
  EXPECT_FALSE(AlarmBlockedHere());
  EXPECT_GE(TWorkerPool::DefaultThreads(), 1);
  EXPECT_LE(TWorkerPool::DefaultThreads(), TWorkerPool::kMaxThreads);
}

// Under a thread limit the pool keeps the workers that started; with none, the
// submitting thread does every job. In a child, as a user that may start one more
// thread and then none.
TEST(WorkerPool, AThreadLimitLeavesFewerWorkersOrNoneButEveryJobDone) {
  if (SanitizerBuild()) GTEST_SKIP() << "sanitizer runtimes start threads of their own";
  for (int allowed : {1, 0}) {
    const unsigned user = UnusedUserId();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (!LimitThreadsOfThisChild(allowed, user)) ::_exit(2);
      std::atomic<int> done{0}, here{0};
      {
        TWorkerPool pool(4);
        if (pool.Threads() != allowed) ::_exit(3);
        for (int i = 0; i < 20; ++i) pool.Submit([&] { ++done; });
        pool.Submit([&, main = std::this_thread::get_id()] { here += std::this_thread::get_id() == main; });
        pool.WaitIdle();
      }
      ::_exit(done == 20 && here == (allowed ? 0 : 1) ? 0 : 4);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "needs root to run as an unused user id";
    EXPECT_EQ(WEXITSTATUS(status), 0) << allowed << " thread(s) allowed";
  }
}

TEST(WorkerPool, ClosingDropsJobsNotStartedAndWaitsForTheRunningOne) {
  std::atomic<bool> release{false}, started{false}, finished{false};
  std::atomic<int> later{0};
  std::thread releaser;
  {
    TWorkerPool pool(1);
    pool.Submit([&] {
      started = true;
      while (!release) std::this_thread::yield();
      finished = true;
    });
    for (int i = 0; i < 5; ++i) pool.Submit([&] { ++later; });
    while (!started) std::this_thread::yield();
    releaser = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      release = true;
    });
  }  // the pool closes while its job still runs
  releaser.join();
  EXPECT_TRUE(finished);
  EXPECT_EQ(later, 0);
}

}  // namespace
