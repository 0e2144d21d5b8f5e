// The pointer and the tile interaction: picking a tile up, dropping it on a cell,
// the 360 ms swell-and-slide animation and applying the swap.
#pragma once
#include <cstdint>

// With pointerOnly 1, or when the board is all correct, only the pointer is drawn.
int Mouse(uint8_t pointerOnly);
// Scale of the two moving tiles with r milliseconds of the animation left:
// 1 + sine of r / 2 (whole-number halving) degrees.
float SwapAnimationScale(int remaining_ms);
