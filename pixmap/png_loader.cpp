// PNG decoding with libpng: 16-bit samples are stripped to 8 bits, palettes and low
// bit depths expanded, transparency chunks turned into alpha. libpng reports errors
// by longjmp, so every libpng call that can fail runs in a small function with
// trivial locals that owns the recovery point; C++ exceptions from the stream are
// caught in the read callback and rethrown only after libpng is torn down.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/pixel_size.h"

namespace {

struct PngInput {
  TStream* stream;
  std::exception_ptr error;  // a C++ exception met inside the callback
};

void PngRead(png_structp png, png_bytep data, size_t length) {
  auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
  size_t got = 0;
  try {
    got = in->stream->ReadFully(data, length);
  } catch (...) {
    in->error = std::current_exception();
  }
  if (got != length) png_error(png, "unexpected end of PNG data");
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

// Header and transforms; afterwards the info struct describes the output rows.
bool PngReadHeader(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
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

struct PngReadGuard {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

Ref<TPixmap> DecodePNG(TStream& stream) {
  png_byte sig[8];
  if (stream.ReadFully(sig, 8) != 8 || png_sig_cmp(sig, 0, 8) != 0) return nullptr;

  PngInput input{&stream, nullptr};
  Ref<TPixmap> pixmap;
  {
    PngReadGuard g;
    g.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn, nullptr, PngAlloc,
                                     PngFree);
    if (!g.png) return nullptr;
    g.info = png_create_info_struct(g.png);
    if (!g.info) return nullptr;
    png_set_read_fn(g.png, &input, PngRead);
    png_set_user_limits(g.png, 65535, 65535);  // the pixel cap below decides the rest
    png_set_chunk_malloc_max(g.png, kMaxLibpngAlloc);
    // Text, profiles and suggested palettes are never used: skip them unread.
    static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";
    png_set_keep_unknown_chunks(g.png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 6);

    bool ok = PngReadHeader(g.png, g.info);
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
        case PNG_COLOR_TYPE_GRAY_ALPHA: format = FormatRGBA8888, channels = 2; break;
        default: ok = false; break;
      }
    }
    size_t bytes = 0;
    if (ok) ok = DecodedPixelBytes(w, h, 4, &bytes) && png_get_rowbytes(g.png, g.info) == size_t(w) * channels;
    if (ok) pixmap = CreatePixmap(static_cast<int>(w), static_cast<int>(h), format);
    if (ok && pixmap) {
      // Rows go straight into the pixmap; grey with alpha goes through a buffer.
      std::vector<png_bytep> rows(h);
      std::vector<png_byte> ga;
      if (channels == 2) {
        ga.resize(size_t(w) * 2 * h);
        for (png_uint_32 y = 0; y < h; ++y) rows[y] = ga.data() + size_t(y) * w * 2;
      } else {
        for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixmap->PixelPtr(0, static_cast<int>(y));
      }
      if (PngReadRows(g.png, g.info, rows.data())) {
        if (channels == 2) {
          for (png_uint_32 y = 0; y < h; ++y) {
            const png_byte* s = rows[y];
            png_byte* d = pixmap->PixelPtr(0, static_cast<int>(y));
            for (png_uint_32 x = 0; x < w; ++x, s += 2, d += 4) d[0] = d[1] = d[2] = s[0], d[3] = s[1];
          }
        }
      } else {
        pixmap = nullptr;
      }
    } else {
      pixmap = nullptr;
    }
  }
  if (input.error) std::rethrow_exception(input.error);
  return pixmap;
}
