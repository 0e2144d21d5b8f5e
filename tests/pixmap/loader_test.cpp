// Loader behaviour on hand-made input: BMP layouts and hostile headers, the chain's
// trial order and stream handling, TGA, the JPEG and PNG writers and their results.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "pixmap/pixel_size.h"
#include "pixmap/picture_load.h"
#include "pixmap/pixmap_loader.h"
#include "platform/incbin.h"
#include "platform/stream.h"
#include "tests/support/hostile_files.h"
#include "tests/support/limited_child.h"
#include "tests/support/temp_dir.h"

namespace {

// A bitmap file: header of `headerSize` bytes, palette entries (b, g, r, 0), rows as given.
std::string Bmp(int32_t w, int32_t h, int bits, const std::vector<uint32_t>& palette, const std::string& rows,
                uint32_t headerSize = 40, uint32_t compression = 0, uint32_t coloursUsed = UINT32_MAX) {
  std::string s = "BM";
  Put32(s, 0);
  Put32(s, 0);
  Put32(s, 14 + headerSize + 4 * palette.size());
  Put32(s, headerSize);
  Put32(s, static_cast<uint32_t>(w));
  Put32(s, static_cast<uint32_t>(h));
  Put16(s, 1);
  Put16(s, static_cast<uint16_t>(bits));
  Put32(s, compression);
  Put32(s, 0);
  Put32(s, 0);
  Put32(s, 0);
  Put32(s, coloursUsed == UINT32_MAX ? palette.size() : coloursUsed);
  Put32(s, 0);
  if (headerSize > 40) s.append(headerSize - 40, '\0');
  for (uint32_t c : palette) Put32(s, c);
  return s + rows;
}

Ref<TPixmap> FromBytes(const std::string& bytes, Ref<TPixmap> (*load)(const TUrl&)) {
  Ref<TStream> s = TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), true, false);
  return load(TUrl(s));
}

uint32_t At(const Ref<TPixmap>& p, int x, int y) { return static_cast<uint32_t>(ReadPixel(p, x, y)); }

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TEST(BmpLoader, EightBitPaletteAndRowPadding) {
  // 2 x 1, palette (1, 2, 3) and (10, 20, 30) as b, g, r; row padded to 4 bytes.
  auto p = FromBytes(Bmp(2, 1, 8, {0x00030201u, 0x001e140au}, std::string("\0\1\0\0", 4)), LoadPixmapBMP);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, FormatBGR888);
  EXPECT_EQ(At(p, 0, 0), 0xff030201u);
  EXPECT_EQ(At(p, 1, 0), 0xff1e140au);
}

TEST(BmpLoader, TwentyFourBitRowsOfFivePixelsTakeSixteenBytes) {
  std::string rows;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) rows += std::string{char(x), char(y), char(0x40)};
    rows += std::string(1, '\x77');  // padding byte
  }
  auto p = FromBytes(Bmp(5, 2, 24, {}, rows), LoadPixmapBMP);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p, 4, 1), 0xff400004u);  // first row read is the bottom row
  EXPECT_EQ(At(p, 4, 0), 0xff400104u);
  EXPECT_EQ(FromBytes(Bmp(5, 2, 24, {}, rows.substr(0, 31)), LoadPixmapBMP), nullptr);  // one byte short
}

TEST(BmpLoader, TopDownV5HeaderAndLowBitDepths) {
  const std::string rows4 = std::string("\x12\x00\x00\x00\x21\x00\x00\x00", 8);
  auto p = FromBytes(Bmp(2, -2, 4, {0, 0x000000ffu, 0x0000ff00u}, rows4, 124), LoadPixmapBMP);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p, 0, 0), 0xff0000ffu);  // top-down: first row is the top
  EXPECT_EQ(At(p, 1, 0), 0xff00ff00u);
  EXPECT_EQ(At(p, 0, 1), 0xff00ff00u);
  // 1 bit: bit 7 is the leftmost pixel.
  auto mono = FromBytes(Bmp(9, 1, 1, {0, 0x00ffffffu}, std::string("\x80\x80\0\0", 4)), LoadPixmapBMP);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(At(mono, 0, 0), 0xffffffffu);
  EXPECT_EQ(At(mono, 1, 0), 0xff000000u);
  EXPECT_EQ(At(mono, 8, 0), 0xffffffffu);
}

