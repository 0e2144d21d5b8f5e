// HEIF/HEIC and AVIF decoding with libheif (HEVC through libde265, AV1 through
// dav1d or libaom): the primary picture only, with libheif's own geometric
// transforms (irot, imir, clap) applied, so a phone's picture comes upright
// without reading its EXIF tag, which would turn it a second time. An embedded
// ICC profile, or else an nclx colour description, converts the pixels to sRGB
// (pixmap/photo.h). The size is weighed against the pixel cap and the coded bytes
// before libheif decodes, and libheif and its codecs decode on the calling
// thread, so that a thread limit cannot stop them.
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pixmap/codec_io.h"
#include "pixmap/heif_hevc.h"
#include "pixmap/photo.h"
#include "pixmap/pixel_size.h"

namespace {

// Neither side of a picture may come near this (libheif's own default is 32768);
// the pixel cap decides the area.
constexpr int kMaxSide = 32768;

struct HeifContext {
  heif_context* ctx = heif_context_alloc();
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  heif_decoding_options* options = heif_decoding_options_alloc();
  ~HeifContext() {
    if (options) heif_decoding_options_free(options);
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    if (ctx) heif_context_free(ctx);
  }
};

bool Ok(const heif_error& e) { return e.code == heif_error_Ok; }

// The bytes start with an ISO base media "ftyp" box of a brand libheif reads.
bool LooksLikeHeif(const std::vector<uint8_t>& bytes) {
  const int probe = bytes.size() > 4096 ? 4096 : static_cast<int>(bytes.size());
  return heif_check_filetype(bytes.data(), probe) == heif_filetype_yes_supported;
}

// Premultiplied colours back to straight ones, as the pixmap keeps them.
void Unpremultiply(TPixmap& pixmap) {
  for (int y = 0; y < pixmap.height; ++y) {
    uint8_t* p = pixmap.PixelPtr(0, y);
    for (int x = 0; x < pixmap.width; ++x, p += 4)
      if (p[3] && p[3] < 255)
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(p[c] >= p[3] ? 255 : (p[c] * 255 + p[3] / 2) / p[3]);
  }
}

// An ICC profile when there is one, else the nclx colour description.
void ToSRgb(const heif_image_handle* handle, TPixmap& pixmap) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > (size_t(64) << 20)) return;
    std::vector<uint8_t> icc(size);
    if (Ok(heif_image_handle_get_raw_color_profile(handle, icc.data())))
      ProfileToSRgb(pixmap, false, icc.data(), icc.size());
    return;
  }
  heif_color_profile_nclx* nclx = nullptr;
  if (type == heif_color_profile_type_nclx && Ok(heif_image_handle_get_nclx_color_profile(handle, &nclx)) && nclx)
    NclxToSRgb(pixmap, nclx->color_primaries, nclx->transfer_characteristics);
  if (nclx) heif_nclx_color_profile_free(nclx);
}

// Decodes the primary picture into interleaved 8-bit RGB or RGBA and copies it
// into a pixmap.
Ref<TPixmap> DecodePrimary(HeifContext& h, size_t codedBytes) {
  const int w = heif_image_handle_get_width(h.handle), h0 = heif_image_handle_get_height(h.handle);
  size_t total = 0;
  if (!DecodedPixelBytes(w, h0, 4, &total) || !ClaimFitsBytes(w, h0, codedBytes)) return nullptr;
  const bool alpha = heif_image_handle_has_alpha_channel(h.handle) != 0;
  h.options->convert_hdr_to_8bit = 1;  // 10- and 12-bit pictures come as 8-bit
  // AV1 through libaom, which decodes a still picture on the calling thread (dav1d
  // starts threads for each); HEVC goes to the decoder of heif_hevc.h whatever
  // this names.
  h.options->decoder_id = "aom";
  // No picture met while decoding this one (tiles, alpha, what libheif derives
  // from them) may be larger than it, give or take coding blocks.
  heif_context_set_maximum_image_size_limit(h.ctx, std::max(w, h0) + 129);
  const THevcBounds bounds(w, h0);
  if (!Ok(heif_decode_image(h.handle, &h.image, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, h.options)))
    return nullptr;
  const int iw = heif_image_get_width(h.image, heif_channel_interleaved);
  const int ih = heif_image_get_height(h.image, heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(h.image, heif_channel_interleaved, &stride);
  // Turned a quarter, the picture has the handle's sides swapped; clap may crop.
  if (!plane || iw < 1 || ih < 1 || static_cast<int64_t>(iw) * ih > static_cast<int64_t>(w) * h0 ||
      heif_image_get_bits_per_pixel_range(h.image, heif_channel_interleaved) != 8)
    return nullptr;
  const int bpp = alpha ? 4 : 3;
  if (stride < iw * bpp) return nullptr;
  Ref<TPixmap> pixmap = CreatePixmap(iw, ih, alpha ? FormatRGBA8888 : FormatRGB888);
  if (!pixmap) return nullptr;
  for (int y = 0; y < ih; ++y)
    std::memcpy(pixmap->PixelPtr(0, y), plane + static_cast<size_t>(y) * stride, static_cast<size_t>(iw) * bpp);
  if (alpha && heif_image_handle_is_premultiplied_alpha(h.handle)) Unpremultiply(*pixmap);
  return pixmap;
}

}  // namespace

Ref<TPixmap> DecodeHEIF(TStream& stream) {
  std::vector<uint8_t> bytes(12);
  if (stream.ReadFully(bytes.data(), 12) != 12 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0) return nullptr;
  if (!ReadRest(stream, bytes) || !LooksLikeHeif(bytes)) return nullptr;
  static const bool ready = Ok(heif_init(nullptr)) && RegisterHevcDecoder();
  if (!ready) return nullptr;

  HeifContext h;
  if (!h.ctx || !h.options) return nullptr;
  heif_context_set_maximum_image_size_limit(h.ctx, kMaxSide);
  // Tiles on this thread: the callers run several decodes side by side already,
  // and a thread libheif cannot start must not end the program.
  heif_context_set_max_decoding_threads(h.ctx, 0);
  if (!Ok(heif_context_read_from_memory_without_copy(h.ctx, bytes.data(), bytes.size(), nullptr)) ||
      !Ok(heif_context_get_primary_image_handle(h.ctx, &h.handle)))
    return nullptr;
  Ref<TPixmap> pixmap = DecodePrimary(h, bytes.size());
  if (pixmap) ToSRgb(h.handle, *pixmap);
  return pixmap;
}
