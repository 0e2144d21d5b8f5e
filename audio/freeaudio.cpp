// The process-wide FreeAudio mixer and its output thread behind the fa_ calls.
#include "audio/freeaudio.h"

#include "audio/fa_output.h"

namespace {
TFaOutput* g_out = nullptr;
constexpr int kCloseDeadlineMs = 1000;
TFaDeviceOpener g_opener = nullptr;
// Where the next mixer's channel generations start: past every handle that an
// earlier mixer gave out, so channel objects that outlive a restart stay stale.
uint32_t g_generation = TFaMixer::kGenerationStep;

std::unique_ptr<TFaDevice> OpenSoundDevice() {
  if (auto oss = OpenOSSDevice("/dev/dsp")) return oss;
  // Desktops without the kernel's OSS emulation: their sound server through ALSA.
  return OpenAlsaDevice("default");
}
}  // namespace

// The mixing thread opens the device, and the next one the same way when it is
// gone. Libraries may start threads while a device opens (a sound server's
// client): they inherit the thread's scheduling, and its mask, so they never
// take the 1 ms alarm.
int fa_Init(int mode) {
  if (mode != 0 || g_out) return -1;
  auto out = std::make_unique<TFaOutput>(nullptr, nullptr, g_generation);
  if (!out->Start({.open = g_opener ? g_opener : OpenSoundDevice, .realtime = true})) return -1;
  g_out = out.release();
  return 0;
}

void fa_SetDeviceOpener(TFaDeviceOpener opener) { g_opener = opener; }

void fa_Close() {
  if (!g_out) return;
  std::unique_ptr<TFaOutput> out(g_out);
  g_out = nullptr;
  g_generation = out->Mixer().LastGeneration();
  // A thread stuck in the device keeps its share of the mixer and the device and
  // frees them when it comes back.
  out->Stop(kCloseDeadlineMs);
}

bool fa_Running() { return g_out != nullptr; }
TFaMixer* fa_Mixer() { return g_out ? &g_out->Mixer() : nullptr; }

TFaSound* fa_CreateSound(int length, int bits, int channels, int hertz, const void* samples,
                        int loop) {
  if (!g_out) return nullptr;
  return TFaMixer::CreateSound(length, bits, channels, hertz, samples, loop != 0);
}

// Sounds outlive the mixer (a driver sound may be released after shutdown).
void fa_FreeSound(TFaSound* sound) { TFaMixer::FreeSound(sound); }

int fa_AllocChannel() { return g_out ? g_out->Mixer().AllocChannel() : 0; }
void fa_FreeChannel(int channel) {
  if (g_out) g_out->Mixer().FreeChannel(channel);
}
int fa_PlaySound(TFaSound* sound, int paused, int channel) {
  if (!g_out) return channel;
  return g_out->Mixer().PlaySound(sound, paused != 0, channel);
}
int fa_StopChannel(int channel) {
  if (!g_out) return -1;
  g_out->Mixer().StopChannel(channel);
  return 0;
}
int fa_SetChannelPaused(int channel, int paused) {
  if (!g_out) return -1;
  g_out->Mixer().SetChannelPaused(channel, paused != 0);
  return 0;
}
int fa_SetChannelVolume(int channel, float v) {
  return g_out ? g_out->Mixer().SetChannelVolume(channel, v) : -1;
}
int fa_SetChannelPan(int channel, float v) {
  return g_out ? g_out->Mixer().SetChannelPan(channel, v) : -1;
}
int fa_SetChannelDepth(int channel, float v) {
  return g_out ? g_out->Mixer().SetChannelDepth(channel, v) : -1;
}
int fa_SetChannelRate(int channel, float v) {
  return g_out ? g_out->Mixer().SetChannelRate(channel, v) : -1;
}
int fa_ChannelStatus(int channel) { return g_out ? g_out->Mixer().ChannelStatus(channel) : 0; }
int64_t fa_ChannelPosition(int channel) {
  return g_out ? g_out->Mixer().ChannelPosition(channel) : 0;
}
