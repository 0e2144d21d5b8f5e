// RIFF WAVE decoder for 8-bit and 16-bit PCM, mono and stereo. Input is hostile:
// sizes are unsigned and clamped to the bytes the stream holds, only whole frames
// are kept, one buffer never exceeds kMaxSampleBytes, and no exception leaves the
// loader (a failed read or allocation gives null).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/sample_loader.h"

namespace {

bool ReadExact(TStream& s, void* buf, size_t n) { return s.ReadFully(buf, n) == n; }

bool ReadTag(TStream& s, char tag[4]) { return ReadExact(s, tag, 4); }

bool ReadU32(TStream& s, uint32_t& v) {
  uint8_t b[4];
  if (!ReadExact(s, b, 4)) return false;
  v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

uint16_t U16At(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32At(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int64_t Remaining(TStream& s) {
  const int64_t pos = s.Pos(), size = s.Size();
  return pos < 0 || size < pos ? 0 : size - pos;
}

// Skips a chunk body plus its pad byte (RIFF chunks are word aligned); false at the end.
bool SkipChunk(TStream& s, uint32_t size) {
  const int64_t want = int64_t(size) + (size & 1);
  const int64_t left = Remaining(s);
  if (want > left) {
    s.Seek(s.Size());
    return false;
  }
  s.Seek(int(s.Pos() + want));
  return true;
}

// The data chunk, cut to the bytes the stream holds and to whole frames. From a
// stream that cannot tell its size (a pipe) the bytes are collected as they
// arrive, so the buffer never outgrows them.
Ref<TAudioSample> ReadData(TStream& s, uint32_t size, int hertz, int format) {
  const int fb = SampleFrameBytes(format);
  const int64_t want = std::min<int64_t>(size, kMaxSampleBytes);
  if (s.Pos() >= 0) {
    const int frames = int(std::min(want, Remaining(s)) / fb);
    auto sample = TAudioSample::Create(frames, hertz, format);
    if (!sample || (frames > 0 && !ReadExact(s, sample->samples, frames * fb))) return nullptr;
    return sample;
  }
  std::vector<uint8_t> bytes;
  uint8_t piece[65536];
  while (int64_t(bytes.size()) < want) {
    const int n = s.Read(piece, int(std::min<int64_t>(sizeof piece, want - int64_t(bytes.size()))));
    if (n <= 0) break;
    bytes.insert(bytes.end(), piece, piece + n);
  }
  const int frames = int(bytes.size() / fb);
  auto sample = TAudioSample::Create(frames, hertz, format);
  if (sample && frames > 0) std::memcpy(sample->samples, bytes.data(), size_t(frames) * fb);
  return sample;
}

Ref<TAudioSample> DecodeWav(TStream& s) {
  char tag[4];
  uint32_t size = 0;
  if (!ReadTag(s, tag) || std::memcmp(tag, "RIFF", 4) != 0) return nullptr;
  if (!ReadU32(s, size)) return nullptr;  // RIFF size: often wrong, not used
  if (!ReadTag(s, tag) || std::memcmp(tag, "WAVE", 4) != 0) return nullptr;

  int format = 0, hertz = 0;
  bool have_fmt = false;
  while (ReadTag(s, tag) && ReadU32(s, size)) {
    if (std::memcmp(tag, "fmt ", 4) == 0) {
      if (have_fmt || size < 16) return nullptr;
      uint8_t f[16];
      if (!ReadExact(s, f, 16)) return nullptr;
      if (U16At(f) != 1) return nullptr;  // PCM only
      const int channels = U16At(f + 2);
      const uint32_t rate = U32At(f + 4);
      const int bits = U16At(f + 14);
      if (bits == 8 && channels == 1) format = SF_MONO8;
      else if (bits == 8 && channels == 2) format = SF_STEREO8;
      else if (bits == 16 && channels == 1) format = SF_MONO16LE;
      else if (bits == 16 && channels == 2) format = SF_STEREO16LE;
      else return nullptr;
      if (rate == 0 || rate > 0x7FFFFFFF) return nullptr;
      hertz = int(rate);
      have_fmt = true;
      SkipChunk(s, size - 16);  // a cut-off chunk simply ends the loop below
    } else if (std::memcmp(tag, "data", 4) == 0) {
      return have_fmt ? ReadData(s, size, hertz, format) : nullptr;
    } else if (!SkipChunk(s, size)) {
      return nullptr;
    }
  }
  return nullptr;
}

}  // namespace

Ref<TAudioSample> TAudioSampleLoaderWAV::LoadAudioSample(const Ref<TStream>& stream) {
  if (!stream) return nullptr;
  try {
    return DecodeWav(*stream);
  } catch (...) {
    return nullptr;
  }
}
