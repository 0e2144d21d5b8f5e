// A virtual X server of the test's own, so that pointer, keyboard and window
// searches of one test program never meet those of tests running beside it.
#pragma once

// Starts Xvfb (with GLX) on a free display and points DISPLAY at it; once per
// process, stopped at exit. False when Xvfb is not installed or does not start
// (DISPLAY is left as it was).
bool UsePrivateXServer();
