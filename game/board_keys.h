// Playing the board from the keyboard: a focus cell that the cursor keys move and
// Space or Return click, the side buttons' letter keys, and the frame drawn round
// the focus cell.
#pragma once

// Right after UserInput on the board screen. A real pointer move or click hides
// the focus and leaves the board to the mouse. Otherwise the first cursor, Home,
// End, Page Up, Page Down, Space or Return key shows the focus (on the cell under
// the pointer, or where it last was); while it shows, those keys move it and
// Space or Return make MOUSE1HIT a click, and MX, MY point at the focus cell, so
// the tile interaction, the hover tint and the help marks take it as the mouse's.
void BoardKeys();
// The frame round the focus cell while it shows: white, 2 pixels, between dark
// lines, so it reads on dark and on light tiles.
void DrawBoardFocus();
// The side button that L, N or Q asks for (0 top, 1 middle, 2 bottom); -1 for none.
int SideButtonKey();
// Drops presses of the board's keys that a screen shown in between left unread,
// so they do not act on the board afterwards.
void ForgetBoardKeys();
