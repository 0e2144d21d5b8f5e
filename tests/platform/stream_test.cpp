// Memory streams, the typed readers and writers, the stream errors, wrappers,
// factories and URL dispatch.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ustring.h"

namespace {

Ref<TRamStream> Over(std::vector<unsigned char>& bytes, bool readable = true, bool writeable = false) {
  return TRamStream::Create(bytes.data(), static_cast<int>(bytes.size()), readable, writeable);
}

template <class F>
std::string ErrorText(F&& f) {
  try {
    f();
  } catch (const TRuntimeError& e) {
    return e.what();
  }
  return "(no error)";
}

// A stream that claims a size it never delivers.
struct TStuckStream : TStream {
  int Pos() override { return 0; }
  int Size() override { return 10; }
  int Read(void*, int) override { return 0; }
  int Write(const void*, int) override { return 0; }
};

// Delivers its bytes but cannot tell its position or size, like a pipe.
struct TPipeStream : TStream {
  std::string bytes;
  size_t at = 0;
  int largest_read = 0;
  bool Eof() override { return at == bytes.size(); }
  int Pos() override { return -1; }
  int Read(void* buf, int count) override {
    if (count > largest_read) largest_read = count;
    int n = static_cast<int>(std::min<size_t>(count, bytes.size() - at));
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return n;
  }
};

}  // namespace

TEST(RamStream, SeekClampsToTheBlock) {
  std::vector<unsigned char> b(16);
  auto s = Over(b);
  EXPECT_EQ(s->Seek(-5), 0);
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->Seek(26), 16);
  EXPECT_EQ(s->Pos(), 16);
  EXPECT_TRUE(s->Eof());
  EXPECT_EQ(s->Seek(7), 7);
  EXPECT_FALSE(s->Eof());
}

TEST(RamStream, ReadStopsAtTheEndAndRefusesWhenNotReadable) {
  std::vector<unsigned char> b = {1, 2, 3, 4, 5};
  auto s = Over(b);
  s->Seek(3);
  unsigned char out[8] = {};
  EXPECT_EQ(s->Read(out, 8), 2);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[1], 5);
  EXPECT_EQ(s->Read(out, 8), 0);
  EXPECT_EQ(s->Read(out, -1), 0);

  auto w = Over(b, false, true);
  EXPECT_EQ(w->Read(out, 1), 0);
  EXPECT_EQ(w->Write("\x09\x08", 2), 2);
  EXPECT_EQ(b[0], 9);
  w->Seek(4);
  EXPECT_EQ(w->Write("\x07\x07\x07", 3), 1);  // the block does not grow
  EXPECT_EQ(b[4], 7);
}

TEST(RamStream, WritingAReadOnlyBlockRaisesTheWriteError) {
  static const unsigned char rom[4] = {1, 2, 3, 4};  // in read-only memory: a write would fault
  auto s = TRamStream::Create(rom, 4, true, false);
  EXPECT_EQ(s->Write("x", 1), 0);
  EXPECT_EQ(ErrorText([&] { s->WriteBytes("x", 1); }), "Error writing to stream");
  EXPECT_THROW(s->WriteInt(5), TStreamWriteException);
  EXPECT_EQ(rom[0], 1);
}

TEST(TypedStream, ValuesRoundTripLittleEndian) {
  std::vector<unsigned char> b(64);
  auto s = Over(b, true, true);
  s->WriteByte(0x1FE);  // only the low byte is written
  s->WriteShort(0xBEEF);
  s->WriteInt(-2);
  s->WriteLong(0x0102030405060708LL);
  s->WriteFloat(1.5f);
  s->WriteDouble(-0.25);
  EXPECT_EQ(s->Pos(), 1 + 2 + 4 + 8 + 4 + 8);
  EXPECT_EQ(b[1], 0xEF);
  EXPECT_EQ(b[2], 0xBE);
  EXPECT_EQ(b[7], 0x08);
  s->Seek(0);
  EXPECT_EQ(s->ReadByte(), 0xFE);
  EXPECT_EQ(s->ReadShort(), 0xBEEF);
  EXPECT_EQ(s->ReadInt(), -2);
  EXPECT_EQ(s->ReadLong(), 0x0102030405060708LL);
  EXPECT_EQ(s->ReadFloat(), 1.5f);
  EXPECT_EQ(s->ReadDouble(), -0.25);
}

