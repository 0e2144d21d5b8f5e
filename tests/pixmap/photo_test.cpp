// Photos as cameras and print workflows write them: EXIF orientation in all eight
// values (in JPEG and PNG) and in broken forms, CMYK and YCCK JPEGs made from a
// photo, and loading for a display size (reduced JPEG scale, full upright size);
// phones' and browsers' formats made by their real encoders: alpha, animations,
// files cut short or lying about their size, and a thread limit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "pixmap/picture_load.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/jpeg_raw.h"
#include "tests/support/env.h"
#include "tests/support/hostile_files.h"
#include "tests/support/jpeg_segments.h"
#include "tests/support/limited_child.h"
#include "tests/support/photo_formats.h"
#include "tests/support/temp_dir.h"

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string JpegOf(const Ref<TPixmap>& p, int quality = 95) {
  TempDir dir;
  const std::string path = dir.str() + "/p.jpg";
  EXPECT_EQ(SavePixmapJPeg(p, TUrl(path), quality), 1);
  return FileBytes(path);
}

Ref<TPixmap> Load(const std::string& bytes, Ref<TPixmap> (*load)(const TUrl&) = LoadPixmapJPeg) {
  Ref<TStream> s = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
  return load(TUrl(s));
}

TSizedPicture LoadForSize(const std::string& bytes, int w, int h) {
  Ref<TStream> s = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
  return LoadPixmapForSize(TUrl(s), w, h);
}

// Mean absolute difference over the colour channels; -1 when the sizes differ.
// JPEG noise on the test pictures stays near 3, a wrong turn gives about 100.
double MeanDiff(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
  if (!a || !b || a->width != b->width || a->height != b->height) return -1;
  double sum = 0;
  for (int y = 0; y < a->height; ++y)
    for (int x = 0; x < a->width; ++x) {
      const uint32_t p = static_cast<uint32_t>(ReadPixel(a, x, y)), q = static_cast<uint32_t>(ReadPixel(b, x, y));
      for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 255) - int((q >> s) & 255));
    }
  return sum / (3.0 * a->width * a->height);
}

// An upright picture no turn or mirror maps onto itself: four blocks of far-apart
// colours, 32 x 16 pixels each, so JPEG blocks stay clean.
Ref<TPixmap> Upright() {
  const uint32_t colours[4] = {0xE02020, 0x20E020, 0x2020E0, 0xE0E020};
  Ref<TPixmap> p = CreatePixmap(64, 32, FormatRGB888);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) WritePixel(p, x, y, static_cast<int>(0xFF000000u | colours[(y / 16) * 2 + x / 32]));
  return p;
}

// How a camera stores the upright picture U for an orientation, following the
// EXIF table of where the stored row 0 and column 0 belong on U.
Ref<TPixmap> Stored(const Ref<TPixmap>& u, int o) {
  const int W = u->width, H = u->height;
  const bool swap = o >= 5;
  Ref<TPixmap> s = CreatePixmap(swap ? H : W, swap ? W : H, FormatRGB888);
  for (int sy = 0; sy < s->height; ++sy)
    for (int sx = 0; sx < s->width; ++sx) {
      int x = sx, y = sy;                        // 1: row 0 top, column 0 left
      switch (o) {
        case 2: x = W - 1 - sx; break;           // row 0 top, column 0 right
        case 3: x = W - 1 - sx, y = H - 1 - sy; break;
        case 4: y = H - 1 - sy; break;           // row 0 bottom, column 0 left
        case 5: x = sy, y = sx; break;           // row 0 left, column 0 top
        case 6: x = W - 1 - sy, y = sx; break;   // row 0 right, column 0 top
        case 7: x = W - 1 - sy, y = H - 1 - sx; break;
        case 8: x = sy, y = H - 1 - sx; break;   // row 0 left, column 0 bottom
      }
      WritePixel(s, sx, sy, ReadPixel(u, x, y));
    }
  return s;
}

}  // namespace

