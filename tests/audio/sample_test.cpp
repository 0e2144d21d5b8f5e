// Sample buffers and format conversion.
#include "audio/audio_sample.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/runtime_error.h"

namespace {
Ref<TAudioSample> Make(int format, std::initializer_list<uint8_t> bytes) {
  const int fb = SampleFrameBytes(format);
  auto s = TAudioSample::Create(int(bytes.size()) / fb, 22050, format);
  std::memcpy(s->samples, bytes.begin(), bytes.size());
  return s;
}
std::vector<uint8_t> Bytes(const Ref<TAudioSample>& s) {
  return {s->samples, s->samples + s->length * SampleFrameBytes(s->format)};
}
}  // namespace

TEST(AudioSample, FormatTablesAndCreation) {
  const int bytes[] = {0, 1, 2, 2, 2, 4, 4}, chans[] = {0, 1, 1, 1, 2, 2, 2};
  for (int f = 0; f <= 6; ++f) {
    EXPECT_EQ(BytesPerSample[f], bytes[f]);
    EXPECT_EQ(ChannelsPerSample[f], chans[f]);
  }
  auto s = CreateAudioSample(100, 8000, SF_STEREO16LE);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->capacity, 400);
  EXPECT_EQ(s->length, 100);
  EXPECT_EQ(s->samples[399], 0);
  EXPECT_EQ(CreateAudioSample(10, 8000, 0), nullptr);
  EXPECT_EQ(CreateAudioSample(10, 8000, 7), nullptr);
  EXPECT_EQ(CreateAudioSample(-1, 8000, SF_MONO8), nullptr);
  EXPECT_EQ(CreateAudioSample(0x7FFFFFFF, 8000, SF_STEREO16LE), nullptr);  // beyond the cap
  ASSERT_TRUE(CreateAudioSample(0, 8000, SF_MONO8));

  uint8_t foreign[4] = {1, 2, 3, 4};
  {
    auto st = TAudioSample::CreateStatic(foreign, 2, 8000, SF_MONO16LE);
    EXPECT_EQ(st->capacity, -1);
    auto copy = st->Copy();
    EXPECT_EQ(copy->capacity, 4);
    EXPECT_EQ(Bytes(copy), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_NE(copy->samples, foreign);
  }  // the static sample must not free foreign memory (ASan would catch it)
  EXPECT_EQ(foreign[0], 1);
}

TEST(AudioSample, ConvertsThroughBigEndianStereo) {
  // 0x80 unsigned is silence: 0x0080 in both channels.
  auto m8 = Make(SF_MONO8, {0x80, 0xFF, 0x00});
  EXPECT_EQ(Bytes(m8->Convert(SF_STEREO16LE)),
            (std::vector<uint8_t>{0x80, 0x00, 0x80, 0x00, 0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80,
                                  0x00, 0x80}));
  EXPECT_EQ(Bytes(m8->Convert(SF_STEREO16BE)),
            (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x80, 0x7F, 0xFF, 0x7F, 0xFF, 0x80, 0x00,
                                  0x80, 0x00}));
  auto back = m8->Convert(SF_STEREO16LE)->Convert(SF_MONO8);
  EXPECT_EQ(Bytes(back), (std::vector<uint8_t>{0x80, 0xFF, 0x00}));

  // Stereo to mono averages with integer division: (1000 + -3) / 2 = 498.
  auto st = Make(SF_STEREO16LE, {0xE8, 0x03, 0xFD, 0xFF});
  EXPECT_EQ(Bytes(st->Convert(SF_MONO16LE)), (std::vector<uint8_t>{0xF2, 0x01}));
  EXPECT_EQ(Bytes(st->Convert(SF_MONO16BE)), (std::vector<uint8_t>{0x01, 0xF2}));
  // To 8-bit: (v + 32768) / 257 per channel.
  EXPECT_EQ(Bytes(st->Convert(SF_STEREO8)),
            (std::vector<uint8_t>{uint8_t((1000 + 32768) / 257), uint8_t((32765) / 257)}));
  EXPECT_EQ(Bytes(st->Convert(SF_MONO8)), (std::vector<uint8_t>{uint8_t((498 + 32768) / 257)}));
  auto be = st->Convert(SF_STEREO16BE);
  EXPECT_EQ(Bytes(be), (std::vector<uint8_t>{0x03, 0xE8, 0xFF, 0xFD}));
  EXPECT_EQ(Bytes(be->Convert(SF_STEREO16LE)), Bytes(st));
  auto m16 = Make(SF_MONO16BE, {0x12, 0x34});
  EXPECT_EQ(Bytes(m16->Convert(SF_MONO16LE)), (std::vector<uint8_t>{0x34, 0x12}));
  auto s8 = Make(SF_STEREO8, {0x00, 0xFF});
  EXPECT_EQ(Bytes(s8->Convert(SF_STEREO16LE)), (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0x7F}));
  EXPECT_EQ(st->Convert(SF_STEREO16LE)->hertz, 22050);
  EXPECT_EQ(Bytes(st->Convert(SF_STEREO16LE)), Bytes(st));  // same format: a copy
}

TEST(AudioSample, UnknownFormatsRaise) {
  auto s = Make(SF_MONO8, {1, 2});
  try {
    s->Convert(9);
    FAIL();
  } catch (const TRuntimeError& e) {
    EXPECT_STREQ(e.what(), "Unimplemented sample format conversion");
  }
  uint8_t raw[4] = {};
  EXPECT_THROW(TAudioSample::CreateStatic(raw, 1, 1, 0)->Convert(SF_MONO8), TRuntimeError);
}
