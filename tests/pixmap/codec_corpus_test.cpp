// The picture loaders against public test corpora: PngSuite with its pixel
// references, the BMP Suite with its reference renderings, and JPEG sets with
// reference decodes, CMYK and YCCK, 12-bit and corrupt files. Skips when the corpora are absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/env.h"

namespace fs = std::filesystem;

namespace {

std::string Corpus(const std::string& sub) {
  const std::string root = TestDataDir();
  if (root.empty() || !fs::is_directory(root + "/" + sub)) return "";
  return root + "/" + sub;
}

#define REQUIRE_CORPUS(var, sub)                                              \
  const std::string var = Corpus(sub);                                        \
  if (var.empty()) GTEST_SKIP() << "test corpus " sub " not found (testdata)";

std::vector<fs::path> Files(const std::string& dir, const std::string& ext) {
  std::vector<fs::path> out;
  if (!fs::is_directory(dir)) return out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

std::string Bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

TUrl Url(const fs::path& p) { return TUrl(p.string()); }

std::vector<uint8_t> Rgba(const Ref<TPixmap>& p) {
  auto c = ConvertPixmap(p, FormatRGBA8888);
  std::vector<uint8_t> out;
  for (int y = 0; y < c->height; ++y) out.insert(out.end(), c->PixelPtr(0, y), c->PixelPtr(c->width, y));
  return out;
}

// Largest channel difference (alpha too when withAlpha), -1 when sizes differ.
int MaxDiff(const Ref<TPixmap>& a, const Ref<TPixmap>& b, bool withAlpha) {
  if (a->width != b->width || a->height != b->height) return -1;
  auto x = Rgba(a), y = Rgba(b);
  int worst = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!withAlpha && i % 4 == 3) continue;
    worst = std::max(worst, std::abs(int(x[i]) - int(y[i])));
  }
  return worst;
}

std::vector<int> JsonNumbers(const fs::path& p) {
  std::vector<int> v;
  std::string s = Bytes(p);
  for (size_t i = 0; i < s.size();) {
    if (isdigit(static_cast<unsigned char>(s[i]))) {
      size_t end = i;
      v.push_back(std::stoi(s.substr(i), &end));
      i += end;
    } else {
      ++i;
    }
  }
  return v;
}

}  // namespace

TEST(PngSuite, ValidFilesDecodeToTheirFormatAndReferencePixels) {
  REQUIRE_CORPUS(dir, "pngsuite");
  int checked = 0;
  for (const auto& file : Files(dir + "/png", ".png")) {
    const std::string name = file.stem().string();
    if (name[0] == 'x') continue;
    const std::string bytes = Bytes(file);
    const int depth = static_cast<uint8_t>(bytes[24]), type = static_cast<uint8_t>(bytes[25]);
    const bool trns = bytes.find("tRNS") != std::string::npos;
    int expect = FormatRGBA8888;
    if (!trns && type == 0) expect = FormatI8;
    if (!trns && (type == 2 || type == 3)) expect = FormatRGB888;
    auto p = LoadPixmapPNG(Url(file));
    ASSERT_NE(p, nullptr) << name;
    EXPECT_EQ(p->format, expect) << name;
    const fs::path ref = fs::path(dir) / "json" / (name + ".json");
    if (!fs::exists(ref)) continue;
    std::vector<int> want = JsonNumbers(ref);
    ASSERT_EQ(want.size(), size_t(p->width) * p->height * 4) << name;
    auto got = Rgba(p);
    size_t bad = 0;
    for (size_t i = 0; i < want.size(); ++i) bad += got[i] != (depth == 16 ? want[i] >> 8 : want[i]);
    EXPECT_EQ(bad, 0u) << name;
    ++checked;
  }
  EXPECT_GE(checked, 150);
}

