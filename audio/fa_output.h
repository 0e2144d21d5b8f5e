// The mixing thread: renders one block after another and writes each to the
// output device, until asked to stop.
#pragma once
#include <atomic>
#include <memory>
#include <thread>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"

class TFaOutput {
 public:
  TFaOutput(std::unique_ptr<TFaDevice> device, TFaClock clock);
  ~TFaOutput();  // stops the thread if it still runs (see Stop)

  TFaMixer& Mixer() { return _mixer; }
  TFaDevice& Device() { return *_device; }

  // Starts the mixing thread (with SIGALRM blocked); false when it cannot start.
  bool Start();
  // Asks the thread to end and waits until deadline_ms have passed. If it ended,
  // resets the device and joins: true. Otherwise the thread is left running,
  // detached, and false means nothing it uses may be freed.
  bool Stop(int deadline_ms);
  bool Alive() const { return _alive.load(std::memory_order_acquire); }
  int64_t Blocks() const { return _blocks.load(std::memory_order_relaxed); }
  int64_t WriteErrors() const { return _errors.load(std::memory_order_relaxed); }

 private:
  void Run();
  // Writes the whole block (short writes, EINTR and EAGAIN go on where they
  // stopped, keeping frames whole); false when stopped or on a device error.
  bool WriteBlock(const uint8_t* p, size_t n);

  std::unique_ptr<TFaDevice> _device;
  TFaMixer _mixer;
  std::thread _thread;
  std::atomic<bool> _running{false};
  std::atomic<bool> _alive{false};
  std::atomic<int64_t> _blocks{0};
  std::atomic<int64_t> _errors{0};
};
