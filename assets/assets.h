// The files the game carries inside the program (mouse cursor, display font, button
// pictures, sound effects, the program icon) and their registration as "incbin::"
// resources.
#pragma once

// The icon sizes embedded as "Icons\tessolino-<size>.png".
inline constexpr int kEmbeddedIconSizes[] = {16, 32, 48, 64, 128};

// Registers the ten embedded files of the game under their resource names, in a
// fixed order, and after them the program icon in each embedded size.
// Safe to call more than once: later calls find the names taken and change nothing.
void RegisterAssets();
