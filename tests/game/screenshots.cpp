// Screenshots of the game's screens, for comparing the drawing before and after a
// change: the menu, the motif selection and a seeded 10 x 10 board, each read back
// from the back buffer at a fixed frame, once batched and once with batching off.
// Runs the real screen loops on a private Xvfb (as the window tests do), with
// motifs it generates itself and the clock held still, so two runs of the same
// code give the same pixels.
//
//   game_screenshots shoot DIR      writes menu.png, select.png, board.png and
//                                    their *-unbatched.png twins into DIR
//   game_screenshots compare A B    compares the pictures of two such folders;
//                                    exit status 0 only when every pixel agrees
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "draw2d/draw.h"
#include "draw2d/gl_draw2d_driver.h"
#include "game/board.h"
#include "game/game_main.h"
#include "game/menu.h"
#include "game/select.h"
#include "game/state.h"
#include "game_window.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/random.h"
#include "platform/stream.h"

namespace {

const char* const kShots[] = {"menu", "select", "board"};

// Smooth ramps with a fine checker and a diagonal band: filtering, scaling and
// alpha all leave visible traces. Integer arithmetic only, so every run agrees.
Ref<TPixmap> Motif(int variant) {
  Ref<TPixmap> p = CreatePixmap(512, 512, FormatRGB888);
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      const int check = ((x >> 3) + (y >> 3)) & 1;
      const int band = ((x + y + variant * 90) / 40) % 5 == 0;
      const int r = (x / 2 + variant * 70) & 255;
      const int g = band ? 255 : (y / 2 + check * 30) & 255;
      const int b = (255 - ((x ^ y) & 255) + variant * 40) & 255;
      WritePixel(p, x, y, static_cast<int>(0xFF000000u | r << 16 | g << 8 | b));
    }
  }
  return p;
}

void MakeMotifs(const TempDir& folder) {
  std::filesystem::create_directories(folder.path());
  for (int i = 0; i < 3; ++i)
    SavePixmapPNG(Motif(i), TUrl(folder.str() + "/motif" + std::to_string(i) + ".png"));
}

struct TShooter {
  std::string dir;
  std::string suffix;
  bool ok = true;

  void Grab(const char* name) {
    const std::string path = dir + "/" + name + suffix + ".png";
    Ref<TPixmap> shot = GrabPixmap(0, 0, 800, 600);
    if (!shot || SavePixmapPNG(shot, TUrl(path)) != 1) {
      std::fprintf(stderr, "could not write %s\n", path.c_str());
      ok = false;
    }
  }

  // Each screen is left the way a player leaves it; a frame limit ends it anyway.
  void Round() {
    XMove(560, 560);  // a fixed pointer: over a board cell, clear of every button
    SetFrameScript([this](int f) {
      if (f == 200) Grab("menu");
      if (f >= 200) RequestClose();
    });
    Menu();

    MAP_X = MAP_Y = 10;
    SetFrameScript([this](int f) {
      if (f == 5) Grab("select");
      if (f == 5) XKey("Return");
      if (f > 100) RequestClose();
    });
    selectPuzzleImg();

    SeedRnd(20240601);
    MixPuzzle();
    bool done = false;
    SetFrameScript([this, &done](int f) {
      GameSecs = TIME;  // the round clock stays at 00:00:00
      if (f == 5) Grab("board");
      done = f >= 5;
    });
    while (!done && !BoardScreenPass()) {
    }
    ClearFrameScript();
  }
};

int Shoot(const std::string& dir) {
  std::filesystem::create_directories(dir);
  if (!OpenGameWindow(&MakeMotifs)) {
    std::fprintf(stderr, "no X display with OpenGL\n");
    return 2;
  }
  TShooter shooter{dir, ""};
  shooter.Round();
  GLDraw2DDriver()->SetBatching(false);
  shooter.suffix = "-unbatched";
  shooter.Round();
  GLDraw2DDriver()->SetBatching(true);
  return shooter.ok ? 0 : 1;
}

// Counts the pixels (all four channels) that differ; -1 when a picture is missing
// or the sizes differ.
long long Differences(const std::string& a, const std::string& b) {
  Ref<TPixmap> pa = ConvertPixmap(LoadPixmap(TUrl(a)), FormatRGBA8888);
  Ref<TPixmap> pb = ConvertPixmap(LoadPixmap(TUrl(b)), FormatRGBA8888);
  if (!pa || !pb || pa->width != pb->width || pa->height != pb->height) return -1;
  long long n = 0;
  for (int y = 0; y < pa->height; ++y)
    for (int x = 0; x < pa->width; ++x) n += ReadPixel(pa, x, y) != ReadPixel(pb, x, y);
  return n;
}

int Compare(const std::string& a, const std::string& b) {
  int status = 0;
  for (const char* suffix : {"", "-unbatched"}) {
    for (const char* shot : kShots) {
      const std::string name = std::string(shot) + suffix + ".png";
      const long long n = Differences(a + "/" + name, b + "/" + name);
      if (n < 0) std::printf("%-22s missing or of another size\n", name.c_str());
      else std::printf("%-22s %lld pixels differ\n", name.c_str(), n);
      if (n != 0) status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  PixmapLoaders();
  if (argc == 3 && std::strcmp(argv[1], "shoot") == 0) return Shoot(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "compare") == 0) return Compare(argv[2], argv[3]);
  std::fprintf(stderr, "usage: %s shoot DIR | compare DIR_A DIR_B\n", argv[0]);
  return 2;
}
