// A virtual X server of the test's own, so that pointer, keyboard and window
// searches of one test program never meet those of tests running beside it.
#pragma once

// Starts Xvfb (with GLX) on a free display and points DISPLAY at it; once per
// process, stopped at exit. The screen is 1280x1024x24 unless TESS_X_SCREEN names
// another. False when Xvfb is not installed or does not start (DISPLAY is left as
// it was).
bool UsePrivateXServer();
// Loads resources into the server's database, as a desktop session does
// ("Xft.dpi: 192"); false when xrdb fails.
bool MergeXResources(const char* text);
