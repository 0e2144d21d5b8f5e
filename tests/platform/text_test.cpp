// Text helpers the game applies to file names.
#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/ustring.h"

TEST(Text, LeftAndRightClampTheirCount) {
  EXPECT_EQ(Left(u"Puzzle01.png", 6), u"Puzzle");
  EXPECT_EQ(Right(u"Puzzle01.png", 4), u".png");
  EXPECT_EQ(Left(u"ab", 5), u"ab");
  EXPECT_EQ(Right(u"ab", 5), u"ab");
  EXPECT_EQ(Left(u"ab", 0), u"");
  EXPECT_EQ(Right(u"ab", -3), u"");
  EXPECT_EQ(Right(u"", 4), u"");
}

TEST(Text, LowerChangesOnlyAsciiLetters) {
  EXPECT_EQ(Lower(u"BILD.JPEG"), u"bild.jpeg");
  EXPECT_EQ(Lower(U16("\xC3\x84PFEL \xC3\x89t\xC3\xA9 @[`{")), U16("\xC3\x84pfel \xC3\x89t\xC3\xA9 @[`{"));
  EXPECT_EQ(Upper(u"a.png z"), u"A.PNG Z");
  // Escaped raw bytes of a file name pass unchanged.
  std::u16string raw = FromOSBytes("A\xFF.PNG");
  EXPECT_EQ(ToOSBytes(Lower(raw)), "a\xFF.png");
}
