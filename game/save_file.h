// Where the board save lives and how it reaches the disk. It is one small file in
// the player's state folder ($XDG_STATE_HOME/tessolino, by default
// ~/.local/state/tessolino), never in the motif folder. Writes and removals run on
// a thread of their own, so the frame that asks for one does not wait for the disk;
// a write is atomic (temporary file, fsync, rename, fsync of the folder).
#pragma once
#include <string>
#include <vector>

// The save folder the environment names, the only place the game reads
// XDG_STATE_HOME and HOME: "" when neither gives an absolute path, or when the
// folder would lie in `pictures` (the motif folder) or be it.
std::string SaveFolderFor(const std::string& pictures);

// The save's bytes; false when there is none. A file that is not a regular one or
// is larger than any save gives no bytes.
bool ReadSaveFile(const std::string& folder, std::vector<unsigned char>& bytes);

// Hand the request to the writer thread (started on first use) and return at once.
// A request replaces one that is still waiting, so only the newest board is
// written. Failures are silent: the old save, or none, stays.
void WriteSaveFile(const std::string& folder, std::vector<unsigned char> bytes);
void RemoveSaveFile(const std::string& folder);
// Waits until the last request is on the disk and stops the thread (a later
// request starts it again).
void FinishSaveWrites();
