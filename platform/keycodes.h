// Key codes of the key events: the low byte of the unshifted X key symbol mapped to
// the codes the game reads (letters 65-90, cursor 37-40, F1 112, escape 27, ...).
#pragma once

int TranslateKeySym(unsigned long keysym);