TEST(PngSuite, GreyWithTransparencyArrivesAsGreyWithAlpha) {
  REQUIRE_CORPUS(dir, "pngsuite");
  auto p = LoadPixmapPNG(Url(dir + "/png/tbbn0g04.png"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->format, FormatRGBA8888);
  auto rgb16 = LoadPixmapPNG(Url(dir + "/png/basn2c16.png"));
  ASSERT_NE(rgb16, nullptr);
  EXPECT_EQ(rgb16->format, FormatRGB888);
  auto pal = LoadPixmapPNG(Url(dir + "/png/tbbn3p08.png"));
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(pal->format, FormatRGBA8888);
}

TEST(PngSuite, CorruptFilesGiveNullEverywhere) {
  REQUIRE_CORPUS(dir, "pngsuite");
  int n = 0;
  for (const auto& file : Files(dir + "/png", ".png")) {
    if (file.stem().string()[0] != 'x') continue;
    EXPECT_EQ(LoadPixmapPNG(Url(file)), nullptr) << file;
    EXPECT_EQ(LoadPixmap(Url(file)), nullptr) << file;
    ++n;
  }
  EXPECT_EQ(n, 14);
}

TEST(PngBugfixes, CorruptFilesGiveNullOddButValidOnesDecode) {
  REQUIRE_CORPUS(dir, "png-image-rs-bugfixes");
  for (const auto& file : Files(dir, ".png")) {
    const std::string name = file.filename().string();
    auto p = LoadPixmapPNG(Url(file));
    if (name.rfind("x_", 0) == 0) {
      EXPECT_EQ(p, nullptr) << name;
    } else {
      EXPECT_NE(p, nullptr) << name;
    }
  }
}

TEST(BmpSuite, GoodFilesMatchTheirReferences) {
  REQUIRE_CORPUS(dir, "bmpsuite");
  std::ifstream tsv(dir + "/REFERENCE.tsv");
  std::string line;
  std::getline(tsv, line);
  int matched = 0;
  while (std::getline(tsv, line)) {
    std::istringstream fields(line);
    std::string file, ref;
    std::getline(fields, file, '\t');
    std::getline(fields, ref, '\t');
    ref = ref.substr(0, ref.find(' '));
    if (file.rfind("g/", 0) != 0) continue;
    auto p = LoadPixmapBMP(Url(dir + "/" + file));
    if (file.find("rle") != std::string::npos) {
      EXPECT_EQ(p, nullptr) << file << ": run-length data is refused";
      continue;
    }
    ASSERT_NE(p, nullptr) << file;
    if (file.find("nonsquare") != std::string::npos) {  // reference drawn at double height
      EXPECT_EQ(p->width, 127);
      EXPECT_EQ(p->height, 32);
      continue;
    }
    auto want = LoadPixmap(Url(dir + "/" + ref));
    ASSERT_NE(want, nullptr) << ref;
    EXPECT_EQ(MaxDiff(p, want, false), 0) << file;
    EXPECT_EQ(LoadPixmap(Url(dir + "/" + file)) != nullptr, true) << file << " through the chain";
    ++matched;
  }
  EXPECT_EQ(matched, 24);  // 27 good files less two RLE and the non-square one
}

TEST(BmpSuite, QuestionableAndBadFilesDecodeSensiblyOrGiveNull) {
  REQUIRE_CORPUS(dir, "bmpsuite");
  for (const char* sub : {"/q", "/b", "/x"}) {
    for (const auto& file : Files(dir + sub, ".bmp")) {
      auto p = LoadPixmap(Url(file));
      if (!p) continue;
      EXPECT_GT(p->width, 0) << file;
      EXPECT_GT(p->height, 0) << file;
      EXPECT_LE(size_t(p->pitch) * p->height, size_t(64) << 20) << file;
    }
  }
}

TEST(BmpSuite, QuestionableFilesThatDecodeMatchTheirReferences) {
  REQUIRE_CORPUS(dir, "bmpsuite");
  std::ifstream tsv(dir + "/REFERENCE.tsv");
  std::string line;
  std::getline(tsv, line);
  int compared = 0;
  while (std::getline(tsv, line)) {
    std::istringstream fields(line);
    std::string file, ref;
    std::getline(fields, file, '\t');
    std::getline(fields, ref, '\t');
    ref = ref.substr(0, ref.find(' '));
    // Colour profiles are not applied, and the fourth byte of uncompressed 32-bit
    // pixels counts as alpha unless it is 0 everywhere.
    if (file.rfind("q/", 0) != 0 || ref.size() < 4 || ref.substr(ref.size() - 4) != ".png" ||
        file == "q/rgb24prof2.bmp" || file == "q/rgb32fakealpha.bmp")
      continue;
    auto p = LoadPixmapBMP(Url(dir + "/" + file));
    if (!p) continue;
    auto want = LoadPixmapPNG(Url(dir + "/" + ref));
    ASSERT_NE(want, nullptr) << ref;
    ASSERT_EQ(p->width, want->width) << file;
    ASSERT_EQ(p->height, want->height) << file;
    auto a = Rgba(p), b = Rgba(want);
    int worst = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
      if (b[i + 3] == 0 && a[i + 3] == 0) continue;  // colour of invisible pixels is free
      for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(int(a[i + c]) - int(b[i + c])));
    }
    EXPECT_LE(worst, 1) << file;
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

TEST(BmpSuite, V5BitFieldConversionsOfPngSuiteMatchTheReferences) {
  REQUIRE_CORPUS(dir, "pngsuite");
  int checked = 0, worst = 0;
  for (const auto& file : Files(dir + "/bmp", ".bmp")) {
    auto bmp = LoadPixmapBMP(Url(file));
    ASSERT_NE(bmp, nullptr) << file;
    auto png = LoadPixmapPNG(Url(dir + "/png/" + file.stem().string() + ".png"));
    if (!png) continue;
    const int d = MaxDiff(bmp, png, AlphaBitsPerPixel(png->format) == 0);
    EXPECT_GE(d, 0) << file;
    worst = std::max(worst, d);
    ++checked;
  }
  EXPECT_GE(checked, 150);
  RecordProperty("worst_channel_difference", worst);
}

TEST(JpegCorpus, ReferenceDecodeOfTestorigMatchesItsChecksum) {
  REQUIRE_CORPUS(dir, "jpeg-libjpeg-turbo");
  auto p = LoadPixmapJPeg(Url(dir + "/testorig.jpg"));
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->format, FormatRGB888);
  std::string ppm = "P6\n" + std::to_string(p->width) + " " + std::to_string(p->height) + "\n255\n";
  for (int y = 0; y < p->height; ++y) ppm.append(reinterpret_cast<char*>(p->PixelPtr(0, y)), p->width * 3);
  const fs::path tmp = fs::temp_directory_path() / ("tess_testorig_" + std::to_string(getpid()) + ".ppm");
  std::ofstream(tmp, std::ios::binary) << ppm;
  FILE* md5 = popen(("md5sum '" + tmp.string() + "'").c_str(), "r");
  ASSERT_NE(md5, nullptr);
  char sum[33] = {};
  ASSERT_EQ(fread(sum, 1, 32, md5), 32u);
  pclose(md5);
  fs::remove(tmp);
  EXPECT_STREQ(sum, "dea1d7bbc37e39adf628342c86096641");
  EXPECT_NE(LoadPixmapJPeg(Url(dir + "/testimgint.jpg")), nullptr);
}

