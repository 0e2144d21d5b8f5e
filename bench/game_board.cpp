// The real board screen: first a game at every grid size from 4 to 32 in turn,
// with the atlas pages and the texture memory after each (they should stay what
// they were after the first); then 10 s at 4 x 4, 12 x 12 and 32 x 32 tiles with a
// swap animation running most of the time: frames per second and CPU time per
// frame. Needs an X display (run under xvfb-run).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/graphics.h"
#include "game/board.h"
#include "game/game_main.h"
#include "game/motives.h"
#include "game/state.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
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
void KeepSwapping(int n) {
  if (MoveReady != 0) return;
  const int x = std::rand() % (n - 1), y = std::rand() % n;
  SwapFromX = x;
  SwapFromY = y;
  NewX = static_cast<uint16_t>(x + 1);
  NewY = static_cast<uint16_t>(y);
  MoveReadyTime = TIME + 360;
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
  ResetGameState();
  fs::remove_all(dir);
  EndGraphics();
  return 0;
}
