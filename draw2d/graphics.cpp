// The graphics front: current driver and object, Graphics/EndGraphics/Flip, the
// sequence number and the software pacing of Flip(-1). Leans on the event hooks,
// the clock, polled input and the system driver's pointer warp.
#include "draw2d/graphics.h"

#include <cstdint>
#include <cstdlib>

#include "draw2d/gl_draw2d_driver.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/hook.h"
#include "platform/polled_input.h"
#include "platform/system.h"

namespace {

struct TFrontState {
  Ref<TGraphicsDriver> driver;
  bool driver_chosen = false;
  int default_flags = 0;
  Ref<TGraphics> current;
  int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
  Ref<TGraphics> default_graphics;
  int default_depth = 0;  // depth asked of Graphics: 0 window, else full screen
  int seq = 0;
  bool exit_handler = false;
  int flip_hook = 0;
  // Pacing of Flip(-1).
  bool auto_pacing = false;
  int rate = 0;
  int period = 0;
  int fraction = 0;
  int accumulator = 0;
  int due = 0;
  TPacingSleep sleep = nullptr;
};

// Never destroyed: EndGraphics may run from End after static destruction would begin.
TFrontState& S() {
  static TFrontState* s = new TFrontState;
  return *s;
}

Ref<TGraphicsDriver> Driver() {
  TFrontState& s = S();
  if (!s.driver_chosen) InstallGLDraw2DDriver();
  return s.driver;
}

void BumpSeq() {
  TFrontState& s = S();
  s.seq = static_cast<int>(static_cast<uint32_t>(s.seq) + 1u);
  if (s.seq == 0) s.seq = 1;
}

void Sleep(int millis) {
  if (S().sleep)
    S().sleep(millis);
  else
    Delay(millis);
}

// In full screen the retrace may already pace at the requested rate: three flips
// in a row within 1 ms of the period switch software pacing off.
void MeasureRetrace(const Ref<TGraphicsDriver>& driver, int hertz) {
  const int start = MilliSecs();
  const int period = 1000 / hertz;
  int hits = 0;
  while (MilliSecsDiff(MilliSecs(), start) < 1000) {
    const int t0 = MilliSecs();
    driver->Flip(1);
    const int dt = MilliSecsDiff(MilliSecs(), t0);
    if (std::abs(dt - period) <= 1) {
      if (++hits == 3) {
        S().auto_pacing = false;
        return;
      }
    } else {
      hits = 0;
    }
  }
}

}  // namespace

void SetGraphicsDriver(Ref<TGraphicsDriver> driver, int defaultFlags) {
  TFrontState& s = S();
  s.driver_chosen = true;
  s.driver = std::move(driver);
  s.default_flags = defaultFlags;
}

Ref<TGraphicsDriver> GetGraphicsDriver() { return Driver(); }

int DefaultGraphicsFlags() {
  Driver();
  return S().default_flags;
}

int FlipHook() {
  TFrontState& s = S();
  if (!s.flip_hook) s.flip_hook = AllocHookId();
  return s.flip_hook;
}

void SetGraphics(const Ref<TGraphics>& graphics) {
  TFrontState& s = S();
  if (!graphics) {
    if (s.driver) s.driver->SetGraphics(nullptr);
    s.current = nullptr;
    s.width = s.height = s.depth = s.hertz = s.flags = 0;
    return;
  }
  Ref<TGraphicsDriver> driver = graphics->Driver();
  if (driver != s.driver) {
    if (s.driver) s.driver->SetGraphics(nullptr);
    s.driver = driver;
    s.driver_chosen = true;
  }
  graphics->GetSettings(s.width, s.height, s.depth, s.hertz, s.flags);
  if (s.driver) s.driver->SetGraphics(graphics);
  // Selecting may re-read the size (an attached foreign window can have been resized).
  graphics->GetSettings(s.width, s.height, s.depth, s.hertz, s.flags);
  s.current = graphics;
}

Ref<TGraphics> Graphics(int width, int height, int depth, int hertz, int flags) {
  EndGraphics();
  Ref<TGraphicsDriver> driver = Driver();
  if (!driver) return nullptr;
  TFrontState& s = S();
  Ref<TGraphics> g;
  try {
    g = driver->CreateGraphics(width, height, depth, hertz, flags | s.default_flags);
  } catch (...) {
    g = nullptr;
  }
  if (!g) return nullptr;
  BumpSeq();
  SetGraphics(g);

  s.auto_pacing = hertz != 0;
  if (s.auto_pacing && depth != 0 && s.driver) MeasureRetrace(s.driver, hertz);
  s.rate = hertz;
  s.period = hertz ? 1000 / hertz : 0;
  s.fraction = 1000 - s.period * hertz;
  s.accumulator = 0;
  s.due = MilliSecs();

  s.default_graphics = g;
  s.default_depth = depth;
  if (depth != 0) MoveMouse(width / 2, height / 2);
  EnablePolledInput(nullptr);
  if (!s.exit_handler) {
    s.exit_handler = true;
    AddExitHandler(EndGraphics);
  }
  return g;
}

void EndGraphics() {
  TFrontState& s = S();
  if (!s.default_graphics) return;
  BumpSeq();
  DisablePolledInput();
  Ref<TGraphics> g = std::move(s.default_graphics);
  s.default_graphics = nullptr;
  if (s.current == g) SetGraphics(nullptr);
  g->Close();
}

void Flip(int sync) {
  RunHooks(FlipHook(), nullptr);
  TFrontState& s = S();
  if (!s.current || !s.driver) return;  // nothing is current: no GL without a context
  if (sync == -1 && s.current == s.default_graphics && s.auto_pacing) {
    s.due += s.period;
    s.accumulator += s.fraction;
    if (s.accumulator >= s.rate) {
      s.accumulator -= s.rate;
      s.due += 1;
    }
    const int now = MilliSecs();
    const int wait = MilliSecsDiff(s.due, now);
    if (wait < 1)
      s.due = now;
    else
      Sleep(wait);
    s.driver->Flip(0);
    return;
  }
  // Windows report depth 24 like full-screen records, so the default object's
  // requested depth tells the two apart.
  if (sync == -1) {
    const int depth = s.current == s.default_graphics ? s.default_depth : s.depth;
    sync = depth != 0 ? 1 : 0;
  }
  s.driver->Flip(sync);
}

int GraphicsSeq() { return S().seq; }

std::vector<Ref<TGraphicsMode>> GraphicsModes() {
  Ref<TGraphicsDriver> driver = Driver();
  if (!driver) return {};
  return driver->GraphicsModes();
}

Ref<TGraphics> CurrentGraphics() { return S().current; }
Ref<TGraphics> DefaultGraphics() { return S().default_graphics; }
int GraphicsWidth() { return S().width; }
int GraphicsHeight() { return S().height; }
int GraphicsDepth() { return S().depth; }
int GraphicsHertz() { return S().hertz; }
int GraphicsFlags() { return S().flags; }

void SetPacingSleep(TPacingSleep sleep) { S().sleep = sleep; }
void SetGraphicsSeqForTest(int seq) { S().seq = seq; }