TEST(JpegCorpus, TwelveBitGivesNull) {
  REQUIRE_CORPUS(dir, "jpeg-libjpeg-turbo");
  EXPECT_EQ(LoadPixmapJPeg(Url(dir + "/testorig12.jpg")), nullptr);
  EXPECT_EQ(LoadPixmapJPeg(Url(dir + "/monkey12.jpg")), nullptr);
}

TEST(JpegCorpus, AdobeYcckSampleMatchesItsRgbTwin) {
  REQUIRE_CORPUS(dir, "jpeg-pillow");
  auto cmyk = LoadPixmapJPeg(Url(dir + "/pil_sample_cmyk.jpg"));
  auto rgb = LoadPixmapJPeg(Url(dir + "/pil_sample_rgb.jpg"));
  ASSERT_NE(cmyk, nullptr);
  ASSERT_EQ(cmyk->format, FormatRGB888);
  // Two separate lossy encodings of one picture: close on average, with JPEG
  // ringing at the edges (31 dB between them; a wrong inversion gives about 6).
  double se = 0, sum[3] = {0, 0, 0};
  auto a = Rgba(cmyk), b = Rgba(rgb);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    if (i % 4 == 3) continue;
    const int d = int(a[i]) - int(b[i]);
    se += d * d;
    sum[i % 4] += d;
  }
  const double n = a.size() / 4.0;
  EXPECT_GE(10 * std::log10(255.0 * 255.0 / (se / (3 * n))), 30.0);
  for (double s : sum) EXPECT_LE(std::abs(s / n), 5.0);
  const uint32_t corner = static_cast<uint32_t>(ReadPixel(cmyk, 2, 2));  // red, as upstream notes
  EXPECT_GT(int((corner >> 16) & 255), 200);
  EXPECT_LT(int((corner >> 8) & 255), 60);
}

