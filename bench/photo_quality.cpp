// Quality of the motif rewrite on real photos: for every picture in the folder
// given on the command line, our normalisation (NormaliseMotif) and ImageMagick's
// `convert IN -resize 512x512! -quality 75 OUT` are measured against a carefully
// made reference, `convert IN -auto-orient -profile sRGB -filter Lanczos -resize
// 512x512! REF.png`, in PSNR over the RGB channels; the table shows both, their
// difference and the time each took. Every file is read as an image viewer would
// (upright, colour-managed), so ImageMagick's output, which keeps tag and
// profile, is judged by what it shows.
//
// Usage: bench_photo_quality FOLDER [--variants]
// --variants also measures, for each photo, a copy stored turned a quarter with
// the tag that says so (ImageMagick and exiftool) and a copy converted to Adobe
// RGB with its profile (ImageMagick), as phones and cameras write them, and
// copies encoded as HEIC, AVIF and WebP (heif-enc, avifenc, cwebp).
//
// ImageMagick runs as /usr/bin/convert with a policy of its own
// (MAGICK_CONFIGURE_PATH): Debian's default caps memory and area so low that big
// photos fail with "cache resources exhausted". The sRGB and Adobe RGB profiles
// are written by Little CMS.
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/normalise.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

std::string Quote(const fs::path& p) {
  std::string q = "'";
  for (char c : p.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool Run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

void WritePolicy(const fs::path& dir) {
  std::ofstream(dir / "policy.xml") << "<policymap>\n"
                                       "  <policy domain=\"resource\" name=\"memory\" value=\"2GiB\"/>\n"
                                       "  <policy domain=\"resource\" name=\"map\" value=\"4GiB\"/>\n"
                                       "  <policy domain=\"resource\" name=\"area\" value=\"1GP\"/>\n"
                                       "  <policy domain=\"resource\" name=\"disk\" value=\"8GiB\"/>\n"
                                       "</policymap>\n";
  setenv("MAGICK_CONFIGURE_PATH", dir.c_str(), 1);
}

bool WriteProfiles(const fs::path& dir) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsCIExyYTRIPLE adobe = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE argb = cmsCreateRGBProfile(&d65, &adobe, curves);
  const bool ok = cmsSaveProfileToFile(srgb, (dir / "srgb.icc").c_str()) &&
                  cmsSaveProfileToFile(argb, (dir / "adobergb.icc").c_str());
  cmsFreeToneCurve(gamma);
  cmsCloseProfile(srgb);
  cmsCloseProfile(argb);
  return ok;
}

// PSNR over R, G and B; -1 when a file does not load or the sizes differ.
double Psnr(const fs::path& a, const fs::path& b) {
  Ref<TPixmap> x = ConvertPixmap(LoadPixmap(TUrl(a.string())), FormatRGB888);
  Ref<TPixmap> y = ConvertPixmap(LoadPixmap(TUrl(b.string())), FormatRGB888);
  if (!x || !y || x->width != y->width || x->height != y->height) return -1;
  double se = 0;
  for (int r = 0; r < x->height; ++r) {
    const uint8_t* p = x->PixelPtr(0, r);
    const uint8_t* q = y->PixelPtr(0, r);
    for (int i = 0; i < x->width * 3; ++i) se += double(p[i] - q[i]) * (p[i] - q[i]);
  }
  const double mse = se / (3.0 * x->width * x->height);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Row {
  std::string name;
  int width = 0, height = 0;
  double ours = -1, magick = -1, oursSecs = 0, magickSecs = 0;
};

bool Measure(const fs::path& photo, const std::string& label, const fs::path& work, Row& row) {
  row.name = label;
  Ref<TPixmap> full = LoadPixmap(TUrl(photo.string()));
  row.width = PixmapWidth(full);
  row.height = PixmapHeight(full);
  full.reset();
  const fs::path ref = work / "ref.png", im = work / "im.jpg", motif = work / "motif";
  fs::remove_all(motif);
  fs::create_directories(motif);
  const std::string ext = photo.extension().string();
  fs::copy_file(photo, motif / ("photo" + ext));
  // A copy made this moment counts as still being copied and is left for later.
  fs::last_write_time(motif / ("photo" + ext), fs::file_time_type::clock::now() - std::chrono::minutes(1));
  if (!Run("/usr/bin/convert " + Quote(photo) + " -auto-orient -profile " + Quote(work / "srgb.icc") +
           " -filter Lanczos -resize '512x512!' " + Quote(ref)))
    return false;
  auto t = Clock::now();
  if (!Run("/usr/bin/convert " + Quote(photo) + " -resize '512x512!' -quality 75 " + Quote(im))) return false;
  row.magickSecs = Seconds(t);
  t = Clock::now();
  {
    TFolderVisit visit(FromOSBytes(motif.string()));
    if (!visit.Entered() || NormaliseMotif(FromOSBytes("photo" + ext)) != TMotifOutcome::Rewritten) return false;
  }
  row.oursSecs = Seconds(t);
  row.ours = Psnr(motif / ("photo" + ext), ref);
  row.magick = Psnr(im, ref);
  return row.ours > 0 && row.magick > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !fs::is_directory(argv[1])) {
    std::fprintf(stderr, "usage: %s FOLDER [--variants]\n", argv[0]);
    return 2;
  }
  const bool variants = argc > 2 && std::string(argv[2]) == "--variants";
  std::vector<fs::path> photos;
  for (const auto& e : fs::directory_iterator(argv[1])) {
    if (e.is_regular_file() && IsMotifName(FromOSBytes(e.path().filename().string()))) photos.push_back(e.path());
  }
  std::sort(photos.begin(), photos.end());
  const fs::path work = fs::temp_directory_path() / ("tess_photo_quality_" + std::to_string(getpid()));
  fs::create_directories(work);
  WritePolicy(work);
  if (!WriteProfiles(work)) {
    std::fprintf(stderr, "could not write the ICC profiles\n");
    return 1;
  }

  std::printf("%-48s %11s %8s %8s %7s %7s %7s\n", "photo", "size", "ours dB", "IM dB", "diff", "ours s", "IM s");
  std::vector<Row> rows;
  int failed = 0;
  auto report = [&](const fs::path& file, const std::string& label) {
    Row r;
    if (!Measure(file, label, work, r)) {
      std::printf("%-48s failed\n", label.c_str());
      ++failed;
      return;
    }
    std::printf("%-48s %5dx%-5d %8.2f %8.2f %+7.2f %7.3f %7.3f\n", r.name.c_str(), r.width, r.height, r.ours,
                r.magick, r.ours - r.magick, r.oursSecs, r.magickSecs);
    std::fflush(stdout);
    rows.push_back(r);
  };
  for (const fs::path& photo : photos) {
    report(photo, photo.filename().string());
    if (!variants) continue;
    const fs::path turned = work / ("turned" + photo.extension().string());
    if (Run("/usr/bin/convert " + Quote(photo) + " -rotate -90 -quality 95 " + Quote(turned)) &&
        Run("exiftool -q -m -overwrite_original -n -Orientation=6 " + Quote(turned)))
      report(turned, "  turned, tag 6");
    const fs::path adobe = work / "adobergb.jpg";
    if (Run("/usr/bin/convert " + Quote(photo) + " -profile " + Quote(work / "srgb.icc") + " -profile " +
            Quote(work / "adobergb.icc") + " -quality 95 " + Quote(adobe)))
      report(adobe, "  in Adobe RGB");
    // As phones and browsers store it, by their real encoders.
    for (auto [tool, out] : {std::pair{"heif-enc -q 90 IN -o OUT", "photo.heic"},
                             {"avifenc -s 8 --min 0 --max 16 IN OUT", "photo.avif"},
                             {"cwebp -quiet -q 90 -metadata icc IN -o OUT", "photo.webp"}}) {
      std::string cmd = tool;
      cmd.replace(cmd.find("IN"), 2, Quote(photo));
      cmd.replace(cmd.find("OUT"), 3, Quote(work / out));
      if (Run(cmd)) report(work / out, std::string("  as ") + (out + 6));
    }
  }
  if (rows.empty()) return 1;
  double worst = 1e9, sumOurs = 0, sumIm = 0, tOurs = 0, tIm = 0;
  for (const Row& r : rows) {
    worst = std::min(worst, r.ours - r.magick);
    sumOurs += r.ours, sumIm += r.magick, tOurs += r.oursSecs, tIm += r.magickSecs;
  }
  const double n = static_cast<double>(rows.size());
  std::printf("\n%zu photos (%d failed): mean ours %.2f dB, mean ImageMagick %.2f dB\n", rows.size(), failed,
              sumOurs / n, sumIm / n);
  std::printf("worst difference ours - ImageMagick: %+.2f dB (goal: no photo below -0.50) -> %s\n", worst,
              worst >= -0.5 ? "reached" : "NOT reached");
  std::printf("time: ours %.2f s in process, ImageMagick %.2f s in separate processes\n", tOurs, tIm);
  fs::remove_all(work);
  return 0;
}
