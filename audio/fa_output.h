// The mixing thread: waits until the output device is ready for a block, renders
// it and writes it, until asked to stop. The thread shares the device and the mixer
// with its TFaOutput, so a thread stuck in a device that never returns keeps them
// and frees them itself once it leaves.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"

class TFaOutput {
 public:
  TFaOutput(std::unique_ptr<TFaDevice> device, TFaClock clock,
            uint32_t first_generation = TFaMixer::kGenerationStep);
  ~TFaOutput();  // stops the thread if it still runs (see Stop)
  TFaOutput(const TFaOutput&) = delete;
  TFaOutput& operator=(const TFaOutput&) = delete;

  TFaMixer& Mixer() { return _s->mixer; }

  // Starts the mixing thread (with SIGALRM blocked); false when it cannot start.
  bool Start();
  // Asks the thread to end and waits until deadline_ms have passed. True once it
  // has ended (the device is then reset). False when it is still inside the
  // device: it is left to run on its own, and a later Stop may wait again.
  bool Stop(int deadline_ms);
  bool Alive() const { return _s->alive.load(std::memory_order_acquire); }

 private:
  struct TShared {
    TShared(std::unique_ptr<TFaDevice> d, TFaClock clock, uint32_t generation)
        : device(std::move(d)), mixer(clock, device->Rate(), generation) {}
    std::unique_ptr<TFaDevice> device;
    TFaMixer mixer;
    std::atomic<bool> running{false};
    std::atomic<bool> alive{false};
  };
  static void Run(const std::shared_ptr<TShared>& s);

  std::shared_ptr<TShared> _s;
  std::thread _thread;
  bool _detached = false;
};
