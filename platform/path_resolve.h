// Path rules shared by file streams and directory operations, on OS byte strings.
#pragma once
#include <string>

// Every "\" becomes "/".
std::string SlashPath(std::string path);
// SlashPath, then a trailing "/" is removed unless the path is a root ("/").
std::string NormaliseDirPath(std::string path);
// path itself when it names an existing file or directory; otherwise the first
// match found directory by directory ignoring ASCII case; "" when nothing matches.
std::string ResolvePathIgnoringCase(const std::string& path);
