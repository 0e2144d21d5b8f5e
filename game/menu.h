// The main menu: two buttons over scrolling credits with their mirrored copy.
#pragma once

// Returns after a game was started (motif chosen, board cut and shuffled) or on a
// close request; ends the program on Escape or "Raus hier". Up and Down choose a
// button, Space or Return press it (the first, "Spiel starten", until they chose).
int Menu();
