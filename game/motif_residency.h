// Which catalogue entries hold decoded pictures: those within kNearMotives of the
// carousel's middle (counting round the ends), made ahead on the motif workers as
// the carousel moves; all others keep only the bytes of their file.
#pragma once

struct TMotives;

inline constexpr int kNearMotives = 3;

// Call with the carousel's middle whenever it may have moved (every frame is fine:
// it does nothing while the middle stays and its neighbours are there). Installs
// the pictures the workers finished, asks for those of new near entries and lets
// far ones go. With shown_now, the middle and its two neighbours are made at once
// if they are still missing.
void KeepMotivesNear(int current, bool shown_now = true);

// Gives an entry without pictures its pictures now, decoded on this thread.
void MakeMotifPicturesNow(TMotives& entry);
// Lets an entry's pictures go, keeping its bytes; an entry without bytes keeps them.
void ReleaseMotifPictures(TMotives& entry);
