// The OpenAL audio drivers: "OpenAL" on the library's default device (registered
// when the library loads) and, on request, one driver per device the library lists.
#pragma once
#include <memory>
#include <string>

#include "audio/audio.h"
#include "audio/openal_binding.h"

struct TOpenALSound;

// A pooled OpenAL source. _seq counts hand-outs, so a channel whose _seq no longer
// matches has lost the source and does nothing.
struct TOpenALSource {
  TOpenALSource* _succ = nullptr;
  ALuint _id = 0;
  int _seq = 0;
  Ref<TOpenALSound> _sound;  // keeps the attached buffer alive
};

struct TOpenALSound : TSound, std::enable_shared_from_this<TOpenALSound> {
  ALuint _buffer = 0;
  bool _loop = false;
  ~TOpenALSound() override;
  Ref<TChannel> Play(const Ref<TChannel>& channel) override;
  Ref<TChannel> Cue(const Ref<TChannel>& channel) override;

 private:
  Ref<TChannel> Start(const Ref<TChannel>& channel, bool cue);
};

struct TOpenALChannel : TChannel {
  TOpenALSource* _source = nullptr;
  int _seq = -1;
  bool _static = false;

  int Stop() override;
  int SetPaused(bool paused) override;
  int SetVolume(float volume) override;
  int SetPan(float pan) override;
  int SetDepth(float depth) override;
  int SetRate(float rate) override;
  bool Playing() override;
  bool Live() const { return _source && _source->_seq == _seq; }
  // A channel on a free pooled source (static: kept out of the pool until Stop).
  static Ref<TOpenALChannel> Create(bool is_static);
};

struct TOpenALAudioDriver : TAudioDriver {
  std::u16string _name;
  std::u16string _devname;
  ALCdevice* _device = nullptr;
  ALCcontext* _context = nullptr;

  TOpenALAudioDriver(std::u16string name, std::u16string devname)
      : _name(std::move(name)), _devname(std::move(devname)) {}
  std::u16string Name() override { return _name; }
  bool Startup() override;
  void Shutdown() override;
  Ref<TSound> CreateSound(const Ref<TAudioSample>& sample, int flags) override;
  Ref<TChannel> AllocChannel() override;
};

// Loads the library and registers "OpenAL" when it loaded (once).
void StartOpenALModule();
// Registers "OpenAL <device>" for every listed device (at most 100) and
// "OpenAL Default"; returns how many drivers were added.
int EnumOpenALDevices();
