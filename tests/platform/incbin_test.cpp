// The embedded-resource registry and its "incbin::" streams.
#include "platform/incbin.h"

#include <gtest/gtest.h>

#include "platform/stream.h"

namespace {
const unsigned char kCursor[] = {'B', 'M', 1, 2, 3, 4, 5};
const unsigned char kOther[] = {9, 9};
const unsigned char kClick[] = {'O', 'g', 'g', 'S'};
}  // namespace

TEST(Incbin, SecondRegistrationOfANameIsRefusedAndTheFirstStays) {
  EXPECT_EQ(IncbinAdd(u"Twice.bmp", kCursor, sizeof kCursor), 1);
  EXPECT_EQ(IncbinAdd(u"Twice.bmp", kOther, sizeof kOther), 0);
  EXPECT_EQ(IncbinPtr(u"Twice.bmp"), kCursor);
  EXPECT_EQ(IncbinLen(u"Twice.bmp"), 7);
  // Other spellings are other names.
  EXPECT_EQ(IncbinAdd(u"twice.bmp", kOther, sizeof kOther), 1);
  EXPECT_EQ(IncbinPtr(u"twice.bmp"), kOther);
  EXPECT_EQ(IncbinPtr(u"Never.bmp"), nullptr);
  EXPECT_EQ(IncbinLen(u"Never.bmp"), 0);
}

TEST(Incbin, ResourceOpensAsAReadOnlyStreamOfItsSize) {
  IncbinAdd(u"Cursor.bmp", kCursor, sizeof kCursor);
  Ref<TStream> s = ReadStream(u"incbin::Cursor.bmp");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Size(), 7);
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->ReadShort(), 'B' | ('M' << 8));
  EXPECT_EQ(s->Write("x", 1), 0);  // read-only memory is never written
  EXPECT_THROW(s->WriteByte(0), TStreamWriteException);
  s->Close();

  EXPECT_FALSE(WriteStream(u"incbin::Cursor.bmp"));
  EXPECT_FALSE(OpenStream(u"incbin::Cursor.bmp", true, true));
  EXPECT_TRUE(ReadStream(u"INCBIN::Cursor.bmp"));  // the protocol ignores case
  EXPECT_FALSE(ReadStream(u"incbin::cursor.bmp"));  // the name does not
  EXPECT_FALSE(ReadStream(u"incbin::Nothing.bmp"));
}

TEST(Incbin, NamesKeepTheirSeparatorsExactly) {
  IncbinAdd(u"Sounds\\Mouse_click.ogg", kClick, sizeof kClick);
  Ref<TStream> s = ReadStream(u"incbin::Sounds\\Mouse_click.ogg");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ReadString(4), u"OggS");
  EXPECT_FALSE(ReadStream(u"incbin::Sounds/Mouse_click.ogg"));
  EXPECT_FALSE(ReadStream(u"incbin::sounds\\mouse_click.ogg"));
  EXPECT_FALSE(ReadStream(u"Sounds\\Mouse_click.ogg"));  // no protocol: a file path
}

TEST(Incbin, StreamsOfOneResourceAreIndependent) {
  IncbinAdd(u"Shared.bin", kCursor, sizeof kCursor);
  Ref<TStream> a = ReadStream(u"incbin::Shared.bin");
  Ref<TStream> b = ReadStream(u"incbin::Shared.bin");
  ASSERT_TRUE(a && b);
  a->Seek(5);
  EXPECT_EQ(b->ReadByte(), 'B');
  EXPECT_EQ(a->ReadByte(), 4);
}