TEST(Orientation, AllEightValuesLoadUprightInBothByteOrders) {
  const Ref<TPixmap> u = Upright();
  for (int o = 1; o <= 8; ++o) {
    const std::string plain = JpegOf(Stored(u, o));
    for (bool big : {false, true}) {
      const std::string file = InsertSegment(plain, 0xE1, ExifOrientationBlock(o, big));
      EXPECT_LT(MeanDiff(Load(file), u), 6.0) << "orientation " << o << (big ? " MM" : " II");
      EXPECT_LT(MeanDiff(Load(file, LoadPixmap), u), 6.0) << "through the chain, orientation " << o;
      const TSizedPicture sized = LoadForSize(file, 8, 8);
      EXPECT_EQ(sized.width, 64) << o;
      EXPECT_EQ(sized.height, 32) << o;
      // A PNG's eXIf chunk holds the same TIFF block without the "Exif\0\0".
      TempDir dir;
      ASSERT_EQ(SavePixmapPNG(Stored(u, o), TUrl(dir.str() + "/s.png")), 1);
      const std::string png =
          InsertPngChunk(FileBytes(dir.str() + "/s.png"), "eXIf", ExifOrientationBlock(o, big).substr(6));
      EXPECT_LT(MeanDiff(Load(png, LoadPixmapPNG), u), 1.0) << "PNG, orientation " << o << (big ? " MM" : " II");
      EXPECT_EQ(LoadForSize(png, 8, 8).width, 64) << "PNG, orientation " << o;
    }
  }
}

TEST(Orientation, BrokenOrLyingExifMeansAsStored) {
  const Ref<TPixmap> stored = Stored(Upright(), 6);
  const std::string plain = JpegOf(stored);
  const std::string good = ExifOrientationBlock(6);
  std::vector<std::string> broken = {
      good.substr(0, 20),                      // cut inside the entry
      std::string("Exif\0\0", 6),              // header only
      ExifOrientationBlock(0), ExifOrientationBlock(9), ExifOrientationBlock(0xFFFF),
  };
  std::string lying = good;
  lying[18] = 4;  // type LONG instead of SHORT
  broken.push_back(lying);
  lying = good;
  lying[20] = lying[21] = lying[22] = lying[23] = '\xFF';  // four billion values
  broken.push_back(lying);
  lying = good;
  lying[10] = lying[11] = lying[12] = '\x7F';  // IFD0 far past the end
  broken.push_back(lying);
  lying = good;
  lying[14] = lying[15] = '\xFF';  // 65535 entries announced
  broken.push_back(lying);
  lying = good;
  lying[6] = 'X';  // neither byte order
  broken.push_back(lying);
  for (size_t i = 0; i < broken.size(); ++i) {
    const std::string file = InsertSegment(plain, 0xE1, broken[i]);
    EXPECT_LT(MeanDiff(Load(file), stored), 6.0) << "case " << i;
  }
  // Random damage anywhere in the block: always a picture, upright or as stored.
  std::mt19937 rng(12);
  for (int i = 0; i < 300; ++i) {
    std::string b = good + std::string(rng() % 40, '\0');
    for (int n = 0; n < 4; ++n) b[6 + rng() % (b.size() - 6)] = static_cast<char>(rng());
    Ref<TPixmap> p = Load(InsertSegment(plain, 0xE1, b));
    ASSERT_NE(p, nullptr) << "seed 12, round " << i;
    EXPECT_EQ(p->width * p->height, 64 * 32);
  }
  // Only the first EXIF block counts.
  const std::string twice = InsertSegment(InsertSegment(plain, 0xE1, ExifOrientationBlock(3)), 0xE1, good);
  EXPECT_LT(MeanDiff(Load(twice), Upright()), 6.0);
}

