// The photo decoders and the shrink on several threads at once, as the motif pass
// runs them: EXIF turns, ICC profiles (Little CMS), CMYK, grey profiles, reduced
// JPEG scales, HEIF, AVIF and WebP decoding and Lanczos must give the same pixels
// as on one thread. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "pixmap/picture_load.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/thread_util.h"
#include "tests/support/jpeg_raw.h"
#include "tests/support/jpeg_segments.h"
#include "tests/support/photo_formats.h"
#include "tests/support/temp_dir.h"

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string Profile(bool grey) {
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, grey ? 1.8 : 2.2);
  cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsCIExyYTRIPLE wide = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE p = grey ? cmsCreateGrayProfile(cmsD50_xyY(), gamma) : cmsCreateRGBProfile(&d65, &wide, curves);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(p, nullptr, &n);
  std::string out(n, '\0');
  cmsSaveProfileToMem(p, out.data(), &n);
  cmsCloseProfile(p);
  cmsFreeToneCurve(gamma);
  return out;
}

std::string WithIcc(std::string jpeg, const std::string& icc) {
  const std::vector<std::string> pieces = IccPieces(icc, 150);
  for (size_t i = pieces.size(); i-- > 0;) jpeg = InsertSegment(jpeg, 0xE2, pieces[i]);
  return jpeg;
}

// Photo-like test files covering every path, made once.
std::vector<std::string> Files() {
  const int w = 300, h = 200;
  Ref<TPixmap> p = CreatePixmap(w, h, FormatRGB888);
  std::vector<uint8_t> cmyk, grey;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t v[3] = {uint8_t(x), uint8_t(y + x / 3), uint8_t((x * y) >> 6)};
      std::copy(v, v + 3, p->PixelPtr(x, y));
      cmyk.insert(cmyk.end(), {uint8_t(255 - v[0]), uint8_t(255 - v[1]), uint8_t(255 - v[2]), uint8_t(200 + x % 50)});
      grey.push_back(v[1]);
    }
  TempDir dir;
  EXPECT_EQ(SavePixmapJPeg(p, TUrl(dir.str() + "/p.jpg"), 90), 1);
  EXPECT_EQ(SavePixmapPNG(p, TUrl(dir.str() + "/p.png")), 1);
  const std::string jpeg = FileBytes(dir.str() + "/p.jpg"), in = "'" + dir.str() + "/p.png' ";
  // Phones' and browsers' formats: HEVC, AV1 with an nclx colour description, WebP.
  EXPECT_TRUE(RunQuietly("heif-enc " + kOneThreadX265 + " " + in + "-o " + dir.str() + "/p.heic"));
  EXPECT_TRUE(RunQuietly("avifenc -s 9 --cicp 12/13/6 " + in + dir.str() + "/p.avif"));
  EXPECT_TRUE(RunQuietly("cwebp " + in + "-o " + dir.str() + "/p.webp"));
  return {InsertSegment(WithIcc(jpeg, Profile(false)), 0xE1, ExifOrientationBlock(6)),
          InsertSegment(JpegFromSamples(cmyk, w, h, 4, true), 0xE1, ExifOrientationBlock(3, true)),
          WithIcc(JpegFromSamples(grey, w, h, 1), Profile(true)), FileBytes(dir.str() + "/p.png"),
          FileBytes(dir.str() + "/p.heic"), FileBytes(dir.str() + "/p.avif"), FileBytes(dir.str() + "/p.webp")};
}

// Everything the motif pass does with a file, as bytes to compare.
std::string Work(const std::string& file) {
  Ref<TStream> s = TRamStream::Create(file.data(), static_cast<int>(file.size()), true, false);
  TSizedPicture sized = LoadPixmapForSize(TUrl(s), 100, 100);
  Ref<TPixmap> full = LoadPixmap(TUrl(s = TRamStream::Create(file.data(), static_cast<int>(file.size()), true, false)));
  std::string out = std::to_string(sized.width) + "x" + std::to_string(sized.height) + ":";
  for (const Ref<TPixmap>& p : {ResamplePixmap(sized.pixmap, 64, 64), ResamplePixmap(full, 37, 51)}) {
    if (!p) return "null";
    for (int y = 0; y < p->height; ++y)
      out.append(reinterpret_cast<const char*>(p->PixelPtr(0, y)), static_cast<size_t>(p->width) * BytesPerPixel(p->format));
  }
  return out;
}

}  // namespace

TEST(PhotoThreads, DecodersAndShrinkGiveTheSamePixelsOnFourThreadsAtOnce) {
  const std::vector<std::string> files = Files();
  std::vector<std::string> expected;
  for (const std::string& f : files) expected.push_back(Work(f));
  for (const std::string& e : expected) ASSERT_NE(e, "null");
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.push_back(StartThreadWithoutAlarm([&, t] {
      for (int round = 0; round < 6; ++round)
        for (size_t i = 0; i < files.size(); ++i) {
          const size_t k = (i + static_cast<size_t>(t)) % files.size();  // threads start on different files
          if (Work(files[k]) != expected[k]) ++mismatches;
        }
    }));
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}
