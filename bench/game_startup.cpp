// Start-up cost with a folder of photos: the game's start (folder pass, game window,
// catalogue with reflections, assets) up to the first menu frame, against what a
// user would run instead (vipsthumbnail and ImageMagick once per file) and a bare
// full-size libjpeg decode of the same files; a second start over 20 prepared
// motifs; and a folder of 1,000 prepared motifs: resident memory and the carousel
// stepping through it. Every start runs in a child process of its own, so its
// memory figures are its own.
//
//   bench_game_startup [PHOTO_FOLDER]
//
// Without a folder it makes 20 photo-like pictures of 4000 x 3000. Needs an X
// display (run under xvfb-run).
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "game/motif_pass.h"
#include "game/motif_workers.h"
#include "game/prepare_view.h"
#include "game/select.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/event.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "platform/ustring.h"
#include "platform/worker_pool.h"
#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

#include <jpeglib.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSynthW = 4000, kSynthH = 3000, kSynthCount = 20;
constexpr int kManyMotives = 1000;
constexpr int kSteps = 60;
constexpr double kFrameMs = 1000.0 / 65.0;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Processor seconds of this process (all its threads) or of its waited-for children:
// on a shared machine they vary less than the time on the clock.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double Ms(Clock::time_point a, Clock::time_point b) { return 1000.0 * Seconds(a, b); }

// Photo-like: smooth shapes with fine texture and noise everywhere, so the encoder
// and decoder have real work.
void MakePhoto(const fs::path& path, unsigned seed) {
  Ref<TPixmap> p = CreatePixmap(kSynthW, kSynthH, FormatRGB888);
  uint32_t s = seed * 2654435761u + 1;
  for (int y = 0; y < kSynthH; ++y) {
    uint8_t* row = PixmapPixelPtr(p, 0, y);
    for (int x = 0; x < kSynthW; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = static_cast<int>(s >> 27);  // 0..31 noise
      row[3 * x] = static_cast<uint8_t>((x / 7 + y / 13 + n + seed * 30) & 255);
      row[3 * x + 1] = static_cast<uint8_t>(((x * y) / 4096 + n * 2) & 255);
      row[3 * x + 2] = static_cast<uint8_t>((128 + ((x ^ y) & 63) + n) & 255);
    }
  }
  SavePixmapJPeg(p, TUrl(path.string()), 90);
}

long StatusKiB(const char* field) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  return 0;
}
double RssMiB() { return StatusKiB("VmRSS:") / 1024.0; }
double PeakMiB() { return StatusKiB("VmHWM:") / 1024.0; }

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

