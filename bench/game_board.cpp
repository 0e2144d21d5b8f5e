// The real board screen: first a game at every grid size from 4 to 32 in turn,
// with the atlas pages and the texture memory after each (they should stay what
// they were after the first); then 10 s at 4 x 4, 12 x 12 and 32 x 32 tiles with a
// swap animation running most of the time: frames per second and CPU time per
// frame; then 32 x 32 with the board saved after every swap: the frames that ask
// for a save against those that do not, and what a save costs the main thread and
// the disk. Needs an X display (run under xvfb-run).
#include <sys/resource.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/graphics.h"
#include "game/board.h"
#include "game/game_main.h"
#include "game/motives.h"
#include "game/resume.h"
#include "game/save_file.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/hook.h"
#include "platform/stream.h"
#include "platform/system.h"
#include "platform/ustring.h"
#include "tests/support/gl_counters.h"
#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Keeps a swap animation going: whenever nothing moves, pick up a tile and drop it
// on its neighbour, the way the tile interaction would after two clicks.
void KeepSwapping(int n, int animation_ms = 360) {
  if (MoveReady != 0) return;
  const int x = std::rand() % (n - 1), y = std::rand() % n;
  SwapFromX = x;
  SwapFromY = y;
  NewX = static_cast<uint16_t>(x + 1);
  NewY = static_cast<uint16_t>(y);
  MoveReadyTime = TIME + animation_ms;
  MoveReady = 2;
}