TEST(TypedStream, ReadsAtTheEndGiveZeroedValues) {
  std::vector<unsigned char> b = {0x34, 0x12, 0xFF};
  auto s = Over(b);
  s->Seek(1);
  // Two bytes are there; the rest of the int is zero, not left-over memory.
  EXPECT_EQ(s->ReadInt(), 0x0000FF12);
  EXPECT_TRUE(s->Eof());
  EXPECT_EQ(s->ReadByte(), 0);
  EXPECT_EQ(s->ReadShort(), 0);
  EXPECT_EQ(s->ReadInt(), 0);
  EXPECT_EQ(s->ReadLong(), 0);
  EXPECT_EQ(s->ReadFloat(), 0.0f);
  EXPECT_EQ(s->ReadDouble(), 0.0);
  EXPECT_EQ(s->ReadLine(), u"");
  EXPECT_EQ(s->ReadString(10), u"");
}

TEST(TypedStream, ReadBytesReportsTheFullCountAndLeavesTheTailAlone) {
  std::vector<unsigned char> b = {1, 2, 3};
  auto s = Over(b);
  unsigned char out[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_EQ(s->ReadBytes(out, 6), 6);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(out[3], 9);
  EXPECT_EQ(s->Pos(), 3);
}

TEST(TypedStream, SkipBytesStopsAtTheEndAndReadsInSmallPieces) {
  auto p = std::make_shared<TPipeStream>();
  p->bytes.assign(2500, 'x');
  EXPECT_EQ(p->SkipBytes(3000), 3000);
  EXPECT_TRUE(p->Eof());
  EXPECT_LE(p->largest_read, 1024);
}

TEST(TypedStream, AStreamThatStopsDeliveringRaisesTheReadError) {
  TStuckStream s;
  unsigned char out[4];
  EXPECT_EQ(ErrorText([&] { s.ReadBytes(out, 4); }), "Error reading from stream");
  EXPECT_EQ(ErrorText([&] { s.SkipBytes(4); }), "Error reading from stream");
  EXPECT_EQ(ErrorText([&] { s.WriteBytes(out, 4); }), "Error writing to stream");
  EXPECT_THROW(s.ReadInt(), TStreamException);
}

TEST(TypedStream, BaseStreamRefusesEverythingWithItsFixedTexts) {
  TStream s;
  char c;
  EXPECT_EQ(ErrorText([&] { s.Read(&c, 1); }), "Stream is not readable");
  EXPECT_EQ(ErrorText([&] { s.Write(&c, 1); }), "Stream is not writeable");
  EXPECT_EQ(ErrorText([&] { s.Seek(0); }), "Stream is not seekable");
  EXPECT_EQ(s.Pos(), -1);
}

TEST(TypedStream, LinesSplitOnLineFeedDropCarriageReturnsAndKeepAnyBytes) {
  std::string text = "abc\r\nd\xC3\xA4\xFF" "e\nlast";
  std::vector<unsigned char> b(text.begin(), text.end());
  auto s = Over(b);
  EXPECT_EQ(s->ReadLine(), u"abc");
  std::u16string second = s->ReadLine();
  EXPECT_EQ(ToOSBytes(second), "d\xC3\xA4\xFF" "e");
  EXPECT_EQ(s->ReadLine(), u"last");
  EXPECT_TRUE(s->Eof());

  std::vector<unsigned char> out(32);
  auto w = Over(out, true, true);
  w->WriteLine(second);
  w->WriteString(u"xy");
  EXPECT_EQ(std::string(out.begin(), out.begin() + w->Pos()), "d\xC3\xA4\xFF" "e\r\nxy");
  w->Seek(0);
  EXPECT_EQ(w->ReadString(5), second);
}

TEST(StreamWrapper, OpenStreamOnAStreamForwardsAndItsCloseLeavesTheStreamOpen) {
  std::vector<unsigned char> b = {10, 20, 30, 40};
  auto inner = Over(b);
  Ref<TStream> outer = OpenStream(inner, true, false);
  ASSERT_TRUE(outer);
  EXPECT_NE(outer.get(), inner.get());
  EXPECT_EQ(outer->Size(), 4);
  EXPECT_EQ(outer->ReadByte(), 10);
  EXPECT_EQ(inner->Pos(), 1);
  EXPECT_EQ(outer->Seek(3), 3);
  EXPECT_EQ(inner->ReadByte(), 40);
  EXPECT_TRUE(outer->Eof());

  outer->Close();
  outer->Close();
  inner->Seek(0);
  EXPECT_EQ(inner->ReadByte(), 10);
  // Detached, the wrapper reads nothing and touches nothing.
  EXPECT_EQ(outer->Pos(), -1);
  EXPECT_TRUE(outer->Eof());
  EXPECT_EQ(inner->Pos(), 1);
}

TEST(StreamWrapper, ReadFileCopiesAStreamWithoutPositionIntoMemory) {
  auto pipe = std::make_shared<TPipeStream>();
  pipe->bytes = "pipe bytes";
  Ref<TStream> s = ReadFile(pipe);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->Size(), 10);
  EXPECT_EQ(s->ReadString(10), u"pipe bytes");

  std::vector<unsigned char> b = {1, 2};
  auto ram = Over(b);
  Ref<TStream> same = ReadFile(ram);
  same->ReadByte();
  EXPECT_EQ(ram->Pos(), 1);  // a seekable stream is served directly, not copied
}

