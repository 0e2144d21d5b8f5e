// PNG decoding with libpng: 16-bit samples are stripped to 8 bits, palettes and low
// bit depths expanded, transparency chunks turned into alpha, grey with alpha
// widened to RGBA. libpng reports errors
// by longjmp, so every libpng call that can fail runs in a small function with
// trivial locals that owns the recovery point; C++ exceptions from the stream are
// caught in the read callback and rethrown only after libpng is torn down. The
// header's size is weighed against the bytes of the file before any allocation. An
// iCCP profile converts the pixels to sRGB and an eXIf orientation turns them
// upright (pixmap/photo.h). Data that ends early (rows missing, or no end chunk)
// is refused, or kept as far as it came when asked.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/photo.h"
#include "pixmap/pixel_size.h"

namespace {

struct PngInput {
  TStream* stream;
  std::exception_ptr error;  // a C++ exception met inside the callback
  bool ended = false;        // the data stopped before libpng was done with it
};

void PngRead(png_structp png, png_bytep data, size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  size_t got = 0;
  try {
    got = in->stream->ReadFully(data, length);
  } catch (...) {
    in->error = std::current_exception();
  }
  if (got != length) {
    in->ended = true;
    png_error(png, "unexpected end of PNG data");
  }
}

void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// libpng's own allocations (row buffers, chunk data) never need more than this; a
// hostile chunk length must not make it ask for a gigabyte.
constexpr size_t kMaxLibpngAlloc = size_t(16) << 20;

png_voidp PngAlloc(png_structp, png_alloc_size_t size) {
  return size <= kMaxLibpngAlloc ? std::malloc(size) : nullptr;
}
void PngFree(png_structp, png_voidp p) { std::free(p); }
void PngWarn(png_structp, png_const_charp) {}

// zlib never inflates more than 1032 bytes from one compressed byte.
constexpr size_t kMaxInflateRatio = 1032;

// Header and transforms; afterwards the info struct describes the output rows.
// `rawBytes` gets the size of the filtered rows as stored (before the transforms,
// without interlacing, which only adds), the least the compressed data must hold.
bool PngReadHeader(png_structp png, png_infop info, size_t* rawBytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  const size_t bitsPerPixel = size_t(png_get_channels(png, info)) * png_get_bit_depth(png, info);
  *rawBytes = (1 + (size_t(png_get_image_width(png, info)) * bitsPerPixel + 7) / 8) * png_get_image_height(png, info);
  // Grey with alpha (or with a transparent grey value) comes out as RGBA, so its
  // rows too go straight into the pixmap.
  const png_byte type = png_get_color_type(png, info);
  if (type == PNG_COLOR_TYPE_GRAY_ALPHA || (type == PNG_COLOR_TYPE_GRAY && png_get_valid(png, info, PNG_INFO_tRNS)))
    png_set_gray_to_rgb(png);
  png_set_strip_16(png);
  png_set_expand(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool PngReadRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

// The orientation an eXIf chunk (a bare TIFF block, as in a JPEG's EXIF segment
// after its "Exif\0\0" header) gives; 1 without one.
int PngOrientation(png_structp png, png_infop info) {
  png_uint_32 size = 0;
  png_bytep tiff = nullptr;
  if (!png_get_eXIf_1(png, info, &size, &tiff) || !tiff || size == 0) return 1;
  std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
  exif.insert(exif.end(), tiff, tiff + size);
  return ExifOrientation(exif.data(), exif.size());
}

struct PngReadGuard {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

Ref<TPixmap> DecodePNG(TStream& stream) { return DecodePNGPicture(stream, false).pixmap; }

TSizedPicture DecodePNGPicture(TStream& stream, bool keepCut) {
  png_byte sig[8];
  if (stream.ReadFully(sig, 8) != 8 || png_sig_cmp(sig, 0, 8) != 0) return {};

  PngInput input{&stream, nullptr};
  Ref<TPixmap> pixmap;
  bool whole = true;
  {
    PngReadGuard g;
    g.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn, nullptr, PngAlloc,
                                     PngFree);
    if (!g.png) return {};
    g.info = png_create_info_struct(g.png);
    if (!g.info) return {};
    png_set_read_fn(g.png, &input, PngRead);
    png_set_user_limits(g.png, 65535, 65535);  // the pixel cap below decides the rest
    png_set_chunk_malloc_max(g.png, kMaxLibpngAlloc);
    // Text and suggested palettes are never used: skip them unread.
    static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0sPLT";
    png_set_keep_unknown_chunks(g.png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 4);

    // A header claiming more rows than the bytes left could inflate to is refused
    // before the pixmap is allocated.
    const size_t left = StreamBytesLeft(stream);
    size_t rawBytes = 0;
    bool ok = PngReadHeader(g.png, g.info, &rawBytes) && rawBytes / kMaxInflateRatio <= left;
    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0;
    if (ok) ok = png_get_IHDR(g.png, g.info, &w, &h, &depth, &type, nullptr, nullptr, nullptr) != 0;
    if (ok && depth != 8) ok = false;
    int format = 0, channels = 0;
    if (ok) {
      switch (type) {
        case PNG_COLOR_TYPE_GRAY: format = FormatI8, channels = 1; break;
        case PNG_COLOR_TYPE_RGB: format = FormatRGB888, channels = 3; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: format = FormatRGBA8888, channels = 4; break;
        default: ok = false; break;
      }
    }
    size_t bytes = 0;
    if (ok) ok = DecodedPixelBytes(w, h, 4, &bytes) && png_get_rowbytes(g.png, g.info) == size_t(w) * channels;
    if (ok) pixmap = CreatePixmap(static_cast<int>(w), static_cast<int>(h), format);
    if (ok && pixmap) {
      std::vector<png_bytep> rows(h);
      for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixmap->PixelPtr(0, static_cast<int>(y));
      // Rows that never arrive stay grey, as libjpeg finishes a cut JPEG.
      if (keepCut) pixmap->ClearPixels(static_cast<int>(0xFF808080u));
      whole = PngReadRows(g.png, g.info, rows.data());
      if (whole || (keepCut && input.ended && !input.error)) {
        // An embedded profile: its colours to sRGB. libpng has matched it to the
        // colour type, so a grey profile means grey pixels (widened when with alpha).
        png_charp name = nullptr;
        int compression = 0;
        png_bytep icc = nullptr;
        png_uint_32 iccBytes = 0;
        if (png_get_iCCP(g.png, g.info, &name, &compression, &icc, &iccBytes)) {
          const bool grey = iccBytes >= 20 && std::memcmp(icc + 16, "GRAY", 4) == 0;
          ProfileToSRgb(*pixmap, grey, icc, iccBytes);
        }
        pixmap = OrientPixmap(pixmap, PngOrientation(g.png, g.info));
      } else {
        pixmap = nullptr;
      }
    } else {
      pixmap = nullptr;
    }
  }
  if (input.error) std::rethrow_exception(input.error);
  TSizedPicture out;
  out.pixmap = std::move(pixmap);
  out.width = PixmapWidth(out.pixmap);
  out.height = PixmapHeight(out.pixmap);
  out.whole = whole;
  return out;
}
