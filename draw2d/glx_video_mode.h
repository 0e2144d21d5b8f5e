// Full-screen video modes of the GLX driver: the display's mode lines through the
// XFree86 video-mode extension, the switch to the mode a full-screen window asks
// for, and the way back to the mode that was in force before. One mode can be
// switched at a time. Xlib and the extension stay inside glx_video_mode.cpp.
#pragma once
#include <vector>

#include "draw2d/graphics.h"

struct _XDisplay;

// Whether the display offers the extension (asked once, when the driver starts).
bool QueryVideoModeExtension(_XDisplay* display);

// Every mode line (at most 1024) as width, height, depth 24 and refresh rate.
std::vector<Ref<TGraphicsMode>> ListVideoModes(_XDisplay* display, int screen);

// Saves the mode in force and switches to the first mode of this size at this
// refresh rate, failing that to the first of this size, with the view port at
// (0, 0). False, with nothing switched, when no mode has this size. The mode's
// size comes back in mode_width and mode_height.
bool SwitchVideoMode(_XDisplay* display, int screen, int width, int height, int hertz,
                     int& mode_width, int& mode_height);

// Switches back to the saved mode and forgets the mode list; does nothing while no
// mode is switched.
void RestoreVideoMode();

bool VideoModeSwitched();
