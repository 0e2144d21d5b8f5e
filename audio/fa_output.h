// The mixing thread: waits until the output device is ready for a block, renders
// it and writes it, until asked to stop. Given no device, it opens the first one
// itself. When the device is gone it closes it, lets every voice end unheard and
// opens a new device every two seconds, so sound comes back after a sound server
// restarted. The thread shares the device and the mixer with its TFaOutput, so a
// thread stuck in a device that never returns keeps them and frees them itself
// once it leaves.
#pragma once
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"

class TFaOutput {
 public:
  // device may be null: the thread opens one with the options' opener.
  TFaOutput(std::unique_ptr<TFaDevice> device, TFaClock clock,
            uint32_t first_generation = TFaMixer::kGenerationStep);
  ~TFaOutput();  // stops the thread if it still runs (see Stop)
  TFaOutput(const TFaOutput&) = delete;
  TFaOutput& operator=(const TFaOutput&) = delete;

  TFaMixer& Mixer() { return _s->mixer; }

  struct TOptions {
    TFaDeviceOpener open = nullptr;  // without a device, and once it is gone
    bool realtime = false;           // ask for real-time scheduling (fa_priority.h)
  };
  // Starts the mixing thread (with SIGALRM blocked); without a device it waits
  // until the thread has tried to open one. False when the thread cannot start
  // or no device opened.
  bool Start(const TOptions& options);
  bool Start() { return Start(TOptions{}); }
  // Asks the thread to end and waits until deadline_ms have passed. True once it
  // has ended (the device is then reset). False when it is still inside the
  // device: it is left to run on its own, and a later Stop may wait again.
  bool Stop(int deadline_ms);
  bool Alive() const { return _s->alive.load(std::memory_order_acquire); }

 private:
  struct TShared {
    TShared(std::unique_ptr<TFaDevice> d, TFaClock clock, uint32_t generation)
        : device(std::move(d)), mixer(clock, device ? device->Rate() : 44100, generation) {}
    std::unique_ptr<TFaDevice> device;  // null while none is open
    TFaMixer mixer;
    TOptions options;
    std::promise<bool> opened;  // the thread's first device, when it opens one
    std::atomic<bool> running{false};
    std::atomic<bool> alive{false};
  };
  static void Run(const std::shared_ptr<TShared>& s);
  static void PlayUntilGone(TShared& s);
  static bool Open(TShared& s);
  static void WaitForDevice(TShared& s);

  std::shared_ptr<TShared> _s;
  std::thread _thread;
  bool _detached = false;
};
