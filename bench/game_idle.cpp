// The built game as a player runs it, under the X server of $DISPLAY (xvfb-run,
// software OpenGL): processor time (utime + stime of the game's process) and frames
// that reached the window (X damage reports) over a stretch without input on the
// menu, the motif selection and boards of 4 x 4, 12 x 12 and 32 x 32 tiles; then on
// the 12 x 12 board while the pointer moves and while tiles are swapped.
//
//   bench_game_idle [GAME [SECONDS]]   GAME defaults to the Tessolino built beside it
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <thread>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

Display* g_d = nullptr;
int g_damage_event = 0;

double CpuSeconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), {});
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

Window FindWindow(Window w, const char* name) {
  char* got = nullptr;
  if (XFetchName(g_d, w, &got) && got) {
    const bool match = std::string(got) == name;
    XFree(got);
    XWindowAttributes a;
    if (match && XGetWindowAttributes(g_d, w, &a) && a.map_state == IsViewable && a.width >= 800) return w;
  }
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(g_d, w, &root, &parent, &kids, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) found = FindWindow(kids[i], name);
  if (kids) XFree(kids);
  return found;
}

struct TGame {
  pid_t pid = -1;
  Window window = 0;
  int x = 0, y = 0;  // the window's place on the screen

  void Move(int gx, int gy) {
    XTestFakeMotionEvent(g_d, -1, x + gx, y + gy, 0);
    XSync(g_d, False);
  }
  void Click(int gx, int gy) {
    Move(gx, gy);
    XTestFakeButtonEvent(g_d, 1, True, 0);
    XTestFakeButtonEvent(g_d, 1, False, 0);
    XSync(g_d, False);
  }
  void Key(const char* name) {
    const KeyCode code = XKeysymToKeycode(g_d, XStringToKeysym(name));
    XTestFakeKeyEvent(g_d, code, True, 0);
    XTestFakeKeyEvent(g_d, code, False, 0);
    XSync(g_d, False);
  }
  // Ends the game and waits until its window is gone, so the next start finds its own.
  void Stop() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    pid = -1;
    for (int i = 0; i < 200 && FindWindow(DefaultRootWindow(g_d), "Tessolino"); ++i) std::this_thread::sleep_for(10ms);
  }
};

