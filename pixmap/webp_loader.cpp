// WebP decoding with libwebp: the container is parsed with the demux API, which
// gives the canvas size, the ICC profile (converted to sRGB, pixmap/photo.h) and
// whether the file is an animation. A still picture decodes straight into the
// pixmap; an animation gives its first frame as composed on the canvas. Sizes
// are weighed against the pixel cap and the file's bytes first, and libwebp
// decodes on the calling thread.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/photo.h"
#include "pixmap/pixel_size.h"

namespace {

struct Demuxer {
  WebPDemuxer* demux;
  ~Demuxer() { WebPDemuxDelete(demux); }
};

struct AnimDecoder {
  WebPAnimDecoder* dec;
  ~AnimDecoder() { WebPAnimDecoderDelete(dec); }
};

std::vector<uint8_t> IccOf(WebPDemuxer* demux) {
  std::vector<uint8_t> icc;
  if (!(WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG)) return icc;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
    icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return icc;
}

Ref<TPixmap> DecodeStill(const WebPData& data) {
  WebPBitstreamFeatures f;
  if (WebPGetFeatures(data.bytes, data.size, &f) != VP8_STATUS_OK) return nullptr;
  size_t bytes = 0;
  if (!DecodedPixelBytes(f.width, f.height, 4, &bytes)) return nullptr;
  Ref<TPixmap> pixmap = CreatePixmap(f.width, f.height, f.has_alpha ? FormatRGBA8888 : FormatRGB888);
  if (!pixmap) return nullptr;
  const size_t size = static_cast<size_t>(pixmap->pitch) * pixmap->height;
  const uint8_t* done = f.has_alpha
                            ? WebPDecodeRGBAInto(data.bytes, data.size, pixmap->pixels, size, pixmap->pitch)
                            : WebPDecodeRGBInto(data.bytes, data.size, pixmap->pixels, size, pixmap->pitch);
  return done ? pixmap : nullptr;
}

// The first frame as the animation shows it: drawn on a canvas that starts
// transparent.
Ref<TPixmap> DecodeFirstFrame(const WebPData& data, int width, int height) {
  // The decoder keeps the canvas and a copy of the previous one.
  size_t bytes = 0;
  if (!DecodedPixelBytes(width, height, 8, &bytes)) return nullptr;
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return nullptr;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  AnimDecoder a{WebPAnimDecoderNew(&data, &options)};
  WebPAnimInfo info;
  if (!a.dec || !WebPAnimDecoderGetInfo(a.dec, &info) || static_cast<int>(info.canvas_width) != width ||
      static_cast<int>(info.canvas_height) != height)
    return nullptr;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(a.dec, &canvas, &timestamp) || !canvas) return nullptr;
  Ref<TPixmap> pixmap = CreatePixmap(width, height, FormatRGBA8888);
  if (!pixmap) return nullptr;
  for (int y = 0; y < height; ++y)
    std::memcpy(pixmap->PixelPtr(0, y), canvas + static_cast<size_t>(y) * width * 4, static_cast<size_t>(width) * 4);
  return pixmap;
}

}  // namespace

Ref<TPixmap> DecodeWebP(TStream& stream) {
  std::vector<uint8_t> bytes(12);
  if (stream.ReadFully(bytes.data(), 12) != 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WEBP", 4) != 0)
    return nullptr;
  if (!ReadRest(stream, bytes)) return nullptr;
  const WebPData data = {bytes.data(), bytes.size()};
  // Parses the whole container; a file cut short or with chunks past its end is refused.
  Demuxer d{WebPDemux(&data)};
  if (!d.demux) return nullptr;
  const int width = static_cast<int>(WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_WIDTH));
  const int height = static_cast<int>(WebPDemuxGetI(d.demux, WEBP_FF_CANVAS_HEIGHT));
  if (!ClaimFitsBytes(width, height, bytes.size())) return nullptr;
  const bool animated = (WebPDemuxGetI(d.demux, WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0;
  Ref<TPixmap> pixmap = animated ? DecodeFirstFrame(data, width, height) : DecodeStill(data);
  const std::vector<uint8_t> icc = IccOf(d.demux);
  if (pixmap && !icc.empty()) ProfileToSRgb(*pixmap, false, icc.data(), icc.size());
  return pixmap;
}
