// The game's program-wide state: board size and geometry, the input sampled once a
// frame, the clock and timer, the board arrays and counters, the held tile and the
// pending swap, the motif catalogue and the assets. One instance for the whole run,
// main thread only. Field types are exact: the 16-bit and 8-bit counters wrap as
// their types do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/object.h"

struct TImage;
struct TImageFont;
struct TSound;
struct TTimer;
struct TMotives;

// A board array of (columns, rows); element (x, y) lives at x * rows + y. It keeps the
// size it was allocated with, so code that walks it can never leave it.
template <class T>
struct TBoardArray {
  int dim_x = 0, dim_y = 0;
  std::vector<T> cells;

  void Alloc(int x, int y) {
    dim_x = x > 0 ? x : 0;
    dim_y = y > 0 ? y : 0;
    cells.assign(static_cast<size_t>(dim_x) * static_cast<size_t>(dim_y), T{});
  }
  void Release() {
    dim_x = dim_y = 0;
    cells.clear();
  }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < dim_x && y < dim_y; }
  T& operator()(int x, int y) { return cells[static_cast<size_t>(x) * dim_y + y]; }
  const T& operator()(int x, int y) const { return cells[static_cast<size_t>(x) * dim_y + y]; }
};

// Settings and board geometry.
extern int MAP_X;
extern int MAP_Y;
extern uint16_t PuzzleTileSize;
extern uint8_t BetweenTile;
extern float AutoMidX, AutoMidY;
extern float Previewwidthfaktor, Previewheightfaktor;
extern uint8_t Helpstate;

// Input sampled once per frame. PointerX, PointerY is where the mouse is; MX, MY is
// where the game's pointer acts, which on the board follows the keyboard's focus
// cell while that shows.
extern int MX, MY;
extern int PointerX, PointerY;
extern uint8_t MOUSE1HIT;
extern int MOUSESCROLL;
extern int MZSpeedOld;

// Clock and frame counter.
extern int TIME;
extern Ref<TTimer> Timer;
extern int FPSTime;
extern uint16_t FPSCounter, FPSDraw;
extern uint8_t DEBUG;
extern int GameSecs;
extern std::u16string GameTime;

// Board and game progress.
extern TBoardArray<Ref<TImage>> Puzzle, Puzzle_Original;
extern TBoardArray<int> Puzzle_ID_Correct, Puzzle_ID_Now;
extern int ID;
extern uint16_t AllTiles;
extern uint16_t CorrectTiles;
extern uint16_t TileMoves;
extern uint8_t WINMODE;

// Tile interaction.
extern uint8_t Selection;
extern int ChangeID;
extern int ChangeX_old, ChangeY_old;
extern uint16_t NewX, NewY;
extern uint8_t MoveReady;
extern int MoveReadyTime;
extern float MoveX, MoveY, MoveX2, MoveY2;
extern Ref<TImage> PXMCursor;
// The pending swap: its source cell, fixed at the drop (NewX, NewY is its target).
// The held-tile fields above are cleared by buttons and clicks at any time, so the
// swap is finished from this record and never from them.
extern int SwapFromX, SwapFromY;
// The keyboard's focus cell on the board and whether it shows.
extern bool FocusShown;
extern int FocusX, FocusY;

// Motif catalogue and the current motif.
extern std::vector<Ref<TMotives>> MotivesList;
extern Ref<TMotives> M;
extern uint16_t CountMotives;
extern Ref<TImage> IMGPuzzle;

// Assets, loaded once at start-up.
extern Ref<TImage> IMGButton, IMGCursor, ButtonL, ButtonR, ButtonLMirror, ButtonRMirror;
extern Ref<TSound> SFXPaperMove, SFXJingle, SFXClick, SFXpaperMix, SFXFanfare;
extern Ref<TImageFont> FArial30, FArial20;

// Puts every field back to its initial value (the timer, board, catalogue and
// assets become empty); for tests and for a fresh start.
void ResetGameState();
// Drops every reference the state holds to images, fonts, sounds and the timer.
void ReleaseGameAssets();

// Wrap-safe comparisons of 32-bit clock readings: a is earlier than b.
inline bool ClockBefore(int a, int b) {
  return static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(a)) > 0;
}
// b - a without signed overflow.
inline int ClockDiff(int later, int earlier) {
  return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
inline int ClockAdd(int t, int ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(ms));
}

// A whole number in decimal, as the status texts show it.
inline std::u16string NumText(long long n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// True once a board has been cut and can be played.
inline bool BoardReady() { return Puzzle_ID_Now.dim_x > 0 && Puzzle_ID_Now.dim_y > 0; }
