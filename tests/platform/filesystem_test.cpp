// Directory listing, changing directory and the file operations, on real folders.
#include "platform/filesystem.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/ustring.h"
#include "tests/support/temp_dir.h"

namespace {

std::set<std::u16string> AsSet(const std::vector<std::u16string>& v) { return {v.begin(), v.end()}; }

// Restores the current directory however a test ends.
struct CwdGuard {
  std::u16string start = CurrentDir();
  ~CwdGuard() { ChangeDir(start); }
};

}  // namespace

TEST(LoadDir, EmptyFolderListsNothingOrOnlyTheDots) {
  TempDir d;
  std::filesystem::create_directory(d.path() / "Motives");
  CwdGuard cwd;
  ASSERT_EQ(ChangeDir(FromOSBytes(d.str())), 1);
  EXPECT_TRUE(LoadDir(u"Motives/", true).empty());
  EXPECT_TRUE(LoadDir(u"Motives", true).empty());
  std::vector<std::u16string> all = LoadDir(u"Motives/", false);
  EXPECT_EQ(all.size(), 2u);
  EXPECT_EQ(AsSet(all), (std::set<std::u16string>{u".", u".."}));
}

TEST(LoadDir, ListsEveryEntryOnceWithBackslashPathsAndRootsToo) {
  TempDir d;
  for (int i = 0; i < 250; ++i) d.Write("sub/Motives/f" + std::to_string(i) + ".png", "");
  std::filesystem::create_directory(d.path() / "sub/Motives/folder");
  std::u16string dir = FromOSBytes(d.str()) + u"\\sub\\Motives\\";
  std::vector<std::u16string> names = LoadDir(dir, true);
  EXPECT_EQ(names.size(), 251u);
  EXPECT_EQ(AsSet(names).size(), 251u);
  EXPECT_TRUE(AsSet(names).count(u"f249.png"));
  EXPECT_TRUE(AsSet(names).count(u"folder"));
  // A trailing slash of the root is kept: "/" lists the root, not "".
  std::vector<std::u16string> root = LoadDir(u"/", true);
  EXPECT_TRUE(AsSet(root).count(u"tmp"));
}

TEST(LoadDir, MissingFolderOrAFileGivesAnEmptyList) {
  TempDir d;
  d.Write("file.txt", "x");
  EXPECT_TRUE(LoadDir(FromOSBytes(d.str()) + u"/none", false).empty());
  EXPECT_TRUE(LoadDir(FromOSBytes(d.str()) + u"/file.txt", false).empty());
  EXPECT_TRUE(LoadDir(u"", false).empty());
}

TEST(ChangeDir, ChangesAndReportsFailureWithoutMoving) {
  TempDir d;
  std::filesystem::create_directories(d.path() / "Motives");
  CwdGuard cwd;
  ASSERT_EQ(ChangeDir(FromOSBytes(d.str())), 1);
  std::u16string here = CurrentDir();
  EXPECT_EQ(ChangeDir(u"Motives/"), 1);
  EXPECT_EQ(CurrentDir(), here + u"/Motives");
  EXPECT_EQ(ChangeDir(u".."), 1);
  EXPECT_EQ(CurrentDir(), here);
  EXPECT_EQ(ChangeDir(u"missing"), 0);
  EXPECT_EQ(ChangeDir(u""), 0);
  EXPECT_EQ(CurrentDir(), here);
  EXPECT_EQ(ChangeDir(u"Motives\\"), 1);
}

TEST(ChangeDir, FolderNamedWithInvalidUtf8IsEnteredAndListedExactly) {
  TempDir d;
  const std::string raw = std::string("M\xF6tive\xFF");
  d.Write(raw + "/p\xE4.jpg", "x");
  std::vector<std::u16string> top = LoadDir(FromOSBytes(d.str()), true);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(ToOSBytes(top[0]), raw);
  CwdGuard cwd;
  ASSERT_EQ(ChangeDir(FromOSBytes(d.str()) + u"/" + top[0]), 1);
  std::vector<std::u16string> inner = LoadDir(u".", true);
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_EQ(ToOSBytes(inner[0]), "p\xE4.jpg");
  EXPECT_EQ(FileSize(inner[0]), 1);
}

TEST(FileOps, FileTypeDoesNotFollowLinks) {
  TempDir d;
  d.Write("f.png", "12345");
  std::filesystem::create_directory(d.path() / "dir");
  std::filesystem::create_symlink(d.path() / "f.png", d.path() / "link.png");
  std::u16string base = FromOSBytes(d.str()) + u"/";
  EXPECT_EQ(FileType(base + u"f.png"), FILETYPE_FILE);
  EXPECT_EQ(FileType(base + u"dir"), FILETYPE_DIR);
  EXPECT_EQ(FileType(base + u"link.png"), FILETYPE_OTHER);
  EXPECT_EQ(FileType(base + u"none"), FILETYPE_NONE);
  EXPECT_EQ(FileSize(base + u"f.png"), 5);
  EXPECT_EQ(FileSize(base + u"link.png"), -1);
  EXPECT_EQ(FileSize(base + u"dir"), -1);
}

TEST(FileOps, RenameReplacesTheTargetAndDeleteRemovesOnlyFiles) {
  TempDir d;
  d.Write("new.tmp", "new");
  d.Write("old.jpg", "old");
  std::filesystem::create_directory(d.path() / "dir");
  std::u16string base = FromOSBytes(d.str()) + u"/";
  EXPECT_TRUE(RenameFile(base + u"new.tmp", base + u"old.jpg"));
  EXPECT_EQ(FileType(base + u"new.tmp"), FILETYPE_NONE);
  EXPECT_EQ(FileSize(base + u"old.jpg"), 3);
  EXPECT_FALSE(RenameFile(base + u"new.tmp", base + u"x"));
  EXPECT_TRUE(DeleteFile(base + u"old.jpg"));
  EXPECT_FALSE(DeleteFile(base + u"old.jpg"));
  EXPECT_FALSE(DeleteFile(base + u"dir"));
  EXPECT_EQ(FileType(base + u"dir"), FILETYPE_DIR);
}
