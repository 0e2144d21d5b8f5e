// Process entry of the runtime: records the program's path and arguments, changes to
// its directory, starts the clock, traps fatal signals and runs the module body once.
#pragma once

// Runs the whole process start with `body` as the module body; returns the exit status.
int AppStubMain(int argc, char** argv, void (*body)());
