// The FreeAudio audio drivers ("FreeAudio" and "FreeAudio OpenSound System"), with
// their sounds and channels over the fa_ mixer.
#pragma once
#include <cstdint>
#include <string>

#include "audio/audio.h"
#include "audio/freeaudio.h"

struct TFreeAudioSound : TSound {
  TFaSound* fa_sound = nullptr;  // the mixer sound (one reference)

  ~TFreeAudioSound() override;
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;
  static Ref<TFreeAudioSound> CreateWithSound(TFaSound* sound, const Ref<TAudioSample>& sample);

 private:
  Ref<TChannel> Start(const Ref<TChannel>& channel, bool paused);
};

struct TFreeAudioChannel : TChannel {
  int fa_channel = 0;

  ~TFreeAudioChannel() override;  // frees the handle; the voice plays on
  int Stop() override;
  int SetPaused(bool paused) override;
  int SetVolume(float volume) override;
  int SetPan(float pan) override;
  int SetDepth(float depth) override;
  int SetRate(float rate) override;
  bool Playing() override;
  int64_t Position();
  static Ref<TFreeAudioChannel> CreateWithChannel(int handle);
};

struct TFreeAudioAudioDriver : TAudioDriver {
  std::u16string _name;
  int _mode = 0;

  TFreeAudioAudioDriver(std::u16string name, int mode) : _name(std::move(name)), _mode(mode) {}
  std::u16string Name() override { return _name; }
  bool Startup() override;
  void Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int flags) override;
  Ref<TChannel> AllocChannel() override;
};

// Registers "FreeAudio OpenSound System", then "FreeAudio" (once).
void StartFreeAudioModule();