bool Start(TGame& game, const fs::path& dir) {
  game.pid = fork();
  if (game.pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    // Boards left unsolved are saved on exit: into the bench's folder, never the player's.
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    execl("./Tessolino", "Tessolino", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 1500 && !game.window; ++i) {
    std::this_thread::sleep_for(20ms);
    game.window = FindWindow(DefaultRootWindow(g_d), "Tessolino");
  }
  if (!game.window) return false;
  Window child;
  XTranslateCoordinates(g_d, game.window, DefaultRootWindow(g_d), 0, 0, &game.x, &game.y, &child);
  std::this_thread::sleep_for(1000ms);
  return true;
}

// Runs `during` every 10 ms for the given time and prints the game's processor
// share and the frames that reached its window.
void Measure(const TGame& game, const char* what, double seconds, const std::function<void(int)>& during) {
  Damage damage = XDamageCreate(g_d, game.window, XDamageReportRawRectangles);
  XSync(g_d, False);
  while (XPending(g_d)) {
    XEvent ev;
    XNextEvent(g_d, &ev);
  }
  const double cpu0 = CpuSeconds(game.pid);
  const auto t0 = std::chrono::steady_clock::now();
  int frames = 0, step = 0;
  // Damage reports of one swap arrive together: reports more than 3 ms apart are
  // counted as frames.
  auto last = t0 - 1s;
  for (;;) {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (t >= seconds) break;
    if (during) during(step++);
    const auto until = std::chrono::steady_clock::now() + 10ms;
    while (std::chrono::steady_clock::now() < until) {
      while (XPending(g_d)) {
        XEvent ev;
        XNextEvent(g_d, &ev);
        if (ev.type != g_damage_event + XDamageNotify) continue;
        const auto now = std::chrono::steady_clock::now();
        if (now - last > 3ms) ++frames;
        last = now;
      }
      std::this_thread::sleep_for(1ms);
    }
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = CpuSeconds(game.pid) - cpu0;
  XDamageDestroy(g_d, damage);
  std::printf("%-34s %5.1f %% of a core, %5.1f frames/s drawn\n", what, cpu / wall * 100.0, frames / wall);
  std::fflush(stdout);
}

// Holds the slider's button from its left end to the column of n tiles.
void ChooseGrid(TGame& game, int n) {
  const int x = 144 + 15 * n + 7;
  game.Move(160, 495);
  XTestFakeButtonEvent(g_d, 1, True, 0);
  XSync(g_d, False);
  std::this_thread::sleep_for(100ms);
  game.Move(x, 495);
  std::this_thread::sleep_for(100ms);
  XTestFakeButtonEvent(g_d, 1, False, 0);
  XSync(g_d, False);
  std::this_thread::sleep_for(100ms);
  game.Move(400, 300);
  game.Key("Return");
  std::this_thread::sleep_for(500ms);
  game.Move(575, 300);  // beside the board, clear of the buttons
  std::this_thread::sleep_for(300ms);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string game_path = argc > 1 ? argv[1] : TESSOLINO_PATH;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  g_d = XOpenDisplay(nullptr);
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // windows of a game that ended
  int error = 0;
  if (!g_d || !XDamageQueryExtension(g_d, &g_damage_event, &error)) {
    std::fprintf(stderr, "bench_game_idle needs an X display with the DAMAGE extension (xvfb-run)\n");
    return 1;
  }
  PixmapLoaders();
  const fs::path dir = fs::temp_directory_path() / ("tess_bench_idle_" + std::to_string(getpid()));
  fs::create_directories(dir / "Motives");
  fs::copy_file(game_path, dir / "Tessolino");
  for (int i = 0; i < 3; ++i) {
    Ref<TPixmap> motif = CreatePixmap(512, 512, FormatRGB888);
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x) WritePixel(motif, x, y, int(0xFF000000u | (x / 2 + i * 80) << 16 | (y / 2) << 8 | ((x ^ y) & 255)));
    SavePixmapPNG(motif, TUrl((dir / "Motives" / ("Puzzle" + std::to_string(i) + ".png")).string()));
  }
  std::printf("%s, %.0f s each\n", game_path.c_str(), seconds);
  for (int n : {4, 12, 32}) {
    TGame game;
    if (!Start(game, dir)) {
      std::fprintf(stderr, "the game window did not appear\n");
      return 1;
    }
    game.Move(700, 300);
    if (n == 4) Measure(game, "menu (credits scrolling)", seconds, nullptr);
    game.Click(400, 150);
    std::this_thread::sleep_for(500ms);
    if (n == 4) Measure(game, "motif selection", seconds, nullptr);
    ChooseGrid(game, n);
    const std::string board = "board " + std::to_string(n) + " x " + std::to_string(n);
    Measure(game, (board + ", no input").c_str(), seconds, nullptr);
    if (n == 12) {
      Measure(game, (board + ", pointer moving").c_str(), seconds, [&](int step) {
        const double a = step * 0.05;
        game.Move(int(280 + 200 * std::cos(a)), int(280 + 200 * std::sin(a)));
      });
      // A pick-up and a drop every 400 ms: a swap is animated 360 ms of each.
      Measure(game, (board + ", swapping").c_str(), seconds, [&](int step) {
        if (step % 40 == 0) game.Click(step % 80 ? 90 : 45, 45);
        if (step % 40 == 5) game.Click(step % 80 ? 45 : 90, 45);
      });
    }
    game.Stop();
  }
  fs::remove_all(dir);
  XCloseDisplay(g_d);
  return 0;
}
