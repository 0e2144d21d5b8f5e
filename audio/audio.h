// The driver-independent audio layer: abstract sounds and channels, the audio
// driver registry with the silent "Null" driver, the choice of the current driver,
// and the plain functions the game calls (LoadSound, PlaySound, channel control).
#pragma once
#include <string>
#include <vector>

#include "audio/audio_sample.h"
#include "platform/object.h"
#include "platform/stream.h"

constexpr int SOUND_LOOP = 1;

// A playing voice. The plain channel does nothing and never plays.
struct TChannel : TObject {
  virtual int Stop() { return 0; }
  virtual int SetPaused(bool paused) { (void)paused; return 0; }
  virtual int SetVolume(float volume) { (void)volume; return 0; }
  virtual int SetPan(float pan) { (void)pan; return 0; }
  virtual int SetDepth(float depth) { (void)depth; return 0; }
  virtual int SetRate(float rate) { (void)rate; return 0; }
  virtual bool Playing() { return false; }
};

// A loaded sound. The plain sound hands out plain channels.
struct TSound : TObject {
  virtual Ref<TChannel> Play(const Ref<TChannel>& channel);
  virtual Ref<TChannel> Cue(const Ref<TChannel>& channel);
  static Ref<TSound> Load(const TUrl& url, int flags);
  static Ref<TSound> Load(const Ref<TAudioSample>& sample, int flags);
};

// An output driver. The base operations are the "Null" driver: silent, never failing.
struct TAudioDriver {
  // Puts the driver at the head of the registry.
  TAudioDriver();
  virtual ~TAudioDriver() = default;
  TAudioDriver(const TAudioDriver&) = delete;
  TAudioDriver& operator=(const TAudioDriver&) = delete;

  virtual std::u16string Name() { return u"Null"; }
  virtual bool Startup() { return true; }
  virtual void Shutdown() {}
  virtual Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int flags);
  virtual Ref<TChannel> AllocChannel();
  // Decodes url with LoadAudioSample and hands the sample to the current driver.
  virtual Ref<TSound> LoadSound(const TUrl& url, int flags);
  Ref<TSound> LoadSound(const Ref<TAudioSample>& sample, int flags);

  TAudioDriver* _succ = nullptr;
};

// Registers the drivers of every audio module once (Null, FreeAudio, OpenAL).
void StartAudioModules();
TAudioDriver* AudioDriverList();

Ref<TSound> LoadSound(const TUrl& url, int flags = 0);
Ref<TSound> LoadSound(const Ref<TAudioSample>& sample, int flags = 0);
Ref<TChannel> PlaySound(const Ref<TSound>& sound, const Ref<TChannel>& channel = nullptr);
Ref<TChannel> CueSound(const Ref<TSound>& sound, const Ref<TChannel>& channel = nullptr);
Ref<TChannel> AllocChannel();

// The current driver; on first use "FreeAudio", else "Null".
TAudioDriver& AudioDriver();
// Case-insensitive name; 1 when that driver started (it is then current), else 0.
int SetAudioDriver(const std::u16string& name);
std::vector<std::u16string> AudioDrivers();
int AudioDriverExists(const std::u16string& name);
// Shuts the current driver down (run at exit); the Null driver is current afterwards
// until a driver is chosen again.
void ShutdownAudioDriver();

void StopChannel(const Ref<TChannel>& channel);
void PauseChannel(const Ref<TChannel>& channel);
void ResumeChannel(const Ref<TChannel>& channel);
void SetChannelVolume(const Ref<TChannel>& channel, float volume);
void SetChannelPan(const Ref<TChannel>& channel, float pan);
void SetChannelDepth(const Ref<TChannel>& channel, float depth);
void SetChannelRate(const Ref<TChannel>& channel, float rate);
int ChannelPlaying(const Ref<TChannel>& channel);
