// Embedded colour profiles: Adobe RGB and Display P3 JPEGs (profile split over
// several APP2 markers), PNGs with iCCP (with alpha, and grey), grey JPEGs with a
// grey profile, sRGB profiles that must change nothing, and broken or hostile
// profiles that must be ignored. The reference is Little CMS run unoptimised at
// 16 bits on the plain decode of the same file.
#include <gtest/gtest.h>

#include <lcms2.h>
#include <png.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "pixmap/picture_load.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/jpeg_raw.h"
#include "tests/support/env.h"
#include "tests/support/jpeg_segments.h"
#include "tests/support/temp_dir.h"

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

Ref<TPixmap> Load(const std::string& bytes, Ref<TPixmap> (*load)(const TUrl&) = LoadPixmap) {
  Ref<TStream> s = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
  return load(TUrl(s));
}

std::string Saved(cmsHPROFILE p) {
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(p, nullptr, &n);
  std::string out(n, '\0');
  cmsSaveProfileToMem(p, out.data(), &n);
  cmsCloseProfile(p);
  return out;
}

cmsHPROFILE Rgb(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
  cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&d65, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

cmsToneCurve* SRgbCurve() {
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(nullptr, 4, params);
}

std::string AdobeRgb() {
  return Saved(Rgb({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, cmsBuildGamma(nullptr, 563.0 / 256)));
}
std::string DisplayP3() {
  return Saved(Rgb({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, SRgbCurve()));
}
std::string GreyGamma18() {
  cmsToneCurve* c = cmsBuildGamma(nullptr, 1.8);
  cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), c);
  cmsFreeToneCurve(c);
  return Saved(p);
}

// Strong colours and greys: what profiles move most, and what they must keep.
Ref<TPixmap> Colourful(int format = FormatRGB888) {
  Ref<TPixmap> p = CreatePixmap(64, 64, format);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint32_t r = (x / 16) * 80, g = (y / 16) * 80, b = ((x / 16 + y / 16) % 4) * 80;
      WritePixel(p, x, y, static_cast<int>((0x80000000u + (x % 2) * 0x7F000000u) | r << 16 | g << 8 | b));
    }
  return p;
}

// The pixels converted from the profile to sRGB the slow and exact way.
Ref<TPixmap> Reference(const Ref<TPixmap>& plain, const std::string& icc) {
  Ref<TPixmap> out = ConvertPixmap(plain, plain->format);
  const bool grey = plain->format == FormatI8;
  cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
  cmsHPROFILE srgb = grey ? nullptr : cmsCreate_sRGBProfile();
  if (grey) {
    cmsToneCurve* c = SRgbCurve();
    srgb = cmsCreateGrayProfile(cmsD50_xyY(), c);
    cmsFreeToneCurve(c);
  }
  const bool alpha = plain->format == FormatRGBA8888;
  const cmsUInt32Number in8 = grey ? TYPE_GRAY_8 : alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
  const cmsUInt32Number out16 = grey ? TYPE_GRAY_16 : alpha ? TYPE_RGBA_16 : TYPE_RGB_16;
  cmsHTRANSFORM t = cmsCreateTransform(in, in8, srgb, out16, INTENT_PERCEPTUAL,
                                       cmsFLAGS_NOOPTIMIZE | (alpha ? cmsFLAGS_COPY_ALPHA : 0));
  const int channels = BytesPerPixel(plain->format);
  std::vector<uint16_t> row(static_cast<size_t>(plain->width) * channels);
  for (int y = 0; y < plain->height; ++y) {
    cmsDoTransform(t, plain->PixelPtr(0, y), row.data(), static_cast<cmsUInt32Number>(plain->width));
    uint8_t* d = out->PixelPtr(0, y);
    for (size_t i = 0; i < row.size(); ++i)
      d[i] = alpha && i % 4 == 3 ? plain->PixelPtr(0, y)[i] : static_cast<uint8_t>((row[i] + 128) / 257);
  }
  cmsDeleteTransform(t);
  cmsCloseProfile(in);
  cmsCloseProfile(srgb);
  return out;
}

// Largest difference over all channels, alpha included; 999 when sizes or formats differ.
int MaxDiff(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
  if (!a || !b || a->width != b->width || a->height != b->height || a->format != b->format) return 999;
  int worst = 0;
  const size_t row = static_cast<size_t>(a->width) * BytesPerPixel(a->format);
  for (int y = 0; y < a->height; ++y)
    for (size_t i = 0; i < row; ++i) worst = std::max(worst, std::abs(a->PixelPtr(0, y)[i] - b->PixelPtr(0, y)[i]));
  return worst;
}

std::string JpegOf(const Ref<TPixmap>& p) {
  if (p->format == FormatI8) {
    std::vector<uint8_t> grey;
    for (int y = 0; y < p->height; ++y) grey.insert(grey.end(), p->PixelPtr(0, y), p->PixelPtr(p->width, y));
    return JpegFromSamples(grey, p->width, p->height, 1);
  }
  TempDir dir;
  EXPECT_EQ(SavePixmapJPeg(p, TUrl(dir.str() + "/p.jpg"), 95), 1);
  return FileBytes(dir.str() + "/p.jpg");
}