TEST(BmpLoader, IndicesPastAShortPaletteReadBlack) {
  auto p = FromBytes(Bmp(2, 1, 8, {0x00ffffffu}, std::string("\0\xfe\0\0", 4)), LoadPixmapBMP);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p, 0, 0), 0xffffffffu);
  EXPECT_EQ(At(p, 1, 0), 0xff000000u);
}

TEST(BmpLoader, ThirtyTwoBitAlphaAllZeroIsOpaqueOtherwiseKept) {
  auto zero = FromBytes(Bmp(2, 1, 32, {}, std::string("\1\2\3\0\4\5\6\0", 8)), LoadPixmapBMP);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->format, FormatBGRA8888);
  EXPECT_EQ(At(zero, 0, 0), 0xff030201u);
  EXPECT_EQ(At(zero, 1, 0), 0xff060504u);
  auto some = FromBytes(Bmp(2, 1, 32, {}, std::string("\1\2\3\0\4\5\6\x80", 8)), LoadPixmapBMP);
  EXPECT_EQ(At(some, 0, 0), 0x00030201u);
  EXPECT_EQ(At(some, 1, 0), 0x80060504u);
}

TEST(BmpLoader, HostileHeadersGiveNull) {
  const std::string row(4, '\0');
  EXPECT_EQ(FromBytes(Bmp(0, 1, 24, {}, row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(1, 0, 24, {}, row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(-1, 1, 24, {}, row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(1, INT32_MIN, 24, {}, row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(60000, 60000, 24, {}, row), LoadPixmapBMP), nullptr);  // 10 GB
  EXPECT_EQ(FromBytes(Bmp(1, 1, 8, {0}, row, 40, 1), LoadPixmapBMP), nullptr);  // RLE8
  EXPECT_EQ(FromBytes(Bmp(1, 1, 2, {0}, row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(1, 1, 4, std::vector<uint32_t>(17, 0), row), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(1, 1, 24, {}, row, 20), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes(Bmp(1, 1, 24, {}, row, 40).substr(0, 30), LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes("", LoadPixmapBMP), nullptr);
  EXPECT_EQ(FromBytes("BM", LoadPixmapBMP), nullptr);
}

TEST(BmpLoader, SixteenBitAndBitFieldLayouts) {
  // 5-5-5 by default; 0x7fff is white, 0x001f blue.
  auto p = FromBytes(Bmp(2, 1, 16, {}, std::string("\xff\x7f\x1f\x00", 4)), LoadPixmapBMP);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p, 0, 0), 0xffffffffu);
  EXPECT_EQ(At(p, 1, 0), 0xff0000ffu);
  // 32-bit bit fields with the masks after a 40-byte header: red in the low byte.
  std::string rows("\x11\x22\x33\x00", 4);
  std::string masks;
  Put32(masks, 0x000000ffu);
  Put32(masks, 0x0000ff00u);
  Put32(masks, 0x00ff0000u);
  auto bf = FromBytes(Bmp(1, 1, 32, {}, masks + rows, 40, 3), LoadPixmapBMP);
  ASSERT_NE(bf, nullptr);
  EXPECT_EQ(At(bf, 0, 0), 0xff112233u);
}

TEST(TgaLoader, UncompressedTrueColourAndRefusals) {
  std::string h(18, '\0');
  h[2] = 2;
  h[12] = 2, h[14] = 1, h[16] = 24, h[17] = 0x20;  // 2 x 1, top-left origin
  auto p = FromBytes(h + std::string("\1\2\3\4\5\6", 6), LoadPixmapTGA);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, FormatBGR888);
  EXPECT_EQ(At(p, 1, 0), 0xff060504u);
  EXPECT_EQ(FromBytes(h + std::string("\1\2\3\4\5", 5), LoadPixmapTGA), nullptr);  // truncated
  std::string mapped = h;
  mapped[1] = 1;
  EXPECT_EQ(FromBytes(mapped + std::string(6, '\0'), LoadPixmapTGA), nullptr);
  std::string rle = h;
  rle[2] = 10;
  EXPECT_EQ(FromBytes(rle + std::string(6, '\0'), LoadPixmapTGA), nullptr);
}

TEST(TgaLoader, BottomUpAlphaAndGrey) {
  std::string h(18, '\0');
  h[2] = 2;
  h[12] = 1, h[14] = 2, h[16] = 32, h[17] = 8;  // 1 x 2, bottom-up, 8 attribute bits
  auto p = FromBytes(h + std::string("\1\2\3\x40\4\5\6\x80", 8), LoadPixmapTGA);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, FormatBGRA8888);
  EXPECT_EQ(At(p, 0, 1), 0x40030201u);  // the first row in the file is the bottom row
  EXPECT_EQ(At(p, 0, 0), 0x80060504u);
  h[17] = 0;  // no attribute bits: the fourth byte is not alpha
  EXPECT_EQ(At(FromBytes(h + std::string("\1\2\3\x40\4\5\6\x80", 8), LoadPixmapTGA), 0, 0), 0xff060504u);
  std::string g(18, '\0');
  g[0] = 3;  // three bytes of image id to skip
  g[2] = 3, g[12] = 2, g[14] = 1, g[16] = 8, g[17] = 0x20;
  auto grey = FromBytes(g + "idX" + std::string("\x10\x20", 2), LoadPixmapTGA);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(grey->format, FormatI8);
  EXPECT_EQ(At(grey, 1, 0), 0xff202020u);
}

TEST(LoaderChain, TriesHeifWebpJpegTgaPngBmpInThatOrder) {
  std::vector<std::string> names;
  for (TPixmapLoader* l = PixmapLoaders(); l; l = l->_succ) names.push_back(typeid(*l).name());
  ASSERT_EQ(names.size(), 6u);
  EXPECT_NE(names[0].find("HEIF"), std::string::npos);
  EXPECT_NE(names[1].find("WebP"), std::string::npos);
  EXPECT_NE(names[2].find("JPG"), std::string::npos);
  EXPECT_NE(names[3].find("TGA"), std::string::npos);
  EXPECT_NE(names[4].find("PNG"), std::string::npos);
  EXPECT_NE(names[5].find("BMP"), std::string::npos);
}

TEST(LoaderChain, EmbeddedBitmapPassesTheOtherLoadersAndEmptyInputGivesNull) {
  std::string rows;
  for (int i = 0; i < 20; ++i) rows += std::string(60, '\x40');  // 20 x 20, 24-bit, 60 bytes a row
  static const std::string cursor = Bmp(20, 20, 24, {}, rows);
  IncbinAdd(u"Tests\\Cursor.bmp", cursor.data(), static_cast<int>(cursor.size()));
  auto p = LoadPixmap(u"incbin::Tests\\Cursor.bmp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->width, 20);
  EXPECT_EQ(At(p, 19, 19), 0xff404040u);
  EXPECT_EQ(LoadPixmapJPeg(u"incbin::Tests\\Cursor.bmp"), nullptr);
  EXPECT_EQ(LoadPixmapPNG(u"incbin::Tests\\Cursor.bmp"), nullptr);
  EXPECT_EQ(LoadPixmapTGA(u"incbin::Tests\\Cursor.bmp"), nullptr);
  EXPECT_EQ(LoadPixmapHEIF(u"incbin::Tests\\Cursor.bmp"), nullptr);
  EXPECT_EQ(LoadPixmapWebP(u"incbin::Tests\\Cursor.bmp"), nullptr);
  EXPECT_EQ(LoadPixmap(u"incbin::Tests\\cursor.bmp"), nullptr);
  for (auto load : {LoadPixmap, LoadPixmapPNG, LoadPixmapJPeg, LoadPixmapBMP, LoadPixmapTGA, LoadPixmapHEIF,
                    LoadPixmapWebP})
    EXPECT_EQ(FromBytes("", load), nullptr);
  EXPECT_EQ(FromBytes("this is plain text, not a picture\n", LoadPixmap), nullptr);
}

TEST(LoaderChain, LoadingFromAnOpenStreamLeavesItOpenAtItsPosition) {
  TempDir dir;
  auto pix = CreatePixmap(3, 2, FormatRGB888);
  ClearPixels(pix, static_cast<int>(0xff204060u));
  const std::string path = dir.str() + "/a.png";
  ASSERT_EQ(SavePixmapPNG(pix, TUrl(path)), 1);
  Ref<TStream> file = ReadStream(TUrl(path));
  ASSERT_NE(file, nullptr);
  auto p = LoadPixmap(TUrl(file));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(At(p, 2, 1), 0xff204060u);
  // The chain closed only its wrapper: the file stream still works.
  EXPECT_EQ(file->Seek(0), 0);
  char sig[4] = {};
  EXPECT_EQ(file->Read(sig, 4), 4);
  EXPECT_EQ(std::memcmp(sig, "\x89PNG", 4), 0);
  file->Close();
  file->Close();  // twice is harmless
}

TEST(LoaderChain, PictureUnderTheWrongNameStillLoads) {
  TempDir dir;
  auto pix = CreatePixmap(16, 8, FormatRGBA8888);
  ClearPixels(pix, static_cast<int>(0xff808080u));
  ASSERT_EQ(SavePixmapJPeg(pix, TUrl(dir.str() + "/photo.png")), 1);
  auto p = LoadPixmap(TUrl(dir.str() + "/photo.png"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, FormatRGB888);
  EXPECT_EQ(LoadPixmapPNG(TUrl(dir.str() + "/photo.png")), nullptr);
  dir.Write("notes.jpg", "hello");
  EXPECT_EQ(LoadPixmap(TUrl(dir.str() + "/notes.jpg")), nullptr);
  EXPECT_EQ(LoadPixmap(TUrl(dir.str() + "/missing.jpg")), nullptr);
}

TEST(JpegWriter, SavesBaselineRgbThatReadsBackAsRgb888) {
  TempDir dir;
  auto pix = CreatePixmap(512, 512, FormatRGBA8888);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) WritePixel(pix, x, y, static_cast<int>(0x80000000u | (x / 2) << 16 | (y / 2) << 8 | 0x40));
  const std::string path = dir.str() + "/out.jpg";
  ASSERT_EQ(SavePixmapJPeg(pix, TUrl(path), 75), 1);
  const std::string bytes = FileBytes(path);
  EXPECT_NE(bytes.find("\xff\xc0"), std::string::npos);  // baseline frame
  EXPECT_EQ(bytes.find("\xff\xc2"), std::string::npos);  // not progressive
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xff\xd9");
  auto back = LoadPixmapJPeg(TUrl(path));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->format, FormatRGB888);
  EXPECT_EQ(back->width, 512);
  EXPECT_EQ(back->height, 512);
  const uint32_t c = At(back, 300, 100);
  EXPECT_NEAR(int((c >> 16) & 0xff), 150, 6);
  EXPECT_NEAR(int((c >> 8) & 0xff), 50, 6);
}

TEST(JpegWriter, ReportsFailureInsteadOfSuccess) {
  TempDir dir;
  auto pix = CreatePixmap(4, 4, FormatRGB888);
  ClearPixels(pix, 0);
  EXPECT_EQ(SavePixmapJPeg(pix, TUrl(dir.str() + "/no/such/folder/x.jpg")), 0);
  EXPECT_EQ(SavePixmapJPeg(nullptr, TUrl(dir.str() + "/x.jpg")), 0);
  EXPECT_EQ(SavePixmapJPeg(CreatePixmap(0, 0, FormatRGB888), TUrl(dir.str() + "/x.jpg")), 0);
  uint8_t one[4] = {};
  EXPECT_EQ(SavePixmapJPeg(CreateStaticPixmap(one, 70000, 1, 0, FormatRGB888), TUrl(dir.str() + "/x.jpg")), 0);
  // A destination that takes only 100 bytes: the save must not claim success.
  std::vector<uint8_t> small(100);
  Ref<TStream> ram = TRamStream::Create(small.data(), 100, false, true);
  auto big = CreatePixmap(64, 64, FormatRGB888);
  for (int i = 0; i < big->capacity; ++i) big->pixels[i] = static_cast<uint8_t>(i * 37);
  EXPECT_EQ(SavePixmapJPeg(big, TUrl(ram)), 0);
  EXPECT_EQ(SavePixmapPNG(big, TUrl(ram)), 0);
  EXPECT_EQ(SavePixmapJPeg(pix, TUrl(u"incbin::Tests\\Cursor.bmp")), 0);  // read-only
  // Buffered writes succeed on a full device; only the close finds out.
  if (std::ifstream("/dev/full").good()) {
    EXPECT_EQ(SavePixmapJPeg(pix, TUrl("/dev/full")), 0);
    EXPECT_EQ(SavePixmapPNG(pix, TUrl("/dev/full")), 0);
  }
}

TEST(PngWriter, RoundTripsGreyRgbAndRgba) {
  TempDir dir;
  for (int f : {FormatI8, FormatRGB888, FormatBGR888, FormatRGBA8888, FormatBGRA8888, FormatA8}) {
    auto pix = CreatePixmap(7, 3, f);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) WritePixel(pix, x, y, static_cast<int>(0x01000000u * (x * 30 + 10) + 0x010101u * (y * 70 + x)));
    const std::string path = dir.str() + "/p" + std::to_string(f) + ".png";
    ASSERT_EQ(SavePixmapPNG(pix, TUrl(path)), 1) << f;
    auto back = LoadPixmapPNG(TUrl(path));
    ASSERT_NE(back, nullptr) << f;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(At(back, x, y), At(pix, x, y)) << f << " at " << x << "," << y;
  }
}

TEST(PngLoader, TruncatedDataAfterAValidSignatureGivesNull) {
  TempDir dir;
  auto pix = CreatePixmap(40, 40, FormatRGB888);
  for (int i = 0; i < pix->capacity; ++i) pix->pixels[i] = static_cast<uint8_t>(i * 7);
  const std::string path = dir.str() + "/t.png";
  ASSERT_EQ(SavePixmapPNG(pix, TUrl(path)), 1);
  const std::string bytes = FileBytes(path);
  for (size_t cut : {size_t(8), size_t(20), size_t(40), bytes.size() / 2, bytes.size() - 13}) {
    EXPECT_EQ(FromBytes(bytes.substr(0, cut), LoadPixmapPNG), nullptr) << cut;
    EXPECT_EQ(FromBytes(bytes.substr(0, cut), LoadPixmap), nullptr) << cut;
  }
  std::string flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x55;
  EXPECT_EQ(FromBytes(flipped, LoadPixmapPNG), nullptr);
}

TEST(PixelLimit, LoadersRefusePicturesAboveTheCap) {
  const size_t saved = PixelByteLimit();
  SetPixelByteLimit(1000);
  const std::string bmp = Bmp(20, 20, 24, {}, std::string(20 * 60, '\0'));
  EXPECT_EQ(FromBytes(bmp, LoadPixmapBMP), nullptr);
  EXPECT_EQ(CreatePixmap(20, 20, FormatRGB888), nullptr);
  SetPixelByteLimit(saved);
  EXPECT_NE(FromBytes(bmp, LoadPixmapBMP), nullptr);
  SetPixelByteLimit(size_t(1) << 40);
  EXPECT_EQ(PixelByteLimit(), MaxPixelBytes);
}

namespace {

// Serves `bytes`, then fails: with a stream error, or with an unrelated error.
struct FailingStream : TStream {
  std::string bytes;
  int pos = 0;
  bool streamError = true;
  int Pos() override { return pos; }
  int Size() override { return static_cast<int>(bytes.size()) + 1000; }
  int Seek(int p) override { return pos = p; }
  int Read(void* buf, int count) override {
    if (pos >= static_cast<int>(bytes.size())) {
      if (streamError) throw TStreamReadException();
      throw std::logic_error("disk on fire");
    }
    const int n = std::min(count, static_cast<int>(bytes.size()) - pos);
    std::memcpy(buf, bytes.data() + pos, n);
    pos += n;
    return n;
  }
};

}  // namespace

TEST(LoaderChain, ErrorsInsideCodecsRefuse) {
  TempDir dir;
  auto pix = CreatePixmap(64, 64, FormatRGB888);
  for (int i = 0; i < pix->capacity; ++i) pix->pixels[i] = static_cast<uint8_t>(i * 13);
  ASSERT_EQ(SavePixmapPNG(pix, TUrl(dir.str() + "/a.png")), 1);
  ASSERT_EQ(SavePixmapJPeg(pix, TUrl(dir.str() + "/a.jpg")), 1);
  for (const char* name : {"/a.png", "/a.jpg"}) {
    const std::string bytes = FileBytes(dir.str() + name);
    auto s = std::make_shared<FailingStream>();
    s->bytes = bytes.substr(0, bytes.size() / 2);
    // The error arrives inside a libpng or libjpeg callback; it must come out as a
    // refusal, with the library's state freed (LeakSanitizer checks that).
    EXPECT_EQ(LoadPixmap(TUrl(s)), nullptr) << name;
    s->pos = 0;
    EXPECT_EQ(LoadPixmapPNG(TUrl(s)), nullptr) << name;
    s->pos = 0;
    EXPECT_EQ(LoadPixmapJPeg(TUrl(s)), nullptr) << name;
    // Any other error is a refusal too: nothing a file does may end the program.
    s->streamError = false;
    Ref<TPixmap> (*forSize)(const TUrl&) = [](const TUrl& u) { return LoadPixmapForSize(u, 64, 64).pixmap; };
    for (auto load : {LoadPixmap, LoadPixmapPNG, LoadPixmapJPeg, forSize}) {
      s->pos = 0;
      EXPECT_EQ(load(TUrl(s)), nullptr) << name;
    }
  }
}

// Files of a few bytes to a few hundred kilobytes whose headers claim hundreds of
// megabytes: each is refused by the chain and its own loader, in a child whose
// address space may grow by 64 MB only, and without a limit it gains no more than
// that in resident memory (an allocation the limit refuses can still be filled
// when there is no limit, so both are checked). Sanitizer builds reserve huge
// address space and so run without the limit.
TEST(LoaderBounds, ClaimsBeyondTheBytesAreRefusedWithinSixtyFourMegabytes) {
  const struct {
    const char* name;
    std::string bytes;
    Ref<TPixmap> (*load)(const TUrl&);
  } files[] = {
      {"BMP 268435440 x 1", HostileBmp(), LoadPixmapBMP},
      {"TGA 65535 x 4000", HostileTga(), LoadPixmapTGA},
      {"PNG 30000 x 30000 grey+alpha", HostilePng(30000, 30000, 1000), LoadPixmapPNG},
      {"PNG 16000 x 16000 grey+alpha", HostilePng(16000, 16000, 1000), LoadPixmapPNG},
      {"JPEG 16000 x 16000 over 16 x 16", HostileJpeg(16000, 16000), LoadPixmapJPeg},
      {"JPEG 16000 x 16000 over 16 x 16 and 30 kB", HostileJpeg(16000, 16000, 30000), LoadPixmapJPeg},
      {"JPEG of 704 scans", ManyScanJpeg(1024, 1024), LoadPixmapJPeg},
  };
  constexpr size_t kLimit = size_t(64) << 20;
  // The motif path, which keeps what arrived of data cut short, is bounded too.
  Ref<TPixmap> (*forSize)(const TUrl&) = [](const TUrl& u) { return LoadPixmapForSize(u, 0, 0).pixmap; };
  for (const auto& f : files) {
    for (auto load : {LoadPixmap, f.load, forSize}) {
      const auto refused = [&] { return FromBytes(f.bytes, load) == nullptr; };
      const ChildOutcome limited = RunInChild(refused, kLimit);
      EXPECT_TRUE(limited.finished && limited.passed) << f.name << ": " << limited.Describe();
      const ChildOutcome free = RunInChild(refused, 0);
      EXPECT_TRUE(free.finished && free.passed) << f.name << ": " << free.Describe();
      // AddressSanitizer writes shadow memory, an eighth of every allocation, even
      // for pages the program never touches: there only the result counts.
      if (!SanitizerBuild()) {
        EXPECT_LT(free.peakKiB, long(kLimit / 1024)) << f.name;
      }
    }
  }
}
