// The built game heard as a player hears it: a temporary copy plays on a 4 x 4
// board at "Sehr Leicht" under the test's own X server, driven through XTest, while
// a private PulseAudio server records what reaches its null sink. Reached through
// the OSS emulation (libpulsedsp preloaded) and through ALSA's PulseAudio plugin
// (chosen by an ALSA configuration in a temporary home); one more round is played
// with keys alone, from the menu on, without a single pointer event. Every drop's
// swap sound and the whole fanfare must arrive unbroken; the time from the drop's
// button or key press to the swap sound's first sample is printed (median, 90th
// percentile). Each path is also heard beside another process with two busy
// threads, and so again with the game run by a user without real-time rights, so
// the figures are not flattered by a quiet machine or by root; these rounds print
// whether the sound stayed whole and met its latency goal rather than fail on a
// loaded machine. Two more rounds kill the sound server during the game and start
// a new one on the same socket: the game must wait quietly and be heard again.
// TESS_GAME_UNDER_TEST names another build of the game to listen to (an older
// one, to compare figures); it is not played with keys.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "sound_heard.h"
#include "tests/support/env.h"
#include "tests/support/private_x.h"
#include "tests/support/proc_threads.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

// Xlib last: its macros clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = kRecordRate;
constexpr const char* kMixingThread = "sound mixer";

// 16 flat blocks of 128 x 128, one colour each: on a 4 x 4 board a tile's colour
// tells which cell it belongs to.
uint32_t BlockColour(int bx, int by) {
  return uint32_t(40 + bx * 60) << 16 | uint32_t(40 + by * 60) << 8 | uint32_t(200 - bx * 20 - by * 20);
}

int Distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 24; s += 8) d += std::abs(int((a >> s) & 255) - int((b >> s) & 255));
  return d;
}

// The game window and real input through XTest.
class TPlayer {
 public:
  ~TPlayer() {
    if (_d) XCloseDisplay(_d);
  }
  bool Find(int timeout_ms) {
    _d = XOpenDisplay(nullptr);
    if (!_d) return false;
    // A window listed may be gone when it is asked for its name (the game swaps
    // its first window for the game's): that must not end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const long long end = MonotonicUs() + timeout_ms * 1000LL;
    while (MonotonicUs() < end) {
      Window root = DefaultRootWindow(_d), parent, *kids = nullptr;
      unsigned n = 0;
      XQueryTree(_d, root, &root, &parent, &kids, &n);
      for (unsigned i = 0; i < n && !_w; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(_d, kids[i], &name) && name && std::string(name) == "Tessolino" &&
            XGetWindowAttributes(_d, kids[i], &a) && a.width == 800 && a.height == 600 &&
            a.map_state == IsViewable)
          _w = kids[i];
        if (name) XFree(name);
      }
      if (kids) XFree(kids);
      if (_w) {
        Window child;
        XTranslateCoordinates(_d, _w, DefaultRootWindow(_d), 0, 0, &_x, &_y, &child);
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }
  void Move(int x, int y) {
    XTestFakeMotionEvent(_d, DefaultScreen(_d), _x + x, _y + y, CurrentTime);
    XSync(_d, False);
  }
  // The time the press was sent (taken before, so that a test thread delayed by
  // the machine's load can only make the figures worse).
  long long Press() {
    const long long t = MonotonicUs();
    XTestFakeButtonEvent(_d, 1, True, CurrentTime);
    XSync(_d, False);
    return t;
  }
  void Release() {
    XTestFakeButtonEvent(_d, 1, False, CurrentTime);
    XSync(_d, False);
  }
  void Click(int x, int y, std::chrono::milliseconds after = 400ms) {
    Move(x, y);
    Press();
    Release();
    std::this_thread::sleep_for(after);
  }
  // Key presses go to the game window, as a window manager would direct them.
  void FocusWindow() {
    XSetInputFocus(_d, _w, RevertToParent, CurrentTime);
    XSync(_d, False);
  }
  // The time the press was sent, as for Press.
  long long Key(KeySym sym, std::chrono::milliseconds after = 300ms) {
    const long long t = MonotonicUs();
    const KeyCode code = XKeysymToKeycode(_d, sym);
    XTestFakeKeyEvent(_d, code, True, CurrentTime);
    XTestFakeKeyEvent(_d, code, False, CurrentTime);
    XSync(_d, False);
    std::this_thread::sleep_for(after);
    return t;
  }
  // Pixel colours (0xRRGGBB) at the given window points (0 where none could be
  // read), read one by one: the test polls them and must not load the machine
  // that plays the sound.
  std::vector<uint32_t> Pixels(const std::vector<std::pair<int, int>>& at) {
    std::vector<uint32_t> out;
    for (auto [x, y] : at) {
      XImage* img = XGetImage(_d, _w, x, y, 1, 1, AllPlanes, ZPixmap);
      out.push_back(img ? uint32_t(XGetPixel(img, 0, 0)) & 0xFFFFFF : 0);
      if (img) XDestroyImage(img);
    }
    return out;
  }

 private:
  Display* _d = nullptr;
  Window _w = 0;
  int _x = 0, _y = 0;
};

// A 4 x 4 board: cell origin (35.5 + 131 x, 33 + 131 y), tiles 128 wide.
std::pair<int, int> CellCentre(int cell) { return {36 + (cell % 4) * 131 + 64, 33 + (cell / 4) * 131 + 64}; }

// A block's colour under the hover tint (white added at alpha 0.2).
uint32_t Lit(uint32_t c) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) out |= std::min(255u, ((c >> s) & 255) + 51) << s;
  return out;
}

