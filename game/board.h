// The board model's set-up: allocating the arrays, cutting the motif into tiles,
// shuffling, the grid geometry shared by rendering and tile interaction, and
// cancelling a pending swap.
#pragma once

// Allocates the four board arrays anew with (columns, rows), releasing the old ones.
void AllocateBoard(int columns, int rows);
// A new MAP_X x MAP_Y board cut from IMGPuzzle, as a choice in the motif selection
// makes it: tile edge and gap from the grid size, the arrays, the tiles, AllTiles.
void CutChosenBoard();
// Cuts IMGPuzzle into a solved board (tile images grabbed from the back buffer,
// ids from the never-reset ID counter); leaves the back buffer cleared.
int PreparePuzzle();
// Shuffles the tiles with n + 1 random swaps, n = Rand(2000, 9999), and starts a
// new round.
int MixPuzzle();
// Forgets a swap whose animation is running; the board stays as it is.
void CancelPendingSwap();

// Geometry of the current board: pitch = tile edge + gap, origins of cells and
// the cell under a screen position (truncation toward zero).
int BoardPitch();
float CellOriginX(int x);
float CellOriginY(int y);
int CellUnderX(int mx);
int CellUnderY(int my);
// The click area's right and bottom bounds (past the last column or row when the
// column count does not divide 512).
float BoardRightBound();
float BoardBottomBound();
// Columns and rows the board arrays were allocated with.
int BoardColumns();
int BoardRows();
