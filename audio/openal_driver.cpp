// OpenAL drivers, sounds, pooled sources and channels. Main thread only.
#include "audio/openal_driver.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/ustring.h"

namespace {

TOpenALSource* g_pool = nullptr;                // sources free for reuse
std::vector<std::unique_ptr<TOpenALSource>> g_sources;  // every source made
std::deque<TOpenALAudioDriver> g_enumerated;

bool SourceBusy(const TOpenALSource& s) {
  ALint state = 0;
  AL().alGetSourcei(s._id, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING || state == AL_PAUSED;
}

TOpenALSource* TakeSource() {
  for (TOpenALSource** link = &g_pool; *link; link = &(*link)->_succ) {
    TOpenALSource* s = *link;
    if (SourceBusy(*s)) continue;
    *link = s->_succ;
    s->_succ = nullptr;
    ++s->_seq;
    s->_sound = nullptr;
    return s;
  }
  ALuint id = 0;
  AL().alGenSources(1, &id);
  if (id == 0) return nullptr;
  g_sources.push_back(std::make_unique<TOpenALSource>());
  TOpenALSource* s = g_sources.back().get();
  s->_id = id;
  s->_seq = 1;
  return s;
}

void ReturnSource(TOpenALSource* s) {
  s->_succ = g_pool;
  g_pool = s;
}

}  // namespace

Ref<TOpenALChannel> TOpenALChannel::Create(bool is_static) {
  auto c = std::make_shared<TOpenALChannel>();
  c->_static = is_static;
  TOpenALSource* s = TakeSource();
  if (!s) return c;  // _seq -1 never matches: an inert channel
  c->_source = s;
  c->_seq = s->_seq;
  const TOpenAL& al = AL();
  al.alSourcei(s->_id, AL_SOURCE_RELATIVE, 1);
  al.alSourcef(s->_id, AL_GAIN, 1.f);
  al.alSourcef(s->_id, AL_PITCH, 1.f);
  al.alSource3f(s->_id, AL_POSITION, 0.f, 0.f, 1.f);
  if (!is_static) ReturnSource(s);
  return c;
}

int TOpenALChannel::Stop() {
  if (!Live()) return 0;
  AL().alSourceStop(_source->_id);
  ++_source->_seq;
  if (_static) ReturnSource(_source);
  return 0;
}

int TOpenALChannel::SetPaused(bool paused) {
  if (!Live()) return 0;
  if (paused) AL().alSourcePause(_source->_id);
  else AL().alSourcePlay(_source->_id);
  return 0;
}

int TOpenALChannel::SetVolume(float v) {
  if (Live()) AL().alSourcef(_source->_id, AL_GAIN, v);
  return 0;
}

int TOpenALChannel::SetPan(float p) {
  if (!Live()) return 0;
  const double a = double(p) * 90.0 * M_PI / 180.0;
  AL().alSource3f(_source->_id, AL_POSITION, float(std::sin(a)), 0.f, float(-std::cos(a)));
  return 0;
}

int TOpenALChannel::SetDepth(float) { return 0; }

int TOpenALChannel::SetRate(float r) {
  if (Live()) AL().alSourcef(_source->_id, AL_PITCH, r);
  return 0;
}

bool TOpenALChannel::Playing() {
  if (!Live()) return false;
  ALint state = 0;
  AL().alGetSourcei(_source->_id, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

TOpenALSound::~TOpenALSound() {
  if (_buffer) AL().alDeleteBuffers(1, &_buffer);
}

Ref<TChannel> TOpenALSound::Start(const Ref<TChannel>& channel, bool cue) {
  Ref<TOpenALChannel> c;
  if (channel) {
    c = std::dynamic_pointer_cast<TOpenALChannel>(channel);
    if (!c) return nullptr;
  } else {
    c = TOpenALChannel::Create(false);
  }
  if (!c->Live()) return c;
  const TOpenAL& al = AL();
  const ALuint id = c->_source->_id;
  al.alSourceStop(id);
  al.alSourcei(id, AL_LOOPING, _loop ? 1 : 0);
  al.alSourcei(id, AL_BUFFER, ALint(_buffer));
  c->_source->_sound = shared_from_this();
  if (!cue) al.alSourcePlay(id);
  return c;
}

Ref<TChannel> TOpenALSound::Play(const Ref<TChannel>& channel) { return Start(channel, false); }
Ref<TChannel> TOpenALSound::Cue(const Ref<TChannel>& channel) { return Start(channel, true); }

bool TOpenALAudioDriver::Startup() {
  const TOpenAL& al = AL();
  if (!_devname.empty()) {
    _device = al.alcOpenDevice(ToOSBytes(_devname).c_str());
  } else {
    _device = al.alcOpenDevice(nullptr);
    if (!_device) _device = al.alcOpenDevice("Generic Hardware");
    if (!_device) _device = al.alcOpenDevice("Generic Software");
  }
  if (!_device) return false;
  _context = al.alcCreateContext(_device, nullptr);
  if (!_context) {
    al.alcCloseDevice(_device);
    _device = nullptr;
    return false;
  }
  al.alcMakeContextCurrent(_context);
  al.alDistanceModel(AL_NONE);
  return true;
}

void TOpenALAudioDriver::Shutdown() {
  if (!_context) return;
  const TOpenAL& al = AL();
  // Sources belong to the context: retire them all, so that no channel can reach one.
  for (auto& s : g_sources) {
    al.alSourceStop(s->_id);
    al.alDeleteSources(1, &s->_id);
    ++s->_seq;
    s->_id = 0;
    s->_sound = nullptr;
  }
  g_pool = nullptr;
  al.alcMakeContextCurrent(nullptr);
  al.alcDestroyContext(_context);
  al.alcCloseDevice(_device);
  _context = nullptr;
  _device = nullptr;
}

Ref<TSound> TOpenALAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int flags) {
  if (!sample) return nullptr;
  Ref<TAudioSample> s = sample;
  if (s->format == SF_MONO16BE) s = s->Convert(SF_MONO16LE);
  else if (s->format == SF_STEREO16BE) s = s->Convert(SF_STEREO16LE);
  if (!s) return nullptr;
  ALenum format;
  switch (s->format) {
    case SF_MONO8: format = AL_FORMAT_MONO8; break;
    case SF_MONO16LE: format = AL_FORMAT_MONO16; break;
    case SF_STEREO8: format = AL_FORMAT_STEREO8; break;
    case SF_STEREO16LE: format = AL_FORMAT_STEREO16; break;
    default: return nullptr;
  }
  const TOpenAL& al = AL();
  auto sound = std::make_shared<TOpenALSound>();
  al.alGenBuffers(1, &sound->_buffer);
  if (sound->_buffer == 0) return nullptr;
  al.alBufferData(sound->_buffer, format, s->samples, s->length * SampleFrameBytes(s->format),
                  s->hertz);
  sound->_loop = (flags & SOUND_LOOP) != 0;
  return sound;
}

Ref<TChannel> TOpenALAudioDriver::AllocChannel() { return TOpenALChannel::Create(true); }

void StartOpenALModule() {
  static bool started = false;
  if (started) return;
  started = true;
  if (!LoadOpenAL()) return;
  static TOpenALAudioDriver driver(u"OpenAL", u"");
}

int EnumOpenALDevices() {
  StartAudioModules();
  if (!LoadOpenAL()) return 0;
  const TOpenAL& al = AL();
  int added = 0;
  // A list of names, each ended by NUL, the list ended by an empty name.
  if (const char* p = al.alcGetString(nullptr, ALC_DEVICE_SPECIFIER)) {
    while (*p && added < 100) {
      const std::u16string dev = FromOSBytes(p);
      g_enumerated.emplace_back(u"OpenAL " + dev, dev);
      ++added;
      p += std::strlen(p) + 1;
    }
  }
  const char* def = al.alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER);
  g_enumerated.emplace_back(u"OpenAL Default", def ? FromOSBytes(def) : std::u16string());
  return added + 1;
}
