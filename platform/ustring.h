// Strings of the system are std::u16string (16-bit code units). The OS speaks bytes
// (file names, paths); these conversions round-trip any byte sequence exactly:
// valid UTF-8 becomes UTF-16, and every byte that is not part of valid UTF-8 becomes
// the lone surrogate U+DC00 + byte, which converts back to that very byte.
#pragma once
#include <string>
#include <string_view>

std::u16string FromOSBytes(std::string_view bytes);
std::string ToOSBytes(std::u16string_view text);

// Shorthand for literals and ASCII/UTF-8 text in code.
inline std::u16string U16(std::string_view utf8) { return FromOSBytes(utf8); }
