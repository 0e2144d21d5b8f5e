// The game under soak: a scratch copy of the built program with its Motives/
// folder, started again and again, watched for its end, a stall and sanitizer
// reports in its error output.
#pragma once
#include <chrono>
#include <filesystem>
#include <string>

#include <X11/Xlib.h>

class TSoakGame {
 public:
  explicit TSoakGame(const std::string& program);
  ~TSoakGame();
  TSoakGame(const TSoakGame&) = delete;
  TSoakGame& operator=(const TSoakGame&) = delete;

  // Starts the program in the scratch folder; false (with a reason) when it cannot.
  bool Start();
  // Its 800 x 600 window named "Tessolino" once shown; 0 (a failure) after a minute.
  Window WaitForWindow(Display* d);
  // True once the program has ended (reaped).
  bool Ended();
  // Status 0 and no sanitizer report; otherwise records the failure.
  bool EndedNormally();
  // False (a failure) when the running program used no processor time for 20 s:
  // every screen draws 65 frames a second, so it hangs.
  bool Progressing();
  bool Fail(const std::string& why);
  // The failure, the tail of the program's error output and where the folder is.
  void Report() const;
  // Removes the scratch folder (kept after a failure, for a look at it).
  void CleanUp();

 private:
  long CpuTicks() const;

  std::filesystem::path _dir;
  int _pid = -1;
  int _status = 0;
  int _run = 0;
  std::string _failure;
  long _last_cpu = -1;
  std::chrono::steady_clock::time_point _last_progress;
};
