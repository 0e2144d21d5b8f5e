// The random player of tools/soak: starts the built game again and again in a
// scratch folder under its own Xvfb and plays it through XTest (clicks, drags,
// wheel, keys, the side buttons, the quit dialog and the menu) for a given time.
// Any end but a normal one (status 0), a stall, or a sanitizer report in the
// game's error output fails the run. Leans on Xlib, XTest and tests/game's
// private X server.
//
//   game_soak_player SECONDS GAME [SEED]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <thread>

#include "tests/support/private_x.h"
#include "soak_game.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using Clock = std::chrono::steady_clock;

namespace {

// What the player does, by weight; the ending moves are rare, since each start
// of a sanitizer build costs seconds.
// The way into a game is no random move: the player takes it after each start and
// whenever it has been off the board for a while.
enum TKind {
  kBoardClick, kAnyClick, kDrag, kWheel, kKey, kSideButton, kDialog, kMenu, kEnding, kIntoGame, kKinds
};
constexpr int kWeights[kKinds] = {28, 12, 8, 8, 18, 12, 6, 6, 2, 0};
constexpr const char* kKindNames[kKinds] = {
    "board clicks", "clicks", "drags", "wheel", "keys", "side buttons",
    "dialog", "menu and selection", "endings", "ways into a game"};

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

class TPlayer {
 public:
  TPlayer(Display* d, unsigned seed) : _d(d), _rng(seed) {}

  void UseWindow(Window w) {
    _window = w;
    XSetInputFocus(_d, w, RevertToPointerRoot, CurrentTime);
    XSync(_d, False);
  }

  // One random action; returns its kind.
  TKind Act() {
    const TKind kind = Pick();
    switch (kind) {
      case kBoardClick: Click(Rand(0, 589), Rand(0, 599), 1); break;
      case kAnyClick: Click(Rand(0, 799), Rand(0, 599), Rand(0, 9) == 0 ? Rand(2, 3) : 1); break;
      case kDrag: Drag(); break;
      case kWheel:
        for (int n = Rand(1, 3), b = Rand(4, 5); n > 0; --n) Click(Rand(0, 799), Rand(0, 599), b);
        break;
      case kKey: {
        static const KeySym keys[] = {XK_Tab,  XK_Return, XK_space, XK_Left, XK_Right, XK_Up, XK_Down, XK_f,
                                      XK_Home, XK_End,    XK_Prior, XK_Next, XK_l,     XK_n,  XK_q};
        Key(keys[Rand(0, static_cast<int>(std::size(keys)) - 1)]);
        break;
      }
      case kSideButton: Click(695, Pick({300, 410, 550}), 1); break;  // solve, new motif, quit dialog
      case kDialog: Click(Pick({410, 410, 620}), 350, 1); break;       // continue (twice as often), menu
      case kMenu: Menu(); break;
      case kEnding: Ending(); break;
      default: break;
    }
    XFlush(_d);
    return kind;
  }

  // From the menu into a game: start, a grid size on the slider, choose with Return.
  TKind IntoGame() {
    Click(400, 150, 1);
    Pause(400);
    if (Rand(0, 1)) Click(Rand(150, 650), 500, 1);
    Pause(200);
    Key(XK_Return);
    Pause(600);
    return kIntoGame;
  }

  void Pause(int ms) {
    XFlush(_d);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  void Key(KeySym sym) {
    const KeyCode code = XKeysymToKeycode(_d, sym);
    XTestFakeKeyEvent(_d, code, True, CurrentTime);
    XTestFakeKeyEvent(_d, code, False, CurrentTime);
    XFlush(_d);
  }

  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(_rng); }

  // True when the window shows the board screen: three points of the side panel,
  // off its texts and buttons, hold the panel's grey, which no other screen has there.
  bool OnBoard() {
    for (auto [x, y] : {std::pair{597, 470}, std::pair{597, 490}, std::pair{797, 240}}) {
      XImage* img = XGetImage(_d, _window, x, y, 1, 1, AllPlanes, ZPixmap);
      if (!img) return false;
      const unsigned long pixel = XGetPixel(img, 0, 0);
      XDestroyImage(img);
      if ((pixel & 0xFFFFFF) != 0x646464) return false;
    }
    return true;
  }

 private:
  TKind Pick() {
    std::discrete_distribution<int> d(std::begin(kWeights), std::end(kWeights));
    return static_cast<TKind>(d(_rng));
  }
  int Pick(std::initializer_list<int> v) { return *(v.begin() + Rand(0, static_cast<int>(v.size()) - 1)); }

