// Start-up cost with a folder of large photos: the game's start (folder pass, game
// window, catalogue with reflections, assets) up to the first menu frame, against
// ImageMagick's resize-and-save and a bare libjpeg decode of the same files; the
// resident memory per motif; and a second start over the normalised folder.
// Needs an X display (run under xvfb-run).
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "draw2d/graphics.h"
#include "game/game_main.h"
#include "game/menu.h"
#include "game/normalise.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "platform/ustring.h"
#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

#include <jpeglib.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kW = 4000, kH = 3000;
const int kPhotos = std::getenv("TESS_BENCH_PHOTOS") ? std::atoi(std::getenv("TESS_BENCH_PHOTOS")) : 20;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Photo-like: smooth shapes with fine texture and noise everywhere, so the encoder
// and decoder have real work.
void MakePhoto(const fs::path& path, unsigned seed) {
  Ref<TPixmap> p = CreatePixmap(kW, kH, FormatRGB888);
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < kH; ++y) {
    uint8_t* row = PixmapPixelPtr(p, 0, y);
    for (int x = 0; x < kW; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>(s >> 27);  // 0..31 noise
      row[3 * x] = static_cast<uint8_t>((x / 7 + y / 13 + n + seed * 30) & 255);
      row[3 * x + 1] = static_cast<uint8_t>(((x * y) / 4096 + n * 2) & 255);
      row[3 * x + 2] = static_cast<uint8_t>((128 + ((x ^ y) & 63) + n) & 255);
    }
  }
  SavePixmapJPeg(p, TUrl(path.string()), 90);
}

long RssKiB() {
  std::ifstream f("/proc/self/statm");
  long size = 0, resident = 0;
  f >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BareDecode(const fs::path& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  std::vector<unsigned char> row(static_cast<size_t>(cinfo.output_width) * cinfo.output_components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
}

Clock::time_point g_first_frame;
bool g_seen = false;

Ref<TObject> OnFlip(int, Ref<TObject> data, Ref<TObject>) {
  if (!g_seen) {
    g_first_frame = Clock::now();
    g_seen = true;
    EmitEvent(CreateEvent(EVENT_APPTERMINATE));  // the menu returns on its next check
  }
  return data;
}

// The body's start-up as the program runs it, up to the first menu frame.
double StartUp(const std::u16string& folder) {
  g_seen = false;
  const auto t0 = Clock::now();
  Graphics(480, 320, 0, 60, 0);
  NormaliseMotives(folder);
  Graphics(800, 600, 0, 60, 0);
  StartGame(folder.c_str());
  Menu();
  return Seconds(t0, g_first_frame);
}

}  // namespace

int main() {
  if (!SystemDisplay()) {
    std::fprintf(stderr, "bench_game_startup needs an X display (xvfb-run)\n");
    return 1;
  }
#ifdef TESS_HAVE_ASSETS
  RegisterAssets();
#endif
  AddHook(FlipHook(), &OnFlip, nullptr, 0);
  const fs::path root = fs::temp_directory_path() / ("tess_bench_startup_" + std::to_string(getpid()));
  const fs::path photos = root / "photos", motives = root / "Motives", magick = root / "magick";
  fs::create_directories(photos);
  fs::create_directories(magick);
  std::printf("making %d photos of %d x %d ...\n", kPhotos, kW, kH);
  for (int i = 0; i < kPhotos; ++i) MakePhoto(photos / ("photo" + std::to_string(i) + ".jpg"), i);
  fs::copy(photos, motives);

  auto t0 = Clock::now();
  for (int i = 0; i < kPhotos; ++i) BareDecode(photos / ("photo" + std::to_string(i) + ".jpg"));
  const double bare = Seconds(t0, Clock::now());

  t0 = Clock::now();
  for (int i = 0; i < kPhotos; ++i) {
    const std::string name = "photo" + std::to_string(i) + ".jpg";
    const std::string cmd = "convert '" + (photos / name).string() + "' -resize '512x512!' -quality 75 '" +
                            (magick / name).string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) break;
  }
  const double im = Seconds(t0, Clock::now());

  // The fixed part (window, GL, assets) from a start over an empty folder; freed
  // heap is handed back before each reading, so what remains is what is held.
  fs::create_directories(root / "empty");
  const double empty_start = StartUp(FromOSBytes((root / "empty").string() + "/"));
  malloc_trim(0);
  const long rss_fixed = RssKiB();
  ResetGameState();
  const double first = StartUp(FromOSBytes(motives.string() + "/"));
  const long rss_peak = RssKiB();
  malloc_trim(0);
  const double per_motif =
      static_cast<double>(RssKiB() - rss_fixed) / 1024.0 / std::max<int>(1, CountMotives);

  ResetGameState();
  const double second = StartUp(FromOSBytes(motives.string() + "/"));

  std::printf("first start to the first menu frame: %.3f s (%d motifs)\n", first, static_cast<int>(CountMotives));
  std::printf("ImageMagick resize+save of the same files: %.3f s  -> ours / ImageMagick = %.2f (goal < 0.5)\n", im,
              first / im);
  std::printf("bare libjpeg decode of the same files:     %.3f s  -> ours / bare decode = %.2f (goal <= 1.5)\n", bare,
              first / bare);
  std::printf("resident memory after start-up: %.2f MiB per motif (goal < 3)\n", per_motif);
  std::printf("resident memory right after the first start: %.1f MiB (fixed part %.1f MiB)\n",
              rss_peak / 1024.0, rss_fixed / 1024.0);
  std::printf("start over an empty folder (window, GL and assets only): %.3f s\n", empty_start);
  std::printf("second start (all motifs 512 x 512 already): %.3f s\n", second);
  fs::remove_all(root);
  ResetGameState();
  EndGraphics();
  return 0;
}
