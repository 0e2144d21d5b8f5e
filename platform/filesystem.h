// Directory listing, the current directory and the few file operations the game
// needs for rewriting pictures in place. Every path goes to the OS through
// ToOSBytes and every name comes back through FromOSBytes, so names with any bytes
// survive exactly. "\" in a path counts as "/".
#pragma once
#include <string>
#include <vector>

// Entry names in the order the OS delivers them; skipDots leaves out "." and "..".
// A missing or unreadable directory gives an empty list.
std::vector<std::u16string> LoadDir(const std::u16string& dir, bool skipDots);
// 1 on success, 0 on failure.
int ChangeDir(const std::u16string& dir);
// The current directory ("" when it cannot be read).
std::u16string CurrentDir();

// What a path names, without following a final symbolic link (lstat).
constexpr int FILETYPE_NONE = 0;
constexpr int FILETYPE_FILE = 1;
constexpr int FILETYPE_DIR = 2;
constexpr int FILETYPE_OTHER = 3;  // symbolic link, device, pipe, socket
int FileType(const std::u16string& path);
// Size in bytes of a regular file, -1 when it is none.
long long FileSize(const std::u16string& path);
// Renames (atomically replacing an existing file at `to`); true on success.
bool RenameFile(const std::u16string& from, const std::u16string& to);
// Removes a file (not a directory); true on success.
bool DeleteFile(const std::u16string& path);