  void MoveTo(int x, int y) {
    int rx = x, ry = y;
    Window child;
    XTranslateCoordinates(_d, _window, DefaultRootWindow(_d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(_d, DefaultScreen(_d), rx, ry, CurrentTime);
  }
  void Click(int x, int y, int button) {
    MoveTo(x, y);
    XTestFakeButtonEvent(_d, button, True, CurrentTime);
    XTestFakeButtonEvent(_d, button, False, CurrentTime);
  }
  void Drag() {
    int x = Rand(0, 799), y = Rand(0, 599);
    const int tx = Rand(0, 799), ty = Rand(0, 599), steps = Rand(2, 8);
    MoveTo(x, y);
    XTestFakeButtonEvent(_d, 1, True, CurrentTime);
    for (int i = 1; i <= steps; ++i) {
      XFlush(_d);
      std::this_thread::sleep_for(std::chrono::milliseconds(Rand(5, 30)));
      MoveTo(x + (tx - x) * i / steps, y + (ty - y) * i / steps);
    }
    XTestFakeButtonEvent(_d, 1, False, CurrentTime);
  }
  // The menu's start button or "Weiterspielen" (there after a saved game), the
  // selection's arrows, picture and slider.
  void Menu() {
    switch (Rand(0, 4)) {
      case 0: Click(400, Pick({150, 300}), 1); break;
      case 1: Click(Pick({70, 730}), 473, 1); break;
      case 2: Click(Rand(150, 650), Rand(20, 470), 1); break;
      default: Click(Rand(150, 650), 500, 1); break;
    }
  }
  // Escape, "Raus hier" in the menu or "Ja, aufhören!" in the quit dialog.
  void Ending() {
    switch (Rand(0, 2)) {
      case 0: Key(XK_Escape); break;
      case 1: Click(400, 450, 1); break;
      default: Click(200, 350, 1); break;
    }
  }

  Display* _d;
  std::mt19937 _rng;
  Window _window = 0;
};

struct TFigures {
  long actions = 0;
  long by_kind[kKinds] = {};
  int starts = 0;
  int normal_ends = 0;
  int looks = 0;           // samples of the screen
  int looks_on_board = 0;  // of them, on the board screen
};

void PrintFigures(const TFigures& f, double seconds) {
  std::printf("soak: %.0f s, %ld actions (", seconds, f.actions);
  for (int k = 0; k < kKinds; ++k) std::printf("%s%s %ld", k ? ", " : "", kKindNames[k], f.by_kind[k]);
  std::printf("), %d starts, %d normal ends; board screen in %d of %d looks\n", f.starts, f.normal_ends,
              f.looks_on_board, f.looks);
  std::fflush(stdout);
}

bool CountEnd(TSoakGame& game, TFigures& f) {
  if (!game.EndedNormally()) return false;
  ++f.normal_ends;
  return true;
}

// Plays one run of the game until it ends or `until`; false on a failure.
bool PlayOneRun(TSoakGame& game, TPlayer& player, Display* d, Clock::time_point until, TFigures& f) {
  if (!game.Start()) return false;
  ++f.starts;
  const Window w = game.WaitForWindow(d);
  if (!w) return false;
  player.UseWindow(w);
  ++f.by_kind[player.IntoGame()];
  ++f.actions;
  int off_board = 0;
  while (Clock::now() < until) {
    if (game.Ended()) return CountEnd(game, f);
    if (!game.Progressing()) return false;
    bool into_game = false;
    if (f.actions % 10 == 0) {
      const bool on_board = player.OnBoard();
      ++f.looks;
      f.looks_on_board += on_board;
      // Most of the play belongs on the board: after a while elsewhere, go back in.
      off_board = on_board ? 0 : off_board + 1;
      into_game = off_board > 1;
    }
    ++f.by_kind[into_game ? player.IntoGame() : player.Act()];
    ++f.actions;
    std::this_thread::sleep_for(std::chrono::milliseconds(player.Rand(10, 120)));
  }
  // Time is up: Escape leads from any screen to the program's end.
  for (int i = 0; i < 40 && !game.Ended(); ++i) {
    player.Key(XK_Escape);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  if (!game.Ended()) return game.Fail("did not end on Escape");
  return CountEnd(game, f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SECONDS GAME [SEED]\n", argv[0]);
    return 2;
  }
  const double seconds = std::atof(argv[1]);
  const unsigned seed = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10))
                                 : static_cast<unsigned>(std::random_device{}());
  std::printf("soak: seed %u, %.0f s of %s\n", seed, seconds, argv[2]);
  std::fflush(stdout);
  if (!UsePrivateXServer()) {
    std::fprintf(stderr, "soak: Xvfb did not start\n");
    return 1;
  }
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  XSetErrorHandler(&IgnoreXErrors);  // the game's window may go at any moment
  TSoakGame game(argv[2]);
  TPlayer player(d, seed);
  TFigures figures;
  const auto start = Clock::now();
  const auto until = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  bool ok = true;
  while (ok && Clock::now() < until) ok = PlayOneRun(game, player, d, until, figures);
  PrintFigures(figures, std::chrono::duration<double>(Clock::now() - start).count());
  if (!ok) {
    game.Report();
    std::printf("soak: FAILED (seed %u)\n", seed);
    return 1;
  }
  game.CleanUp();
  std::printf("soak: passed\n");
  return 0;
}
