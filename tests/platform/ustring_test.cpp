#include "platform/ustring.h"

#include <gtest/gtest.h>

TEST(OSBytes, Utf8UmlautsBecomeSingleCodeUnits) {
  std::u16string s = FromOSBytes("AUFGEL\xC3\x96ST");
  EXPECT_EQ(s.size(), 9u);
  EXPECT_EQ(s[6], u'\u00D6');
  EXPECT_EQ(ToOSBytes(s), "AUFGEL\xC3\x96ST");
}

TEST(OSBytes, AnyByteSequenceRoundTripsExactly) {
  const std::string cases[] = {
      std::string("\xFF\xFE\x80", 3),      // bytes that never start UTF-8
      std::string("a\xC3", 2),             // truncated sequence at the end
      std::string("\xED\xA0\x80", 3),      // an encoded surrogate
      std::string("\xC0\xAF", 2),          // overlong slash
      std::string("\xF0\x9F\x98\x80x", 5), // astral character
      std::string("\xF4\x90\x80\x80", 4),  // beyond U+10FFFF
      std::string("nul\0byte", 8),
  };
  for (const auto& c : cases) EXPECT_EQ(ToOSBytes(FromOSBytes(c)), c);
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    EXPECT_EQ(ToOSBytes(FromOSBytes(one)), one) << b;
  }
}

TEST(OSBytes, AstralCharacterIsASurrogatePair) {
  std::u16string s = FromOSBytes("\xF0\x9F\x98\x80");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], 0xD83D);
  EXPECT_EQ(s[1], 0xDE00);
}
