// Ogg Vorbis decoder over a TStream through libvorbisfile's callbacks. Corrupt
// streams give null or a shorter sample: decoding stops at the decoder's end and
// holes in the data are skipped. The length the stream claims (its last page's
// granule position) is only a ceiling: the buffer grows with what really decodes,
// so a false claim costs nothing, and no exception leaves the loader.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "audio/sample_loader.h"

namespace {

// No C++ exception may unwind through the C library: each callback catches.
size_t ReadCb(void* ptr, size_t size, size_t nmemb, void* src) {
  if (size == 0 || nmemb == 0) return 0;
  try {
    auto* s = static_cast<TStream*>(src);
    size_t want = size * nmemb;
    if (nmemb > SIZE_MAX / size || want > INT_MAX) want = INT_MAX / size * size;
    const int got = s->Read(ptr, int(want));
    return got > 0 ? size_t(got) / size : 0;
  } catch (...) {
    return 0;
  }
}

int SeekCb(void* src, ogg_int64_t offset, int whence) {
  try {
    auto* s = static_cast<TStream*>(src);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = s->Pos();
    else if (whence == SEEK_END) base = s->Size();
    else if (whence != SEEK_SET) return -1;
    if (base < 0) return -1;
    const int64_t target = base + offset;
    if (target < 0 || target > INT_MAX) return -1;
    return s->Seek(int(target)) < 0 ? -1 : 0;
  } catch (...) {
    return -1;
  }
}

int CloseCb(void*) { return 0; }  // the caller closes the stream

long TellCb(void* src) {
  try {
    return static_cast<TStream*>(src)->Pos();
  } catch (...) {
    return -1;
  }
}

struct TVorbisFile {
  OggVorbis_File vf{};
  bool open = false;
  ~TVorbisFile() {
    if (open) ov_clear(&vf);
  }
};

// A packet of one byte (plus its lacing byte) decodes to at most 4096 frames, the
// half of the longest block: no stream can hold more frames than this per byte.
constexpr int64_t kMaxFramesPerByte = 2048;
// The first buffer: the whole of a short effect, a few seconds of a longer sound.
constexpr int kFirstFrames = 1 << 20;

// Replaces `sample` by one of `frames` frames holding its first `bytes` bytes.
bool Grow(Ref<TAudioSample>& sample, int frames, int64_t bytes) {
  auto bigger = TAudioSample::Create(frames, sample->hertz, sample->format);
  if (!bigger) return false;
  std::memcpy(bigger->samples, sample->samples, size_t(bytes));
  sample = std::move(bigger);
  return true;
}

Ref<TAudioSample> DecodeOgg(TStream& stream) {
  const int64_t pos = stream.Pos(), size = stream.Size();
  TVorbisFile file;
  const ov_callbacks cb{ReadCb, SeekCb, CloseCb, TellCb};
  if (ov_open_callbacks(&stream, &file.vf, nullptr, 0, cb) != 0) return nullptr;
  file.open = true;

  const ogg_int64_t total = ov_pcm_total(&file.vf, -1);
  const vorbis_info* info = ov_info(&file.vf, -1);
  if (total < 0 || !info) return nullptr;
  const int channels = info->channels;
  if (channels != 1 && channels != 2) return nullptr;
  if (info->rate <= 0 || info->rate > INT_MAX) return nullptr;
  const int frame_bytes = 2 * channels;
  if (total > kMaxSampleBytes / frame_bytes) return nullptr;  // also a corrupt last page
  if (pos >= 0 && total > (size - pos) * kMaxFramesPerByte) return nullptr;

  auto sample = TAudioSample::Create(int(std::min<int64_t>(total, kFirstFrames)), int(info->rate),
                                     channels == 1 ? SF_MONO16LE : SF_STEREO16LE);
  if (!sample) return nullptr;
  const int64_t want = total * frame_bytes;
  int64_t got = 0;
  int bitstream = 0;
  int holes = 0;
  while (got < want) {
    const int64_t room = int64_t(sample->length) * frame_bytes;
    if (got == room && !Grow(sample, int(std::min<int64_t>(total, int64_t(sample->length) * 2)), got))
      return nullptr;
    const int chunk = int(std::min<int64_t>(int64_t(sample->length) * frame_bytes - got, 1 << 20));
    const long r = ov_read(&file.vf, reinterpret_cast<char*>(sample->samples) + got, chunk,
                           0 /* little-endian */, 2, 1 /* signed */, &bitstream);
    if (r == OV_HOLE) {
      if (++holes > 4096) break;  // a gap per page at most; never spin
      continue;
    }
    if (r < 0) return nullptr;
    if (r == 0) break;
    got += r;
  }
  sample->Truncate(int(got / frame_bytes));
  return sample;
}

}  // namespace

Ref<TAudioSample> TAudioSampleLoaderOGG::LoadAudioSample(const Ref<TStream>& stream) {
  if (!stream) return nullptr;
  try {
    return DecodeOgg(*stream);
  } catch (...) {
    return nullptr;
  }
}