TEST(LoadForSize, JpegDecodesAtTheSmallestScaleThatCoversTheSize) {
  Ref<TPixmap> p = CreatePixmap(2000, 1000, FormatRGB888);
  for (int y = 0; y < 1000; ++y)
    for (int x = 0; x < 2000; ++x) WritePixel(p, x, y, static_cast<int>(0xFF000000u | (x / 8) << 8 | y / 4));
  const std::string file = JpegOf(p, 90);
  TSizedPicture s = LoadForSize(file, 512, 512);
  ASSERT_NE(s.pixmap, nullptr);
  EXPECT_EQ(s.width, 2000);
  EXPECT_EQ(s.height, 1000);
  EXPECT_EQ(s.pixmap->width, 2000);  // 1/2 would leave 500 rows
  EXPECT_EQ(s.pixmap->height, 1000);
  s = LoadForSize(file, 512, 500);
  EXPECT_EQ(s.pixmap->width, 1000);  // halved
  s = LoadForSize(file, 0, 0);
  EXPECT_EQ(s.pixmap->width, 2000);
  s = LoadForSize(file, 100, 100);
  EXPECT_EQ(s.pixmap->width, 250);  // 1/8
  // Turned a quarter: the size asked for is upright, so 400 upright columns are
  // 400 stored rows.
  const std::string turned = InsertSegment(file, 0xE1, ExifOrientationBlock(6));
  s = LoadForSize(turned, 400, 100);
  ASSERT_NE(s.pixmap, nullptr);
  EXPECT_EQ(s.width, 1000);
  EXPECT_EQ(s.height, 2000);
  EXPECT_EQ(s.pixmap->width, 500);
  EXPECT_EQ(s.pixmap->height, 1000);
  // Other formats come in full, and junk gives nothing.
  TempDir dir;
  ASSERT_EQ(SavePixmapPNG(p, TUrl(dir.str() + "/p.png")), 1);
  s = LoadForSize(FileBytes(dir.str() + "/p.png"), 512, 512);
  ASSERT_NE(s.pixmap, nullptr);
  EXPECT_EQ(s.pixmap->width, 2000);
  EXPECT_EQ(s.width, 2000);
  s = LoadForSize("\xFF\xD8 not really", 512, 512);
  EXPECT_EQ(s.pixmap, nullptr);
  EXPECT_EQ(s.width, 0);
}

namespace {

// A bottom-up 24-bit bitmap with the 40-byte header.
std::string Bmp24(const Ref<TPixmap>& p) {
  const uint32_t row = (static_cast<uint32_t>(p->width) * 3 + 3) & ~3u;
  std::string b = "BM";
  Put32(b, 54 + row * p->height), Put32(b, 0), Put32(b, 54), Put32(b, 40);
  Put32(b, static_cast<uint32_t>(p->width)), Put32(b, static_cast<uint32_t>(p->height));
  Put16(b, 1), Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (int y = p->height - 1; y >= 0; --y) {
    std::string r(row, '\0');
    ConvertPixels(p->PixelPtr(0, y), p->format, reinterpret_cast<uint8_t*>(r.data()), FormatBGR888, p->width);
    b += r;
  }
  return b;
}

}  // namespace

// A file still being copied, or a download cut short: the motif path shows the rows
// that arrived (the rest grey) and says the picture is not whole; the whole file
// says it is. Too little of a bitmap is still refused.
TEST(LoadForSize, DataCutShortGivesWhatArrivedMarkedNotWhole) {
  Ref<TPixmap> p = CreatePixmap(300, 200, FormatRGB888);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x)  // noise, so that the PNG has many kilobytes of rows
      WritePixel(p, x, y, static_cast<int>(0xFF000000u | (x / 2) << 16 | y << 8 | ((x * y * 2654435761u) >> 24)));
  TempDir dir;
  ASSERT_EQ(SavePixmapPNG(p, TUrl(dir.str() + "/p.png")), 1);
  const std::string png = FileBytes(dir.str() + "/p.png"), jpeg = JpegOf(p, 90), bmp = Bmp24(p);
  for (const std::string* file : {&png, &jpeg, &bmp}) {
    const TSizedPicture whole = LoadForSize(*file, 0, 0);
    ASSERT_NE(whole.pixmap, nullptr);
    EXPECT_TRUE(whole.whole);
    const TSizedPicture cut = LoadForSize(file->substr(0, file->size() * 6 / 10), 0, 0);
    ASSERT_NE(cut.pixmap, nullptr) << file->size();
    EXPECT_FALSE(cut.whole) << file->size();
    EXPECT_EQ(cut.width, 300);
    // The first rows stored as in the whole file, the last ones filled in grey (a
    // bitmap stores its bottom row first).
    const int first = file == &bmp ? 160 : 0, last = file == &bmp ? 0 : 199;
    EXPECT_LT(MeanDiff(PixmapWindow(cut.pixmap, 0, first, 300, 40), PixmapWindow(whole.pixmap, 0, first, 300, 40)),
              1.0) << file->size();
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(cut.pixmap, 150, last)) & 0xFFFFFF, 0x808080u) << file->size();
  }
  // All rows there, but the end chunk missing: the file is still being written.
  const TSizedPicture noEnd = LoadForSize(png.substr(0, png.size() - 12), 0, 0);
  ASSERT_NE(noEnd.pixmap, nullptr);
  EXPECT_FALSE(noEnd.whole);
  EXPECT_EQ(MeanDiff(noEnd.pixmap, LoadForSize(png, 0, 0).pixmap), 0.0);
  EXPECT_EQ(LoadForSize(bmp.substr(0, bmp.size() / 5), 0, 0).pixmap, nullptr);
  // The loader chain still refuses such PNG and BMP data.
  EXPECT_EQ(Load(png.substr(0, png.size() - 12), LoadPixmapPNG), nullptr);
  EXPECT_EQ(Load(bmp.substr(0, bmp.size() / 2), LoadPixmapBMP), nullptr);
}

