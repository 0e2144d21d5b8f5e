// The files the game carries inside the program (mouse cursor, display font, button
// pictures, sound effects) and their registration as "incbin::" resources.
#pragma once

// Registers the ten embedded files under their resource names, in a fixed order.
// Safe to call more than once: later calls find the names taken and change nothing.
void RegisterAssets();
