// Pixmap layout, pixel access, conversion, flips, bilinear and Lanczos scaling and
// colour-key masking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pixmap/photo.h"
#include "pixmap/pixel_size.h"
#include "pixmap/pixmap.h"

namespace {

Ref<TPixmap> Rgba(int w, int h, std::vector<uint32_t> argb) {
  auto p = CreatePixmap(w, h, FormatRGBA8888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) WritePixel(p, x, y, static_cast<int>(argb[y * w + x]));
  return p;
}

uint32_t At(const Ref<TPixmap>& p, int x, int y) { return static_cast<uint32_t>(ReadPixel(p, x, y)); }

}  // namespace

TEST(Pixmap, PitchIsRowBytesRoundedUpToAlignment) {
  EXPECT_EQ(CreatePixmap(3, 2, FormatRGB888)->pitch, 12);
  EXPECT_EQ(CreatePixmap(3, 2, FormatRGBA8888)->pitch, 12);
  EXPECT_EQ(CreatePixmap(5, 2, FormatI8)->pitch, 8);
  EXPECT_EQ(CreatePixmap(5, 2, FormatI8, 1)->pitch, 5);
  EXPECT_EQ(CreatePixmap(5, 2, FormatI8, 16)->pitch, 16);
  auto p = CreatePixmap(7, 3, FormatBGR888);
  EXPECT_EQ(p->capacity, p->pitch * 3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p->pixels) % 16, 0u);
}

TEST(Pixmap, CreateRefusesUnknownFormatsNegativeAndHugeSizes) {
  EXPECT_EQ(CreatePixmap(4, 4, 0), nullptr);
  EXPECT_EQ(CreatePixmap(4, 4, 13), nullptr);
  EXPECT_EQ(CreatePixmap(-1, 4, FormatI8), nullptr);
  EXPECT_EQ(CreatePixmap(65500, 65500, FormatRGB888), nullptr);
  EXPECT_EQ(CreatePixmap(0x7fffffff, 0x7fffffff, FormatRGBA8888), nullptr);
  EXPECT_NE(CreatePixmap(0, 0, FormatI8), nullptr);
}

TEST(PixelSize, ChecksOverflowAndTheCap) {
  size_t pitch = 0, total = 0;
  EXPECT_TRUE(PixelBufferSize(3, 5, 3, 4, &pitch, &total));
  EXPECT_EQ(pitch, 12u);
  EXPECT_EQ(total, 60u);
  size_t bytes = 0;
  EXPECT_FALSE(DecodedPixelBytes(65500, 65500, 3, &bytes));  // > 4 GiB: beyond 32 bits
  EXPECT_FALSE(DecodedPixelBytes(0, 10, 3, &bytes));
  EXPECT_FALSE(DecodedPixelBytes(INT64_MAX, INT64_MAX, 4, &bytes));
  EXPECT_TRUE(DecodedPixelBytes(16384, 16384, 4, &bytes));  // exactly 1 GiB
  EXPECT_FALSE(DecodedPixelBytes(16384, 16385, 4, &bytes));
}

TEST(Pixmap, WritePixelThenReadPixelPerFormat) {
  const int c = static_cast<int>(0x80112233u);  // alpha 128, r 17, g 34, b 51
  struct Case {
    int format;
    uint32_t expect;
  } cases[] = {
      {FormatI8, 0xff222222u},       {FormatA8, 0x80ffffffu},     {FormatBGR888, 0xff112233u},
      {FormatRGB888, 0xff112233u},   {FormatBGRA8888, 0x80112233u}, {FormatRGBA8888, 0x80112233u},
  };
  for (const auto& k : cases) {
    auto p = CreatePixmap(2, 2, k.format);
    WritePixel(p, 1, 1, c);
    EXPECT_EQ(At(p, 1, 1), k.expect) << "format " << k.format;
  }
  auto rgba = CreatePixmap(1, 1, FormatRGBA8888);
  WritePixel(rgba, 0, 0, c);
  EXPECT_EQ(std::memcmp(rgba->pixels, "\x11\x22\x33\x80", 4), 0);
  auto bgra = CreatePixmap(1, 1, FormatBGRA8888);
  WritePixel(bgra, 0, 0, c);
  EXPECT_EQ(std::memcmp(bgra->pixels, "\x33\x22\x11\x80", 4), 0);
  // Single-byte layouts beyond 6 neither read nor write packed colours.
  auto r8 = CreatePixmap(1, 1, FormatR8);
  r8->pixels[0] = 7;
  WritePixel(r8, 0, 0, c);
  EXPECT_EQ(r8->pixels[0], 7);
  EXPECT_EQ(ReadPixel(r8, 0, 0), 0);
}

