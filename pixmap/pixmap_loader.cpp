// The loader chain: registration (newest first), the built-in loaders in start
// order BMP, PNG, TGA, JPEG, WebP, HEIF, and loading a source through the chain.
// No exception leaves a loader: a stream error, an exhausted allocation or
// anything else thrown while decoding is a refusal, so hostile input can only
// ever give null.
#include <algorithm>
#include <exception>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/pixel_size.h"

namespace {

TPixmapLoader* g_head = nullptr;

Ref<TPixmap> DecodeOrNull(Ref<TPixmap> (*decode)(TStream&), TStream& stream) {
  try {
    return decode(stream);
  } catch (...) {
    return nullptr;
  }
}

// A memory stream over bytes it owns.
struct TSpooledStream : TRamStream {
  std::vector<unsigned char> bytes;
};

// A stream that cannot tell its size (a pipe) is read into memory first, so that
// the decoders can weigh headers against the bytes. It costs what arrives, and at
// most CompressedByteLimit(); more gives null.
Ref<TStream> Spool(TStream& stream) {
  const size_t limit = CompressedByteLimit();
  auto mem = std::make_shared<TSpooledStream>();
  unsigned char piece[65536];
  for (size_t n; (n = stream.ReadFully(piece, sizeof piece)) > 0;) {
    if (mem->bytes.size() + n > limit) return nullptr;
    mem->bytes.insert(mem->bytes.end(), piece, piece + n);
  }
  mem->_buf = mem->bytes.data();
  mem->_size = static_cast<int>(mem->bytes.size());
  mem->_read = true;
  return mem;
}

}  // namespace

// One loader type per built-in decoder.
template <Ref<TPixmap> (*Decode)(TStream&)>
struct TBuiltinLoader : TPixmapLoader {
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override {
    return stream ? DecodeOrNull(Decode, *stream) : nullptr;
  }
};

struct TPixmapLoaderBMP : TBuiltinLoader<DecodeBMP> {};
struct TPixmapLoaderPNG : TBuiltinLoader<DecodePNG> {};
struct TPixmapLoaderTGA : TBuiltinLoader<DecodeTGA> {};
struct TPixmapLoaderJPG : TBuiltinLoader<DecodeJPeg> {};
struct TPixmapLoaderWebP : TBuiltinLoader<DecodeWebP> {};
struct TPixmapLoaderHEIF : TBuiltinLoader<DecodeHEIF> {};

TPixmapLoader::TPixmapLoader() {
  _succ = g_head;
  g_head = this;
}

TPixmapLoader* PixmapLoaders() {
  // Started once, in the order the codec modules start; the last one is tried first.
  static const bool started = [] {
    static TPixmapLoaderBMP bmp;
    static TPixmapLoaderPNG png;
    static TPixmapLoaderTGA tga;
    static TPixmapLoaderJPG jpg;
    static TPixmapLoaderWebP webp;
    static TPixmapLoaderHEIF heif;
    return true;
  }();
  (void)started;
  return g_head;
}

size_t StreamBytesLeft(TStream& stream) {
  const int pos = stream.Pos();
  if (pos < 0) return SIZE_MAX;
  const int size = stream.Size();
  return size > pos ? static_cast<size_t>(size - pos) : 0;
}

size_t CompressedByteLimit() { return PixelByteLimit() + (size_t(1) << 20); }

bool ReadRest(TStream& stream, std::vector<uint8_t>& bytes) {
  const size_t left = StreamBytesLeft(stream), had = bytes.size();
  if (left > CompressedByteLimit() || had > CompressedByteLimit() - left) return false;
  bytes.resize(had + left);
  return stream.ReadFully(bytes.data() + had, left) == left;
}

bool ClaimFitsBytes(int64_t width, int64_t height, size_t bytes) {
  constexpr int64_t kPixelsPerByte = int64_t(1) << 16;
  if (width < 1 || height < 1 || bytes == 0) return false;
  const int64_t room = static_cast<int64_t>(std::min<size_t>(bytes, size_t(1) << 40)) * kPixelsPerByte;
  return width <= room && height <= room / width;
}

bool WriteAll(TStream& stream, const void* buf, size_t count) {
  auto* p = static_cast<const unsigned char*>(buf);
  size_t done = 0;
  while (done < count) {
    const size_t want = count - done;
    const int piece = want > (1u << 30) ? (1 << 30) : static_cast<int>(want);
    const int put = stream.Write(p + done, piece);
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

Ref<TPixmap> LoadFromSource(const TUrl& source, Ref<TPixmap> (*decode)(TStream&)) {
  Ref<TStream> stream = ReadStream(source);
  if (!stream) return nullptr;
  Ref<TPixmap> pixmap;
  try {
    Ref<TStream> sized = stream->Pos() < 0 ? Spool(*stream) : stream;
    if (sized) pixmap = DecodeOrNull(decode, *sized);
  } catch (...) {
    pixmap = nullptr;  // the pipe failed, or there was no memory for its bytes
  }
  try {
    stream->Close();
  } catch (...) {
  }
  return pixmap;
}

Ref<TPixmap> LoadPixmap(const TUrl& source) {
  TPixmapLoader* head = PixmapLoaders();
  Ref<TStream> stream = ReadStream(source);
  if (!stream) return nullptr;
  const int start = stream->Pos();
  Ref<TPixmap> pixmap;
  if (start >= 0) {
    try {
      for (TPixmapLoader* l = head; l && !pixmap; l = l->_succ) {
        stream->Seek(start);
        try {
          pixmap = l->LoadPixmap(stream);
        } catch (...) {
          pixmap = nullptr;  // this loader refuses; the next one may not
        }
      }
    } catch (...) {
      pixmap = nullptr;  // the stream cannot go back to the start
    }
  }
  try {
    stream->Close();
  } catch (...) {
  }
  return pixmap;
}

Ref<TPixmap> LoadPixmapPNG(const TUrl& source) { return LoadFromSource(source, DecodePNG); }
Ref<TPixmap> LoadPixmapJPeg(const TUrl& source) { return LoadFromSource(source, DecodeJPeg); }
Ref<TPixmap> LoadPixmapBMP(const TUrl& source) { return LoadFromSource(source, DecodeBMP); }
Ref<TPixmap> LoadPixmapTGA(const TUrl& source) { return LoadFromSource(source, DecodeTGA); }
Ref<TPixmap> LoadPixmapHEIF(const TUrl& source) { return LoadFromSource(source, DecodeHEIF); }
Ref<TPixmap> LoadPixmapWebP(const TUrl& source) { return LoadFromSource(source, DecodeWebP); }
