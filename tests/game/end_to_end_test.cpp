// The built program as a player starts it: a temporary copy with its own Motives/
// folder under the test's X server, driven by xdotool and checked by screenshots
// at known pixels and by its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>

#include "game/board_save.h"
#include "game/save_file.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/private_x.h"
#include "tests/support/env.h"
#include "tests/support/limited_child.h"
#include "tests/support/motif_writers.h"
#include "tests/support/temp_dir.h"

// Xlib last: its macros clash with the test framework.
#include <X11/Xlib.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen((cmd + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  ::pclose(p);
  return out;
}

bool Have(const char* tool) { return !Shell(std::string("command -v ") + tool).empty(); }

// 16 flat blocks of 128 x 128, one colour each, so a 4 x 4 board has one colour a tile.
int BlockColour(int bx, int by) {
  return static_cast<int>(0xFF000000u | (40 + bx * 60) << 16 | (40 + by * 60) << 8 | (200 - bx * 20 - by * 20));
}

Ref<TPixmap> Blocks(int w, int h) {
  Ref<TPixmap> p = CreatePixmap(w, h, FormatRGB888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) WritePixel(p, x, y, BlockColour(x * 4 / w, y * 4 / h));
  return p;
}

std::string Bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

class Program : public ::testing::Test {
 public:
  TempDir tmp;
  pid_t pid = -1;
  std::string window;
  const char* scale = nullptr;  // TESSOLINO_SCALE for the next start

  void SetUp() override {
    // Room for a window at twice the size, as on a 4K desktop.
    ::setenv("TESS_X_SCREEN", "3840x2160x24", 0);
    UsePrivateXServer();
    TESS_REQUIRE_DISPLAY();
    if (!Have("xdotool") || !Have("import")) GTEST_SKIP() << "xdotool and ImageMagick's import are needed";
    fs::copy_file(TESSOLINO_PATH, tmp.path() / "Tessolino");
    fs::create_directories(tmp.path() / "Motives");
    ASSERT_EQ(SavePixmapPNG(Blocks(300, 300), TUrl((tmp.path() / "Motives/beach.png").string())), 1);
    ASSERT_EQ(SavePixmapPNG(Blocks(400, 300), TUrl((tmp.path() / "Motives/Puzzle1.png").string())), 1);
    Backdate(tmp.path() / "Motives");  // put there earlier, not still being copied
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // Starts the program and waits for its window of the given size: the game
  // window, or "480x320" for the first one. `in_child` runs in the child first.
  void Start(const std::string& size = "800x600", const std::function<void()>& in_child = nullptr) {
    window.clear();
    pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (in_child) in_child();
      if (::chdir(tmp.str().c_str()) != 0) ::_exit(126);
      ::setenv("XDG_STATE_HOME", (tmp.path() / "state").c_str(), 1);  // never the tester's own save
      const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      if (scale) ::setenv("TESSOLINO_SCALE", scale, 1);
      ::execl("./Tessolino", "Tessolino", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 1000 && window.empty(); ++i) {
      std::this_thread::sleep_for(20ms);
      std::string ids = Shell("xdotool search --name '^Tessolino$'");
      size_t at = 0;
      while (at < ids.size()) {
        const size_t nl = ids.find('\n', at);
        const std::string id = ids.substr(at, nl - at);
        at = nl == std::string::npos ? ids.size() : nl + 1;
        if (!id.empty() && Shell("xdotool getwindowgeometry " + id).find(size) != std::string::npos)
          window = id;
      }
    }
    ASSERT_FALSE(window.empty()) << "no " << size << " window appeared";
    // Keys go to the window even where the pointer is not over it (a large screen
    // without a window manager sends them to the window under the pointer).
    Shell("xdotool windowfocus " + window);
    if (size != "480x320") std::this_thread::sleep_for(700ms);  // the menu's first frames
  }
  // From the motif selection: Escape goes back to the menu, the second one ends.
  void Stop() {
    Key("Escape");
    Key("Escape");
    EXPECT_EQ(ExitStatus(3000ms), 0);
    window.clear();
  }

  void Click(int x, int y) {
    Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
        " click 1");
    std::this_thread::sleep_for(400ms);
  }
  void Key(const std::string& key) {
    Shell("xdotool key " + key);
    std::this_thread::sleep_for(400ms);
  }
  Ref<TPixmap> Shot() {
    const std::string file = (tmp.path() / "shot.png").string();
    Shell("import -window " + window + " " + file);
    return ConvertPixmap(LoadPixmap(TUrl(file)), FormatRGB888);
  }
  // One pixel of the window (RGB); 0 when it could not be read.
  uint32_t PixelAt(int x, int y) {
    const std::string file = (tmp.path() / "pixel.png").string();
    Shell("import -window " + window + " -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) + " " + file);
    Ref<TPixmap> p = ConvertPixmap(LoadPixmap(TUrl(file)), FormatRGB888);
    return p ? static_cast<uint32_t>(ReadPixel(p, 0, 0)) & 0xFFFFFF : 0;
  }
  // Waits for the exit; -1 when it did not end within the time.
  int ExitStatus(std::chrono::milliseconds within) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }
  std::string Stderr() { return Bytes(tmp.path() / "stderr.txt"); }
  // What a window manager sends when the close button is pressed.
  void PressCloseButton() {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = std::stoul(window);
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, ev.xclient.window, False, NoEventMask, &ev);
    XCloseDisplay(d);
    std::this_thread::sleep_for(300ms);
  }
};

