// String helpers the game applies to file names.
#pragma once
#include <string>

// The first / last n code units (the whole text when n exceeds its length; "" for n <= 0).
std::u16string Left(const std::u16string& text, int n);
std::u16string Right(const std::u16string& text, int n);
// Only A..Z change; every other code unit (accented letters included) stays.
std::u16string Lower(const std::u16string& text);
std::u16string Upper(const std::u16string& text);