namespace {

// CMYK as a print workflow makes it from RGB: black from the brightest channel,
// the rest as ink; Adobe files store 255 minus the ink.
std::string CmykJpeg(const Ref<TPixmap>& rgb, bool adobe) {
  std::vector<uint8_t> cmyk(static_cast<size_t>(rgb->width) * rgb->height * 4);
  for (int y = 0; y < rgb->height; ++y)
    for (int x = 0; x < rgb->width; ++x) {
      const uint32_t c = static_cast<uint32_t>(ReadPixel(rgb, x, y));
      const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
      const int mx = std::max({r, g, b});
      uint8_t* o = &cmyk[(static_cast<size_t>(y) * rgb->width + x) * 4];
      const int k = 255 - mx;
      const int ink[3] = {mx ? 255 * (mx - r) / mx : 0, mx ? 255 * (mx - g) / mx : 0, mx ? 255 * (mx - b) / mx : 0};
      for (int i = 0; i < 3; ++i) o[i] = static_cast<uint8_t>(adobe ? 255 - ink[i] : ink[i]);
      o[3] = static_cast<uint8_t>(adobe ? 255 - k : k);
    }
  return JpegFromSamples(cmyk, rgb->width, rgb->height, 4, adobe);
}

}  // namespace

TEST(Cmyk, YcckWithAdobeInversionAndPlainCmykMadeFromAPhotoDecodeToItsColours) {
  const std::string data = TestDataDir();
  if (data.empty()) GTEST_SKIP() << "needs the photo jpeg-pillow/hopper.jpg (testdata)";
  const Ref<TPixmap> photo = LoadPixmapJPeg(TUrl(data + "/jpeg-pillow/hopper.jpg"));
  ASSERT_NE(photo, nullptr);
  for (bool adobe : {true, false}) {
    const std::string file = CmykJpeg(photo, adobe);
    const Ref<TPixmap> back = Load(file);
    ASSERT_NE(back, nullptr) << adobe;
    EXPECT_EQ(back->format, FormatRGB888);
    // JPEG loss on four channels only: within 3 levels on average.
    EXPECT_LT(MeanDiff(back, photo), 3.0) << (adobe ? "YCCK, Adobe" : "CMYK");
    // Reduced scale works for CMYK too.
    const TSizedPicture half = LoadForSize(file, 64, 64);
    ASSERT_NE(half.pixmap, nullptr);
    EXPECT_EQ(half.pixmap->width, 64);
    EXPECT_EQ(half.width, 128);
  }
}

namespace {

// A 64 x 48 picture for the encoders: colour bands, and when `alpha` is set
// opacity falling from left to right.
std::string PngFor(const TempDir& dir, const std::string& name, uint32_t colour, bool alpha) {
  Ref<TPixmap> p = CreatePixmap(64, 48, alpha ? FormatRGBA8888 : FormatRGB888);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint32_t a = alpha ? 255u - static_cast<uint32_t>(x) * 4 : 255u;
      WritePixel(p, x, y, static_cast<int>(a << 24 | (y < 24 ? colour : colour ^ 0x00FFFF00u)));
    }
  const std::string path = dir.str() + "/" + name;
  EXPECT_EQ(SavePixmapPNG(p, TUrl(path)), 1);
  return path;
}

