// The three side-panel buttons of the board screen and the modal quit dialog.
#pragma once

int Buttons();
// The quit dialog's loop; returns its choice (0: left by Escape or a close request,
// 2: back to the game). Choice 1 ends the program.
int QuitDialog();
