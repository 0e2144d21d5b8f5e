// FreeAudio driver objects: thin wrappers that turn samples into mixer sounds and
// channel objects into mixer handles.
#include "audio/freeaudio_driver.h"

TFreeAudioSound::~TFreeAudioSound() { fa_FreeSound(fa_sound); }

Ref<TFreeAudioSound> TFreeAudioSound::CreateWithSound(TFaSound* sound, const Ref<TAudioSample>&) {
  auto s = std::make_shared<TFreeAudioSound>();
  s->fa_sound = sound;
  return s;
}

Ref<TChannel> TFreeAudioSound::Start(const Ref<TChannel>& channel, bool paused) {
  Ref<TFreeAudioChannel> fc;
  if (channel) {
    fc = std::dynamic_pointer_cast<TFreeAudioChannel>(channel);
    if (!fc) return nullptr;
  }
  const int given = fc ? fc->fa_channel : 0;
  const int handle = fa_PlaySound(fa_sound, paused ? 1 : 0, given);
  if (handle == 0) return nullptr;
  if (fc && handle == given) return fc;
  return TFreeAudioChannel::CreateWithChannel(handle);
}

Ref<TChannel> TFreeAudioSound::Play(const Ref<TChannel>& channel) { return Start(channel, false); }
Ref<TChannel> TFreeAudioSound::Cue(const Ref<TChannel>& channel) { return Start(channel, true); }

Ref<TFreeAudioChannel> TFreeAudioChannel::CreateWithChannel(int handle) {
  auto c = std::make_shared<TFreeAudioChannel>();
  c->fa_channel = handle;
  return c;
}

TFreeAudioChannel::~TFreeAudioChannel() {
  if (fa_channel) fa_FreeChannel(fa_channel);
}

int TFreeAudioChannel::Stop() {
  const int r = fa_StopChannel(fa_channel);
  fa_channel = 0;
  return r;
}
int TFreeAudioChannel::SetPaused(bool paused) { return fa_SetChannelPaused(fa_channel, paused); }
int TFreeAudioChannel::SetVolume(float v) { return fa_SetChannelVolume(fa_channel, v); }
int TFreeAudioChannel::SetPan(float v) { return fa_SetChannelPan(fa_channel, v); }
int TFreeAudioChannel::SetDepth(float v) { return fa_SetChannelDepth(fa_channel, v); }
int TFreeAudioChannel::SetRate(float v) { return fa_SetChannelRate(fa_channel, v); }
int64_t TFreeAudioChannel::Position() { return fa_ChannelPosition(fa_channel); }

bool TFreeAudioChannel::Playing() {
  const int st = fa_ChannelStatus(fa_channel);
  if (st & 0x10) return false;
  return st == 2 || st == 4;
}

bool TFreeAudioAudioDriver::Startup() { return fa_Init(0) != -1; }  // -1 mode counts as 0
void TFreeAudioAudioDriver::Shutdown() { fa_Close(); }

Ref<TSound> TFreeAudioAudioDriver::CreateSound(const Ref<TAudioSample>& sample, int flags) {
  if (!sample) return nullptr;
  Ref<TAudioSample> s = sample;
  if (s->format == SF_MONO16BE) s = s->Convert(SF_MONO16LE);
  else if (s->format == SF_STEREO16BE) s = s->Convert(SF_STEREO16LE);
  if (!s) return nullptr;
  const int channels = SampleFrameChannels(s->format);
  if (channels == 0) return nullptr;
  const int bits = 8 * SampleFrameBytes(s->format) / channels;
  TFaSound* fs = fa_CreateSound(s->length, bits, channels, s->hertz, s->samples, flags & SOUND_LOOP);
  if (!fs) return nullptr;
  return TFreeAudioSound::CreateWithSound(fs, s);
}

Ref<TChannel> TFreeAudioAudioDriver::AllocChannel() {
  const int h = fa_AllocChannel();
  if (h == 0) return nullptr;
  return TFreeAudioChannel::CreateWithChannel(h);
}

void StartFreeAudioModule() {
  static bool started = false;
  if (started) return;
  started = true;
  static TFreeAudioAudioDriver oss(u"FreeAudio OpenSound System", 0);
  static TFreeAudioAudioDriver fa(u"FreeAudio", -1);
}
