// File streams on real files: modes, the case-insensitive retry for reading,
// backslash paths, closing twice, wrappers over files and exact byte names.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "platform/filesystem.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/temp_dir.h"

namespace {

std::u16string P(const TempDir& d, const std::string& rel) { return FromOSBytes(d.str() + "/" + rel); }

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::set<std::string> RawNames(const std::string& dir) {
  std::set<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) names.insert(e->d_name);
  closedir(d);
  return names;
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

}  // namespace

TEST(FileStream, WriteCreatesTruncatesAndReadSeesTheBytes) {
  TempDir d;
  d.Write("f.bin", "old content that is longer");
  Ref<TStream> w = WriteStream(P(d, "f.bin"));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Size(), 0);
  w->WriteInt(0x11223344);
  w->WriteString(u"ab");
  EXPECT_EQ(w->Pos(), 6);
  EXPECT_EQ(w->Size(), 6);
  char c;
  EXPECT_EQ(w->Read(&c, 1), 0);  // opened for writing only
  w->Close();
  EXPECT_EQ(Slurp(d.str() + "/f.bin"), std::string("\x44\x33\x22\x11" "ab", 6));

  Ref<TStream> r = ReadStream(P(d, "f.bin"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Size(), 6);
  EXPECT_EQ(r->ReadInt(), 0x11223344);
  EXPECT_EQ(r->Write("x", 1), 0);  // opened for reading only
  EXPECT_EQ(r->Seek(1), 1);
  EXPECT_EQ(r->ReadByte(), 0x33);
  EXPECT_EQ(r->Seek(6), 6);
  EXPECT_TRUE(r->Eof());
  EXPECT_EQ(r->ReadInt(), 0);
}

TEST(FileStream, ReadWriteModeKeepsTheFileAndMixesReadsWithWrites) {
  TempDir d;
  d.Write("rw.bin", "abcdef");
  Ref<TStream> s = OpenStream(P(d, "rw.bin"), true, true);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Size(), 6);
  EXPECT_EQ(s->ReadByte(), 'a');
  s->WriteByte('X');  // directly after a read
  EXPECT_EQ(s->ReadByte(), 'c');
  s->Seek(6);
  s->WriteString(u"gh");
  EXPECT_EQ(s->Size(), 8);
  s->Close();
  EXPECT_EQ(Slurp(d.str() + "/rw.bin"), "aXcdefgh");
  EXPECT_FALSE(OpenStream(P(d, "missing.bin"), true, true));
}

TEST(FileStream, MissingFileGivesNull) {
  TempDir d;
  EXPECT_FALSE(ReadStream(P(d, "nothing.png")));
  EXPECT_FALSE(WriteStream(P(d, "no/such/dir.png")));
  EXPECT_FALSE(OpenStream(P(d, "x"), false, false));
  // A folder, even one whose name looks like a picture, is not a file stream.
  std::filesystem::create_directory(d.path() / "folder.png");
  EXPECT_FALSE(ReadStream(P(d, "folder.png")));
  EXPECT_FALSE(ReadStream(P(d, "FOLDER.PNG")));
}

TEST(FileStream, ReadingFindsAFileWhateverItsLetterCase) {
  TempDir d;
  d.Write("Motives/A.PNG", "upper");
  Ref<TStream> r = ReadStream(P(d, "motives/a.png"));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->ReadString(5), u"upper");
  EXPECT_TRUE(ReadStream(P(d, "MOTIVES\\a.Png")));
  EXPECT_FALSE(ReadStream(P(d, "motives/b.png")));
  EXPECT_FALSE(ReadStream(P(d, "motives/a.png/x")));

  // Writing never looks for another spelling: it creates the exact name, and
  // fails where the exact folder does not exist.
  Ref<TStream> w = WriteStream(P(d, "Motives/a.png"));
  ASSERT_TRUE(w);
  w->WriteString(u"lower");
  w->Close();
  EXPECT_EQ(RawNames(d.str() + "/Motives"), (std::set<std::string>{".", "..", "A.PNG", "a.png"}));
  EXPECT_EQ(Slurp(d.str() + "/Motives/A.PNG"), "upper");
  EXPECT_FALSE(WriteStream(P(d, "motives/c.png")));
  EXPECT_FALSE(OpenStream(P(d, "motives/A.PNG"), true, true));
}

TEST(FileStream, RelativePathsWithBackslashesAndAnyCaseResolveFromTheCurrentFolder) {
  TempDir d;
  d.Write("Motives/a.png", "png bytes");
  d.Write("Motives/Sub/B.JPG", "jpg");
  std::u16string start = CurrentDir();
  ASSERT_EQ(ChangeDir(FromOSBytes(d.str())), 1);
  Ref<TStream> a = ReadStream(u"Motives\\a.png");
  Ref<TStream> b = ReadStream(u"motives\\sub\\b.jpg");
  Ref<TStream> c = ReadStream(u"./MOTIVES/A.png");
  ChangeDir(start);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Size(), 9);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ReadString(3), u"jpg");
  EXPECT_TRUE(c);
  EXPECT_TRUE(ReadStream(u"/ETC/Passwd"));  // down from the root as well
}

TEST(FileStream, ClosingTwiceAndUsingAClosedStreamIsHarmless) {
  TempDir d;
  d.Write("c.bin", "1234");
  Ref<TStream> s = ReadStream(P(d, "c.bin"));
  ASSERT_TRUE(s);
  s->Close();
  s->Close();
  EXPECT_EQ(s->Pos(), 0);
  EXPECT_EQ(s->Size(), 0);
  EXPECT_TRUE(s->Eof());
  char buf[4];
  EXPECT_EQ(s->Read(buf, 4), 0);
  EXPECT_EQ(s->ReadInt(), 0);
  s->Flush();
}

