// The loader chain: registration (newest first), the built-in loaders in start
// order BMP, PNG, TGA, JPEG, and loading a source through the chain.
#include <exception>

#include "pixmap/codec_io.h"

namespace {

TPixmapLoader* g_head = nullptr;

}  // namespace

// One loader type per built-in decoder.
template <Ref<TPixmap> (*Decode)(TStream&)>
struct TBuiltinLoader : TPixmapLoader {
  Ref<TPixmap> LoadPixmap(const Ref<TStream>& stream) override {
    return stream ? Decode(*stream) : nullptr;
  }
};

struct TPixmapLoaderBMP : TBuiltinLoader<DecodeBMP> {};
struct TPixmapLoaderPNG : TBuiltinLoader<DecodePNG> {};
struct TPixmapLoaderTGA : TBuiltinLoader<DecodeTGA> {};
struct TPixmapLoaderJPG : TBuiltinLoader<DecodeJPeg> {};

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
    return true;
  }();
  (void)started;
  return g_head;
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
    pixmap = decode(*stream);
  } catch (const TStreamException&) {
    pixmap = nullptr;
  } catch (...) {
    stream->Close();
    throw;
  }
  stream->Close();
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
        } catch (const TStreamException&) {
          pixmap = nullptr;  // this loader refuses; the next one may not
        }
      }
    } catch (...) {
      stream->Close();
      throw;
    }
  }
  stream->Close();
  return pixmap;
}

Ref<TPixmap> LoadPixmapPNG(const TUrl& source) { return LoadFromSource(source, DecodePNG); }
Ref<TPixmap> LoadPixmapJPeg(const TUrl& source) { return LoadFromSource(source, DecodeJPeg); }
Ref<TPixmap> LoadPixmapBMP(const TUrl& source) { return LoadFromSource(source, DecodeBMP); }
Ref<TPixmap> LoadPixmapTGA(const TUrl& source) { return LoadFromSource(source, DecodeTGA); }
