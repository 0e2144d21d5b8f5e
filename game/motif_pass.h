// The start-up pass over the motif folder: every motif is one job on the motif
// workers while the calling thread waits and lets its watch show progress.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "game/normalise.h"

// Called on the pass's thread while the workers run, with the motifs finished so
// far and their number: at once, whenever one more finished, and every few
// milliseconds in between (so it can pump events). Returning false stops the pass:
// motifs not yet started are left as they are; those in work are finished.
using TPassWatch = std::function<bool(int done, int total)>;

// Normalises every motif of the folder; returns the number of files rewritten.
// The pass holds an advisory lock (flock) on the folder; when another process
// holds it, the pass does nothing (the catalogue shows the pictures as they are).
// Holding it, it first removes the temporary files a crashed pass left there.
int NormaliseMotives(const std::u16string& folder = kMotivesFolder, const TPassWatch& watch = nullptr);

// Removes, from the current directory, the regular files among `names` named as
// temporary motif files; returns how many went. Only while holding the folder's
// lock: then no running pass owns one.
int RemoveStaleTemporaries(const std::vector<std::u16string>& names);
