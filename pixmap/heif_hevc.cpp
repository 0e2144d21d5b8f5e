// The HEVC decoder libheif uses for HEIC pictures: libde265, driven on the
// calling thread. libheif's own libde265 glue starts a worker thread for every
// picture and ignores a failure to start it, after which libde265 waits for that
// thread for ever (a per-user thread limit, a container's pids limit); this glue
// starts none and takes precedence over it. It also refuses a coded picture
// larger than the picture the file claims before libde265 allocates for it.
#include "pixmap/heif_hevc.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>

#include <cstring>
#include <new>

namespace {

constexpr heif_error kOk = {heif_error_Ok, heif_suberror_Unspecified, "Success"};
constexpr heif_error kBadData = {heif_error_Decoder_plugin_error, heif_suberror_End_of_data, "HEVC data broken"};
constexpr heif_error kNoPicture = {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, "no HEVC picture"};
constexpr heif_error kTooLarge = {heif_error_Memory_allocation_error, heif_suberror_Security_limit_exceeded,
                                  "HEVC picture larger than the file claims"};
constexpr heif_error kNoMemory = {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "out of memory"};

// Above libheif's own libde265 glue (100).
constexpr int kPriority = 120;

const char* Name() { return "libde265 on the calling thread"; }

int Supports(heif_compression_format format) { return format == heif_compression_HEVC ? kPriority : 0; }

heif_error NewDecoder(void** decoder) {
  de265_decoder_context* ctx = de265_new_decoder();
  if (!ctx) return kNoMemory;
  *decoder = ctx;
  return kOk;
}

void FreeDecoder(void* decoder) { de265_free_decoder(static_cast<de265_decoder_context*>(decoder)); }

// The largest picture the current thread's HEIF decode may meet (0: any).
thread_local int64_t t_maxSide = 0, t_maxArea = 0;

// Reads the bits of a NAL unit's payload, dropping emulation prevention bytes.
class BitReader {
 public:
  BitReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool ok() const { return ok_; }
  uint32_t Bits(int count) {
    uint32_t v = 0;
    while (count-- > 0) v = v << 1 | Bit();
    return v;
  }
  // Exp-Golomb code; wider than 32 bits is broken data.
  uint32_t Ue() {
    int zeros = 0;
    while (ok_ && Bit() == 0)
      if (++zeros > 31) ok_ = false;
    return ok_ ? (uint32_t(1) << zeros) - 1 + Bits(zeros) : 0;
  }

 private:
  uint32_t Bit() {
    if (bit_ == 0) {
      if (at_ >= n_) {
        ok_ = false;
        return 0;
      }
      // 00 00 03: the 03 was inserted so that no start code appears in the data.
      if (p_[at_] == 3 && zeros_ >= 2) {
        zeros_ = 0;
        if (++at_ >= n_) {
          ok_ = false;
          return 0;
        }
      }
      zeros_ = p_[at_] == 0 ? zeros_ + 1 : 0;
      byte_ = p_[at_++];
      bit_ = 8;
    }
    return (byte_ >> --bit_) & 1;
  }
  const uint8_t* p_;
  size_t n_, at_ = 0;
  int bit_ = 0, zeros_ = 0;
  uint8_t byte_ = 0;
  bool ok_ = true;
};

// A sequence parameter set (NAL type 33) names the coded picture size; one
// larger than the picture the file claims is refused before libde265 allocates
// for it. Other NAL units pass.
bool SizeFits(const uint8_t* nal, size_t n) {
  if (t_maxSide <= 0 || n < 2 || ((nal[0] >> 1) & 0x3F) != 33) return true;
  BitReader r(nal + 2, n - 2);
  r.Bits(4);  // video parameter set id
  const int subLayers = static_cast<int>(r.Bits(3));
  r.Bits(1);
  r.Bits(32), r.Bits(32), r.Bits(32);  // general profile, tier and level: 96 bits
  bool profile[8] = {}, level[8] = {};
  for (int i = 0; i < subLayers; ++i) profile[i] = r.Bits(1), level[i] = r.Bits(1);
  if (subLayers > 0) r.Bits(2 * (8 - subLayers));
  for (int i = 0; i < subLayers; ++i) {
    if (profile[i]) r.Bits(32), r.Bits(32), r.Bits(24);  // 88 bits
    if (level[i]) r.Bits(8);
  }
  r.Ue();  // parameter set id
  if (r.Ue() == 3) r.Bits(1);  // 4:4:4 and the separate colour plane flag
  const int64_t w = r.Ue(), h = r.Ue();
  return r.ok() && w <= t_maxSide && h <= t_maxSide && w * h <= t_maxArea;
}

// libheif hands over NAL units, each behind its length in four big-endian bytes.
heif_error PushData(void* decoder, const void* data, size_t size) {
  auto* ctx = static_cast<de265_decoder_context*>(decoder);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (size < 4) return kBadData;
    const size_t n = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
    p += 4, size -= 4;
    if (n > size || n > 0x7FFFFFFF) return kBadData;
    if (!SizeFits(p, n)) return kTooLarge;
    if (de265_push_NAL(ctx, p, static_cast<int>(n), 0, nullptr) != DE265_OK) return kNoMemory;
    p += n, size -= n;
  }
  return kOk;
}

