// The program's icon on its windows: the pictures the program hands over, kept as
// the sequence of 32-bit values that the window property _NET_WM_ICON holds, so the
// GLX driver writes it to every window it makes without converting again.
#pragma once
#include <cstdint>
#include <vector>

#include "pixmap/pixmap.h"

// One picture per size (docks pick the size they need). Null pixmaps and pictures
// wider or higher than 1024 pixels are left out; an empty list removes the icon.
// Main thread only, like window creation.
void SetAppIcon(const std::vector<Ref<TPixmap>>& pictures);

// For each picture: width, height, then width x height pixels as 0xAARRGGBB, row
// by row from the top left. Empty when no icon is set.
const std::vector<uint32_t>& AppIconData();
