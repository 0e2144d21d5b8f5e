// The FreeAudio mixer interface used by the FreeAudio driver objects: one mixer
// with its output thread per process. Every call does nothing (returns 0 or -1)
// while the mixer is not running. Main thread only.
#pragma once
#include <cstdint>
#include <memory>

#include "audio/fa_device.h"
#include "audio/fa_mixer.h"

// mode 0 opens the sound device and starts mixing: 0 on success, -1 on failure
// (also for any other mode).
int fa_Init(int mode);
// fa_Init(0) opens its device through this instead of the sound device (null
// restores the sound device): the seam for tests and measurements. The mixing
// thread calls the same opener again when its device is gone.
void fa_SetDeviceOpener(TFaDeviceOpener opener);
// Stops the thread (waiting about one second at most) and releases the mixer.
void fa_Close();
bool fa_Running();

TFaSound* fa_CreateSound(int length, int bits, int channels, int hertz, const void* samples,
                        int loop);
void fa_FreeSound(TFaSound* sound);
int fa_AllocChannel();
void fa_FreeChannel(int channel);
int fa_PlaySound(TFaSound* sound, int paused, int channel);
int fa_StopChannel(int channel);
int fa_SetChannelPaused(int channel, int paused);
int fa_SetChannelVolume(int channel, float volume);
int fa_SetChannelPan(int channel, float pan);
int fa_SetChannelDepth(int channel, float depth);
int fa_SetChannelRate(int channel, float rate);
int fa_ChannelStatus(int channel);
int64_t fa_ChannelPosition(int channel);

// The running mixer or null (for tests and measurements).
TFaMixer* fa_Mixer();
