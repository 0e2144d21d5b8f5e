// The built game heard as a player hears it: a temporary copy plays on a 4 x 4
// board at "Sehr Leicht" under the test's own X server, driven through XTest, while
// a private PulseAudio server records what reaches its null sink. Reached through
// the OSS emulation (libpulsedsp preloaded) and through ALSA's PulseAudio plugin
// (chosen by an ALSA configuration in a temporary home); one more round is played
// with keys alone, from the menu on, without a single pointer event. Every drop's
// swap sound and the whole fanfare must arrive unbroken; the time from the drop's
// button or key press to the swap sound's first sample is printed (median, 90th
// percentile).
// TESS_GAME_UNDER_TEST names another build of the game to listen to (an older
// one, to compare figures); it is not played with keys.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_sample.h"
#include "audio/sample_loader.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/private_x.h"
#include "tests/support/env.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"

// Xlib last: its macros clash with the test framework.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 44100;

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

// The left channel of an embedded sound, decoded from the source tree.
std::vector<int16_t> SoundLeft(const char* name) {
  const std::string path = SourceDir() + "/assets/Sounds/" + name;
  Ref<TAudioSample> s = LoadAudioSample(TUrl(FromOSBytes(path)));
  std::vector<int16_t> v;
  if (!s) return v;
  const int ch = SampleFrameChannels(s->format);
  for (int i = 0; i < s->length; ++i) {
    const uint8_t* p = s->samples + size_t(i) * ch * 2;
    v.push_back(int16_t(p[0] | p[1] << 8));
  }
  return v;
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

// Mismatch of ref[k, k + n) placed at x[at + k ...], relative to its energy
// (with a floor for near silence): 0 for a perfect copy.
double Mismatch(const std::vector<int16_t>& x, long at, const std::vector<int16_t>& ref, size_t k, size_t n) {
  double err = 0, energy = 0;
  for (size_t j = k; j < k + n && j < ref.size(); ++j) {
    const long xi = at + long(j);
    const double got = xi >= 0 && size_t(xi) < x.size() ? x[size_t(xi)] : 0;
    err += (got - ref[j]) * (got - ref[j]);
    energy += double(ref[j]) * ref[j];
  }
  return err / (energy + double(n) * 2000.0);
}

// Where ref[0] lies in x, searched from `from` on: found by the sound's first
// loud sample, then placed by the first of its next five 10 ms pieces that
// matches (so a break at the very start still finds the sound, placed where the
// rest of it came). -1 when the sound is not there within `within` frames.
long Onset(const std::vector<int16_t>& x, size_t from, size_t within, const std::vector<int16_t>& ref) {
  size_t attack = 0;
  while (attack < ref.size() && std::abs(ref[attack]) < 2000) ++attack;
  size_t i = from;
  while (i < x.size() && i < from + within && std::abs(x[i]) < 2000) ++i;
  if (i >= x.size() || i >= from + within) return -1;
  const size_t piece = kRate / 100;
  for (size_t k = attack; k < attack + 5 * piece; k += piece) {
    double best = 0.05;
    long at = -1;
    for (long lag = long(i) - long(attack) - 200; lag <= long(i) - long(attack) + kRate / 10; ++lag) {
      const double m = Mismatch(x, lag, ref, k, piece);
      if (m < best) best = m, at = lag;
    }
    if (at >= 0) return at;
  }
  return -1;
}

// How ref arrived at x from `at` on, between ref frames from and to, in 10 ms
// pieces: breaks (the rest came later, after a gap, or earlier, with frames
// lost) and damaged pieces (neither); counting stops at ten.
struct Arrival {
  int breaks = 0;
  int damaged = 0;
};

Arrival Arrived(const std::vector<int16_t>& x, long at, const std::vector<int16_t>& ref, size_t from = 0,
                size_t to = SIZE_MAX) {
  const size_t piece = kRate / 100;
  to = std::min(to, ref.size());
  Arrival a;
  for (size_t k = from; k + piece <= to && a.breaks + a.damaged < 10; k += piece) {
    if (Mismatch(x, at, ref, k, piece) < 0.05) continue;
    // Where does the rest go on? The next 50 ms must match there.
    long best_shift = 0;
    double best = 0.05;
    for (long shift = -kRate / 10; shift <= kRate / 2; ++shift) {
      const double m = Mismatch(x, at + shift, ref, k, 5 * piece);
      if (m < best) best = m, best_shift = shift;
    }
    if (best_shift != 0) {
      ++a.breaks;
      at += best_shift;
    } else {
      ++a.damaged;
    }
  }
  return a;
}

double Percentile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  const size_t rank = size_t(std::ceil(q * double(v.size())));
  return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

class SoundEndToEnd : public ::testing::Test {
 protected:
  TempDir tmp;
  std::unique_ptr<TPulseServer> pulse;
  TMonitorRecording rec;
  TChildProcess game;

  void SetUp() override {
    UsePrivateXServer();
    TESS_REQUIRE_DISPLAY();
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
    std::string why;
    if (!rec.Start(*pulse, &why)) GTEST_SKIP() << why;
  }

  // Plays one round to the win, with the mouse or with keys alone, and checks what
  // was heard; `path` names the route.
  void PlayAndListen(const std::vector<std::string>& env, const char* path, bool by_keys = false);
  // A round from the menu to the win; the times of the drops' presses.
  void PlayByMouse(TPlayer& p, std::vector<long long>& drops);
  void PlayByKeys(TPlayer& p, std::vector<long long>& drops);
};

void SoundEndToEnd::PlayByMouse(TPlayer& p, std::vector<long long>& drops) {
  p.Click(400, 150);  // "Spiel starten"
  p.Move(200, 500);   // the slider follows the held button to 4 x 4
  p.Press();
  std::this_thread::sleep_for(300ms);
  p.Release();
  std::this_thread::sleep_for(200ms);
  p.Click(400, 200, 800ms);  // choose the picture: the board, shuffled
  p.Key(XK_Tab);             // "Leicht"
  p.Key(XK_Tab);             // "Sehr Leicht"
  ASSERT_EQ(p.Pixels({{592, 480}}), std::vector<uint32_t>{0x646464}) << "not on the board screen";

  // Each turn picks up the first misplaced tile and drops it on its target, once
  // the game shows that it holds it: at "Sehr Leicht" the target cell lights up.
  // (A click the game has not taken before the next one would make both count
  // as none.)
  bool solved = false;
  for (int turn = 0; turn < 30 && !solved; ++turn) {
    p.Move(575, 300);  // off the board: no hover tint on the tiles
    const std::vector<int> home = SettledHomes(p);
    ASSERT_FALSE(home.empty()) << "a tile of unknown colour";
    const int from = FirstMisplaced(home);
    solved = from < 0;
    if (solved) break;
    const int to = home[size_t(from)];
    auto [fx, fy] = CellCentre(from);
    auto [tx, ty] = CellCentre(to);
    p.Click(fx, fy, 0ms);  // and stay: the held tile is drawn over this cell only
    const uint32_t unlit = BlockColour(home[size_t(to)] % 4, home[size_t(to)] / 4);
    bool held = false;
    for (int tries = 0; tries < 60 && !held; ++tries) {
      std::this_thread::sleep_for(50ms);
      held = Distance(p.Pixels({{tx, ty}})[0], unlit) > 30;
    }
    if (!held) continue;  // the click went astray: try again
    p.Move(tx, ty);
    std::this_thread::sleep_for(50ms);
    drops.push_back(p.Press());
    p.Release();
    std::this_thread::sleep_for(1000ms);  // the 360 ms animation and the 0.5 s sound
  }
  ASSERT_TRUE(solved) << "the board was not solved in 30 turns";
}

// No pointer event at all: Return starts, Down makes the grid 4 x 4, Return
// chooses; on the board the cursor keys move the focus and Return picks up and
// drops. Each press waits until the game shows the one before: a release and a
// press of the same key that arrive together read as the key held down.
void SoundEndToEnd::PlayByKeys(TPlayer& p, std::vector<long long>& drops) {
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

void SoundEndToEnd::PlayAndListen(const std::vector<std::string>& env, const char* path, bool by_keys) {
  const std::vector<int16_t> move = SoundLeft("paper small movement.ogg");
  const std::vector<int16_t> fanfare = SoundLeft("trumpets fanfar.ogg");
  ASSERT_FALSE(move.empty());
  ASSERT_FALSE(fanfare.empty());
  const std::string log = tmp.str() + "/game.log";
  std::vector<std::string> game_env = env;
  game_env.push_back("XDG_STATE_HOME=" + tmp.str() + "/state");  // never the tester's own save
  ASSERT_TRUE(game.Spawn({(tmp.path() / "game/Tessolino").string()}, game_env, false, log));
  TPlayer p;
  ASSERT_TRUE(p.Find(30000)) << "no 800 x 600 game window appeared";
  std::this_thread::sleep_for(1000ms);  // the menu's first frames
  std::vector<long long> drops;
  if (by_keys) {
    PlayByKeys(p, drops);
  } else {
    PlayByMouse(p, drops);
  }
  if (HasFatalFailure()) return;
  ASSERT_GE(drops.size(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(fanfare.size() * 1000 / kRate + 800));
  p.Key(XK_Escape);
  // The log goes with the temporary folder: show it here.
  EXPECT_EQ(game.Wait(5000), 0) << "the game's output:\n"
                                << std::string(std::istreambuf_iterator<char>(std::ifstream(log).rdbuf()), {});
  rec.Stop();

  const std::vector<int16_t> x = rec.Left();
  std::vector<double> latency_ms;
  std::vector<long> onsets;
  int broken_sounds = 0;
  for (size_t i = 0; i < drops.size(); ++i) {
    // From a little before the press: the recording's time stamps are those of
    // its reads, which may come early by the sink's block.
    const long at = Onset(x, rec.FrameAt(drops[i] - 50000), kRate, move);
    EXPECT_GE(at, 0) << path << ": the swap sound of drop " << i + 1 << " was not heard";
    if (at < 0) continue;
    onsets.push_back(at);
    latency_ms.push_back(double(rec.TimeOf(size_t(at)) - drops[i]) / 1000);
    // The last one is joined by the fanfare when its animation ends.
    const size_t heard = i + 1 < drops.size() ? move.size() : size_t(kRate * 3 / 10);
    const Arrival a = Arrived(x, at, move, 0, heard);
    if (a.breaks + a.damaged > 0) ++broken_sounds;
  }
  // The fanfare follows the last drop's animation; the swap sound under its start
  // is taken out first.
  std::vector<int16_t> rest = x;
  if (onsets.size() == drops.size())
    for (size_t k = 0; k < move.size() && size_t(onsets.back()) + k < rest.size(); ++k)
      rest[size_t(onsets.back()) + k] = int16_t(rest[size_t(onsets.back()) + k] - move[k]);
  const long fan = Onset(rest, rec.FrameAt(drops.back() + 300000), 4 * kRate, fanfare);
  EXPECT_GE(fan, 0) << path << ": no fanfare";
  const Arrival fan_arrival = fan >= 0 ? Arrived(rest, fan, fanfare) : Arrival{};
  EXPECT_EQ(fan_arrival.breaks, 0) << path << ": the fanfare broke up";
  EXPECT_EQ(fan_arrival.damaged, 0) << path << ": 10 ms pieces of the fanfare damaged";

  if (latency_ms.empty()) return;
  std::printf("%s: drop press to swap sound over %zu drops: median %.1f ms, 90th percentile %.1f ms "
              "(min %.1f, max %.1f); swap sounds broken up: %d; fanfare breaks: %d\n",
              path, latency_ms.size(), Percentile(latency_ms, 0.5), Percentile(latency_ms, 0.9),
              *std::min_element(latency_ms.begin(), latency_ms.end()),
              *std::max_element(latency_ms.begin(), latency_ms.end()), broken_sounds, fan_arrival.breaks);
  std::printf("%s: each (ms):", path);
  for (double l : latency_ms) std::printf(" %.1f", l);
  std::printf("\n");
}

TEST_F(SoundEndToEnd, SwapsAndFanfareThroughTheOssEmulation) {
  if (OssEmulationLibrary().empty()) GTEST_SKIP() << "the OSS emulation library is not installed";
  if (UnderThreadSanitizer()) GTEST_SKIP() << "ThreadSanitizer cannot share the game with the preloaded emulation";
  PlayAndListen(pulse->OssEmulationEnv(), "OSS emulation");
}

TEST_F(SoundEndToEnd, SwapsAndFanfareOfAGamePlayedWithKeysAlone) {
  const char* other = std::getenv("TESS_GAME_UNDER_TEST");
  if (other && *other) GTEST_SKIP() << "another build of the game may not play from the keyboard";
  if (OssEmulationLibrary().empty()) GTEST_SKIP() << "the OSS emulation library is not installed";
  if (UnderThreadSanitizer()) GTEST_SKIP() << "ThreadSanitizer cannot share the game with the preloaded emulation";
  PlayAndListen(pulse->OssEmulationEnv(), "keys alone", true);
}

TEST_F(SoundEndToEnd, SwapsAndFanfareThroughAlsa) {
  struct stat st;
  if (stat("/dev/dsp", &st) == 0) GTEST_SKIP() << "this machine has /dev/dsp, which the game prefers";
  if (stat("/usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_pulse.so", &st) != 0)
    GTEST_SKIP() << "ALSA's PulseAudio plugin (libasound2-plugins) not installed";
  pulse->RouteAlsaHere();  // HOME is the server's folder
  PlayAndListen(pulse->Env(), "ALSA");
}

}  // namespace
