// Run-time binding of the OpenAL 1.1 library: the library is loaded by name when
// the OpenAL module starts; every entry point it lacks is a stub that does nothing
// and zeroes its out-parameters. The only module that uses dlopen.
#pragma once
#include <cstdint>

struct ALCdevice;
struct ALCcontext;
using ALuint = unsigned int;
using ALint = int;
using ALenum = int;
using ALsizei = int;
using ALfloat = float;
using ALCboolean = char;

constexpr ALenum AL_NONE = 0;
constexpr ALenum AL_SOURCE_RELATIVE = 0x202;
constexpr ALenum AL_PITCH = 0x1003;
constexpr ALenum AL_POSITION = 0x1004;
constexpr ALenum AL_LOOPING = 0x1007;
constexpr ALenum AL_BUFFER = 0x1009;
constexpr ALenum AL_GAIN = 0x100A;
constexpr ALenum AL_SOURCE_STATE = 0x1010;
constexpr ALenum AL_PLAYING = 0x1012;
constexpr ALenum AL_PAUSED = 0x1013;
constexpr ALenum AL_FORMAT_MONO8 = 0x1100;
constexpr ALenum AL_FORMAT_MONO16 = 0x1101;
constexpr ALenum AL_FORMAT_STEREO8 = 0x1102;
constexpr ALenum AL_FORMAT_STEREO16 = 0x1103;
constexpr ALenum ALC_DEFAULT_DEVICE_SPECIFIER = 0x1004;
constexpr ALenum ALC_DEVICE_SPECIFIER = 0x1005;

struct TOpenAL {
  ALCdevice* (*alcOpenDevice)(const char*);
  ALCboolean (*alcCloseDevice)(ALCdevice*);
  ALCcontext* (*alcCreateContext)(ALCdevice*, const int*);
  ALCboolean (*alcMakeContextCurrent)(ALCcontext*);
  void (*alcDestroyContext)(ALCcontext*);
  const char* (*alcGetString)(ALCdevice*, ALenum);
  ALenum (*alGetError)();
  void (*alDistanceModel)(ALenum);
  void (*alGenBuffers)(ALsizei, ALuint*);
  void (*alDeleteBuffers)(ALsizei, const ALuint*);
  void (*alBufferData)(ALuint, ALenum, const void*, ALsizei, ALsizei);
  void (*alGenSources)(ALsizei, ALuint*);
  void (*alDeleteSources)(ALsizei, const ALuint*);
  void (*alSourcei)(ALuint, ALenum, ALint);
  void (*alSourcef)(ALuint, ALenum, ALfloat);
  void (*alSource3f)(ALuint, ALenum, ALfloat, ALfloat, ALfloat);
  void (*alGetSourcei)(ALuint, ALenum, ALint*);
  void (*alSourcePlay)(ALuint);
  void (*alSourceStop)(ALuint);
  void (*alSourcePause)(ALuint);
};

// Loads the library once (trying "libopenal.so", "libopenal.so.0.0.8", then
// "libopenal.so.1"); true when one loaded. The table is usable either way.
bool LoadOpenAL();
const TOpenAL& AL();
// Test seam: the names LoadOpenAL tries (null restores the defaults). Only takes
// effect before the first LoadOpenAL.
void SetOpenALLibraryNames(const char* const* names, int count);
