// The mixing thread's scheduling: where real-time is allowed (root) the mixing
// thread gets it and no other thread does; RealtimeKit, on a private bus with a
// stand-in for its daemon, is asked for the calling thread once RLIMIT_RTTIME is
// limited as the daemon requires, and a refusal is taken quietly; without any
// rights the thread gets the nice value RLIMIT_NICE allows, or nothing.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "audio/fa_priority.h"
#include "audio/freeaudio.h"
#include "tests/support/fa_doubles.h"
#include "tests/support/proc_threads.h"
#include "tests/support/realtime_kit_double.h"
#include "tests/support/temp_dir.h"

TEST(FaPriority, OnlyTheMixingThreadRunsInRealTime) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root's right to real-time scheduling";
  ASSERT_EQ(StartMixerOn(std::make_unique<TFaMemoryDevice>(44100, 44100 * 4)), 0);
  TProcessStat now;
  for (int tries = 0; tries < 100; ++tries) {  // the thread raises itself when it starts
    now = StatOf(getpid());
    if (ThreadNamed(now, "sound mixer").policy == SCHED_RR) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  fa_Close();
  int realtime = 0;
  for (const auto& [tid, t] : now.threads) {
    if (t.name != "sound mixer") {
      EXPECT_EQ(t.policy, SCHED_OTHER) << t.name;
      continue;
    }
    ++realtime;
    EXPECT_EQ(t.policy, SCHED_RR);
    EXPECT_GE(t.rt_priority, 1);
    EXPECT_LE(t.rt_priority, 10) << "a modest priority";
  }
  EXPECT_EQ(realtime, 1);
}

TEST(FaPriority, RealtimeKitIsAskedForTheCallingThreadWithItsTimeLimitSet) {
  TempDir dir;
  TRealtimeKitDouble kit(dir.str());
  if (!kit.Why().empty()) GTEST_SKIP() << kit.Why();
  // The library reads this once per process: before its first call.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", kit.Address().c_str(), 1);
  const long tid = long(gettid());
  testing::internal::CaptureStderr();
  EXPECT_TRUE(MakeRealtimeThroughRealtimeKit(tid, 5));
  kit.SetGranting(false);
  EXPECT_FALSE(MakeRealtimeThroughRealtimeKit(tid, 5));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const auto calls = kit.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].thread, uint64_t(tid));
  EXPECT_EQ(calls[0].priority, 5u);
  EXPECT_GE(calls[0].rttime_max, 0) << "RLIMIT_RTTIME was not set";
  EXPECT_LE(calls[0].rttime_max, kFaRealtimeSliceUs);
}

// In a child that gives up its rights: another user (when root), no real-time
// priority, no system bus. Its exit code names the step that went wrong.
TEST(FaPriority, WithoutRightsTheThreadGetsWhatRlimitNiceAllowsOrNothingAndSaysNothing) {
  TempDir dir;
  const std::string err = dir.str() + "/stderr";
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() == 0 && !nobody) GTEST_SKIP() << "no user nobody to run as";
  const uid_t uid = nobody ? nobody->pw_uid : 0;
  const gid_t gid = nobody ? nobody->pw_gid : 0;
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 2) < 0) _exit(2);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir.str() + "/no-bus").c_str(), 1);
    // Nice values down to -5 later, if the hard limit may be raised that far here.
    rlimit nice{0, 25};
    if (setrlimit(RLIMIT_NICE, &nice) != 0 && getrlimit(RLIMIT_NICE, &nice) == 0) nice.rlim_cur = 0;
    const rlimit no_rt{0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &no_rt) != 0 || setrlimit(RLIMIT_NICE, &nice) != 0) _exit(3);
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(4);
    const int nice_before = getpriority(PRIO_PROCESS, 0);
    if (RaiseThisThreadForSound() != TFaPriority::kNone) _exit(5);
    if (getpriority(PRIO_PROCESS, 0) != nice_before) _exit(6);
    if (nice.rlim_max < 25) _exit(10);
    nice.rlim_cur = 25;
    if (setrlimit(RLIMIT_NICE, &nice) != 0) _exit(7);
    if (RaiseThisThreadForSound() != TFaPriority::kNice) _exit(8);
    _exit(getpriority(PRIO_PROCESS, 0) == -5 ? 0 : 9);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  EXPECT_TRUE(code == 0 || code == 10) << code << "; 5, 6: it got something without rights; 8, 9: not the nice value allowed";
  EXPECT_EQ(std::filesystem::file_size(err), 0u) << "the program writes nothing there";
  if (code == 10) std::printf("RLIMIT_NICE's hard limit cannot be raised here: the nice step went untried\n");
}
