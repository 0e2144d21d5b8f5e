// Per-frame input sampling, frame clock and rate display, sound effects. Leans on
// the polled input, the clock, the drawing front and the audio layer.
#include "game/frame.h"

#include <algorithm>

#include "audio/audio.h"
#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "game/state.h"
#include "platform/clock.h"
#include "platform/polled_input.h"

int UserInput() {
  // Saturate: 256 presses must not read as none, nor 257 as one click.
  MOUSE1HIT = static_cast<uint8_t>(std::min(std::max(MouseHit(1), 0), 255));
  MOUSESCROLL = MouseZSpeed(MouseZ());
  PointerX = MX = MouseX();
  PointerY = MY = MouseY();
  return 0;
}

int MouseZSpeed(int z) {
  const int result = ClockDiff(z, MZSpeedOld);  // plain difference without overflow
  MZSpeedOld = z;
  return result;
}

int FPS() {
  TIME = MilliSecs();
  if (KeyHit(70)) {
    DEBUG = static_cast<uint8_t>(1 - DEBUG);
    SetQuietFrames(DEBUG == 0);  // the rate shown is that of frames drawn
  }
  if (ClockBefore(FPSTime, TIME)) {
    FPSTime = ClockAdd(TIME, 250);
    FPSDraw = static_cast<uint16_t>(FPSCounter * 4);
    FPSCounter = 0;
  }
  FPSCounter = static_cast<uint16_t>(FPSCounter + 1);
  if (DEBUG == 1) {
    SetImageFont(FArial20);
    DrawText(NumText(FPSDraw), 5, 582);
    SetImageFont(FArial30);
  }
  return 0;
}

int Eventsystem(const Ref<TSound>& sound) {
  if (sound) PlaySound(sound, nullptr);
  return 0;
}