TEST(Pixmap, ConvertRoundTripsThroughEveryFormat) {
  auto src = Rgba(3, 1, {0xff102030u, 0x80405060u, 0x00ffffffu});
  for (int f = 1; f < FormatCount; ++f) {
    auto conv = ConvertPixmap(src, f);
    ASSERT_NE(conv, nullptr);
    EXPECT_EQ(conv->format, f);
    auto back = ConvertPixmap(conv, FormatRGBA8888);
    // Formats with all eight bits of every channel they hold must give it back.
    for (int x = 0; x < 3; ++x) {
      const uint32_t s = At(src, x, 0), b = At(back, x, 0);
      if (RedBitsPerPixel(f) == 8) {
        EXPECT_EQ((s >> 16) & 0xff, (b >> 16) & 0xff) << f;
      }
      if (GreenBitsPerPixel(f) == 8) {
        EXPECT_EQ((s >> 8) & 0xff, (b >> 8) & 0xff) << f;
      }
      if (BlueBitsPerPixel(f) == 8) {
        EXPECT_EQ(s & 0xff, b & 0xff) << f;
      }
      if (AlphaBitsPerPixel(f) == 8) {
        EXPECT_EQ(s >> 24, b >> 24) << f;
      }
      if (AlphaBitsPerPixel(f) == 0) {
        EXPECT_EQ(b >> 24, 255u) << f;
      }
    }
  }
  // I8 averages with integer division; A8 expands to white.
  auto grey = ConvertPixmap(Rgba(1, 1, {0xff0a0b0du}), FormatI8);
  EXPECT_EQ(grey->pixels[0], (10 + 11 + 13) / 3);
  auto a8 = CreatePixmap(1, 1, FormatA8);
  a8->pixels[0] = 9;
  EXPECT_EQ(At(ConvertPixmap(a8, FormatRGBA8888), 0, 0), 0x09ffffffu);
  // Between two non-RGBA formats (through the temporary row), wider than one chunk.
  auto wide = CreatePixmap(1000, 1, FormatRGB888);
  for (int x = 0; x < 1000; ++x) WritePixel(wide, x, 0, static_cast<int>(0xff000000u | x * 77));
  auto bgr = ConvertPixmap(wide, FormatBGR888);
  for (int x = 0; x < 1000; ++x) ASSERT_EQ(At(bgr, x, 0), At(wide, x, 0));
}

TEST(Pixmap, ConvertToSameFormatIsANewCopy) {
  auto src = Rgba(2, 1, {0xff010203u, 0xff040506u});
  auto copy = ConvertPixmap(src, FormatRGBA8888);
  ASSERT_NE(copy, src);
  EXPECT_NE(copy->pixels, src->pixels);
  EXPECT_EQ(At(copy, 1, 0), 0xff040506u);
}

TEST(Pixmap, SingleByteLayoutsExpandFullScale) {
  auto p = Rgba(1, 1, {0xffffffffu});
  for (int f : {FormatRGB332, FormatBGR233, FormatRGBA2222}) {
    EXPECT_EQ(At(ConvertPixmap(ConvertPixmap(p, f), FormatRGBA8888), 0, 0), 0xffffffffu) << f;
  }
  auto g8 = ConvertPixmap(Rgba(1, 1, {0xff112233u}), FormatG8);
  EXPECT_EQ(g8->pixels[0], 0x22);
  EXPECT_EQ(At(ConvertPixmap(g8, FormatRGBA8888), 0, 0), 0xff002200u);
}