// The colour of block b, lit or not, is near the pixel of cell c.
bool Shows(TPlayer& p, int c, int b, bool lit = false) {
  auto [x, y] = CellCentre(c);
  const uint32_t want = BlockColour(b % 4, b / 4);
  return Distance(p.Pixels({{x, y}})[0], lit ? Lit(want) : want) < 30;
}

// For each cell, the cell its tile belongs to (-1 when the colour is no block's);
// the cell under the pointer or the keyboard's focus may be lit, and `lit` then
// names it.
std::vector<int> HomesOnBoard(TPlayer& p, int* lit = nullptr) {
  std::vector<std::pair<int, int>> at;
  for (int c = 0; c < 16; ++c) at.push_back(CellCentre(c));
  const std::vector<uint32_t> px = p.Pixels(at);
  std::vector<int> home(16, -1);
  if (lit) *lit = -1;
  for (size_t c = 0; c < px.size(); ++c)
    for (int b = 0; b < 16; ++b) {
      if (Distance(px[c], BlockColour(b % 4, b / 4)) < 30) home[c] = b;
      if (Distance(px[c], Lit(BlockColour(b % 4, b / 4))) >= 30) continue;
      home[c] = b;
      if (lit) *lit = int(c);
    }
  return home;
}

// Waits up to three seconds for what the game is to show.
template <class F>
bool Await(F shown) {
  for (int tries = 0; tries < 60; ++tries) {
    if (shown()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// The board as the game shows it once no tile moves; empty when a tile's colour
// stays unknown.
std::vector<int> SettledHomes(TPlayer& p) {
  std::vector<int> home;
  for (int tries = 0; tries < 30; ++tries) {  // a slow machine may still be animating
    std::this_thread::sleep_for(100ms);
    home = HomesOnBoard(p);
    if (std::count(home.begin(), home.end(), -1) == 0) return home;
  }
  return {};
}

// The first cell that does not hold its own tile; -1 when all do.
int FirstMisplaced(const std::vector<int>& home) {
  for (int c = 0; c < 16; ++c)
    if (home[size_t(c)] != c) return c;
  return -1;
}

enum class TPath { kOss, kAlsa };
enum class TLoad { kQuiet, kBusy, kUnprivileged };

std::string Label(TPath path, TLoad load) {
  const std::string p = path == TPath::kOss ? "OSS emulation" : "ALSA";
  if (load == TLoad::kBusy) return p + ", two busy threads beside";
  if (load == TLoad::kUnprivileged) return p + ", no real-time rights, two busy threads beside";
  return p;
}

std::string Scheduling(const TThreadStat& t) {
  if (t.policy < 0) return "no mixing thread";
  if (t.policy == SCHED_RR || t.policy == SCHED_FIFO)
    return "real-time, priority " + std::to_string(t.rt_priority);
  return "ordinary, nice " + std::to_string(t.nice);
}

class SoundEndToEnd : public ::testing::Test {
 protected:
  TempDir tmp;
  std::unique_ptr<TPulseServer> pulse;
  std::unique_ptr<TMonitorRecording> rec;
  TChildProcess game;
  TPlayer p;
  std::string log;
  std::vector<int16_t> move, fanfare;

  void SetUp() override {
    UsePrivateXServer();
    TESS_REQUIRE_DISPLAY();
    move = SoundLeft("paper small movement.ogg");
    fanfare = SoundLeft("trumpets fanfar.ogg");
    ASSERT_FALSE(move.empty());
    ASSERT_FALSE(fanfare.empty());
    pulse = std::make_unique<TPulseServer>(tmp.str());
    if (!pulse->Why().empty()) GTEST_SKIP() << pulse->Why();
    fs::create_directories(tmp.path() / "game/Motives");
    const char* other = std::getenv("TESS_GAME_UNDER_TEST");
    fs::copy_file(other && *other ? other : TESSOLINO_PATH, tmp.path() / "game/Tessolino");
    Ref<TPixmap> blocks = CreatePixmap(512, 512, FormatRGB888);
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x) WritePixel(blocks, x, y, int(0xFF000000u | BlockColour(x / 128, y / 128)));
    // "Puzzle" and at most 512 wide: kept as it is, so the blocks stay flat.
    ASSERT_EQ(SavePixmapPNG(blocks, TUrl(FromOSBytes((tmp.path() / "game/Motives/Puzzle.png").string()))), 1);
    log = tmp.str() + "/game.log";
    StartRecording();
  }

  void StartRecording() {
    rec = std::make_unique<TMonitorRecording>();
    std::string why;
    if (!rec->Start(*pulse, &why)) GTEST_SKIP() << why;
  }

  // The game's environment for a path; empty with the reason in *why when the
  // path cannot be heard here.
  std::vector<std::string> PathEnv(TPath path, std::string* why) {
    struct stat st;
    if (path == TPath::kOss) {
      if (OssEmulationLibrary().empty()) *why = "the OSS emulation library is not installed";
      else if (UnderThreadSanitizer()) *why = "ThreadSanitizer cannot share the game with the preloaded emulation";
      return why->empty() ? pulse->OssEmulationEnv() : std::vector<std::string>{};
    }
    if (stat("/dev/dsp", &st) == 0) *why = "this machine has /dev/dsp, which the game prefers";
    else if (stat("/usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_pulse.so", &st) != 0)
      *why = "ALSA's PulseAudio plugin (libasound2-plugins) not installed";
    if (!why->empty()) return {};
    pulse->RouteAlsaHere();  // HOME is the server's folder
    return pulse->Env();
  }

  // The game as a user without real-time rights: no RLIMIT_RTPRIO or RLIMIT_NICE
  // and no system bus to ask RealtimeKit; under root also the user nobody, without
  // capabilities, who is let into the server and the game's folder.
  std::vector<std::string> WithoutRealtimeRights(std::vector<std::string>* env, std::string* why) {
    env->push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + tmp.str() + "/no-bus");
    std::vector<std::string> cmd = {"prlimit", "--rtprio=0:0", "--nice=0:0"};
    if (geteuid() != 0) return cmd;
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || !OnPath("setpriv")) {
      *why = "no user nobody or no setpriv to run the game without root's rights";
      return {};
    }
    pulse->OpenToOthers();  // its folder is ours too
    fs::create_directories(tmp.path() / "state");
    for (const char* dir : {"game", "state"}) {
      for (const auto& e : fs::recursive_directory_iterator(tmp.path() / dir))
        lchown(e.path().c_str(), nobody->pw_uid, nobody->pw_gid);
      lchown((tmp.path() / dir).c_str(), nobody->pw_uid, nobody->pw_gid);
    }
    for (const char* a : {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--inh-caps=-all"})
      cmd.push_back(a);
    return cmd;
  }

  // Starts the game (behind the command `prefix`) and waits for its menu.
  void StartGame(const std::vector<std::string>& env, std::vector<std::string> prefix = {}) {
    prefix.push_back((tmp.path() / "game/Tessolino").string());
    std::vector<std::string> game_env = env;
    game_env.push_back("XDG_STATE_HOME=" + tmp.str() + "/state");  // never the tester's own save
    ASSERT_TRUE(game.Spawn(prefix, game_env, false, log));
    ASSERT_TRUE(p.Find(30000)) << "no 800 x 600 game window appeared";
    std::this_thread::sleep_for(1000ms);  // the menu's first frames
  }

  // From the menu to the board with the mouse.
  void ToTheBoard() {
    p.Click(400, 150);  // "Spiel starten"
    p.Move(200, 500);   // the slider follows the held button to 4 x 4
    p.Press();
    std::this_thread::sleep_for(300ms);
    p.Release();
    std::this_thread::sleep_for(200ms);
    p.Click(400, 200, 0ms);  // choose the picture: the board, shuffled
    // A game slowed down by busy neighbours may take a while.
    ASSERT_TRUE(Await([&] { return p.Pixels({{592, 480}})[0] == 0x646464; })) << "not on the board screen";
    std::this_thread::sleep_for(300ms);
    p.Key(XK_Tab);  // "Leicht"
    p.Key(XK_Tab);  // "Sehr Leicht"
  }

  // One turn with the mouse: picks up the first misplaced tile and drops it on
  // its target, once the game shows that it holds it (at "Sehr Leicht" the target
  // cell lights up; a click the game has not taken before the next one would make
  // both count as none). The drop's press time; 0 when the board is solved, -1
  // when the click went astray.
  long long Turn() {
    p.Move(575, 300);  // off the board: no hover tint on the tiles
    const std::vector<int> home = SettledHomes(p);
    EXPECT_FALSE(home.empty()) << "a tile of unknown colour";
    if (home.empty()) return -1;
    const int from = FirstMisplaced(home);
    if (from < 0) return 0;
    const int to = home[size_t(from)];
    auto [fx, fy] = CellCentre(from);
    auto [tx, ty] = CellCentre(to);
    p.Click(fx, fy, 0ms);  // and stay: the held tile is drawn over this cell only
    const uint32_t unlit = BlockColour(home[size_t(to)] % 4, home[size_t(to)] / 4);
    const std::pair<int, int> target = CellCentre(to);  // clang 14 captures no bindings
    if (!Await([&] { return Distance(p.Pixels({target})[0], unlit) > 30; })) return -1;
    p.Move(tx, ty);
    std::this_thread::sleep_for(50ms);
    const long long press = p.Press();
    p.Release();
    std::this_thread::sleep_for(1000ms);  // the 360 ms animation and the 0.5 s sound
    return press;
  }

  // A round from the menu to the win; the times of the drops' presses.
  void PlayByMouse(std::vector<long long>& drops) {
    ASSERT_NO_FATAL_FAILURE(ToTheBoard());
    bool solved = false;
    for (int turn = 0; turn < 30 && !solved && !HasFailure(); ++turn) {
      const long long press = Turn();
      solved = press == 0;
      if (press > 0) drops.push_back(press);
    }
    ASSERT_TRUE(solved) << "the board was not solved in 30 turns";
  }
  void PlayByKeys(std::vector<long long>& drops);

  std::string Log() { return std::string(std::istreambuf_iterator<char>(std::ifstream(log).rdbuf()), {}); }

  void EndGame() {
    p.Key(XK_Escape);
    // The log goes with the temporary folder: show it here.
    EXPECT_EQ(game.Wait(5000), 0) << "the game's output:\n" << Log();
    rec->Stop();
  }

  // Where each drop's swap sound begins in the recording (-1: not heard).
  std::vector<long> Onsets(const std::vector<int16_t>& x, const std::vector<long long>& drops) {
    std::vector<long> at;
    // From a little before the press: the recording's time stamps are those of
    // its reads, which may come early by the sink's block.
    for (long long d : drops) at.push_back(Onset(x, rec->FrameAt(d - 50000), kRate, move));
    return at;
  }

  // Plays one round to the win, with the mouse or with keys alone, and checks
  // what was heard.
  void PlayAndListen(TPath path, TLoad load, bool by_keys = false);
};

// No pointer event at all: Return starts, Down makes the grid 4 x 4, Return
// chooses; on the board the cursor keys move the focus and Return picks up and
// drops. Each press waits until the game shows the one before: a release and a
// press of the same key that arrive together read as the key held down.
void SoundEndToEnd::PlayByKeys(std::vector<long long>& drops) {
  p.FocusWindow();
  p.Key(XK_Return, 600ms);                            // "Spiel starten"
  for (int i = 0; i < 12; ++i) p.Key(XK_Down, 50ms);  // 12 x 12 down to 4 x 4, and no smaller
  p.Key(XK_Return, 800ms);                            // the motif: the board, shuffled
  p.Key(XK_Tab);                                      // "Leicht"
  p.Key(XK_Tab);                                      // "Sehr Leicht"
  ASSERT_EQ(p.Pixels({{592, 480}}), std::vector<uint32_t>{0x646464}) << "not on the board screen";
  std::vector<int> home;
  int focus = -1, held = -1;  // the held tile's block
  p.Key(XK_Home, 0ms);        // shows the focus
  ASSERT_TRUE(Await([&] { return home = HomesOnBoard(p, &focus), focus >= 0; })) << "no focus appeared";
  // With a tile held, the focus cell shows it; else the cell's own tile, lit.
  auto step = [&](KeySym key, int to) {
    p.Key(key, 0ms);
    focus = to;
    return Await([&] { return held >= 0 ? Shows(p, to, held) : Shows(p, to, home[size_t(to)], true); });
  };
  auto go_to = [&](int cell) {
    bool ok = true;
    while (ok && focus % 4 < cell % 4) ok = step(XK_Right, focus + 1);
    while (ok && focus % 4 > cell % 4) ok = step(XK_Left, focus - 1);
    while (ok && focus / 4 < cell / 4) ok = step(XK_Down, focus + 4);
    while (ok && focus / 4 > cell / 4) ok = step(XK_Up, focus - 4);
    return ok;
  };
  bool solved = false;
  for (int turn = 0; turn < 30 && !solved; ++turn) {
    home = SettledHomes(p);
    ASSERT_FALSE(home.empty()) << "a tile of unknown colour";
    const int from = FirstMisplaced(home);
    solved = from < 0;
    if (solved) break;
    const int to = home[size_t(from)];
    ASSERT_TRUE(go_to(from)) << "the focus did not come to cell " << from;
    p.Key(XK_Return, 0ms);  // picks up: the held tile covers the tint
    ASSERT_TRUE(Await([&] { return Shows(p, from, to); })) << "no tile was picked up";
    held = to;
    ASSERT_TRUE(go_to(to)) << "the held tile did not follow the focus to cell " << to;
    held = -1;
    drops.push_back(p.Key(XK_Return, 1000ms));  // the 360 ms animation and the 0.5 s sound
  }
  ASSERT_TRUE(solved) << "the board was not solved in 30 turns";
}

void SoundEndToEnd::PlayAndListen(TPath path, TLoad load, bool by_keys) {
  std::string why;
  std::vector<std::string> env = PathEnv(path, &why), prefix;
  if (!why.empty()) GTEST_SKIP() << why;
  if (load != TLoad::kQuiet && UnderSanitizer())
    GTEST_SKIP() << "a sanitizer build beside busy threads says nothing about a player's figures";
  if (load == TLoad::kUnprivileged) prefix = WithoutRealtimeRights(&env, &why);
  if (!why.empty()) GTEST_SKIP() << why;
  TChildProcess busy;
  if (load != TLoad::kQuiet) {
    ASSERT_TRUE(busy.Spawn({TESS_BUSY_THREADS}, {}, false));
  }
  ASSERT_NO_FATAL_FAILURE(StartGame(env, prefix));
  const TThreadStat mixing = ThreadNamed(StatOf(game.Pid()), kMixingThread);
  if (load == TLoad::kUnprivileged) {
    EXPECT_TRUE(mixing.policy != SCHED_RR && mixing.policy != SCHED_FIFO && mixing.nice >= 0)
        << "the game was given rights it should not have: " << Scheduling(mixing);
  }
  std::vector<long long> drops;
  if (by_keys) {
    PlayByKeys(drops);
  } else {
    PlayByMouse(drops);
  }
  if (HasFatalFailure()) return;
  ASSERT_GE(drops.size(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(fanfare.size() * 1000 / kRate + 800));
  EndGame();
  busy.Stop();

  const std::string label = by_keys ? "keys alone" : Label(path, load);
  const std::vector<int16_t> x = rec->Left();
  const std::vector<long> onsets = Onsets(x, drops);
  // How whole the sound stays beside busy programs is a goal to print; the
  // quiet rounds keep their checks.
  const bool checked = load == TLoad::kQuiet;
  std::vector<double> latency_ms;
  int broken_sounds = 0;
  for (size_t i = 0; i < drops.size(); ++i) {
    if (checked) {
      EXPECT_GE(onsets[i], 0) << label << ": the swap sound of drop " << i + 1 << " was not heard";
    }
    broken_sounds += onsets[i] < 0;
    if (onsets[i] < 0) continue;
    latency_ms.push_back(double(rec->TimeOf(size_t(onsets[i])) - drops[i]) / 1000);
    // The last one is joined by the fanfare when its animation ends.
    const size_t heard = i + 1 < drops.size() ? move.size() : size_t(kRate * 3 / 10);
    const Arrival a = Arrived(x, onsets[i], move, 0, heard);
    if (a.breaks + a.damaged > 0) ++broken_sounds;
  }
  // The fanfare follows the last drop's animation; the swap sound under its start
  // is taken out first.
  std::vector<int16_t> rest = x;
  if (onsets.back() >= 0)
    for (size_t k = 0; k < move.size() && size_t(onsets.back()) + k < rest.size(); ++k)
      rest[size_t(onsets.back()) + k] = int16_t(rest[size_t(onsets.back()) + k] - move[k]);
  const long fan = Onset(rest, rec->FrameAt(drops.back() + 300000), 4 * kRate, fanfare);
  const Arrival fan_arrival = fan >= 0 ? Arrived(rest, fan, fanfare) : Arrival{};
  if (checked) {
    EXPECT_GE(fan, 0) << label << ": no fanfare";
    EXPECT_EQ(fan_arrival.breaks, 0) << label << ": the fanfare broke up";
    EXPECT_EQ(fan_arrival.damaged, 0) << label << ": 10 ms pieces of the fanfare damaged";
  }
  if (latency_ms.empty()) return;
  const double median = Percentile(latency_ms, 0.5), p90 = Percentile(latency_ms, 0.9);
  std::printf("%s: drop press to swap sound over %zu drops: median %.1f ms, 90th percentile %.1f ms "
              "(min %.1f, max %.1f); swap sounds broken up or missing: %d; fanfare %s, breaks: %d, damaged "
              "10 ms pieces: %d; mixing thread %s\n",
              label.c_str(), latency_ms.size(), median, p90, *std::min_element(latency_ms.begin(), latency_ms.end()),
              *std::max_element(latency_ms.begin(), latency_ms.end()), broken_sounds, fan >= 0 ? "heard" : "MISSING",
              fan_arrival.breaks, fan_arrival.damaged, Scheduling(mixing).c_str());
  std::printf("%s: each (ms):", label.c_str());
  for (double l : latency_ms) std::printf(" %.1f", l);
  const bool whole = broken_sounds == 0 && fan >= 0 && fan_arrival.breaks + fan_arrival.damaged == 0;
  if (load == TLoad::kUnprivileged) {
    std::printf("\n%s: goal median <= 80 ms, nothing broken: %s\n", label.c_str(),
                median <= 80 && whole ? "met" : "NOT MET");
  } else {
    std::printf("\n%s: goal median <= 60 ms, 90th percentile <= 75 ms, nothing broken: %s\n", label.c_str(),
                median <= 60 && p90 <= 75 && whole ? "met" : "NOT MET");
  }
}

class SoundUnderLoad : public SoundEndToEnd, public ::testing::WithParamInterface<std::tuple<TPath, TLoad>> {};

TEST_P(SoundUnderLoad, SwapsAndFanfareArriveWhole) {
  PlayAndListen(std::get<0>(GetParam()), std::get<1>(GetParam()));
}

std::string ConditionName(const ::testing::TestParamInfo<std::tuple<TPath, TLoad>>& info) {
  const char* loads[] = {"Quiet", "Busy", "Unprivileged"};
  return std::string(std::get<0>(info.param) == TPath::kOss ? "Oss" : "Alsa") + loads[int(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Conditions, SoundUnderLoad,
                         ::testing::Combine(::testing::Values(TPath::kOss, TPath::kAlsa),
                                            ::testing::Values(TLoad::kQuiet, TLoad::kBusy, TLoad::kUnprivileged)),
                         ConditionName);

TEST_F(SoundEndToEnd, SwapsAndFanfareOfAGamePlayedWithKeysAlone) {
  const char* other = std::getenv("TESS_GAME_UNDER_TEST");
  if (other && *other) GTEST_SKIP() << "another build of the game may not play from the keyboard";
  PlayAndListen(TPath::kOss, TLoad::kQuiet, true);
}

// While no server runs the game must neither spin nor print; a swap made three
// seconds after a new server came up must be heard.
class SoundServerRestart : public SoundEndToEnd, public ::testing::WithParamInterface<TPath> {};

TEST_P(SoundServerRestart, IsHeardAgainAndTheWaitCostsNothing) {
  std::string why;
  const std::vector<std::string> env = PathEnv(GetParam(), &why);
  if (!why.empty()) GTEST_SKIP() << why;
  ASSERT_NO_FATAL_FAILURE(StartGame(env));
  ASSERT_NO_FATAL_FAILURE(ToTheBoard());
  ASSERT_GT(Turn(), 0) << "no first swap";

  pulse->Kill();
  rec->Stop();
  std::this_thread::sleep_for(1000ms);  // the device is found gone
  const TProcessStat before = StatOf(game.Pid());
  std::this_thread::sleep_for(10s);
  const TProcessStat after = StatOf(game.Pid());
  // The main thread, GL and picture workers live through both looks; the mixing
  // thread and what a device opening starts and ends are the sound's.
  const double sound_cpu = CpuBesides(before, after, {kMixingThread, "threaded-ml"});
  const std::string quiet_log = Log();

  pulse = std::make_unique<TPulseServer>(tmp.str());
  ASSERT_EQ(pulse->Why(), "");
  const long long back = MonotonicUs();
  ASSERT_NO_FATAL_FAILURE(StartRecording());
  std::vector<long long> drops;
  int late_drops = 0;
  for (int turn = 0; turn < 12 && late_drops < 2; ++turn) {
    const long long press = Turn();
    ASSERT_NE(press, 0) << "the board was solved before the sound came back";
    if (press < 0) continue;
    drops.push_back(press);
    if (press >= back + 3000000) ++late_drops;
  }
  EndGame();

  const std::vector<long> onsets = Onsets(rec->Left(), drops);
  double first_heard_s = -1;
  for (size_t i = 0; i < drops.size(); ++i) {
    if (onsets[i] >= 0 && first_heard_s < 0) first_heard_s = double(drops[i] - back) / 1e6;
    if (drops[i] >= back + 3000000) {
      EXPECT_GE(onsets[i], 0) << "a swap " << (drops[i] - back) / 1000 << " ms after the new server was not heard";
    }
  }
  EXPECT_EQ(late_drops, 2);
  EXPECT_LT(sound_cpu, 0.2) << "seconds of CPU in 10 s without a server: more than 2 % of a core";
  EXPECT_EQ(quiet_log, "") << "the game printed while the server was gone";
  char heard[32] = "never";
  if (first_heard_s >= 0) std::snprintf(heard, sizeof heard, "%.1f s", first_heard_s);
  std::printf("%s, server restarted: sound CPU without a server %.2f %% of a core; first swap heard %s "
              "after the new server (swaps at:",
              Label(GetParam(), TLoad::kQuiet).c_str(), sound_cpu * 10, heard);
  for (long long d : drops) std::printf(" %.1f", double(d - back) / 1e6);
  std::printf(" s)\n");
}

INSTANTIATE_TEST_SUITE_P(Paths, SoundServerRestart, ::testing::Values(TPath::kOss, TPath::kAlsa),
                         [](const ::testing::TestParamInfo<TPath>& info) {
                           return std::string(info.param == TPath::kOss ? "Oss" : "Alsa");
                         });

}  // namespace
