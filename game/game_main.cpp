// Placeholder module body of the game: the game issues fill it with start-up and
// the board screen loop.
#include "game/game_main.h"

namespace game {
void main() {}
}  // namespace game