TEST(JpegCorpus, ReftestImagesMatchWithinThreePerChannel) {
  REQUIRE_CORPUS(dir, "jpeg-image-rs-jpeg-decoder");
  int checked = 0;
  for (const auto& file : Files(dir + "/reftest/images", ".jpg")) {
    fs::path ref = file;
    ref.replace_extension(".png");
    auto p = LoadPixmapJPeg(Url(file));
    const std::string name = file.filename().string();
    if (name == "jpg-size-6x6.jpg" || name.find("lossless") != std::string::npos) {
      EXPECT_EQ(p, nullptr) << name;
      continue;
    }
    ASSERT_NE(p, nullptr) << name;
    // Its references ignore the embedded press profile; the profile's own
    // conversion is checked against Little CMS in the photo tests.
    if (!fs::exists(ref) || name == "ycck.jpg") continue;
    auto want = LoadPixmapPNG(Url(ref));
    ASSERT_NE(want, nullptr) << ref;
    const int d = MaxDiff(p, want, false);
    EXPECT_GE(d, 0) << name << " size";
    EXPECT_LE(d, 3) << name;
    ++checked;
  }
  EXPECT_GE(checked, 25);
}

TEST(JpegCorpus, CorruptAndTruncatedFilesNeverCrash) {
  REQUIRE_CORPUS(dir, "jpeg-image-rs-jpeg-decoder");
  int decoded = 0, refused = 0;
  for (const auto& file : Files(dir + "/crashtest", ".jpg")) {
    auto p = LoadPixmap(Url(file));
    (p ? decoded : refused)++;
    if (p) {
      EXPECT_GT(p->width, 0);
    }
  }
  EXPECT_GT(refused, 50);
  EXPECT_GT(decoded, 10);  // files with only warnings still decode
  const std::string pil = Corpus("jpeg-pillow");
  if (!pil.empty()) {
    auto t = LoadPixmapJPeg(Url(pil + "/truncated_jpeg.jpg"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width, 100);
    for (const char* ok : {"junk_jpeg_header.jpg", "jpeg_ff00_header.jpg", "hopper_16bit_qtables.jpg"})
      EXPECT_NE(LoadPixmapJPeg(Url(pil + "/" + ok)), nullptr) << ok;
    auto gray = LoadPixmapJPeg(Url(pil + "/hopper_gray.jpg"));
    ASSERT_NE(gray, nullptr);
    EXPECT_EQ(gray->format, FormatI8);
  }
}
