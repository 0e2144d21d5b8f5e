// The three side-panel buttons of the board screen and the modal quit dialog.
#pragma once

int Buttons();
// The quit dialog's loop; returns its choice (0: left by Escape or a close request,
// 2: back to the game). Choice 1 ends the program. The cursor keys choose an
// answer, Space or Return take it; opened by a key, the dialog shows the keys'
// choice at once.
int QuitDialog(bool opened_by_key = false);
