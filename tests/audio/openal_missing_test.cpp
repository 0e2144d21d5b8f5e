// Without an OpenAL library no OpenAL driver exists, and the entry-point table
// holds stubs that do nothing and zero what they return.
#include <gtest/gtest.h>

#include "audio/audio.h"
#include "audio/openal_binding.h"

TEST(OpenALBinding, MissingLibraryRegistersNoDriverAndLeavesSafeStubs) {
  static const char* const names[] = {"libtess-no-such-openal.so"};
  SetOpenALLibraryNames(names, 1);
  EXPECT_EQ(AudioDriverExists(u"OpenAL"), 0);
  EXPECT_EQ(AudioDrivers().front(), u"FreeAudio");
  EXPECT_EQ(SetAudioDriver(u"OpenAL"), 0);
  const TOpenAL& al = AL();
  EXPECT_EQ(al.alcOpenDevice(nullptr), nullptr);
  ALuint ids[3] = {7, 7, 7};
  al.alGenSources(3, ids);
  EXPECT_EQ(ids[0] + ids[1] + ids[2], 0u);
  ALint state = 42;
  al.alGetSourcei(1, AL_SOURCE_STATE, &state);
  EXPECT_EQ(state, 0);
  al.alSourcePlay(1);
  EXPECT_EQ(al.alcGetString(nullptr, ALC_DEVICE_SPECIFIER), nullptr);
}
