// The module's current Draw2D driver.
#include "draw2d/draw2d_driver.h"

namespace {
TDraw2DDriver* g_current = nullptr;
}

TDraw2DDriver* CurrentDraw2DDriver() { return g_current; }
void SetCurrentDraw2DDriver(TDraw2DDriver* driver) { g_current = driver; }