// Cuts a new n x n board from the first motif, as a choice in the motif selection does.
void NewGame(int n) {
  IMGPuzzle = MotivesList.empty() ? nullptr : MotivesList[0]->Motiv;
  MAP_X = MAP_Y = n;
  PuzzleTileSize = static_cast<uint16_t>(512 / n);
  BetweenTile = n > 27 ? 2 : 3;
  AllocateBoard(n, n);
  PreparePuzzle();
  AllTiles = static_cast<uint16_t>(n * n);
  MixPuzzle();
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Sorted copy's value at fraction q (0.5 the median, 1 the largest).
double At(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

// A frame's own work: from the start of the pass to its Flip (no buffer swap, no
// wait for the timer), in wall time and in the main thread's CPU time.
struct TFrameTimes {
  std::vector<double> wall, cpu;
};
Clock::time_point g_pass_start, g_flip;
double g_cpu_start = 0, g_cpu_flip = 0;

Ref<TObject> AtFlip(int, Ref<TObject> data, Ref<TObject>) {
  g_flip = Clock::now();
  g_cpu_flip = ThreadCpuMs();
  return data;
}

void PrintFrames(const char* what, const TFrameTimes& t) {
  std::printf("  %-20s %5zu frames: median %.2f ms, longest %.2f ms (main-thread CPU: median %.2f ms, "
              "longest %.2f ms)\n",
              what, t.wall.size(), At(t.wall, 0.5), At(t.wall, 1), At(t.cpu, 0.5), At(t.cpu, 1));
}

// Frames of a 32 x 32 game that complete a swap every other frame: those that
// complete one, and the others.
void SwapFrames(double seconds, TFrameTimes& swapping, TFrameTimes& others) {
  AddHook(FlipHook(), &AtFlip, nullptr, 0);
  const auto t0 = Clock::now();
  while (std::chrono::duration<double>(Clock::now() - t0).count() < seconds) {
    KeepSwapping(32, 20);
    const uint16_t moves = TileMoves;
    g_pass_start = Clock::now();
    g_cpu_start = ThreadCpuMs();
    BoardScreenPass();
    TFrameTimes& t = TileMoves != moves ? swapping : others;
    t.wall.push_back(std::chrono::duration<double, std::milli>(g_flip - g_pass_start).count());
    t.cpu.push_back(g_cpu_flip - g_cpu_start);
  }
  RemoveHook(FlipHook(), &AtFlip, nullptr);
}

// The same game with the board saved after every swap and without saves.
void SavedBoard(const fs::path& dir, double seconds) {
  const std::string state = (dir / "state").string();
  TFrameTimes saved, unsaved, others;
  NewGame(32);
  for (int f = 0; f < 3; ++f) BoardScreenPass();  // every tile has its texture before the count
  SwapFrames(seconds, unsaved, others);
  StartBoardSaves(state, FromOSBytes(dir.string() + "/"));
  NoteBoardMotif(*MotivesList[0]);
  SwapFrames(seconds, saved, others);
  std::printf("32 x 32, a swap every other frame, %.0f s without saves and %.0f s with; a frame up to its Flip:\n",
              seconds, seconds);
  PrintFrames("swap and save", saved);
  PrintFrames("swap, no save", unsaved);
  PrintFrames("no swap", others);

  // The request alone, on the main thread: the board taken and encoded, handed over.
  std::vector<double> request;
  for (int i = 0; i < 2000; ++i) {
    const double c0 = ThreadCpuMs();
    SaveBoard();
    request.push_back(ThreadCpuMs() - c0);
  }
  FinishSaveWrites();
  // What the writer thread spends per save: file, fsync, rename, fsync of the folder.
  std::vector<double> disk;
  for (int i = 0; i < 50; ++i) {
    const auto w0 = Clock::now();
    SaveBoard();
    FinishSaveWrites();
    disk.push_back(MsSince(w0));
  }
  std::printf("  one save request on the main thread: median %.3f ms, max %.3f ms CPU (%d bytes)\n",
              At(request, 0.5), At(request, 1), int(fs::file_size(state + "/board.save")));
  std::printf("  one save to the disk on the writer thread: median %.2f ms, max %.2f ms (%s)\n", At(disk, 0.5),
              At(disk, 1), state.c_str());
  StopBoardSaves();
}

void GridSizeTour(const TGLCallCounter& gl) {
  for (int n = 4; n <= 32; ++n) {
    NewGame(n);
    for (int f = 0; f < 3; ++f) BoardScreenPass();  // every tile drawn, so it has its frame
    if (n == 4 || n == 32 || n % 7 == 0)
      std::printf("grid %2d x %-2d: %d atlas pages, %.2f MiB of textures\n", n, n,
                  GLDraw2DDriver()->Atlas().PageCount(), double(gl.texture_bytes) / 1048576.0);
  }
}

}  // namespace

int main() {
  if (!SystemDisplay()) {
    std::fprintf(stderr, "bench_game_board needs an X display (xvfb-run)\n");
    return 1;
  }
#ifdef TESS_HAVE_ASSETS
  RegisterAssets();
#endif
  const fs::path dir = fs::temp_directory_path() / ("tess_bench_board_" + std::to_string(getpid()));
  fs::create_directories(dir);
  Ref<TPixmap> motif = CreatePixmap(512, 512, FormatRGB888);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) WritePixel(motif, x, y, static_cast<int>(0xFF000000u | x << 15 | y << 7 | (x ^ y)));
  SavePixmapPNG(motif, TUrl((dir / "PuzzleBench.png").string()));
  TGLCallCounter gl;  // from the first texture on, so its sum is what lives
  Graphics(800, 600, 0, 60, 0);
  StartGame(FromOSBytes(dir.string() + "/").c_str());
  const double seconds = std::getenv("TESS_BENCH_SECONDS") ? std::atof(std::getenv("TESS_BENCH_SECONDS")) : 10.0;
  GridSizeTour(gl);
  for (int n : {4, 12, 32}) {
    NewGame(n);
    int frames = 0, animated = 0;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - t0).count() < seconds) {
      KeepSwapping(n);
      if (MoveReady == 2) ++animated;
      BoardScreenPass();
      ++frames;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("%2d x %-2d: %.1f frames/s, %.2f ms CPU per frame, %.0f %% of one core (%d%% of frames animating)\n",
                n, n, frames / wall, cpu / frames * 1000.0, cpu / wall * 100.0, animated * 100 / frames);
  }
  SavedBoard(dir, seconds);
  ResetGameState();
  fs::remove_all(dir);
  EndGraphics();
  return 0;
}