// Encodes with a tool (its command line with IN and OUT filled in) and returns the file.
std::string Encoded(const TempDir& dir, const std::string& in, const std::string& out, std::string cmd) {
  const std::string path = dir.str() + "/" + out;
  cmd.replace(cmd.find("IN"), 2, "'" + in + "'");
  cmd.replace(cmd.find("OUT"), 3, "'" + path + "'");
  EXPECT_TRUE(RunQuietly(cmd)) << cmd;
  return FileBytes(path);
}

}  // namespace

TEST(PhoneFormats, AlphaStaysAlphaAndAnAnimationShowsItsFirstFrame) {
  TempDir dir;
  const std::string png = PngFor(dir, "a.png", 0xE02020, true);
  const Ref<TPixmap> original = LoadPixmapPNG(TUrl(png));
  for (auto [cmd, out] : {std::pair{"heif-enc -q 90 IN -o OUT", "a.heic"},
                          {"avifenc -s 8 --min 0 --max 10 IN OUT", "a.avif"},
                          {"cwebp -quiet -q 90 -exact IN -o OUT", "a.webp"},
                          {"cwebp -quiet -lossless -exact IN -o OUT", "lossless.webp"}}) {
    const std::string file = Encoded(dir, png, out, cmd);
    const Ref<TPixmap> p = Load(file, LoadPixmap);
    ASSERT_NE(p, nullptr) << cmd;
    EXPECT_EQ(p->format, FormatRGBA8888) << cmd;
    EXPECT_LT(MeanDiff(p, original), 6.0) << cmd;
    for (int x : {0, 31, 63}) EXPECT_NEAR(ReadPixel(p, x, 10) >> 24 & 0xFF, 255 - 4 * x, 8) << cmd << " at " << x;
  }
  // Two frames; only the first is shown, also when the second one is lossy.
  const std::string first = PngFor(dir, "f1.png", 0x2020E0, false), second = PngFor(dir, "f2.png", 0x20E020, false);
  const std::string anim = Encoded(dir, first, "anim.webp", "img2webp -lossless IN -lossy " + second + " -o OUT");
  const Ref<TPixmap> frame = Load(anim, LoadPixmapWebP);
  EXPECT_LT(MeanDiff(frame, LoadPixmapPNG(TUrl(first))), 1.0);
  EXPECT_LT(MeanDiff(Load(anim, LoadPixmap), LoadPixmapPNG(TUrl(first))), 1.0);
}

TEST(PhoneFormats, CutOrLyingFilesAreRefusedCheaplyAndAThreadLimitStopsNoDecoder) {
  TempDir dir;
  const std::string png = PngFor(dir, "p.png", 0xE0A020, false);
  const std::string heic = Encoded(dir, png, "p.heic", "heif-enc -q 80 IN -o OUT");
  const std::string avif = Encoded(dir, png, "p.avif", "avifenc -s 8 IN OUT");
  const std::string webp = Encoded(dir, png, "p.webp", "cwebp -quiet IN -o OUT");
  for (const std::string* f : {&heic, &avif, &webp}) {
    ASSERT_NE(Load(*f, LoadPixmap), nullptr);
    EXPECT_EQ(Load(f->substr(0, f->size() * 6 / 10), LoadPixmap), nullptr) << "cut to 60 %";
  }
  // Fuzzing found these: a sequence header coding a far larger picture than the
  // file claims, and a picture libheif derived 256 times as wide and high. Each
  // made libheif ask for over a gigabyte.
  for (const char* name : {"heif-coded-larger-than-claimed.heic", "heif-derived-larger-than-claimed.heic"}) {
    const std::string file = FileBytes(SourceDir() + "/tests/pixmap/data/" + name);
    ASSERT_FALSE(file.empty()) << name;
    const ChildOutcome c = RunInChild([&] { return Load(file, LoadPixmap) == nullptr; }, 0);
    EXPECT_TRUE(c.finished && c.passed) << name << ": " << c.Describe();
    EXPECT_LT(c.peakKiB, 64 << 10) << name;
  }
  // libde265 started a thread for every picture, and waited for ever when that
  // failed; dav1d would not start at all. Now one thread does it all.
  const ChildOutcome c = RunInChild(
      [&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return false;
        const rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0) return false;
        return Load(heic, LoadPixmap) && Load(avif, LoadPixmap) && Load(webp, LoadPixmap);
      },
      0, 60);
  EXPECT_TRUE(c.finished && c.passed) << c.Describe();
}
