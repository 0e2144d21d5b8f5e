// What every screen's frame loop shares: sampling the mouse once per frame, the
// wheel movement, the frame clock with the optional frame-rate display, and playing
// a sound effect.
#pragma once
#include "platform/object.h"

struct TSound;

// MOUSE1HIT (saturating at 255), MOUSESCROLL, MX, MY (and PointerX, PointerY) from
// the polled input.
int UserInput();
// z minus the wheel position of the previous call.
int MouseZSpeed(int z);
// Samples TIME, toggles the display on F, counts the frame, shows the rate.
int FPS();
// Plays the sound once on a new channel; nothing for null.
int Eventsystem(const Ref<TSound>& sound);
