// End to end through a real OSS consumer: a private PulseAudio server with a null
// sink, the player helper writing /dev/dsp through the server's OSS emulation
// (libpulsedsp preloaded), and parec recording the sink's monitor. Checks pitch,
// level and duration of a test tone, that two overlapping sounds both arrive, and
// prints the delay from PlaySound to the sound's first recorded sample.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

const char* kPreload = "/usr/lib/x86_64-linux-gnu/pulseaudio/libpulsedsp.so";

long long NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

bool ThreadSanitized() {
#if defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  return true;
#endif
#endif
  return false;
}

bool OnPath(const char* prog) {
  const std::string cmd = std::string("command -v ") + prog + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// A child process with extra environment and its stdout on a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
  bool Spawn(std::vector<std::string> argv, const std::vector<std::string>& env, bool pipe_out,
             const std::string& log = "") {
    std::vector<std::string> envs;  // ours replace inherited ones of the same name
    for (char** e = environ; *e; ++e) {
      const std::string var(*e);
      const std::string key = var.substr(0, var.find('=') + 1);
      bool replaced = false;
      for (auto& x : env) replaced = replaced || x.compare(0, key.size(), key) == 0;
      if (!replaced) envs.push_back(var);
    }
    for (auto& e : env) envs.push_back(e);
    std::vector<char*> a, v;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    for (auto& s : envs) v.push_back(s.data());
    v.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    int fds[2] = {-1, -1};
    if (pipe_out) {
      if (pipe(fds) != 0) return false;
      posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
      posix_spawn_file_actions_addclose(&fa, fds[0]);
      posix_spawn_file_actions_addclose(&fa, fds[1]);
    } else if (!log.empty()) {
      posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!log.empty()) posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int r = posix_spawnp(&pid, a[0], &fa, nullptr, a.data(), v.data());
    posix_spawn_file_actions_destroy(&fa);
    if (pipe_out) {
      close(fds[1]);
      out = fds[0];
    }
    return r == 0;
  }
  int Wait(int timeout_ms) {
    const long long end = NowUs() + timeout_ms * 1000LL;
    int status = 0;
    while (NowUs() < end) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(5000);
    }
    return -1;
  }
  ~Child() {
    if (out >= 0) close(out);
    if (pid > 0) {
      kill(pid, SIGTERM);
      if (Wait(2000) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  }
};

// Recording with the arrival time of every piece, to place samples in time.
struct Recording {
  std::mutex m;
  std::vector<int16_t> left;  // left channel
  std::vector<std::pair<size_t, long long>> marks;  // frames so far, arrival time
  std::atomic<bool> done{false};
  std::thread reader;
  void Start(int fd) {
    reader = std::thread([this, fd] {
      std::vector<uint8_t> buf(4096), pending;
      for (;;) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n <= 0) break;
        const long long t = NowUs();
        std::lock_guard<std::mutex> lock(m);
        pending.insert(pending.end(), buf.begin(), buf.begin() + n);
        size_t i = 0;
        for (; i + 4 <= pending.size(); i += 4) left.push_back(int16_t(pending[i] | pending[i + 1] << 8));
        pending.erase(pending.begin(), pending.begin() + i);
        marks.emplace_back(left.size(), t);
      }
      done = true;
    });
  }
  // Time at which frame k arrived, less the frames that came after it in its piece.
  long long TimeOf(size_t k) {
    for (auto& [frames, t] : marks)
      if (frames > k) return t - (long long)(frames - 1 - k) * 1000000 / 44100;
    return -1;
  }
};

struct Burst {
  size_t start, end;  // frames
};

std::vector<Burst> FindBursts(const std::vector<int16_t>& x, int threshold) {
  std::vector<Burst> out;
  const size_t gap = 44100 / 100;  // quieter than the threshold for 10 ms ends a burst
  size_t i = 0;
  while (i < x.size()) {
    if (std::abs(x[i]) <= threshold) {
      ++i;
      continue;
    }
    Burst b{i, i};
    size_t quiet = 0;
    for (; i < x.size() && quiet < gap; ++i) {
      if (std::abs(x[i]) > threshold) {
        b.end = i + 1;
        quiet = 0;
      } else {
        ++quiet;
      }
    }
    out.push_back(b);
  }
  return out;
}

double Goertzel(const std::vector<int16_t>& x, size_t from, size_t to, double hz) {
  const double w = 2 * M_PI * hz / 44100, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (size_t i = from; i < to; ++i) {
    const double s0 = x[i] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) / double(to - from);
}

}  // namespace

