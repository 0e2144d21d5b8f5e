// The motif selection: a carousel of the catalogue with reflections, arrows, a
// counter and the grid-size slider (also set with Up and Down); choosing cuts a
// new board.
#pragma once

// Returns after a motif was chosen and the board cut, or, when left without a
// choice, after the Menu call it then makes has returned.
int selectPuzzleImg();
