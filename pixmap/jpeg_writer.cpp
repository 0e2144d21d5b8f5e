// Baseline JPEG writing with libjpeg through a destination manager over the
// stream (4096-byte buffer). The result is 1 only when every byte reached the
// stream and the stream closed cleanly.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <csetjmp>
#include <exception>

#include <jerror.h>
#include <jpeglib.h>

#include "pixmap/codec_io.h"
#include "pixmap/jpeg_common.h"

namespace {

struct JpegDest {
  jpeg_destination_mgr pub;
  TStream* stream;
  std::exception_ptr error;
  JOCTET buffer[4096];
};

bool Flush(JpegDest* d, size_t count) {
  try {
    return WriteAll(*d->stream, d->buffer, count);
  } catch (...) {
    if (!d->error) d->error = std::current_exception();
    return false;
  }
}

void InitDest(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<JpegDest*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = sizeof d->buffer;
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<JpegDest*>(cinfo->dest);
  if (!Flush(d, sizeof d->buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = sizeof d->buffer;
  return TRUE;
}

void TermDest(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<JpegDest*>(cinfo->dest);
  const size_t rest = sizeof d->buffer - d->pub.free_in_buffer;
  if (rest && !Flush(d, rest)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

struct JpegEncode {
  jpeg_compress_struct cinfo;
  JpegErrorManager err;
  JpegDest dest;
};

bool JpegCompress(JpegEncode* e, const TPixmap* rgb, int quality) {
  e->cinfo.err = JpegErrors(&e->err);
  if (setjmp(e->err.jump)) return false;
  jpeg_create_compress(&e->cinfo);
  e->cinfo.dest = &e->dest.pub;
  e->cinfo.image_width = static_cast<JDIMENSION>(rgb->width);
  e->cinfo.image_height = static_cast<JDIMENSION>(rgb->height);
  e->cinfo.input_components = 3;
  e->cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e->cinfo);
  jpeg_set_quality(&e->cinfo, quality, TRUE);
  jpeg_start_compress(&e->cinfo, TRUE);
  while (e->cinfo.next_scanline < e->cinfo.image_height) {
    JSAMPROW row = rgb->PixelPtr(0, static_cast<int>(e->cinfo.next_scanline));
    jpeg_write_scanlines(&e->cinfo, &row, 1);
  }
  jpeg_finish_compress(&e->cinfo);
  return true;
}

void JpegDestroy(JpegEncode* e) { jpeg_destroy_compress(&e->cinfo); }

// JPEG frame headers hold 16-bit sizes, and libjpeg refuses more than this.
constexpr int kMaxJpegSide = 65500;

}  // namespace

int SavePixmapJPeg(const Ref<TPixmap>& pixmap, const TUrl& destination, int quality) {
  if (!pixmap || pixmap->width <= 0 || pixmap->height <= 0) return 0;
  if (pixmap->width > kMaxJpegSide || pixmap->height > kMaxJpegSide) return 0;
  if (pixmap->format < 1 || pixmap->format >= FormatCount) return 0;
  Ref<TPixmap> rgb = pixmap->format == FormatRGB888 ? pixmap : pixmap->Convert(FormatRGB888);
  if (!rgb) return 0;
  Ref<TStream> stream = WriteStream(destination);
  if (!stream) return 0;

  auto e = std::make_unique<JpegEncode>();
  e->dest.pub.init_destination = InitDest;
  e->dest.pub.empty_output_buffer = EmptyOutput;
  e->dest.pub.term_destination = TermDest;
  e->dest.stream = stream.get();
  bool ok = JpegCompress(e.get(), rgb.get(), quality < 1 ? 1 : quality > 100 ? 100 : quality);
  JpegDestroy(e.get());
  try {
    stream->Flush();
    stream->Close();
  } catch (const TStreamException&) {
    ok = false;
  }
  if (e->dest.error) {
    try {
      std::rethrow_exception(e->dest.error);
    } catch (const TStreamException&) {
      return 0;  // a failed write is a failed save, not a program error
    }
  }
  return ok ? 1 : 0;
}