TEST(Pixmap, WindowSharesPixelsAndKeepsParentAlive) {
  auto parent = Rgba(4, 4, std::vector<uint32_t>(16, 0xff000000u));
  auto win = PixmapWindow(parent, 1, 2, 2, 2);
  EXPECT_EQ(win->capacity, -1);
  EXPECT_EQ(win->pitch, parent->pitch);
  WritePixel(win, 1, 1, static_cast<int>(0xffabcdefu));
  EXPECT_EQ(At(parent, 2, 3), 0xffabcdefu);
  EXPECT_EQ(win->_source, parent);
  std::weak_ptr<TPixmap> weak = parent;
  parent.reset();
  EXPECT_FALSE(weak.expired());
  EXPECT_EQ(At(win, 1, 1), 0xffabcdefu);
}

TEST(Pixmap, CopyAndPasteConvertRows) {
  auto src = Rgba(2, 2, {0xff010101u, 0xff020202u, 0xff030303u, 0xff040404u});
  auto copy = CopyPixmap(src);
  EXPECT_EQ(At(copy, 1, 1), 0xff040404u);
  auto dst = CreatePixmap(4, 4, FormatRGB888);
  ClearPixels(dst, 0);
  PastePixmap(src, dst, 1, 2);
  EXPECT_EQ(At(dst, 0, 0), 0xff000000u);
  EXPECT_EQ(At(dst, 1, 2), 0xff010101u);
  EXPECT_EQ(At(dst, 2, 3), 0xff040404u);
  EXPECT_EQ(At(dst, 3, 3), 0xff000000u);
}

TEST(Pixmap, ClearPixelsFillsEveryPixelButNotThePadding) {
  auto p = CreatePixmap(3, 2, FormatRGB888);  // pitch 12, 3 padding bytes per row
  std::memset(p->pixels, 0x5a, p->capacity);
  ClearPixels(p, static_cast<int>(0xff102030u));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(p, x, y), 0xff102030u);
  EXPECT_EQ(p->pixels[9], 0x5a);
  ClearPixels(p, 0);
  EXPECT_EQ(At(p, 2, 1), 0xff000000u);
  auto tight = CreatePixmap(4, 2, FormatRGBA8888);
  ClearPixels(tight, 0);
  EXPECT_EQ(At(tight, 3, 1), 0u);
  auto one = CreatePixmap(2, 1, FormatRGB332);
  ClearPixels(one, static_cast<int>(0xffffffffu));
  EXPECT_EQ(one->pixels[1], 0xff);
}

TEST(Pixmap, FlipsReverseRowsOrColumnsAndUndoThemselves) {
  auto src = Rgba(3, 2, {1, 2, 3, 4, 5, 6});
  auto y = YFlipPixmap(src);
  EXPECT_EQ(At(y, 0, 0), 4u);
  EXPECT_EQ(At(y, 2, 1), 3u);
  auto x = XFlipPixmap(src);
  EXPECT_EQ(At(x, 0, 0), 3u);
  EXPECT_EQ(At(x, 2, 1), 4u);
  auto yy = YFlipPixmap(y), xx = XFlipPixmap(x);
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(At(yy, i, j), At(src, i, j));
      EXPECT_EQ(At(xx, i, j), At(src, i, j));
    }
  auto rgb = ConvertPixmap(src, FormatRGB888);
  EXPECT_EQ(YFlipPixmap(rgb)->format, FormatRGB888);
}

TEST(ResizePixmap, SameSizeIsAnIdenticalCopy) {
  std::vector<uint32_t> px;
  for (uint32_t i = 0; i < 35; ++i) px.push_back(i * 0x07050301u);
  auto src = Rgba(7, 5, px);
  auto same = ResizePixmap(src, 7, 5);
  ASSERT_NE(same, src);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(At(same, x, y), At(src, x, y));
}

TEST(ResizePixmap, HalvingTwoByTwoAveragesTruncated) {
  auto src = Rgba(2, 2, {0x00000000u, 0x01010101u, 0x01010101u, 0x01010102u});
  auto half = ResizePixmap(src, 1, 1);
  EXPECT_EQ(At(half, 0, 0), 0x00000001u);  // 3/4 -> 0, 5/4 -> 1
}

