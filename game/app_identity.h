// The game's name and icon on every window it opens.
#pragma once

// Sets the window title and the window class to "Tessolino" (the class is what the
// menu entry's StartupWMClass names) and hands the embedded icon, in every embedded
// size, to the drawing layer. Needs the embedded assets registered.
void NameGameWindows();
