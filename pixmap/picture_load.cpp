// Loading a picture for a display size: the format is told by the first bytes;
// the JPEG decoder works at a reduced scale, the PNG and BMP decoders keep what
// arrived of data that ends early; anything else, and a file those decoders
// refuse, goes through the loader chain.
#include "pixmap/picture_load.h"

#include <cstring>

#include "pixmap/codec_io.h"

namespace {

// The decoder the first bytes point to; null for the loader chain.
using TPictureDecoder = TSizedPicture (*)(TStream& stream, int minWidth, int minHeight);

TSizedPicture Jpeg(TStream& s, int minWidth, int minHeight) { return DecodeJPegForSize(s, minWidth, minHeight); }
TSizedPicture Png(TStream& s, int, int) { return DecodePNGPicture(s, true); }
TSizedPicture Bmp(TStream& s, int, int) { return DecodeBMPPicture(s, true); }

TPictureDecoder DecoderFor(const unsigned char* head, size_t n) {
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n >= 2 && head[0] == 0xFF && head[1] == 0xD8) return Jpeg;
  if (n >= 8 && std::memcmp(head, kPng, 8) == 0) return Png;
  if (n >= 2 && head[0] == 'B' && head[1] == 'M') return Bmp;
  return nullptr;
}

}  // namespace

TSizedPicture LoadPixmapForSize(const TUrl& source, int minWidth, int minHeight) {
  TSizedPicture out;
  Ref<TStream> stream = ReadStream(source);
  if (!stream) return out;
  const int start = stream->Pos();
  if (start < 0) {
    stream->Close();
    return out;
  }
  unsigned char head[8] = {};
  try {
    const TPictureDecoder decode = DecoderFor(head, stream->ReadFully(head, sizeof head));
    if (decode) {
      stream->Seek(start);
      out = decode(*stream, minWidth, minHeight);
    }
  } catch (...) {
    out = TSizedPicture();  // as in every loader: whatever a file causes is a refusal
  }
  if (!out.pixmap) {
    stream->Seek(start);
    out.pixmap = LoadPixmap(TUrl(stream));
    out.width = PixmapWidth(out.pixmap);
    out.height = PixmapHeight(out.pixmap);
    out.whole = true;
  }
  stream->Close();
  return out;
}

bool IsPlainJpegOfSize(const TUrl& source, int width, int height) {
  Ref<TStream> stream = ReadStream(source);
  if (!stream) return false;
  bool plain = false;
  try {
    plain = JpegIsPlain(*stream, width, height);
  } catch (...) {
    plain = false;
  }
  stream->Close();
  return plain;
}