namespace {

struct TRecordingFactory : TStreamFactory {
  std::u16string name;
  std::u16string serves;
  std::vector<std::u16string>* log;
  std::u16string last_protocol, last_path;
  TRecordingFactory(std::u16string n, std::u16string p, std::vector<std::u16string>* l)
      : name(std::move(n)), serves(std::move(p)), log(l) {}
  Ref<TStream> CreateStream(const TUrl&, const std::u16string& protocol, const std::u16string& path,
                            bool, bool) override {
    log->push_back(name);
    last_protocol = protocol;
    last_path = path;
    if (protocol != serves) return nullptr;
    static unsigned char one = 1;
    return TRamStream::Create(&one, 1, true, false);
  }
};

}  // namespace

TEST(StreamFactory, NewestFactoryIsAskedFirstWithTheProtocolLowerCased) {
  std::vector<std::u16string> log;
  TRecordingFactory older(u"older", u"both", &log);
  TRecordingFactory newer(u"newer", u"new", &log);

  EXPECT_TRUE(OpenStream(u"NeW::a::b\\c", true, false));
  EXPECT_EQ(newer.last_protocol, u"new");
  EXPECT_EQ(newer.last_path, u"a::b\\c");
  ASSERT_EQ(log.size(), 1u);

  log.clear();
  EXPECT_TRUE(OpenStream(u"BOTH::x", true, false));
  EXPECT_EQ(log, (std::vector<std::u16string>{u"newer", u"older"}));

  log.clear();
  EXPECT_FALSE(OpenStream(u"nobody::x", true, false));
  EXPECT_EQ(log.size(), 2u);

  // An empty URL, and an object that is neither stream nor string, go to the
  // factories with empty protocol and path.
  log.clear();
  EXPECT_FALSE(OpenStream(u"", true, false));
  EXPECT_FALSE(OpenStream(std::make_shared<TObject>(), true, false));
  EXPECT_EQ(log.size(), 4u);
  EXPECT_EQ(older.last_protocol, u"");

  log.clear();
  EXPECT_TRUE(OpenStream(std::make_shared<TStringObject>(u"both::y"), true, false));
  EXPECT_EQ(older.last_path, u"y");
}

TEST(StreamFactory, DestroyedFactoryIsNoLongerAsked) {
  std::vector<std::u16string> log;
  {
    TRecordingFactory gone(u"gone", u"gone", &log);
  }
  EXPECT_FALSE(OpenStream(u"gone::x", true, false));
  EXPECT_TRUE(log.empty());
}

TEST(StreamHelpers, ReadAllBytesReadsTheRestOfAStreamAndLeavesItOpen) {
  std::vector<unsigned char> b = {1, 2, 3, 4};
  auto s = Over(b);
  s->Seek(1);
  std::vector<unsigned char> out;
  ASSERT_TRUE(ReadAllBytes(s, out));
  EXPECT_EQ(out, (std::vector<unsigned char>{2, 3, 4}));
  EXPECT_EQ(s->Seek(0), 0);

  auto stuck = std::make_shared<TStuckStream>();
  EXPECT_FALSE(ReadAllBytes(stuck, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(ReadAllBytes(u"nobody::x", out));
}