uint32_t Rgb(const Ref<TPixmap>& p, int x, int y) { return static_cast<uint32_t>(ReadPixel(p, x, y)) & 0xFFFFFF; }

bool Near(uint32_t a, uint32_t b, int tol) {
  for (int s = 0; s < 24; s += 8)
    if (std::abs(static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255)) > tol) return false;
  return true;
}

TEST_F(Program, StartsNormalisesShowsTheBoardAndEndsOnEscape) {
  const std::string puzzle1 = Bytes(tmp.path() / "Motives/Puzzle1.png");
  Start();
  Click(400, 150);  // "Spiel starten"
  Key("Return");    // the first motif, 12 x 12
  std::this_thread::sleep_for(500ms);
  Ref<TPixmap> shot = Shot();
  ASSERT_TRUE(shot);
  ASSERT_EQ(PixmapWidth(shot), 800);
  EXPECT_EQ(Rgb(shot, 592, 480), 0x646464u) << "side panel";
  EXPECT_EQ(Rgb(shot, 575, 300), 0x323232u) << "clear colour right of the board";
  EXPECT_NE(Rgb(shot, 650, 60), 0x646464u) << "the motif preview";
  Shell("xdotool mousemove --window " + window + " 300 300");
  Key("Escape");
  EXPECT_EQ(ExitStatus(3000ms), 0);
  EXPECT_EQ(Stderr(), "");
  // The folder was normalised: beach.png is now a 512 x 512 JPEG under its old name.
  Ref<TPixmap> beach = LoadPixmapJPeg(TUrl((tmp.path() / "Motives/beach.png").string()));
  EXPECT_EQ(PixmapWidth(beach), 512);
  EXPECT_EQ(PixmapHeight(beach), 512);
  EXPECT_EQ(Bytes(tmp.path() / "Motives/Puzzle1.png"), puzzle1);
}

