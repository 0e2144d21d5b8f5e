// Sample buffers and format conversion. Conversion goes through SF_STEREO16BE so
// that each format needs only one converter in and one out.
#include "audio/audio_sample.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/runtime_error.h"

const int BytesPerSample[7] = {0, 1, 2, 2, 2, 4, 4};
const int ChannelsPerSample[7] = {0, 1, 1, 1, 2, 2, 2};

int SampleFrameBytes(int format) {
  return format >= 1 && format <= 6 ? BytesPerSample[format] : 0;
}
int SampleFrameChannels(int format) {
  return format >= 1 && format <= 6 ? ChannelsPerSample[format] : 0;
}

TAudioSample::~TAudioSample() {
  if (capacity >= 0) std::free(samples);
}

Ref<TAudioSample> TAudioSample::Create(int length, int hertz, int format) {
  const int fb = SampleFrameBytes(format);
  if (fb == 0 || length < 0) return nullptr;
  const int64_t bytes = int64_t(length) * fb;
  if (bytes > kMaxSampleBytes) return nullptr;
  auto s = std::make_shared<TAudioSample>();
  // calloc(0) may give null; keep one byte so a valid empty sample is never null.
  s->samples = static_cast<uint8_t*>(std::calloc(bytes ? size_t(bytes) : 1, 1));
  if (!s->samples) return nullptr;
  s->length = length;
  s->hertz = hertz;
  s->format = format;
  s->capacity = int(bytes);
  return s;
}

Ref<TAudioSample> TAudioSample::CreateStatic(void* samples, int length, int hertz, int format) {
  auto s = std::make_shared<TAudioSample>();
  s->samples = static_cast<uint8_t*>(samples);
  s->length = length;
  s->hertz = hertz;
  s->format = format;
  s->capacity = -1;
  return s;
}

Ref<TAudioSample> CreateAudioSample(int length, int hertz, int format) {
  return TAudioSample::Create(length, hertz, format);
}

Ref<TAudioSample> TAudioSample::Copy() const {
  auto s = Create(length, hertz, format);
  if (s && length > 0) std::memcpy(s->samples, samples, size_t(length) * SampleFrameBytes(format));
  return s;
}

namespace {

[[noreturn]] void Unimplemented() { RuntimeError("Unimplemented sample format conversion"); }

// src frames of format src_format into big-endian stereo 16-bit at dst.
void ToStereo16BE(const uint8_t* src, int src_format, uint8_t* dst, int n) {
  auto put = [&](int i, int l_hi, int l_lo, int r_hi, int r_lo) {
    dst[i * 4 + 0] = uint8_t(l_hi);
    dst[i * 4 + 1] = uint8_t(l_lo);
    dst[i * 4 + 2] = uint8_t(r_hi);
    dst[i * 4 + 3] = uint8_t(r_lo);
  };
  for (int i = 0; i < n; ++i) {
    switch (src_format) {
      case SF_MONO8: {
        const int c = src[i];
        put(i, c - 128, c, c - 128, c);
        break;
      }
      case SF_MONO16LE: put(i, src[i * 2 + 1], src[i * 2], src[i * 2 + 1], src[i * 2]); break;
      case SF_MONO16BE: put(i, src[i * 2], src[i * 2 + 1], src[i * 2], src[i * 2 + 1]); break;
      case SF_STEREO8: {
        const int l = src[i * 2], r = src[i * 2 + 1];
        put(i, l - 128, l, r - 128, r);
        break;
      }
      case SF_STEREO16LE:
        put(i, src[i * 4 + 1], src[i * 4], src[i * 4 + 3], src[i * 4 + 2]);
        break;
      case SF_STEREO16BE: std::memcpy(dst + i * 4, src + i * 4, 4); break;
      default: Unimplemented();
    }
  }
}

void FromStereo16BE(const uint8_t* src, uint8_t* dst, int dst_format, int n) {
  for (int i = 0; i < n; ++i) {
    const int l = int16_t(uint16_t(src[i * 4] << 8 | src[i * 4 + 1]));
    const int r = int16_t(uint16_t(src[i * 4 + 2] << 8 | src[i * 4 + 3]));
    const int m = (l + r) / 2;
    switch (dst_format) {
      case SF_MONO8: dst[i] = uint8_t((m + 32768) / 257); break;
      case SF_MONO16LE:
        dst[i * 2] = uint8_t(m);
        dst[i * 2 + 1] = uint8_t(m >> 8);
        break;
      case SF_MONO16BE:
        dst[i * 2] = uint8_t(m >> 8);
        dst[i * 2 + 1] = uint8_t(m);
        break;
      case SF_STEREO8:
        dst[i * 2] = uint8_t((l + 32768) / 257);
        dst[i * 2 + 1] = uint8_t((r + 32768) / 257);
        break;
      case SF_STEREO16LE:
        dst[i * 4] = src[i * 4 + 1];
        dst[i * 4 + 1] = src[i * 4];
        dst[i * 4 + 2] = src[i * 4 + 3];
        dst[i * 4 + 3] = src[i * 4 + 2];
        break;
      case SF_STEREO16BE: std::memcpy(dst + i * 4, src + i * 4, 4); break;
      default: Unimplemented();
    }
  }
}

}  // namespace

Ref<TAudioSample> TAudioSample::Convert(int dst_format) const {
  if (SampleFrameBytes(format) == 0 || SampleFrameBytes(dst_format) == 0) Unimplemented();
  if (dst_format == format) return Copy();
  auto out = Create(length, hertz, dst_format);
  if (!out) return nullptr;
  if (length <= 0) return out;
  if (dst_format == SF_STEREO16BE) {
    ToStereo16BE(samples, format, out->samples, length);
  } else if (format == SF_STEREO16BE) {
    FromStereo16BE(samples, out->samples, dst_format, length);
  } else {
    std::vector<uint8_t> scratch;
    try {
      scratch.resize(size_t(length) * 4);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    ToStereo16BE(samples, format, scratch.data(), length);
    FromStereo16BE(scratch.data(), out->samples, dst_format, length);
  }
  return out;
}
