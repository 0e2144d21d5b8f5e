// What a program plays, heard by the test: a private PulseAudio server with a null
// sink in a temporary folder, and a recording of that sink's monitor (parec) that
// keeps the arrival time of every read, so sounds can be placed in time. Child
// processes are spawned with extra environment variables.
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// CLOCK_MONOTONIC in microseconds (the clock of every time stamp here).
long long MonotonicUs();
// True when `command -v prog` finds it.
bool OnPath(const char* prog);

// A child process; ours replace inherited environment variables of the same name.
// Ended when destroyed.
class TChildProcess {
 public:
  TChildProcess() = default;
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // stdout on a pipe (Out()) or into log; stderr into log when given.
  bool Spawn(std::vector<std::string> argv, const std::vector<std::string>& env, bool pipe_out,
             const std::string& log = "");
  // Exit status, 128 + signal, or -1 when it did not end within timeout_ms.
  int Wait(int timeout_ms);
  // Ends it (SIGTERM, then SIGKILL after two seconds) and reaps it; Out() stays
  // open until the object is destroyed.
  void Stop();
  int Out() const { return _out; }
  pid_t Pid() const { return _pid; }
  void Signal(int sig) const {
    if (_pid > 0) kill(_pid, sig);
  }

 private:
  pid_t _pid = -1;
  int _out = -1;
};

// The server's OSS emulation, preloaded into a client so that its /dev/dsp is a
// stream to the server; empty when not installed.
std::string OssEmulationLibrary();
// True in a ThreadSanitizer build (whose runtime cannot share a process with the
// preloaded emulation).
bool UnderThreadSanitizer();
// True in a build with AddressSanitizer or ThreadSanitizer (much slower than a
// player's build).
bool UnderSanitizer();

// pulseaudio -n with only a null sink "tess_test" and the native protocol, its
// runtime folder and socket in dir. A new server in the same folder takes over
// the socket of one that was killed, as a restarted sound server does.
class TPulseServer {
 public:
  explicit TPulseServer(const std::string& dir);
  // Empty when the server runs, otherwise why not (the test should skip).
  const std::string& Why() const { return _why; }
  // XDG_RUNTIME_DIR, HOME (both dir) and PULSE_SERVER for its clients.
  const std::vector<std::string>& Env() const { return _env; }
  // Env() plus the preloaded OSS emulation.
  std::vector<std::string> OssEmulationEnv() const;
  // Writes an ALSA configuration into its HOME that routes ALSA's "default"
  // device to the server (for clients with Env()).
  void RouteAlsaHere() const;
  // Env() for this process itself.
  void SetEnvHere() const;
  // Lets clients of other users in (the server takes anonymous clients; this
  // opens its folders to them).
  void OpenToOthers() const;
  // Ends the server at once, as a crash would.
  void Kill();

 private:
  std::string _why;
  std::string _dir;
  std::vector<std::string> _env;
  TChildProcess _server;
};

// The left channel of the sink's monitor at 44100 Hz.
class TMonitorRecording {
 public:
  ~TMonitorRecording() { Stop(); }
  // Starts parec and waits until it delivers; false with the reason in *why.
  bool Start(const TPulseServer& server, std::string* why);
  // Ends the recording; the data stays.
  void Stop();

  size_t Frames();
  std::vector<int16_t> Left();
  // When frame k was recorded: the arrival time of its read, less the frames that
  // came after it in that read. -1 for frames not recorded.
  long long TimeOf(size_t k);
  // The first frame recorded at or after time us (Frames() when none).
  size_t FrameAt(long long us);

 private:
  TChildProcess _parec;
  std::thread _reader;
  std::mutex _m;
  std::vector<int16_t> _left;
  std::vector<std::pair<size_t, long long>> _marks;  // frames so far, arrival time
};