TEST(FileStream, AFullDeviceFailsTheWriteOrTheCloseNeverSilently) {
  Ref<TStream> small = WriteStream(u"/dev/full");
  if (!small) GTEST_SKIP() << "/dev/full is not available";
  small->WriteString(u"fits in the buffer");
  EXPECT_EQ(ErrorText([&] { small->Close(); }), "Error writing to stream");
  EXPECT_NO_THROW(small->Close());

  Ref<TStream> big = WriteStream(u"/dev/full");
  ASSERT_TRUE(big);
  std::string block(1 << 20, 'x');
  EXPECT_THROW(big->WriteBytes(block.data(), static_cast<int>(block.size())), TStreamWriteException);
  try {
    big->Close();  // what is still buffered may fail here too
  } catch (const TStreamWriteException&) {
  }
  EXPECT_NO_THROW(big->Close());
}

TEST(FileStream, APipeHasNoPositionAndReadFileCopiesItIntoMemory) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "through a pipe", 14), 14);
  close(fds[1]);
  Ref<TCStream> p = TCStream::CreateWithCStream(fdopen(fds[0], "rb"), TCStream::MODE_READ);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Pos(), -1);
  EXPECT_EQ(p->Size(), 0);
  EXPECT_FALSE(p->Eof());

  Ref<TStream> mem = ReadFile(p);
  ASSERT_TRUE(mem);
  EXPECT_EQ(mem->Pos(), 0);
  EXPECT_EQ(mem->Size(), 14);
  EXPECT_EQ(mem->ReadString(14), u"through a pipe");
  EXPECT_TRUE(p->Eof());
  EXPECT_EQ(p->ReadInt(), 0);  // at its end a pipe reads zeroes, no error
  p->Close();

  // A regular file keeps its file stream.
  TempDir d;
  d.Write("r.bin", "abc");
  Ref<TStream> f = ReadFile(P(d, "r.bin"));
  ASSERT_TRUE(f);
  EXPECT_TRUE(std::dynamic_pointer_cast<TCStream>(f));
  EXPECT_TRUE(std::dynamic_pointer_cast<TCStream>(WriteFile(P(d, "w.bin"))));
}

TEST(FileStream, WrapperCloseLeavesTheFileOpenForItsOwner) {
  TempDir d;
  d.Write("w.bin", "abcd");
  Ref<TStream> file = ReadStream(P(d, "w.bin"));
  ASSERT_TRUE(file);
  // What a loader chain does: each loader opens the chain's stream through
  // OpenStream and closes what it got.
  for (int i = 0; i < 3; ++i) {
    Ref<TStream> loader = ReadStream(file);
    ASSERT_TRUE(loader);
    file->Seek(0);
    EXPECT_EQ(loader->ReadByte(), 'a');
    loader->Close();
  }
  EXPECT_EQ(file->ReadByte(), 'b');
  file->Close();
  file->Close();
}

TEST(FileStream, NamesWithAnyBytesAreOpenedRewrittenAndRenamedExactly) {
  TempDir d;
  const std::string umlaut = "Bild \xC3\x84pfel.png";          // valid UTF-8
  const std::string broken = std::string("x\xFF\xFE y.JPG");  // not UTF-8
  d.Write(umlaut, "one");
  d.Write(broken, "two");

  std::vector<std::u16string> names = LoadDir(FromOSBytes(d.str()), true);
  ASSERT_EQ(names.size(), 2u);
  std::set<std::string> listed;
  for (const auto& n : names) listed.insert(ToOSBytes(n));
  EXPECT_EQ(listed, (std::set<std::string>{umlaut, broken}));

  for (const auto& n : names) {
    std::u16string path = FromOSBytes(d.str()) + u"/" + n;
    Ref<TStream> r = ReadStream(path);
    ASSERT_TRUE(r) << ToOSBytes(n);
    std::u16string body = r->ReadString(r->Size());
    r->Close();
    Ref<TStream> w = WriteStream(path);
    ASSERT_TRUE(w);
    w->WriteString(body + u"!");
    w->Close();
    ASSERT_TRUE(RenameFile(path, path + u".new"));
  }
  EXPECT_EQ(RawNames(d.str()), (std::set<std::string>{".", "..", umlaut + ".new", broken + ".new"}));
  EXPECT_EQ(Slurp(d.str() + "/" + broken + ".new"), "two!");
  EXPECT_EQ(Slurp(d.str() + "/" + umlaut + ".new"), "one!");
}

TEST(FileStream, ReadAllBytesReadsAWholeFile) {
  TempDir d;
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  d.Write("big.bin", big);
  std::vector<unsigned char> out;
  ASSERT_TRUE(ReadAllBytes(P(d, "big.bin"), out));
  EXPECT_EQ(std::string(out.begin(), out.end()), big);
  EXPECT_FALSE(ReadAllBytes(P(d, "none.bin"), out));
}

// Position and size are 32-bit: a file of 2 GiB or more (sparse here) reads up to
// the largest position and stays there.
TEST(FileStream, PositionsOfFilesFrom2GiBOnStopAtTheLargest) {
  TempDir d;
  const std::string path = d.str() + "/huge.bin";
  { std::ofstream(path, std::ios::binary); }
  if (::truncate(path.c_str(), (off_t{1} << 31) + 4096) != 0) GTEST_SKIP() << "no sparse 2 GiB file here";
  auto s = TCStream::OpenFile(FromOSBytes(path), true, false);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Size(), INT_MAX);
  EXPECT_EQ(s->Seek(INT_MAX - 10), INT_MAX - 10);
  char buf[100];
  EXPECT_EQ(s->Read(buf, sizeof buf), 100);
  EXPECT_EQ(s->Pos(), INT_MAX);
  EXPECT_TRUE(s->Eof());
}
