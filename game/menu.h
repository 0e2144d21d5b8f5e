// The main menu: two buttons over scrolling credits with their mirrored copy.
#pragma once

// Returns after a game was started (motif chosen, board cut and shuffled) or on a
// close request; ends the program on Escape or "Raus hier".
int Menu();
