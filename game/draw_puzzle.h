// Drawing the board and the status texts once a frame, and the board state
// machine (WINMODE): counting correct tiles, the win, solve and reshuffle requests,
// the round clock.
#pragma once
#include <string>

int DrawPuzzle();
// The round clock text of e elapsed milliseconds: hours:minutes:seconds, each with
// a leading "0" when it is 9 or less.
std::u16string FormatGameTime(int elapsed_ms);
// The label of a help level ("Normal", "Leicht", "Sehr Leicht", "Schwer").
std::u16string HelpLabel(int helpstate);
