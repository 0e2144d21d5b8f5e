// Path rules shared by file streams and directory operations, on OS byte strings,
// and the one directory reader behind both.
#pragma once
#include <functional>
#include <string>

// Every "\" becomes "/".
std::string SlashPath(std::string path);
// SlashPath, then a trailing "/" is removed unless the path is a root ("/").
std::string NormaliseDirPath(std::string path);
// path itself when it names an existing file or directory; otherwise the first
// match found directory by directory ignoring ASCII case; "" when nothing matches.
std::string ResolvePathIgnoringCase(const std::string& path);
// Calls visit with each entry name of dir in the order the OS delivers them, until
// it returns false; false when dir cannot be opened.
bool ForEachDirEntry(const std::string& dir, const std::function<bool(const char* name)>& visit);