std::string WithIcc(std::string jpeg, const std::string& icc, size_t piece = 200) {
  const std::vector<std::string> pieces = IccPieces(icc, piece);
  for (size_t i = pieces.size(); i-- > 0;) jpeg = InsertSegment(jpeg, 0xE2, pieces[i]);
  return jpeg;
}

// A PNG written by libpng with the pixmap's rows and, when given, an iCCP chunk.
std::string PngOf(const Ref<TPixmap>& p, const std::string& icc) {
  TempDir dir;
  const std::string path = dir.str() + "/p.png";
  FILE* f = fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  const int type = p->format == FormatI8 ? PNG_COLOR_TYPE_GRAY
                   : p->format == FormatRGBA8888 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, static_cast<png_uint_32>(p->width), static_cast<png_uint_32>(p->height), 8, type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!icc.empty())
    png_set_iCCP(png, info, "test", 0, reinterpret_cast<png_const_bytep>(icc.data()),
                 static_cast<png_uint_32>(icc.size()));
  png_write_info(png, info);
  for (int y = 0; y < p->height; ++y) png_write_row(png, p->PixelPtr(0, y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(f);
  return FileBytes(path);
}

}  // namespace

TEST(ColourProfile, AdobeRgbAndDisplayP3JpegsArriveInSRgb) {
  const std::string plainFile = JpegOf(Colourful());
  const Ref<TPixmap> plain = Load(plainFile);
  for (const std::string& icc : {AdobeRgb(), DisplayP3()}) {
    ASSERT_GT(icc.size(), 400u);  // so that it spreads over several markers
    const Ref<TPixmap> got = Load(WithIcc(plainFile, icc), LoadPixmapJPeg);
    ASSERT_NE(got, nullptr);
    EXPECT_LE(MaxDiff(got, Reference(plain, icc)), 2);
    EXPECT_GE(MaxDiff(got, plain), 20) << "the colours must have moved";
    // One marker or many: the same profile.
    EXPECT_EQ(MaxDiff(Load(WithIcc(plainFile, icc, 60000)), got), 0);
  }
}

TEST(ColourProfile, PngICcpWithAlphaAndGreyJpegAndPngWithGreyProfiles) {
  const Ref<TPixmap> rgba = Colourful(FormatRGBA8888);
  const Ref<TPixmap> got = Load(PngOf(rgba, AdobeRgb()), LoadPixmapPNG);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->format, FormatRGBA8888);
  EXPECT_LE(MaxDiff(got, Reference(rgba, AdobeRgb())), 2);  // alpha untouched

  const Ref<TPixmap> grey = ConvertPixmap(Colourful(), FormatI8);
  const Ref<TPixmap> greyPng = Load(PngOf(grey, GreyGamma18()));
  ASSERT_NE(greyPng, nullptr);
  EXPECT_EQ(greyPng->format, FormatI8);
  EXPECT_LE(MaxDiff(greyPng, Reference(grey, GreyGamma18())), 2);
  EXPECT_GE(MaxDiff(greyPng, grey), 10);

  const std::string greyJpeg = JpegOf(grey);
  const Ref<TPixmap> greyPlain = Load(greyJpeg);
  ASSERT_EQ(greyPlain->format, FormatI8);
  const Ref<TPixmap> greyGot = Load(WithIcc(greyJpeg, GreyGamma18()));
  EXPECT_LE(MaxDiff(greyGot, Reference(greyPlain, GreyGamma18())), 2);
  // A grey profile on colour pixels, and a colour profile on grey ones, do not fit.
  const std::string colourFile = JpegOf(Colourful());
  EXPECT_EQ(MaxDiff(Load(WithIcc(colourFile, GreyGamma18())), Load(colourFile)), 0);
  EXPECT_EQ(MaxDiff(Load(WithIcc(greyJpeg, AdobeRgb())), greyPlain), 0);
}

