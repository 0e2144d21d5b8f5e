// PNG writing with libpng: grey for I8 pixmaps, RGB for three-byte layouts, RGBA
// for everything else. Errors jump back to a small function with trivial locals.
#include <png.h>

#include <csetjmp>
#include <exception>
#include <vector>

#include "pixmap/codec_io.h"

namespace {

struct PngOutput {
  TStream* stream;
  bool failed;
  std::exception_ptr error;
};

void PngWrite(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<PngOutput*>(png_get_io_ptr(png));
  bool ok = false;
  try {
    ok = WriteAll(*out->stream, data, length);
  } catch (...) {
    out->error = std::current_exception();
  }
  if (!ok) {
    out->failed = true;
    png_error(png, "write failed");
  }
}
void PngFlush(png_structp) {}
void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarn(png_structp, png_const_charp) {}

bool PngWriteAll(png_structp png, png_infop info, const TPixmap* p, int type, int level,
                 png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, level);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p->width), static_cast<png_uint_32>(p->height), 8, type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

}  // namespace

int SavePixmapPNG(const Ref<TPixmap>& pixmap, const TUrl& destination, int compression) {
  if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return 0;
  if (pixmap->format < 1 || pixmap->format >= FormatCount) return 0;
  int format = FormatRGBA8888, type = PNG_COLOR_TYPE_RGB_ALPHA;
  if (pixmap->format == FormatI8) {
    format = FormatI8, type = PNG_COLOR_TYPE_GRAY;
  } else if (pixmap->format == FormatRGB888 || pixmap->format == FormatBGR888) {
    format = FormatRGB888, type = PNG_COLOR_TYPE_RGB;
  }
  Ref<TPixmap> src = pixmap->format == format ? pixmap : pixmap->Convert(format);
  if (!src) return 0;
  Ref<TStream> stream = WriteStream(destination);
  if (!stream) return 0;

  std::vector<png_bytep> rows(src->height);
  for (int y = 0; y < src->height; ++y) rows[y] = src->PixelPtr(0, y);
  PngOutput out{stream.get(), false, nullptr};
  bool ok = false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png && info) {
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    ok = PngWriteAll(png, info, src.get(), type, compression < 0 ? 0 : compression > 9 ? 9 : compression,
                     rows.data());
  }
  png_destroy_write_struct(&png, info ? &info : nullptr);
  try {
    stream->Flush();
    stream->Close();
  } catch (const TStreamException&) {
    ok = false;
  }
  if (out.error) {
    try {
      std::rethrow_exception(out.error);
    } catch (const TStreamException&) {
      return 0;
    }
  }
  return ok && !out.failed ? 1 : 0;
}
