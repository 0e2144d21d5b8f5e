// Driver registry, current-driver choice and the plain sound and channel functions.
// Main thread only.
#include "audio/audio.h"

#include "audio/freeaudio_driver.h"
#include "audio/openal_driver.h"
#include "audio/sample_loader.h"
#include "platform/app.h"
#include "platform/text.h"

namespace {

TAudioDriver* g_drivers = nullptr;
TAudioDriver* g_null = nullptr;
TAudioDriver* g_current = nullptr;

void EnsureExitHandler() {
  static bool added = false;
  if (added) return;
  added = true;
  AddExitHandler(ShutdownAudioDriver);
}

}  // namespace

TAudioDriver::TAudioDriver() : _succ(g_drivers) { g_drivers = this; }

Ref<TChannel> TSound::Play(const Ref<TChannel>&) { return std::make_shared<TChannel>(); }
Ref<TChannel> TSound::Cue(const Ref<TChannel>&) { return std::make_shared<TChannel>(); }
Ref<TSound> TSound::Load(const TUrl& url, int flags) { return ::LoadSound(url, flags); }
Ref<TSound> TSound::Load(const Ref<TAudioSample>& sample, int flags) {
  return ::LoadSound(sample, flags);
}

Ref<TSound> TAudioDriver::CreateSound(const Ref<TAudioSample>&, int) {
  return std::make_shared<TSound>();
}
Ref<TChannel> TAudioDriver::AllocChannel() { return std::make_shared<TChannel>(); }

Ref<TSound> TAudioDriver::LoadSound(const TUrl& url, int flags) {
  Ref<TAudioSample> sample = LoadAudioSample(url);
  if (!sample) return nullptr;
  return AudioDriver().CreateSound(sample, flags);
}
Ref<TSound> TAudioDriver::LoadSound(const Ref<TAudioSample>& sample, int flags) {
  if (!sample) return nullptr;
  return AudioDriver().CreateSound(sample, flags);
}

void StartAudioModules() {
  static bool started = false;
  if (started) return;
  started = true;
  static TAudioDriver null_driver;
  g_null = &null_driver;
  StartFreeAudioModule();
  StartOpenALModule();
}

TAudioDriver* AudioDriverList() {
  StartAudioModules();
  return g_drivers;
}

TAudioDriver& AudioDriver() {
  StartAudioModules();
  if (!g_current && !SetAudioDriver(u"FreeAudio")) SetAudioDriver(u"Null");
  return *g_current;
}

int SetAudioDriver(const std::u16string& name) {
  StartAudioModules();
  EnsureExitHandler();
  const std::u16string want = Lower(name);
  if (g_current) g_current->Shutdown();
  g_current = g_null;
  for (TAudioDriver* d = g_drivers; d; d = d->_succ) {
    if (Lower(d->Name()) != want) continue;
    if (!d->Startup()) return 0;
    g_current = d;
    return 1;
  }
  return 0;
}

void ShutdownAudioDriver() {
  if (g_current) g_current->Shutdown();
  g_current = g_null;
}

std::vector<std::u16string> AudioDrivers() {
  std::vector<std::u16string> names;
  for (TAudioDriver* d = AudioDriverList(); d && names.size() < 100; d = d->_succ)
    names.push_back(d->Name());
  return names;
}

int AudioDriverExists(const std::u16string& name) {
  const std::u16string want = Lower(name);
  for (TAudioDriver* d = AudioDriverList(); d; d = d->_succ)
    if (Lower(d->Name()) == want) return 1;
  return 0;
}

Ref<TSound> LoadSound(const TUrl& url, int flags) { return AudioDriver().LoadSound(url, flags); }
Ref<TSound> LoadSound(const Ref<TAudioSample>& sample, int flags) {
  return AudioDriver().LoadSound(sample, flags);
}
Ref<TChannel> PlaySound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound ? sound->Play(channel) : nullptr;
}
Ref<TChannel> CueSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
  return sound ? sound->Cue(channel) : nullptr;
}
Ref<TChannel> AllocChannel() { return AudioDriver().AllocChannel(); }

void StopChannel(const Ref<TChannel>& c) { if (c) c->Stop(); }
void PauseChannel(const Ref<TChannel>& c) { if (c) c->SetPaused(true); }
void ResumeChannel(const Ref<TChannel>& c) { if (c) c->SetPaused(false); }
void SetChannelVolume(const Ref<TChannel>& c, float v) { if (c) c->SetVolume(v); }
void SetChannelPan(const Ref<TChannel>& c, float v) { if (c) c->SetPan(v); }
void SetChannelDepth(const Ref<TChannel>& c, float v) { if (c) c->SetDepth(v); }
void SetChannelRate(const Ref<TChannel>& c, float v) { if (c) c->SetRate(v); }
int ChannelPlaying(const Ref<TChannel>& c) { return c && c->Playing() ? 1 : 0; }
