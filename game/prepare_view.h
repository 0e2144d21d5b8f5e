// What the first window shows while the motif folder is prepared: a German line,
// "n / N" and a bar, redrawn when the count moves; and the start-up step that runs
// the folder pass behind it, answering the window manager all the while.
#pragma once
#include <string>

// Runs the folder pass with its progress in the current window. False when a close
// request came: the motifs in work were finished, the rest left as they were.
bool PrepareMotives(const std::u16string& folder);

// Draws one progress picture into the back buffer and shows it (for the pass and
// for tests that look at it).
void DrawPrepareProgress(int done, int total);