TEST(ResizePixmap, EnlargingOnePixelRepeatsIt) {
  auto src = ConvertPixmap(Rgba(1, 1, {0xff336699u}), FormatBGR888);
  auto big = ResizePixmap(src, 4, 4);
  EXPECT_EQ(big->format, FormatBGR888);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(big, x, y), 0xff336699u);
}

TEST(ResizePixmap, SinglePrecisionSamplingIsExact) {
  auto row = ConvertPixmap(Rgba(2, 1, {0xff000000u, 0xffffffffu}), FormatI8);
  auto wide = ResizePixmap(row, 10, 1);
  EXPECT_EQ(wide->pixels[3], 50);  // 255 * 0.19999999
  EXPECT_EQ(wide->pixels[0], 0);
  EXPECT_EQ(wide->pixels[9], 255);
  auto col = ConvertPixmap(Rgba(1, 2, {0xff000000u, 0xffffffffu}), FormatI8);
  auto tall = ResizePixmap(col, 1, 4);
  EXPECT_EQ(*tall->PixelPtr(0, 0), 0);
  EXPECT_EQ(*tall->PixelPtr(0, 1), 63);
  EXPECT_EQ(*tall->PixelPtr(0, 2), 191);
  EXPECT_EQ(*tall->PixelPtr(0, 3), 255);
}

TEST(ResizePixmap, InterpolatesAlphaAndSamplesTwoRowsAtOnce) {
  // A vertical gradient whose rows alternate, shrunk in height: wrong row caching
  // would mix up the two rows each output row reads.
  const int w = 3, h = 9;
  std::vector<uint32_t> px(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px[y * w + x] = (y % 2) ? 0xc8c8c8c8u : 0x00000000u;
  auto src = ConvertPixmap(Rgba(w, h, px), FormatBGRA8888);
  auto out = ResizePixmap(src, w, 4);  // y = (i + 0.5) * 2.25 - 0.5: 0.625, 2.875, 5.125, 7.375
  const int expect[4] = {125, 175, 175, 125};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(At(out, 1, i), 0x01010101u * expect[i]) << i;
}

TEST(ResizePixmap, ZeroSizesGiveNull) {
  auto src = CreatePixmap(2, 2, FormatRGB888);
  EXPECT_EQ(ResizePixmap(src, 0, 5), nullptr);
  EXPECT_EQ(ResizePixmap(src, 5, 0), nullptr);
  EXPECT_EQ(ResizePixmap(CreatePixmap(0, 3, FormatRGB888), 5, 5), nullptr);
  EXPECT_EQ(ResizePixmap(nullptr, 5, 5), nullptr);
}

TEST(ApplyMaskColour, KeyedPixelsTakeTheirUnkeyedNeighboursAverage) {
  const uint32_t M = 0xffff00ffu;
  auto line = ApplyMaskColour(Rgba(3, 1, {M, M, 0xa7c86432u}), 255, 0, 255);
  EXPECT_EQ(line->format, FormatRGBA8888);
  EXPECT_EQ(At(line, 0, 0), 0x00000000u);
  EXPECT_EQ(At(line, 1, 0), 0x00c86432u);
  EXPECT_EQ(At(line, 2, 0), 0xffc86432u);  // source alpha replaced by 255

  // Centre pixel keyed; neighbours 10, 20, ..., 80 grey; average 45.
  std::vector<uint32_t> px;
  for (uint32_t v : {10u, 20u, 30u, 40u, 0u, 50u, 60u, 70u, 80u}) px.push_back(0xff000000u | v * 0x010101u);
  px[4] = M;
  auto grid = ApplyMaskColour(Rgba(3, 3, px), 255, 0, 255);
  EXPECT_EQ(At(grid, 1, 1), 0x002d2d2du);
  EXPECT_EQ(At(grid, 0, 0), 0xff0a0a0au);
}

TEST(ApplyMaskColour, AllKeyedGivesTransparentBlackAndWorksOnRgb) {
  auto rgb = ConvertPixmap(Rgba(4, 3, std::vector<uint32_t>(12, 0xff000102u)), FormatRGB888);
  auto out = ApplyMaskColour(rgb, 0, 1, 2);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(out, x, y), 0u);
}

