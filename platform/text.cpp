// String helpers on 16-bit code units.
#include "platform/text.h"

std::u16string Left(const std::u16string& text, int n) {
  if (n <= 0) return {};
  return text.substr(0, static_cast<size_t>(n));
}

std::u16string Right(const std::u16string& text, int n) {
  if (n <= 0) return {};
  size_t k = static_cast<size_t>(n);
  return k >= text.size() ? text : text.substr(text.size() - k);
}

std::u16string Lower(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return out;
}

std::u16string Upper(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return out;
}