std::string Quoted(const fs::path& p) {
  std::string q = "'";
  for (char c : p.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs cmd once per photo into out/; seconds, or a negative number when the tool
// failed, and the processor seconds the tool took.
double PerFile(const std::vector<fs::path>& photos, const fs::path& out, const std::string& before,
               const std::string& between, const std::string& after, double& cpu) {
  fs::create_directories(out);
  const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = Clock::now();
  for (const fs::path& p : photos) {
    const std::string cmd = before + Quoted(p) + between + Quoted(out / p.filename()) + after + " 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return -1;
  }
  cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
  return Seconds(t0, Clock::now());
}

// Copies look a minute old, as files a player put there earlier do: the start
// leaves pictures written in the last seconds for a later start.
void Backdate(const fs::path& file) {
  fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::minutes(1));
}

void CopyFolder(const std::vector<fs::path>& photos, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  for (const fs::path& p : photos) {
    fs::copy_file(p, to / p.filename());
    Backdate(to / p.filename());
  }
}

// ---- inside a child: one start of the game -----------------------------------------

Clock::time_point g_first_frame;
bool g_in_menu = false;  // the first window's progress flips too
bool g_seen = false;

Ref<TObject> QuitAtFirstMenuFrame(int, Ref<TObject> data, Ref<TObject>) {
  if (g_in_menu && !g_seen) {
    g_first_frame = Clock::now();
    g_seen = true;
    EmitEvent(CreateEvent(EVENT_APPTERMINATE));  // the menu returns on its next check
  }
  return data;
}

// The body's start-up as the program runs it, up to the first menu frame, with
// `workers` threads (0: one per core).
double StartUp(const fs::path& folder, int workers) {
  const std::u16string f = FromOSBytes(folder.string() + "/");
  SetMotifWorkerCount(workers);
  g_seen = false;
  const auto t0 = Clock::now();
  Graphics(480, 320, 0, 60, 0);
  PrepareMotives(f);
  Graphics(800, 600, 0, 60, 0);
  StartGame(f.c_str());
  g_in_menu = true;
  Menu();
  g_in_menu = false;
  return Seconds(t0, g_first_frame);
}

// Runs body in a child process with its own X connection; false when it failed.
template <class F>
bool InChild(F body) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (!SystemDisplay()) ::_exit(2);
#ifdef TESS_HAVE_ASSETS
    RegisterAssets();
#endif
    AddHook(FlipHook(), &QuitAtFirstMenuFrame, nullptr, 0);
    body();
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- the carousel over a big folder ---------------------------------------------------

std::vector<Clock::time_point> g_flips;
int g_steps = 0;
double g_rss_max = 0;

Ref<TObject> StepTheCarousel(int, Ref<TObject> data, Ref<TObject>) {
  g_flips.push_back(Clock::now());
  const size_t frame = g_flips.size();
  // 27 frames are 415 ms: every request is past the 400 ms between steps.
  if (frame % 27 == 0) {
    g_rss_max = std::max(g_rss_max, RssMiB());
    if (g_steps < kSteps) {
      EmitEvent(CreateEvent(EVENT_KEYDOWN, nullptr, 39));
      EmitEvent(CreateEvent(EVENT_KEYUP, nullptr, 39));
      ++g_steps;
    } else {
      EmitEvent(CreateEvent(EVENT_APPTERMINATE));
    }
  }
  return data;
}

void StepThroughMany() {
  g_flips.clear();
  g_steps = 0;
  AddHook(FlipHook(), &StepTheCarousel, nullptr, 0);
  g_seen = true;  // the first-frame hook stays quiet
  selectPuzzleImg();
  // The key sent at the flip numbered 27 k - 1 (from 0) is read in the next frame,
  // which steps; the one after draws the new middle. Frames ending at flips 27 k to
  // 27 k + 2 are the step's, the rest the others.
  std::vector<double> step_ms, other_ms;
  for (size_t i = 1; i < g_flips.size(); ++i) {
    const size_t k = i / 27;
    const bool step = k >= 1 && k <= static_cast<size_t>(kSteps) && i % 27 <= 2;
    const double ms = Ms(g_flips[i - 1], g_flips[i]);
    (step ? step_ms : other_ms).push_back(ms);
    if (step && ms > 1.5 * kFrameMs) std::printf("  step %zu: frame %zu after the key took %.1f ms\n", k, i % 27, ms);
  }
  auto report = [](const char* what, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    const auto late = std::count_if(v.begin(), v.end(), [](double ms) { return ms > 1.5 * kFrameMs; });
    std::printf("  %s: %zu frames, median %.1f ms, longest %.1f ms, %ld over 1.5 periods\n", what, v.size(),
                v[v.size() / 2], v.back(), static_cast<long>(late));
  };
  std::printf("  carousel: %d steps, frame period %.1f ms\n", g_steps, kFrameMs);
  report("frames of a step", step_ms);
  report("other frames    ", other_ms);
  std::printf("  resident while stepping at most %.1f MiB (goal < 300), peak of the process %.1f MiB\n",
              g_rss_max, PeakMiB());
}

std::vector<fs::path> Photos(int argc, char** argv, const fs::path& root) {
  std::vector<fs::path> photos;
  if (argc > 1) {
    for (const auto& e : fs::directory_iterator(argv[1]))
      if (e.is_regular_file()) photos.push_back(e.path());
    std::sort(photos.begin(), photos.end());
    return photos;
  }
  fs::create_directories(root / "made");
  std::printf("making %d photos of %d x %d ...\n", kSynthCount, kSynthW, kSynthH);
  for (int i = 0; i < kSynthCount; ++i) {
    photos.push_back(root / "made" / ("photo" + std::to_string(i) + ".jpg"));
    MakePhoto(photos.back(), static_cast<unsigned>(i));
  }
  return photos;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = fs::temp_directory_path() / ("tess_bench_startup_" + std::to_string(getpid()));
  const std::vector<fs::path> photos = Photos(argc, argv, root);
  if (photos.empty()) {
    std::fprintf(stderr, "no photos\n");
    return 1;
  }
  long bytes = 0;
  for (const fs::path& p : photos) bytes += static_cast<long>(fs::file_size(p));
  std::printf("%zu photos, %.1f MB\n", photos.size(), bytes / 1e6);

  const double bare_cpu0 = CpuSeconds(RUSAGE_SELF);
  auto t0 = Clock::now();
  for (const fs::path& p : photos) BareDecode(p);
  const double bare = Seconds(t0, Clock::now());
  const double bare_cpu = CpuSeconds(RUSAGE_SELF) - bare_cpu0;
  double vips_cpu = 0, magick_cpu = 0;
  const double vips = PerFile(photos, root / "vips", "vipsthumbnail ", " -s '512x512!' -o ", "'[Q=75]'", vips_cpu);
  const double magick =
      PerFile(photos, root / "magick", "convert ", " -resize '512x512!' -quality 75 ", "", magick_cpu);
  std::printf("bare libjpeg decode, full size, one thread: %.3f s (processor %.3f s)\n", bare, bare_cpu);
  std::printf("vipsthumbnail once per file:              %.3f s (processor %.3f s)\n", vips, vips_cpu);
  std::printf("ImageMagick convert once per file:         %.3f s (processor %.3f s)\n", magick, magick_cpu);

  const fs::path motives = root / "Motives";
  for (int workers : {1, 0}) {
    CopyFolder(photos, motives);
    InChild([&] {
      const double cpu0 = CpuSeconds(RUSAGE_SELF);
      const double first = StartUp(motives, workers);
      const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
      std::printf("first start, %d worker(s): %.3f s  -> / vipsthumbnail = %.2f (goal <= 0.35), / bare decode = %.2f "
                  "(goal < 0.4); processor %.3f s (/ vipsthumbnail's %.2f, / bare decode's %.2f); peak resident "
                  "%.1f MiB\n",
                  MotifWorkers().Threads(), first, first / vips, first / bare, cpu, cpu / vips_cpu, cpu / bare_cpu,
                  PeakMiB());
    });
  }

  const fs::path empty = root / "Empty";
  fs::create_directories(empty);
  InChild([&] {
    std::printf("start over an empty folder (windows, GL, assets): %.3f s\n", StartUp(empty, 0));
  });

  // The second start over 20 prepared motifs (the folder above, prepared by the
  // last first start, repeated or cut to 20).
  std::vector<fs::path> prepared;
  for (const auto& e : fs::directory_iterator(motives)) prepared.push_back(e.path());
  std::sort(prepared.begin(), prepared.end());
  const fs::path twenty = root / "Twenty";
  fs::create_directories(twenty);
  for (int i = 0; i < 20; ++i) {
    fs::copy_file(prepared[i % prepared.size()], twenty / ("photo" + std::to_string(i) + ".jpg"));
    Backdate(twenty / ("photo" + std::to_string(i) + ".jpg"));
  }
  InChild([&] {
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double second = StartUp(twenty, 0);
    std::printf("second start over 20 prepared motifs: %.3f s (goal < 0.3); processor %.3f s\n", second,
                CpuSeconds(RUSAGE_SELF) - cpu0);
  });

  // The folder pass alone over a copy of the same 20 (a pass may rewrite them).
  const fs::path again = root / "Again";
  fs::copy(twenty, again);
  for (const auto& e : fs::directory_iterator(again)) Backdate(e.path());
  InChild([&] {
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = Clock::now();
    const int rewritten = NormaliseMotives(FromOSBytes(again.string() + "/"));
    std::printf("  the folder pass alone over them: %.1f ms, processor %.1f ms, %d rewritten\n", Ms(t0, Clock::now()),
                1000.0 * (CpuSeconds(RUSAGE_SELF) - cpu0), rewritten);
  });

  const fs::path many = root / "Many";
  fs::create_directories(many);
  for (int i = 0; i < kManyMotives; ++i) {
    fs::copy_file(prepared[i % prepared.size()], many / ("photo" + std::to_string(i) + ".jpg"));
    Backdate(many / ("photo" + std::to_string(i) + ".jpg"));
  }
  InChild([&] {
    const double start = StartUp(many, 0);
    malloc_trim(0);
    std::printf("%d prepared motifs: start %.3f s, resident after start-up %.1f MiB\n", kManyMotives, start,
                RssMiB());
    StepThroughMany();
  });
  fs::remove_all(root);
  return 0;
}
