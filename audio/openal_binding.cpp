// dlopen binding of OpenAL with do-nothing stubs for missing entry points.
#include "audio/openal_binding.h"

#include <dlfcn.h>

namespace {

ALCdevice* StubOpenDevice(const char*) { return nullptr; }
ALCboolean StubCloseDevice(ALCdevice*) { return 0; }
ALCcontext* StubCreateContext(ALCdevice*, const int*) { return nullptr; }
ALCboolean StubMakeCurrent(ALCcontext*) { return 0; }
void StubDestroyContext(ALCcontext*) {}
const char* StubGetString(ALCdevice*, ALenum) { return nullptr; }
ALenum StubGetError() { return 0; }
void StubEnum(ALenum) {}
void StubGen(ALsizei n, ALuint* ids) {
  for (ALsizei i = 0; ids && i < n; ++i) ids[i] = 0;
}
void StubDelete(ALsizei, const ALuint*) {}
void StubBufferData(ALuint, ALenum, const void*, ALsizei, ALsizei) {}
void StubSourcei(ALuint, ALenum, ALint) {}
void StubSourcef(ALuint, ALenum, ALfloat) {}
void StubSource3f(ALuint, ALenum, ALfloat, ALfloat, ALfloat) {}
void StubGetSourcei(ALuint, ALenum, ALint* v) {
  if (v) *v = 0;
}
void StubSource(ALuint) {}

TOpenAL g_al = {StubOpenDevice, StubCloseDevice, StubCreateContext, StubMakeCurrent,
                StubDestroyContext, StubGetString, StubGetError, StubEnum,
                StubGen, StubDelete, StubBufferData, StubGen,
                StubDelete, StubSourcei, StubSourcef, StubSource3f,
                StubGetSourcei, StubSource, StubSource, StubSource};

const char* const kDefaultNames[] = {"libopenal.so", "libopenal.so.0.0.8", "libopenal.so.1"};
const char* const* g_names = kDefaultNames;
int g_name_count = 3;

template <class F>
void Bind(void* lib, const char* name, F& slot) {
  if (void* p = dlsym(lib, name)) slot = reinterpret_cast<F>(p);
}

}  // namespace

void SetOpenALLibraryNames(const char* const* names, int count) {
  g_names = names ? names : kDefaultNames;
  g_name_count = names ? count : 3;
}

bool LoadOpenAL() {
  static int state = -1;  // -1 not tried, 0 missing, 1 loaded
  if (state >= 0) return state == 1;
  void* lib = nullptr;
  for (int i = 0; i < g_name_count && !lib; ++i) lib = dlopen(g_names[i], RTLD_NOW);
  state = lib ? 1 : 0;
  if (!lib) return false;  // kept for the whole run: never dlclose'd
  Bind(lib, "alcOpenDevice", g_al.alcOpenDevice);
  Bind(lib, "alcCloseDevice", g_al.alcCloseDevice);
  Bind(lib, "alcCreateContext", g_al.alcCreateContext);
  Bind(lib, "alcMakeContextCurrent", g_al.alcMakeContextCurrent);
  Bind(lib, "alcDestroyContext", g_al.alcDestroyContext);
  Bind(lib, "alcGetString", g_al.alcGetString);
  Bind(lib, "alGetError", g_al.alGetError);
  Bind(lib, "alDistanceModel", g_al.alDistanceModel);
  Bind(lib, "alGenBuffers", g_al.alGenBuffers);
  Bind(lib, "alDeleteBuffers", g_al.alDeleteBuffers);
  Bind(lib, "alBufferData", g_al.alBufferData);
  Bind(lib, "alGenSources", g_al.alGenSources);
  Bind(lib, "alDeleteSources", g_al.alDeleteSources);
  Bind(lib, "alSourcei", g_al.alSourcei);
  Bind(lib, "alSourcef", g_al.alSourcef);
  Bind(lib, "alSource3f", g_al.alSource3f);
  Bind(lib, "alGetSourcei", g_al.alGetSourcei);
  Bind(lib, "alSourcePlay", g_al.alSourcePlay);
  Bind(lib, "alSourceStop", g_al.alSourceStop);
  Bind(lib, "alSourcePause", g_al.alSourcePause);
  return true;
}

const TOpenAL& AL() { return g_al; }
