// Private PulseAudio server, monitor recording and child processes for the sound
// tests (see pulse_server.h).
#include "tests/support/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

extern char** environ;

long long MonotonicUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

bool OnPath(const char* prog) {
  const std::string cmd = std::string("command -v ") + prog + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

bool TChildProcess::Spawn(std::vector<std::string> argv, const std::vector<std::string>& env,
                          bool pipe_out, const std::string& log) {
  std::vector<std::string> envs;
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
  if (!log.empty())
    posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  const int r = posix_spawnp(&_pid, a[0], &fa, nullptr, a.data(), v.data());
  posix_spawn_file_actions_destroy(&fa);
  if (pipe_out) {
    close(fds[1]);
    _out = fds[0];
  }
  if (r != 0) _pid = -1;
  return r == 0;
}

int TChildProcess::Wait(int timeout_ms) {
  const long long end = MonotonicUs() + timeout_ms * 1000LL;
  int status = 0;
  while (_pid > 0 && MonotonicUs() < end) {
    if (waitpid(_pid, &status, WNOHANG) == _pid) {
      _pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    usleep(5000);
  }
  return -1;
}

TChildProcess::~TChildProcess() {
  Stop();
  if (_out >= 0) close(_out);
}

void TChildProcess::Stop() {
  if (_pid <= 0) return;
  kill(_pid, SIGTERM);
  if (Wait(2000) < 0) {
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
    _pid = -1;
  }
}

std::string OssEmulationLibrary() {
  const char* lib = "/usr/lib/x86_64-linux-gnu/pulseaudio/libpulsedsp.so";
  struct stat st;
  return stat(lib, &st) == 0 ? lib : "";
}

bool UnderThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  return true;
#endif
#endif
  return false;
}

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return UnderThreadSanitizer();
}

std::vector<std::string> TPulseServer::OssEmulationEnv() const {
  std::vector<std::string> env = _env;
  env.push_back("LD_PRELOAD=" + OssEmulationLibrary());
  // Under AddressSanitizer the preloaded library comes before the sanitizer's
  // runtime, which is harmless here but refused by default.
  const char* asan = getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=verify_asan_link_order=0") + (asan && *asan ? ":" : "") +
                (asan ? asan : ""));
  return env;
}

void TPulseServer::RouteAlsaHere() const {
  std::ofstream(_dir + "/.asoundrc") << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
}

void TPulseServer::SetEnvHere() const {
  for (const std::string& e : _env) {
    const size_t eq = e.find('=');
    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
}

void TPulseServer::OpenToOthers() const {
  chmod(_dir.c_str(), 0755);
  chmod((_dir + "/pulse").c_str(), 0755);
}

void TPulseServer::Kill() {
  _server.Signal(SIGKILL);
  _server.Wait(2000);
}

TPulseServer::TPulseServer(const std::string& dir) : _dir(dir) {
  struct stat st;
  if (!OnPath("pulseaudio") || !OnPath("parec")) {
    _why = "pulseaudio or parec not installed";
    return;
  }
  _env = {"XDG_RUNTIME_DIR=" + dir, "HOME=" + dir, "PULSE_SERVER=unix:" + dir + "/pulse/native"};
  const std::string socket = dir + "/pulse/native";
  unlink(socket.c_str());  // one left by a server that was killed
  const std::string log = dir + "/pulseaudio.log";
  if (!_server.Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                      "--disable-shm=yes", "-L", "module-null-sink sink_name=tess_test", "-L",
                      "module-native-protocol-unix auth-anonymous=1"},
                     _env, false, log)) {
    _why = "pulseaudio cannot be started";
    return;
  }
  const long long deadline = MonotonicUs() + 5000000;
  while (stat(socket.c_str(), &st) != 0 && MonotonicUs() < deadline) usleep(20000);
  if (stat(socket.c_str(), &st) != 0) _why = "pulseaudio did not start (see " + log + ")";
}

bool TMonitorRecording::Start(const TPulseServer& server, std::string* why) {
  if (!_parec.Spawn({"parec", "-d", "tess_test.monitor", "--raw", "--format=s16le", "--rate=44100",
                     "--channels=2", "--latency-msec=10"},
                    server.Env(), true)) {
    *why = "parec cannot be started";
    return false;
  }
  _reader = std::thread([this, fd = _parec.Out()] {
    std::vector<uint8_t> buf(4096), pending;
    for (;;) {
      const ssize_t n = read(fd, buf.data(), buf.size());
      if (n <= 0) break;
      const long long t = MonotonicUs();
      std::lock_guard<std::mutex> lock(_m);
      pending.insert(pending.end(), buf.begin(), buf.begin() + n);
      size_t i = 0;
      for (; i + 4 <= pending.size(); i += 4) _left.push_back(int16_t(pending[i] | pending[i + 1] << 8));
      pending.erase(pending.begin(), pending.begin() + long(i));
      _marks.emplace_back(_left.size(), t);
    }
  });
  const long long deadline = MonotonicUs() + 3000000;
  while (Frames() <= 4410) {
    if (MonotonicUs() > deadline) {
      *why = "parec delivers nothing";
      return false;
    }
    usleep(10000);
  }
  return true;
}

void TMonitorRecording::Stop() {
  _parec.Stop();  // the pipe's only writer ends: the reader sees its end
  if (_reader.joinable()) _reader.join();
}

size_t TMonitorRecording::Frames() {
  std::lock_guard<std::mutex> lock(_m);
  return _left.size();
}

std::vector<int16_t> TMonitorRecording::Left() {
  std::lock_guard<std::mutex> lock(_m);
  return _left;
}

long long TMonitorRecording::TimeOf(size_t k) {
  std::lock_guard<std::mutex> lock(_m);
  for (auto& [frames, t] : _marks)
    if (frames > k) return t - (long long)(frames - 1 - k) * 1000000 / 44100;
  return -1;
}

size_t TMonitorRecording::FrameAt(long long us) {
  std::lock_guard<std::mutex> lock(_m);
  size_t before = 0;
  for (auto& [frames, t] : _marks) {
    if (t >= us) {
      // This read ends at t: count back to the frame recorded at us.
      const long long back = (t - us) * 44100 / 1000000;
      const size_t k = frames > size_t(back) ? frames - size_t(back) : 0;
      return k < before ? before : k;
    }
    before = frames;
  }
  return _left.size();
}
