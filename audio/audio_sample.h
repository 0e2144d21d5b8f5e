// Decoded sample buffers: the six sample formats with their size tables, creation,
// copying and conversion between formats (every conversion passes through
// big-endian signed 16-bit stereo).
#pragma once
#include <cstdint>

#include "platform/object.h"

constexpr int SF_MONO8 = 1;
constexpr int SF_MONO16LE = 2;
constexpr int SF_MONO16BE = 3;
constexpr int SF_STEREO8 = 4;
constexpr int SF_STEREO16LE = 5;
constexpr int SF_STEREO16BE = 6;

// Indexed by format code; entry 0 (and every unknown code) holds 0.
extern const int BytesPerSample[7];
extern const int ChannelsPerSample[7];
int SampleFrameBytes(int format);     // 0 for an unknown format
int SampleFrameChannels(int format);  // 0 for an unknown format

struct TAudioSample : TObject {
  uint8_t* samples = nullptr;
  int length = 0;  // frames
  int hertz = 0;
  int format = 0;
  int capacity = 0;  // bytes owned by the sample; -1 when samples is foreign memory

  ~TAudioSample() override;

  Ref<TAudioSample> Copy() const;
  // Raises "Unimplemented sample format conversion" for an unknown format code.
  Ref<TAudioSample> Convert(int dst_format) const;

  // Zero-filled buffer of length x bytes-per-frame bytes; null for a negative length,
  // an unknown format or a size beyond kMaxSampleBytes.
  static Ref<TAudioSample> Create(int length, int hertz, int format);
  static Ref<TAudioSample> CreateStatic(void* samples, int length, int hertz, int format);

  // Shrinks length (never grows it); the buffer stays as allocated.
  void Truncate(int frames) {
    if (frames >= 0 && frames < length) length = frames;
  }
};

// Upper bound for one sample buffer (hostile headers must not allocate gigabytes).
constexpr int64_t kMaxSampleBytes = int64_t(64) << 20;

Ref<TAudioSample> CreateAudioSample(int length, int hertz, int format);
