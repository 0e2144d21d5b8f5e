// Process entry of the runtime: records the program's path and arguments, changes to
// its directory, starts the clock, traps fatal signals and runs the module body once.
// SIGTERM and SIGHUP end the program through End at the main thread's next pump; a
// second one before that ends it at once.
#pragma once

// Runs the whole process start with `body` as the module body. When the body returns
// the program ends through End (status 0); a runtime error or other exception that
// nothing caught is reported on standard error and gives status 1.
int ProcessEntryMain(int argc, char** argv, void (*body)());