TEST(PulseAudioEndToEnd, ToneAndOverlappingSoundsArriveThroughTheOssEmulation) {
#ifndef TESS_PULSE_PLAYER
  GTEST_SKIP() << "player helper not built";
#else
  if (ThreadSanitized())
    GTEST_SKIP() << "ThreadSanitizer build: its runtime cannot share the process with the "
                    "preloaded OSS emulation library";
  struct stat st;
  if (stat(kPreload, &st) != 0 || !OnPath("pulseaudio") || !OnPath("parec"))
    GTEST_SKIP() << "pulseaudio, parec or libpulsedsp.so not installed";
  TempDir dir;
  const std::string run = dir.path().string();
  const std::string server = "unix:" + run + "/pulse/native";
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + run, "HOME=" + run,
                                        "PULSE_SERVER=" + server};
  Child pa;
  ASSERT_TRUE(pa.Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                        "--disable-shm=yes", "-L", "module-null-sink sink_name=tess_test",
                        "-L", "module-native-protocol-unix"},
                       env, false, run + "/pulseaudio.log"));
  const long long deadline = NowUs() + 5000000;
  while (stat((run + "/pulse/native").c_str(), &st) != 0 && NowUs() < deadline) usleep(20000);
  if (stat((run + "/pulse/native").c_str(), &st) != 0)
    GTEST_SKIP() << "pulseaudio did not start (see " << run << "/pulseaudio.log)";

  Child rec;
  ASSERT_TRUE(rec.Spawn({"parec", "-d", "tess_test.monitor", "--raw", "--format=s16le",
                         "--rate=44100", "--channels=2", "--latency-msec=10"},
                        env, true));
  Recording r;
  r.Start(rec.out);
  // The recording must be running before the player starts.
  const long long rec_deadline = NowUs() + 3000000;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(r.m);
      if (r.left.size() > 4410) break;
    }
    ASSERT_LT(NowUs(), rec_deadline) << "parec delivers nothing";
    usleep(10000);
  }

  std::vector<std::string> penv = env;
  penv.push_back(std::string("LD_PRELOAD=") + kPreload);
  // In an AddressSanitizer build the preloaded library comes before the sanitizer's
  // runtime, which is harmless here but refused by default.
  const char* asan = getenv("ASAN_OPTIONS");
  penv.push_back(std::string("ASAN_OPTIONS=verify_asan_link_order=0") + (asan && *asan ? ":" : "") +
                 (asan ? asan : ""));
  Child player;
  ASSERT_TRUE(player.Spawn({TESS_PULSE_PLAYER}, penv, true));
  std::string text;
  char buf[512];
  for (ssize_t n; (n = read(player.out, buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
  const int code = player.Wait(10000);
  const long long exited = NowUs();
  ASSERT_EQ(code, 0) << text;
  usleep(300000);
  rec.~Child();  // stop the recording
  new (&rec) Child();
  r.reader.join();

  std::vector<long long> plays;
  long long end_us = 0;
  std::istringstream lines(text);
  for (std::string word, name; lines >> word;) {
    long long t;
    if (word == "PLAY" && lines >> name >> t) plays.push_back(t);
    if (word == "END" && lines >> t) end_us = t;
  }
  ASSERT_EQ(plays.size(), 7u) << text;
  EXPECT_LT(exited - end_us, 2000000) << "End took too long";

  std::lock_guard<std::mutex> lock(r.m);
  const auto& x = r.left;
  // A stall of the emulation delays the rest of a sound (the server fills in
  // silence), so a tone may come in pieces: judge the pieces by their pitch.
  auto bursts = FindBursts(x, 2000);
  ASSERT_GE(bursts.size(), 6u) << "recorded " << x.size() << " frames";
  auto ms_of = [](const Burst& b) { return double(b.end - b.start) * 1000 / 44100; };
  auto pitch_of = [&](const Burst& b) {
    int crossings = 0;
    for (size_t k = b.start + 1; k < b.end; ++k)
      if (x[k - 1] < 0 && x[k] >= 0) ++crossings;
    return crossings * 1000.0 / ms_of(b);
  };
  std::vector<Burst> tones, rest;
  for (const Burst& b : bursts) (std::abs(pitch_of(b) - 440) < 20 && rest.empty() ? tones : rest).push_back(b);
  ASSERT_GE(tones.size(), 5u);
  double tone_ms = 0;
  for (const Burst& b : tones) {
    tone_ms += ms_of(b);
    int peak = 0;
    for (size_t k = b.start; k < b.end; ++k) peak = std::max(peak, std::abs(int(x[k])));
    EXPECT_NEAR(peak, 16000, 800) << "level";
    if (ms_of(b) > 30) {
      EXPECT_NEAR(pitch_of(b), 440, 6);
    }
  }
  EXPECT_NEAR(tone_ms, 5 * 200, 5 * 10) << "duration of the five tones";

  // The overlapping pair: first 1000 Hz alone, then 1000 and 1500 Hz together.
  ASSERT_FALSE(rest.empty());
  double pair_ms = 0;
  for (const Burst& b : rest) pair_ms += ms_of(b);
  EXPECT_NEAR(pair_ms, 550, 30);
  bool a_alone = false, together = false;
  for (const Burst& b : rest) {
    for (size_t w = b.start; w + 2205 <= b.end; w += 1102) {
      const double pa = Goertzel(x, w, w + 2205, 1000), pb = Goertzel(x, w, w + 2205, 1500);
      a_alone = a_alone || (pa > 2000 && pb < 300);
      together = together || (pa > 2000 && pb > 2000);
    }
  }
  EXPECT_TRUE(a_alone);
  EXPECT_TRUE(together) << "the second sound did not arrive alongside the first";

  // Latency, when every tone came in one piece (so the i-th burst is the i-th play).
  if (tones.size() != 5) {
    std::printf("the emulation stalled during the tones: no latency figures this time\n");
    return;
  }
  std::vector<double> latency_ms;
  for (int i = 0; i < 5; ++i) latency_ms.push_back(double(r.TimeOf(tones[i].start) - plays[i]) / 1000);
  std::vector<double> sorted = latency_ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("PlaySound to first recorded sample (ms):");
  for (double l : latency_ms) std::printf(" %.1f", l);
  std::printf("; median %.1f\n", sorted[2]);
  for (double l : latency_ms) {
    EXPECT_GT(l, 15) << "a sound cannot arrive before its 20 ms start delay";
    EXPECT_LT(l, 2500);
  }
#endif
}
