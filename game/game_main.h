// The game module's one entry: its module body, run once by the process entry;
// and the pieces of it that tests drive on their own.
#pragma once

namespace game {
void main();
}  // namespace game

// Start-up steps after the window exists: derived values, timer, catalogue from
// `folder`, assets, default drawing state.
void StartGame(const char16_t* folder);
// Loads the embedded buttons, cursor, sounds and fonts into the game state.
void LoadGameAssets();
// One pass of the board screen; true when the screen ends (Escape with no tile
// held, close request).
bool BoardScreenPass();
