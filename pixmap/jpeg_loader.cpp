// JPEG decoding with libjpeg: an error handler that jumps back to the loader and
// prints nothing, and a source manager over the stream (4096-byte buffer). Each
// libjpeg call that can fail runs in a small function with trivial locals that owns
// the jump buffer; the decoder is always destroyed, also after an error. Warnings
// (corrupt data the library can step over, a premature end) keep decoding, within
// the cost limits of jpeg_bounds.h. Photos may be decoded at a reduced scale, CMYK
// included; jpeg_photo.h makes them upright and sRGB.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <csetjmp>
#include <exception>

#include <jerror.h>
#include <jpeglib.h>

#include "pixmap/codec_io.h"
#include "pixmap/jpeg_bounds.h"
#include "pixmap/jpeg_common.h"
#include "pixmap/jpeg_photo.h"
#include "pixmap/photo.h"
#include "pixmap/pixel_size.h"

namespace {

struct JpegSource {
  jpeg_source_mgr pub;
  TStream* stream;
  bool started;              // some bytes have arrived
  std::exception_ptr error;  // a C++ exception met inside a callback
  JOCTET buffer[4096];
};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  size_t got = 0;
  bool failed = false;
  try {
    got = src->stream->ReadFully(src->buffer, sizeof src->buffer);
  } catch (...) {
    if (!src->error) src->error = std::current_exception();
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);  // never jump out of a catch block
  if (got == 0) {
    if (!src->started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // Supply an end-of-image marker so that the decoder finishes the picture.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->started = true;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    FillInput(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

struct JpegDecode {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  JpegSource src;
  JpegCostGuard guard;
  TJpegPhoto photo;
  int minWidth = 0, minHeight = 0;  // decode reduced, but not below this upright size
};

// Creates the decoder, reads the header and starts decompression. The component
// count and the size are checked before the library allocates its buffers.
bool JpegStart(JpegDecode* d) {
  d->cinfo.err = JpegErrors(&d->err);
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->cinfo.src = &d->src.pub;
  JpegGuardCost(&d->cinfo, &d->guard);
  KeepJpegPhotoMarkers(&d->cinfo);
  if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!JpegClaimFits(&d->cinfo, &d->guard)) return false;
  ReadJpegPhoto(&d->cinfo, &d->photo);
  if (d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK)
    d->cinfo.out_color_space = JCS_CMYK;
  d->cinfo.scale_num = JpegScaleNum(d->cinfo.image_width, d->cinfo.image_height, d->photo.orientation,
                                    d->minWidth, d->minHeight);
  d->cinfo.scale_denom = 8;
  // Multi-scan pictures keep all coefficients in memory; stay within the cap.
  d->cinfo.mem->max_memory_to_use = static_cast<long>(PixelByteLimit());
  size_t bytes = 0;
  if (!DecodedPixelBytes(d->cinfo.image_width, d->cinfo.image_height, 4, &bytes)) return false;
  jpeg_start_decompress(&d->cinfo);
  return true;
}

bool JpegReadRows(JpegDecode* d, unsigned char* first, int pitch) {
  if (setjmp(d->err.jump)) return false;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    JSAMPROW row = first + static_cast<size_t>(d->cinfo.output_scanline) * pitch;
    jpeg_read_scanlines(&d->cinfo, &row, 1);
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

void JpegDestroy(JpegDecode* d) { jpeg_destroy_decompress(&d->cinfo); }

// Points the decoder at the stream through the source manager.
void JpegUseStream(JpegDecode* d, TStream& stream) {
  d->src.pub.init_source = InitSource;
  d->src.pub.fill_input_buffer = FillInput;
  d->src.pub.skip_input_data = SkipInput;
  d->src.pub.resync_to_restart = jpeg_resync_to_restart;
  d->src.pub.term_source = TermSource;
  d->src.pub.bytes_in_buffer = 0;
  d->src.pub.next_input_byte = nullptr;
  d->src.stream = &stream;
  d->src.started = false;
  d->guard.bytesLeft = StreamBytesLeft(stream);
}

// The header and the markers before it, nothing of the pixels.
bool JpegReadHeaderOnly(JpegDecode* d) {
  d->cinfo.err = JpegErrors(&d->err);
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->cinfo.src = &d->src.pub;
  KeepJpegPhotoMarkers(&d->cinfo);
  if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  ReadJpegPhoto(&d->cinfo, &d->photo);
  return true;
}

}  // namespace

Ref<TPixmap> DecodeJPeg(TStream& stream) { return DecodeJPegForSize(stream, 0, 0).pixmap; }

TSizedPicture DecodeJPegForSize(TStream& stream, int minWidth, int minHeight) {
  auto d = std::make_unique<JpegDecode>();
  d->minWidth = minWidth;
  d->minHeight = minHeight;
  JpegUseStream(d.get(), stream);

  Ref<TPixmap> pixmap;
  if (JpegStart(d.get())) {
    const int w = static_cast<int>(d->cinfo.output_width);
    const int h = static_cast<int>(d->cinfo.output_height);
    const int comps = d->cinfo.output_components;
    // CMYK arrives four bytes a pixel and becomes RGB afterwards.
    const int format = comps == 1 ? FormatI8 : comps == 3 ? FormatRGB888 : comps == 4 ? FormatRGBA8888 : 0;
    if (w > 0 && h > 0 && format) pixmap = CreatePixmap(w, h, format);
    // Rows are decoded straight into the pixmap.
    if (pixmap && !JpegReadRows(d.get(), pixmap->pixels, pixmap->pitch)) pixmap = nullptr;
  }
  TSizedPicture out;
  const bool turned = d->photo.orientation >= 5;
  out.width = static_cast<int>(turned ? d->cinfo.image_height : d->cinfo.image_width);
  out.height = static_cast<int>(turned ? d->cinfo.image_width : d->cinfo.image_height);
  out.whole = !d->guard.cut;
  JpegDestroy(d.get());
  if (d->src.error) std::rethrow_exception(d->src.error);
  out.pixmap = FinishJpegPhoto(pixmap, d->photo);
  return out;
}

bool JpegIsPlain(TStream& stream, int width, int height) {
  auto d = std::make_unique<JpegDecode>();
  JpegUseStream(d.get(), stream);
  bool plain = JpegReadHeaderOnly(d.get());
  if (plain) {
    const jpeg_decompress_struct& c = d->cinfo;
    const bool colours = c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB ||
                         c.jpeg_color_space == JCS_GRAYSCALE;
    plain = colours && c.image_width == static_cast<JDIMENSION>(width) &&
            c.image_height == static_cast<JDIMENSION>(height) && d->photo.orientation == 1 &&
            (d->photo.icc.empty() ||
             !ProfileChangesColours(d->photo.icc.data(), d->photo.icc.size(), c.jpeg_color_space == JCS_GRAYSCALE));
  }
  JpegDestroy(d.get());
  if (d->src.error) std::rethrow_exception(d->src.error);
  return plain;
}