TEST_F(Program, SolveShowsTheTilesInOrderAndTheQuitDialogAnswers) {
  Start();
  Click(400, 150);  // "Spiel starten"
  Key("Right");     // step the carousel
  // The slider follows the held button: 4 x 4.
  Shell("xdotool mousemove --window " + window + " 200 500 mousedown 1 sleep 0.3 mouseup 1");
  std::this_thread::sleep_for(200ms);
  Click(400, 200);  // choose the big picture
  std::this_thread::sleep_for(300ms);
  Click(700, 300);  // "Auflösen"
  std::this_thread::sleep_for(300ms);
  Ref<TPixmap> shot = Shot();
  ASSERT_TRUE(shot);
  if (getenv("KEEP_SHOT")) Shell("cp " + (tmp.path() / "shot.png").string() + " /tmp/e2e_shot.png");
  // A 4 x 4 board: origin (35.5, 33), pitch 131; each tile shows its own block.
  const bool puzzle1 = Near(Rgb(shot, 35 + 64, 33 + 64), static_cast<uint32_t>(BlockColour(0, 0)), 24);
  for (int bx = 0; bx < 4; ++bx)
    for (int by = 0; by < 4; ++by) {
      const int sx = 36 + bx * 131 + 64, sy = 33 + by * 131 + 64;
      // The 400 x 300 Puzzle1.png keeps its size: its blocks are 100 x 75 there.
      const int mx = bx * 128 + 64, my = by * 128 + 64;
      const int want = puzzle1 ? BlockColour(mx * 4 / 512, my * 4 / 512)
                               : BlockColour(mx * 4 / 400 > 3 ? 3 : mx * 4 / 400, my * 4 / 300 > 3 ? 3 : my * 4 / 300);
      if (!puzzle1 && (mx >= 400 || my >= 300)) continue;  // beyond that motif's edge
      EXPECT_TRUE(Near(Rgb(shot, sx, sy), static_cast<uint32_t>(want), 24))
          << "tile " << bx << "," << by << " shows " << std::hex << Rgb(shot, sx, sy);
    }
  Click(700, 550);  // "Beenden"
  Click(410, 350);  // "Nee, weiter!"
  std::this_thread::sleep_for(300ms);
  shot = Shot();
  EXPECT_EQ(Rgb(shot, 592, 480), 0x646464u) << "back on the board screen";
  Click(700, 550);  // "Beenden"
  Click(200, 350);  // "Ja, aufhören!"
  EXPECT_EQ(ExitStatus(3000ms), 0);
  EXPECT_EQ(Stderr(), "");
}

// The motif selection as the player sees it after a click at window pixel
// (400 x, 150 x) in the menu, x the window's scale, with the pointer beside the arrows.
Ref<TPixmap> SelectionAfterClick(Program& p, int x) {
  p.Click(400 * x, 150 * x);
  Shell("xdotool mousemove --window " + p.window + " " + std::to_string(750 * x) + " " + std::to_string(300 * x));
  std::this_thread::sleep_for(300ms);
  return p.Shot();
}

// Each x x x block of a picture averaged into one pixel.
Ref<TPixmap> BoxDown(const Ref<TPixmap>& p, int x) {
  Ref<TPixmap> out = CreatePixmap(PixmapWidth(p) / x, PixmapHeight(p) / x, FormatRGB888);
  for (int y = 0; y < PixmapHeight(out); ++y)
    for (int c = 0; c < PixmapWidth(out); ++c) {
      int sum[3] = {};
      for (int dy = 0; dy < x; ++dy)
        for (int dx = 0; dx < x; ++dx)
          for (int s = 0; s < 3; ++s) sum[s] += (ReadPixel(p, c * x + dx, y * x + dy) >> (8 * s)) & 255;
      WritePixel(out, c, y, int(0xFF000000u | (sum[2] / (x * x)) << 16 | (sum[1] / (x * x)) << 8 | sum[0] / (x * x)));
    }
  return out;
}

TEST_F(Program, OnADesktopScaledTwiceTheWindowIsTwiceAsLargeAndShowsTheSameScreen) {
  ASSERT_TRUE(MergeXResources("Xft.dpi: 192\n"));
  scale = "1";  // the variable overrides the desktop
  Start("800x600");
  Ref<TPixmap> today = SelectionAfterClick(*this, 1);
  Stop();
  scale = nullptr;
  Start("1600x1200");
  Ref<TPixmap> twice = SelectionAfterClick(*this, 2);  // (800, 300) is (400, 150) in the game
  Stop();
  MergeXResources("Xft.dpi: 96\n");
  ASSERT_TRUE(today && twice);
  ASSERT_EQ(PixmapWidth(twice), 1600);
  Ref<TPixmap> down = BoxDown(twice, 2);
  // The pictures are magnified, the texts drawn sharper: the mean stays close and
  // the selection's picture matches closely (nearest to the menu, it would differ).
  long long total = 0, picture = 0, picture_pixels = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x) {
      const uint32_t a = Rgb(today, x, y), b = Rgb(down, x, y);
      int d = 0;
      for (int s = 0; s < 24; s += 8) d += std::abs(int((a >> s) & 255) - int((b >> s) & 255));
      total += d;
      if (x >= 150 && x < 650 && y >= 20 && y < 440) {
        picture += d;
        ++picture_pixels;
      }
    }
  const double mean = double(total) / (800.0 * 600.0 * 3.0), picture_mean = double(picture) / (picture_pixels * 3.0);
  std::printf("mean difference %.2f, over the motif %.2f (of 255)\n", mean, picture_mean);
  EXPECT_LT(mean, 3.0);
  EXPECT_LT(picture_mean, 3.0);
}

