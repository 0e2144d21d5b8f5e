// Process entry of Tessolino: the runtime's start-up, then the game's module body.
#include "game/game_main.h"
#include "platform/appstub.h"

int main(int argc, char** argv) { return AppStubMain(argc, argv, &game::main); }