TEST(ColourProfile, SRgbBrokenAndHostileProfilesLeaveThePixelsAlone) {
  const std::string file = JpegOf(Colourful());
  const Ref<TPixmap> plain = Load(file);
  const std::string adobe = AdobeRgb();
  std::vector<std::string> ignored = {
      Saved(cmsCreate_sRGBProfile()),
      Saved(Rgb({{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, SRgbCurve())),  // sRGB written out
      adobe.substr(0, adobe.size() / 2),
      std::string(600, 'x'),
      adobe.substr(0, 128) + std::string(600, '\0'),
  };
  std::string huge = adobe;
  huge[128] = huge[129] = '\x7F';  // billions of tags announced
  ignored.push_back(huge);
  for (size_t i = 0; i < ignored.size(); ++i)
    EXPECT_EQ(MaxDiff(Load(WithIcc(file, ignored[i])), plain), 0) << "profile " << i;

  // Pieces that do not fit together: a missing, a doubled, a zero or a
  // disagreeing sequence number. The picture loads as if there were no profile.
  std::vector<std::string> pieces = IccPieces(adobe, 200);
  ASSERT_GE(pieces.size(), 3u);
  auto with = [&](const std::vector<std::string>& ps) {
    std::string f = file;
    for (const std::string& p : ps) f = InsertSegment(f, 0xE2, p);
    return Load(f);
  };
  std::vector<std::string> missing(pieces.begin() + 1, pieces.end());
  std::vector<std::string> doubled = pieces;
  doubled.push_back(pieces[1]);
  std::vector<std::string> zero = pieces;
  zero[0][12] = 0;
  std::vector<std::string> count = pieces;
  count[1][13] = static_cast<char>(count[1][13] + 1);
  for (const auto& ps : {missing, doubled, zero, count}) EXPECT_EQ(MaxDiff(with(ps), plain), 0);

  // Random damage to a real profile: a picture always comes back.
  std::mt19937 rng(34);
  for (int i = 0; i < 200; ++i) {
    std::string p = adobe;
    for (int n = 0; n < 6; ++n) p[rng() % p.size()] = static_cast<char>(rng());
    Ref<TPixmap> got = Load(WithIcc(file, p));
    ASSERT_NE(got, nullptr) << "seed 34, round " << i;
    EXPECT_EQ(got->width, 64);
  }
}

// A picture already in the shape a rewrite would give it is told by its markers:
// only a turn, a profile that moves colours or CMYK make a rewrite change it.
TEST(ColourProfile, APlainJpegIsToldFromItsMarkersAlone) {
  auto plain = [](const std::string& bytes, int w = 64, int h = 64) {
    Ref<TStream> s = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
    return IsPlainJpegOfSize(TUrl(s), w, h);
  };
  const std::string file = JpegOf(Colourful());
  EXPECT_TRUE(plain(file));
  EXPECT_FALSE(plain(file, 64, 63));
  EXPECT_TRUE(plain(WithIcc(file, Saved(cmsCreate_sRGBProfile()))));
  EXPECT_TRUE(plain(WithIcc(file, Saved(Rgb({{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, SRgbCurve())))));
  EXPECT_FALSE(plain(WithIcc(file, AdobeRgb())));
  EXPECT_FALSE(plain(WithIcc(file, DisplayP3())));
  EXPECT_TRUE(plain(InsertSegment(file, 0xE1, ExifOrientationBlock(1))));
  EXPECT_FALSE(plain(InsertSegment(file, 0xE1, ExifOrientationBlock(6))));
  const std::string grey = JpegOf(ConvertPixmap(Colourful(), FormatI8));
  EXPECT_TRUE(plain(grey));
  EXPECT_FALSE(plain(WithIcc(grey, GreyGamma18())));
  EXPECT_FALSE(plain(JpegFromSamples(std::vector<uint8_t>(64 * 64 * 4, 100), 64, 64, 4)));
  EXPECT_FALSE(plain(PngOf(Colourful(), "")));
  EXPECT_FALSE(plain(file.substr(0, 100)));
}

TEST(ColourProfile, CmykWithAPressProfileGoesThroughIt) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "needs jpeg-image-rs-jpeg-decoder/reftest/images/ycck.jpg (testdata)";
  const std::string file = FileBytes(data + "/jpeg-image-rs-jpeg-decoder/reftest/images/ycck.jpg");
  std::vector<uint8_t> cmyk;
  int w = 0, h = 0, comps = 0;
  std::string icc;
  ASSERT_TRUE(JpegRawSamples(file, cmyk, w, h, comps, icc));
  ASSERT_EQ(comps, 4);
  ASSERT_GT(icc.size(), 100000u);  // the press profile, over several markers
  cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  // Adobe YCCK: the values count paper, so the reversed CMYK layout.
  cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_CMYK_8_REV, srgb, TYPE_RGB_16, INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
  ASSERT_NE(t, nullptr);
  std::vector<uint16_t> ref(static_cast<size_t>(w) * h * 3);
  cmsDoTransform(t, cmyk.data(), ref.data(), static_cast<cmsUInt32Number>(w) * h);
  cmsDeleteTransform(t);
  cmsCloseProfile(in);
  cmsCloseProfile(srgb);
  const Ref<TPixmap> got = Load(file, LoadPixmapJPeg);
  ASSERT_NE(got, nullptr);
  ASSERT_EQ(got->format, FormatRGB888);
  double sum = 0;
  int worst = 0;
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < w * 3; ++i) {
      const int d = std::abs(got->PixelPtr(0, y)[i] - (ref[static_cast<size_t>(y) * w * 3 + i] + 128) / 257);
      sum += d;
      worst = std::max(worst, d);
    }
  // Ours runs through Little CMS's 8-bit optimised tables.
  EXPECT_LT(sum / (3.0 * w * h), 1.0);
  EXPECT_LE(worst, 16);
  RecordProperty("worst_channel_difference", worst);
}
