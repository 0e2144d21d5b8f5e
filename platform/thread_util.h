// The 1 ms SIGALRM is sent to the main thread alone (platform/clock). Threads we
// start block it all the same, so that a SIGALRM sent to the whole process (kill, a
// library's own alarm) cannot reach them either; a new thread inherits the mask.
#pragma once
#include <thread>
#include <utility>

// Blocks SIGALRM on the calling thread for its lifetime, then restores the mask.
class TAlarmBlock {
 public:
  TAlarmBlock();
  ~TAlarmBlock();
  TAlarmBlock(const TAlarmBlock&) = delete;
  TAlarmBlock& operator=(const TAlarmBlock&) = delete;

 private:
  alignas(8) unsigned char _saved[128];  // the previous sigset_t
};

// std::thread(f, args...) whose thread never receives SIGALRM.
template <class F, class... A>
std::thread StartThreadWithoutAlarm(F&& f, A&&... args) {
  TAlarmBlock block;
  return std::thread(std::forward<F>(f), std::forward<A>(args)...);
}

// Blocks SIGALRM on the calling thread for good (for threads made elsewhere).
void BlockAlarmOnThisThread();