TEST(ResamplePixmap, OnePixelStripesBecomeEvenGreyWhereBilinearShowsMoire) {
  for (bool columns : {true, false}) {
    const int w = columns ? 4000 : 16, h = columns ? 16 : 4000;
    auto src = CreatePixmap(w, h, FormatRGB888);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) WritePixel(src, x, y, ((columns ? x : y) % 2) ? -1 : int(0xff000000u));
    // The outermost two pixels see a cut kernel, as in every image tool; they stay near grey.
    auto range = [columns](const Ref<TPixmap>& p, int edge) {
      int lo = 255, hi = 0;
      for (int y = columns ? 0 : edge; y < p->height - (columns ? 0 : edge); ++y)
        for (int x = columns ? edge : 0; x < p->width - (columns ? edge : 0); ++x)
          for (int c = 0; c < 3; ++c) lo = std::min<int>(lo, p->PixelPtr(x, y)[c]), hi = std::max<int>(hi, p->PixelPtr(x, y)[c]);
      return std::make_pair(lo, hi);
    };
    const int ow = columns ? 512 : 16, oh = columns ? 16 : 512;
    const Ref<TPixmap> good = ResamplePixmap(src, ow, oh);
    const auto [lo, hi] = range(good, 2);
    EXPECT_GE(lo, 127) << columns;
    EXPECT_LE(hi, 128) << columns;
    const auto [elo, ehi] = range(good, 0);
    EXPECT_GE(elo, 120) << columns;
    EXPECT_LE(ehi, 135) << columns;
    const auto [blo, bhi] = range(ResizePixmap(src, ow, oh), 0);
    EXPECT_GT(bhi - blo, 100) << "bilinear sampling aliases";
  }
}

TEST(ResamplePixmap, FlatStaysFlatRampsAverageAndFormatsAreKept) {
  for (int f : {FormatI8, FormatBGR888, FormatRGBA8888}) {
    auto flat = CreatePixmap(301, 207, f);
    ClearPixels(flat, static_cast<int>(0x80a0b0c0u));
    auto out = ResamplePixmap(flat, 37, 512);  // shrinking one way, enlarging the other
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->format, f);
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(At(out, x, y), At(flat, 0, 0)) << f;
  }
  // A ramp shrunk by four: each output pixel is the mean of its four inputs.
  auto ramp = CreatePixmap(256, 4, FormatI8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 256; ++x) *ramp->PixelPtr(x, y) = static_cast<uint8_t>(x);
  auto quarter = ResamplePixmap(ramp, 64, 1);
  for (int j = 3; j < 61; ++j) EXPECT_NEAR(*quarter->PixelPtr(j, 0), 4 * j + 1.5, 0.6) << j;
  EXPECT_EQ(ResamplePixmap(ramp, 0, 5), nullptr);
  EXPECT_EQ(ResamplePixmap(nullptr, 5, 5), nullptr);
  EXPECT_EQ(ResamplePixmap(CreatePixmap(0, 3, FormatRGB888), 5, 5), nullptr);
}

TEST(ResamplePixmap, BothAxesFilterAlikeSoTurningCommutesWithScaling) {
  // Noise shrunk by different ratios each way: if rows were mixed up in the
  // vertical pass, scaling the transposed picture would not give the transpose.
  auto noise = CreatePixmap(331, 977, FormatRGBA8888);
  uint32_t s = 7;
  for (int y = 0; y < noise->height; ++y)
    for (int x = 0; x < noise->width * 4; ++x) noise->PixelPtr(0, y)[x] = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
  auto a = OrientPixmap(ResamplePixmap(noise, 61, 200), 5);
  auto b = ResamplePixmap(OrientPixmap(noise, 5), 200, 61);
  ASSERT_EQ(a->width, b->width);
  int worst = 0;
  for (int y = 0; y < a->height; ++y)
    for (int x = 0; x < a->width * 4; ++x) worst = std::max(worst, std::abs(a->PixelPtr(0, y)[x] - b->PixelPtr(0, y)[x]));
  EXPECT_LE(worst, 1);
}