// The decoded planes (Y, Cb, Cr, or Y alone) copied into a heif_image.
heif_error ToHeifImage(const de265_image* picture, heif_image** out) {
  const de265_chroma chroma = de265_get_chroma_format(picture);
  const bool mono = chroma == de265_chroma_mono;
  const heif_chroma hc = mono ? heif_chroma_monochrome
                         : chroma == de265_chroma_420 ? heif_chroma_420
                         : chroma == de265_chroma_422 ? heif_chroma_422
                                                      : heif_chroma_444;
  const int w = de265_get_image_width(picture, 0), h = de265_get_image_height(picture, 0);
  if (w <= 0 || h <= 0) return kNoPicture;
  heif_image* image = nullptr;
  heif_error e = heif_image_create(w, h, mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr, hc, &image);
  if (e.code != heif_error_Ok) return e;
  const heif_channel channels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
  for (int c = 0; c < (mono ? 1 : 3); ++c) {
    const int cw = de265_get_image_width(picture, c), ch = de265_get_image_height(picture, c);
    const int bits = de265_get_bits_per_pixel(picture, c);
    int from = 0, to = 0;
    const uint8_t* src = de265_get_image_plane(picture, c, &from);
    if (cw <= 0 || ch <= 0 || bits < 1 || bits > 16 || !src) e = kNoPicture;
    if (e.code == heif_error_Ok) e = heif_image_add_plane(image, channels[c], cw, ch, bits);
    uint8_t* dst = e.code == heif_error_Ok ? heif_image_get_plane(image, channels[c], &to) : nullptr;
    const size_t row = static_cast<size_t>(cw) * ((bits + 7) / 8);
    if (e.code == heif_error_Ok && (!dst || static_cast<size_t>(from) < row || static_cast<size_t>(to) < row))
      e = kNoPicture;
    if (e.code != heif_error_Ok) {
      heif_image_release(image);
      return e;
    }
    for (int y = 0; y < ch; ++y)
      std::memcpy(dst + static_cast<size_t>(y) * to, src + static_cast<size_t>(y) * from, row);
  }
  *out = image;
  return kOk;
}

heif_error DecodeImage(void* decoder, heif_image** out) {
  auto* ctx = static_cast<de265_decoder_context*>(decoder);
  *out = nullptr;
  if (de265_flush_data(ctx) != DE265_OK) return kNoMemory;
  // An item holds one picture; the first one decoded is it.
  int more = 1;
  while (more) {
    more = 0;
    if (de265_decode(ctx, &more) != DE265_OK) break;
    if (const de265_image* picture = de265_get_next_picture(ctx)) {
      const heif_error e = ToHeifImage(picture, out);
      de265_release_next_picture(ctx);
      return e;
    }
  }
  return kNoPicture;
}

void SetStrict(void*, int) {}

const heif_decoder_plugin kPlugin = {
    3, Name, nullptr, nullptr, Supports, NewDecoder, FreeDecoder, PushData, DecodeImage, SetStrict,
    "tessolino-libde265",
};

}  // namespace

THevcBounds::THevcBounds(int width, int height) {
  // Coded pictures are padded to whole coding blocks, and a grid's tiles may
  // reach past the picture's edge; either way within a block of 128.
  const int64_t w = width + int64_t(128), h = height + int64_t(128);
  t_maxSide = w > h ? w : h;
  t_maxArea = w * h;
}

THevcBounds::~THevcBounds() { t_maxSide = t_maxArea = 0; }

bool RegisterHevcDecoder() { return heif_register_decoder_plugin(&kPlugin).code == heif_error_Ok; }
