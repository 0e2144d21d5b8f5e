// The main menu: two buttons over scrolling credits with their mirrored copy, and
// a hint where to put pictures when a start finds none.
#pragma once

// Returns after a game was started (motif chosen, board cut and shuffled) or on a
// close request; ends the program on Escape or "Raus hier". Up and Down choose a
// button, Space or Return press it (the first, "Spiel starten", until they chose).
int Menu();

// A start was asked for with no motif: the menu shows for 4 seconds, under the
// start button, which folder to fill and with what.
void ShowNoMotifHint();