// The window's size as X has it, "WxH".
std::string Geometry(const std::string& window) {
  const std::string out = Shell("xdotool getwindowgeometry " + window);
  const size_t at = out.find("Geometry: ");
  return at == std::string::npos ? "" : out.substr(at + 10, out.find('\n', at) - at - 10);
}

// Polls `done` until it holds, for at most ten seconds (a loaded machine).
bool Eventually(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

std::string WaitForGeometry(const std::string& window, const std::string& want) {
  Eventually([&] { return Geometry(window) == want; });
  return Geometry(window);
}

TEST_F(Program, F11GoesFullScreenThroughTheWindowManagerAndBack) {
  if (!Have("openbox") || !Have("xprop")) GTEST_SKIP() << "openbox is needed as the window manager, xprop to see it";
  const pid_t wm = ::fork();
  ASSERT_GE(wm, 0);
  if (wm == 0) {
    ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Each step waits for what the next relies on: keys reach the focused window, and
  // a request for full screen made before the window manager runs is lost.
  ASSERT_TRUE(Eventually([] { return Shell("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
      << "the window manager did not start";
  Start();
  const uint32_t menu_grey = 0x323232;  // the menu's background, drawn once F11 is heard
  ASSERT_TRUE(Eventually([&] {
    return std::stoul("0" + Shell("xdotool getwindowfocus")) == std::stoul(window) && PixelAt(10, 300) == menu_grey;
  })) << "the menu never had the focus";
  Key("F11");
  ASSERT_EQ(WaitForGeometry(window, "3840x2160"), "3840x2160");
  // 800 x 600 fitted into 3840 x 2160: 3.6 pixels a unit, from x = 480, bars beside.
  ASSERT_TRUE(Eventually([&] { return PixelAt(480 + 36, 1080) == menu_grey; })) << "the menu was not fitted in";
  Click(480 + int(400 * 3.6), int(150 * 3.6));  // "Spiel starten"
  const int arrow_x = 480 + int(60 * 3.6), arrow_y = int(475 * 3.6);
  ASSERT_TRUE(Eventually([&] { return PixelAt(arrow_x, arrow_y) != menu_grey; })) << "no motif selection";
  Key("Return");  // the first motif
  const int panel_x = 480 + int(592 * 3.6), panel_y = int(480 * 3.6);
  EXPECT_TRUE(Eventually([&] { return PixelAt(panel_x, panel_y) == 0x646464u; })) << "the board's side panel";
  EXPECT_EQ(PixelAt(200, 1000), 0u) << "bar";
  Key("F11");
  EXPECT_EQ(WaitForGeometry(window, "800x600"), "800x600");
  Key("Escape");
  EXPECT_EQ(ExitStatus(3000ms), 0);
  ::kill(wm, SIGTERM);
  ::waitpid(wm, nullptr, 0);
}

TEST_F(Program, EscapeInTheMenuEndsAtOnce) {
  Start();
  Shell("xdotool mousemove --window " + window + " 100 300");
  Key("Escape");
  EXPECT_EQ(ExitStatus(2000ms), 0);
  EXPECT_EQ(Stderr(), "");
}

TEST_F(Program, TheCloseButtonEndsTheProgramWhereverItIsPressed) {
  Start();
  PressCloseButton();  // the first menu returns without a game: nothing to play
  EXPECT_EQ(ExitStatus(2000ms), 0);
  EXPECT_EQ(Stderr(), "");

  window.clear();
  Start();
  Click(400, 150);
  Key("Return");
  PressCloseButton();  // on the board screen
  EXPECT_EQ(ExitStatus(2000ms), 0);
  EXPECT_EQ(Stderr(), "");
}

TEST_F(Program, TheCloseButtonDuringPreparationEndsWithTheFolderWhole) {
  // Big pictures that take a while: PNGs cannot be decoded at a reduced scale.
  const fs::path big = tmp.path() / "big.png";
  ASSERT_EQ(SavePixmapPNG(Blocks(3000, 2000), TUrl(big.string())), 1);
  const std::string original = Bytes(big);
  constexpr int kCopies = 40;
  for (int i = 0; i < kCopies; ++i) fs::copy_file(big, tmp.path() / "Motives" / ("photo" + std::to_string(i) + ".png"));
  Backdate(tmp.path() / "Motives");
  Start("480x320");
  // Close once the first picture has been rewritten.
  auto rewritten = [&] {
    int n = 0;
    for (int i = 0; i < kCopies; ++i)
      n += fs::file_size(tmp.path() / "Motives" / ("photo" + std::to_string(i) + ".png")) != original.size();
    return n;
  };
  for (int i = 0; i < 1000 && rewritten() == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_GT(rewritten(), 0) << "the folder pass never began";
  PressCloseButton();
  EXPECT_EQ(ExitStatus(10000ms), 0);
  EXPECT_EQ(Stderr(), "");
  int kept = 0, done = 0;
  for (const auto& e : fs::directory_iterator(tmp.path() / "Motives")) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.find(".tessolino-"), std::string::npos) << "a temporary file stayed: " << name;
    if (name.rfind("photo", 0) != 0) continue;
    if (Bytes(e.path()) == original) {
      ++kept;
      continue;
    }
    ++done;
    Ref<TPixmap> p = LoadPixmapJPeg(TUrl(e.path().string()));
    EXPECT_EQ(PixmapWidth(p), 512) << name << " is whole";
    EXPECT_EQ(PixmapHeight(p), 512) << name;
  }
  EXPECT_EQ(kept + done, kCopies);
  EXPECT_GT(kept, 0) << "the pass stopped before the end";
}

// A player puts a new picture under the name of one the game is rewriting, just as
// the rewrite is flushed to disk (a preloaded fsync does it): renamed over it, and
// at the next start copied into it as cp does (the same bytes again: only the
// file's time changes). The new picture stays byte for byte, the rewrite is dropped
// and leaves no temporary file.
TEST_F(Program, APictureReplacedWhileItIsRewrittenKeepsTheNewContent) {
  const fs::path motives = tmp.path() / "Motives", replacement = tmp.path() / "new.png";
  const std::string beach = (motives / "beach.png").string();  // the one picture rewritten
  for (const char* by : {"rename", "copy"}) {
    ASSERT_EQ(SavePixmapPNG(Blocks(700, 500), TUrl(replacement.string())), 1);
    Backdate(replacement);  // a whole picture, not one still arriving
    const std::string fresh = Bytes(replacement);
    Start("800x600", [&] {
      ::setenv("LD_PRELOAD", SWAP_PRELOAD_PATH, 1);
      ::setenv("TESS_SWAP_NEW", replacement.c_str(), 1);
      ::setenv("TESS_SWAP_MOTIF", beach.c_str(), 1);
      ::setenv("TESS_SWAP_BY", by, 1);
      // A sanitizer runtime linked as a library wants to be loaded first; the
      // preloaded one needs nothing of it (the clang build has it in the program).
      const char* asan = std::getenv("ASAN_OPTIONS");
      ::setenv("ASAN_OPTIONS", ((asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0").c_str(), 1);
    });
    Key("Escape");
    EXPECT_EQ(ExitStatus(3000ms), 0) << by;
    EXPECT_EQ(Stderr(), "") << by;
    EXPECT_TRUE(Bytes(beach) == fresh) << by << ": the rewrite went over the new picture";
    EXPECT_EQ(std::distance(fs::directory_iterator(motives), fs::directory_iterator()), 2)
        << by << ": a temporary file stayed";
  }
}

TEST_F(Program, AnEmptyFolderKeepsTheMenuUsable) {
  fs::remove_all(tmp.path() / "Motives");
  fs::create_directories(tmp.path() / "Motives");
  Start();
  Click(400, 150);  // "Spiel starten": nothing to start
  Ref<TPixmap> shot = Shot();
  ASSERT_TRUE(shot);
  EXPECT_EQ(ExitStatus(10ms), -1) << "still running";
  Key("Escape");  // still the menu: Escape ends the program
  EXPECT_EQ(ExitStatus(2000ms), 0);
  EXPECT_EQ(Stderr(), "");
}

// Every pixel its own colour, 512 x 512 and named "Puzzle...": the folder pass
// keeps the file as it is, so its save stays valid from one start to the next.
Ref<TPixmap> Distinct() {
  Ref<TPixmap> p = CreatePixmap(512, 512, FormatRGB888);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x)
      WritePixel(p, x, y, static_cast<int>(0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | ((x >> 8) * 100 + (y >> 8) * 50 + 40)));
  return p;
}

// A 12 x 12 board: origin (23.5, 21), pitch 45, tile 42.
int CellX(int x) { return 24 + 45 * x + 21; }
int CellY(int y) { return 21 + 45 * y + 21; }

class ResumedProgram : public Program {
 protected:
  std::string state = (tmp.path() / "state/tessolino").string();

  void SetUp() override {
    Program::SetUp();
    if (IsSkipped()) return;
    fs::remove(tmp.path() / "Motives/beach.png");
    fs::remove(tmp.path() / "Motives/Puzzle1.png");
    ASSERT_EQ(SavePixmapPNG(Distinct(), TUrl((tmp.path() / "Motives/PuzzleResume.png").string())), 1);
  }

  void Swap(int x1, int y1, int x2, int y2) {
    Click(CellX(x1), CellY(y1));
    Click(CellX(x2), CellY(y2));  // and the 360 ms of the animation
  }
  // The swaps the save on the disk counts, once it counts `n` (-1 when it never does).
  int SavedSwaps(int n) {
    int swaps = -1;
    for (int i = 0; i < 150 && swaps != n; ++i) {
      std::vector<unsigned char> bytes;
      TBoardSave s;
      if (ReadSaveFile(state, bytes) && DecodeBoardSave(bytes.data(), bytes.size(), s)) swaps = s.swaps;
      if (swaps != n) std::this_thread::sleep_for(20ms);
    }
    return swaps;
  }
  // The window with the pointer parked over the preview, where it lights nothing up.
  Ref<TPixmap> BoardShot() {
    Shell("xdotool mousemove --window " + window + " 700 150");
    std::this_thread::sleep_for(300ms);
    return Shot();
  }
  // The blank button image behind "Weiterspielen" covers its area; without it the
  // clear colour shows there (credits pass only now and then).
  bool ResumeButtonShown(const Ref<TPixmap>& shot) {
    int clear = 0;
    for (int y = 260; y < 340; y += 4)
      for (int x = 310; x < 490; x += 4) clear += Rgb(shot, x, y) == 0x323232u;
    return clear < 100;  // of 900
  }
  // Starts the game again and chooses "Weiterspielen".
  void Resumed() {
    window.clear();
    Start();
    ASSERT_TRUE(ResumeButtonShown(Shot())) << "no \"Weiterspielen\" in the menu";
    Click(400, 300);
    std::this_thread::sleep_for(300ms);
  }
  // Pixels that differ, all but the round clock right-aligned at x 590 below y 575.
  static int Differences(const Ref<TPixmap>& a, const Ref<TPixmap>& b) {
    int n = 0;
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x)
        if (!(y >= 575 && x >= 480 && x < 590)) n += Rgb(a, x, y) != Rgb(b, x, y);
    return n;
  }
};

TEST_F(ResumedProgram, TheBoardComesBackAfterAKillEscapeTheCloseButtonAndATerminationSignal) {
  Start();
  EXPECT_FALSE(ResumeButtonShown(Shot())) << "no save yet: two buttons";
  Click(400, 150);  // "Spiel starten"
  Key("Return");    // the one motif at 12 x 12
  for (int i = 0; i < 3; ++i) Key("Tab");  // "Schwer": every tile may be taken
  Swap(0, 0, 5, 5);
  Swap(1, 0, 6, 7);
  Swap(11, 11, 2, 3);
  ASSERT_EQ(SavedSwaps(3), 3) << "the last swap did not reach the disk";
  Ref<TPixmap> before = BoardShot();
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
  Resumed();
  EXPECT_EQ(Differences(before, BoardShot()), 0) << "after SIGKILL";

  // Each way out saves the board as it stands, the help level changed after its
  // last swap included.
  const std::function<void()> ends[] = {[&] { Key("Escape"); }, [&] { PressCloseButton(); },
                                        [&] { ::kill(pid, SIGTERM); }};
  const char* names[] = {"Escape", "the close button", "SIGTERM"};
  for (int i = 0; i < 3; ++i) {
    Swap(i, 4, 7, 2 + i);
    Key("Tab");
    before = BoardShot();
    ends[i]();
    ASSERT_EQ(ExitStatus(5000ms), 0) << names[i];
    EXPECT_EQ(Stderr(), "") << names[i];
    EXPECT_EQ(SavedSwaps(4 + i), 4 + i) << names[i];
    Resumed();
    EXPECT_EQ(Differences(before, BoardShot()), 0) << "after " << names[i];
  }
  // Nothing beside the pictures; nothing left over beside the save.
  for (const auto& e : fs::directory_iterator(tmp.path() / "Motives"))
    EXPECT_EQ(e.path().filename(), "PuzzleResume.png");
  for (const auto& e : fs::directory_iterator(state)) EXPECT_EQ(e.path().filename(), "board.save");
}

// A player's folder of photos from elsewhere (the desktop's wallpapers), a logo
// with transparency, a file marked read-only and a photo still being copied when
// the game starts; then five more starts.
TEST_F(Program, APlayersFolderIsPreparedOnceAndNeverWornDown) {
  const fs::path wallpapers = "/usr/share/backgrounds/mate/nature";
  if (!fs::exists(wallpapers / "Garden.jpg")) GTEST_SKIP() << "needs the mate-backgrounds package";
  const fs::path motives = tmp.path() / "Motives";
  for (const char* name : {"Aqua.jpg", "Dune.jpg", "LadyBird.jpg"}) fs::copy_file(wallpapers / name, motives / name);
  fs::copy_file(wallpapers / "Storm.jpg", motives / "readonly.jpg");
  ::chmod((motives / "readonly.jpg").c_str(), 0444);
  Ref<TPixmap> logo = CreatePixmap(600, 300, FormatRGBA8888);
  ClearPixels(logo, 0);  // transparent black around black "text"
  for (int y = 100; y < 200; ++y)
    for (int x = 150; x < 450; ++x) WritePixel(logo, x, y, static_cast<int>(0xFF000000u));
  ASSERT_EQ(SavePixmapPNG(logo, TUrl((motives / "logo.png").string())), 1);
  Backdate(motives);
  // 60 % of a photo written, its descriptor still open, the copy stalled.
  const std::string photo = Bytes(wallpapers / "Garden.jpg");
  const int copying = ::open((motives / "copying.jpg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(copying, 0);
  const size_t part = photo.size() * 6 / 10;
  ASSERT_EQ(::write(copying, photo.data(), part), static_cast<ssize_t>(part));
  Backdate(motives / "copying.jpg");
  const std::string readonly = Bytes(motives / "readonly.jpg");

  Start();
  ASSERT_EQ(::write(copying, photo.data() + part, photo.size() - part), static_cast<ssize_t>(photo.size() - part));
  ::close(copying);
  Key("Escape");
  ASSERT_EQ(ExitStatus(3000ms), 0);
  EXPECT_EQ(Bytes(motives / "copying.jpg"), photo) << "the copy arrived whole";
  EXPECT_EQ(Bytes(motives / "readonly.jpg"), readonly);
  struct stat st {};
  ASSERT_EQ(::stat((motives / "readonly.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  Ref<TPixmap> flat = LoadPixmapJPeg(TUrl((motives / "logo.png").string()));
  ASSERT_EQ(PixmapWidth(flat), 512);
  EXPECT_LT(ReadPixel(flat, 256, 256) & 0xFF, 30) << "the logo's text";
  EXPECT_GT(ReadPixel(flat, 10, 10) & 0xFF, 245) << "over white";
  fs::remove(motives / "copying.jpg");  // its first rewrite would come at the next start

  std::map<std::string, std::string> first;
  for (const auto& e : fs::directory_iterator(motives)) first[e.path().filename().string()] = Bytes(e.path());
  EXPECT_EQ(first.size(), 7u) << "no temporary file stayed";
  for (const char* name : {"Aqua.jpg", "Dune.jpg", "LadyBird.jpg", "beach.png"})
    EXPECT_EQ(PixmapWidth(LoadPixmapJPeg(TUrl((motives / name).string()))), 512) << name;
  for (int start = 2; start <= 6; ++start) {
    Backdate(motives);  // a later day: nothing counts as still being copied
    Start();
    Key("Escape");
    ASSERT_EQ(ExitStatus(3000ms), 0) << "start " << start;
    for (const auto& [name, bytes] : first) EXPECT_EQ(Bytes(motives / name), bytes) << name << ", start " << start;
  }
  EXPECT_EQ(Stderr(), "");
}

// As a user that may start one thread more (ulimit -u): the game starts, prepares
// the folder and plays.
TEST_F(Program, WithOneThreadAllowedItStartsAndPreparesTheFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as an unused user id";
  const unsigned user = UnusedUserId();
  for (const auto& e : fs::recursive_directory_iterator(tmp.path())) ASSERT_EQ(::lchown(e.path().c_str(), user, user), 0);
  ASSERT_EQ(::chown(tmp.path().c_str(), user, user), 0);
  Start("800x600", [user] {
    ::setenv("LP_NUM_THREADS", "0", 1);  // the software renderer's own threads stay out of this
    if (!LimitThreadsOfThisChild(1, user)) ::_exit(125);
  });
  Click(400, 150);  // "Spiel starten"
  Key("Return");
  // Drawing on one thread is slow in a sanitizer build on a busy machine.
  Ref<TPixmap> shot;
  for (int i = 0; i < 20 && !(shot && Rgb(shot, 592, 480) == 0x646464u); ++i) {
    std::this_thread::sleep_for(500ms);
    shot = Shot();
  }
  ASSERT_TRUE(shot);
  EXPECT_EQ(Rgb(shot, 592, 480), 0x646464u) << "the board screen";
  Key("Escape");
  EXPECT_EQ(ExitStatus(3000ms), 0);  // (the sound library may complain about root's home)
  EXPECT_EQ(PixmapWidth(LoadPixmapJPeg(TUrl((tmp.path() / "Motives/beach.png").string()))), 512);
}

TEST_F(Program, WithoutADisplayItSaysSoAndFails) {
  pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::chdir(tmp.str().c_str()) != 0) ::_exit(126);
    const int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, 2);
    ::setenv("DISPLAY", ":4321", 1);
    ::execl("./Tessolino", "Tessolino", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  EXPECT_EQ(ExitStatus(5000ms), 1);
  EXPECT_NE(Stderr().find("no X display"), std::string::npos) << Stderr();
}

TEST_F(Program, QuitFromTheMenuInsideTheQuitDialogEndsWithinASecond) {
  Start();
  Click(400, 150);  // "Spiel starten"
  Key("Return");
  Click(700, 550);  // "Beenden"
  Click(620, 350);  // "Ab ins Menue..."
  Click(400, 450);  // "Raus hier" in the nested menu
  EXPECT_EQ(ExitStatus(1000ms), 0);
  EXPECT_EQ(Stderr(), "");
}

}  // namespace
