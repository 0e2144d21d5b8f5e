// Process entry of Tessolino: the runtime's start-up, then the game's module body.
#include "game/game_main.h"
#include "platform/process_entry.h"

int main(int argc, char** argv) { return ProcessEntryMain(argc, argv, &game::main); }
