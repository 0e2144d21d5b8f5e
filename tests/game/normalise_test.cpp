// The motif folder pass on real files: which pictures are rewritten, that the
// content decides the decoder, that a failed or throwing write never damages a
// picture, that the thread count changes no byte, that a stopped pass and a crashed
// one leave no temporary file, that the current directory always comes back, and
// that rewritten photos are upright, free of moire and keep their file mode, and
// that phones' and browsers' formats of real photos come out as well as JPEGs.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "game/motif_pass.h"
#include "game/motif_workers.h"
#include "game/motives.h"
#include "game/normalise.h"
#include "game/state.h"
#include "pixmap/photo.h"
#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "platform/ustring.h"
#include "tests/support/env.h"
#include "tests/support/jpeg_segments.h"
#include "tests/support/motif_writers.h"
#include "tests/support/photo_formats.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

Ref<TPixmap> Picture(int w, int h) {
  Ref<TPixmap> p = CreatePixmap(w, h, FormatRGB888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      WritePixel(p, x, y, static_cast<int>(0xFF000000u | ((x * 7) & 255) << 16 | ((y * 5) & 255) << 8 | ((x ^ y) & 255)));
  return p;
}

std::string Bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::map<std::string, std::string> Folder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path().filename().string()] = Bytes(e.path());
  return files;
}

bool IsJpeg(const fs::path& p) {
  const std::string b = Bytes(p);
  return b.size() > 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xD8;
}

void Size(const fs::path& p, int& w, int& h) {
  Ref<TPixmap> pix = LoadPixmap(TUrl(p.string()));
  w = PixmapWidth(pix);
  h = PixmapHeight(pix);
}

class Normalise : public ::testing::Test {
 protected:
  TempDir tmp;
  fs::path dir = tmp.path() / "Motives";
  fs::path home = fs::current_path();

  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    SetMotifWriter(nullptr);
    SetMotifWorkerCount(0);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
    fs::current_path(home);
  }
  void Png(const std::string& name, int w, int h) {
    ASSERT_EQ(SavePixmapPNG(Picture(w, h), TUrl((dir / name).string())), 1);
  }
  void Jpeg(const std::string& name, int w, int h) {
    ASSERT_EQ(SavePixmapJPeg(Picture(w, h), TUrl((dir / name).string()), 90), 1);
  }
  // Pictures a player put there earlier: the pass leaves files that are still
  // being written (modified in the last seconds) for a later start.
  int Run(const TPassWatch& watch = nullptr) {
    Backdate(dir);
    return NormaliseMotives(FromOSBytes(dir.string() + "/"), watch);
  }
  // Photo-like pictures of several sizes and kinds, some kept, most rewritten.
  void Mixed(int n) {
    for (int i = 0; i < n; ++i) {
      const std::string stem = (i % 4 == 0 ? "Puzzle" : "photo") + std::to_string(i);
      if (i % 3 == 0)
        Png(stem + ".png", 300 + 97 * i, 200 + 53 * i);
      else
        Jpeg(stem + ".jpg", 700 + 61 * i, 450 + 89 * i);
    }
  }

  // Runs fn in a child process that, when we are root, first becomes "nobody":
  // permissions do not bind root. Gives fn's result as the exit status.
  static constexpr int kCannotDropPrivileges = 2;
  template <class F>
  static int Unprivileged(F fn) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(kCannotDropPrivileges);
      ::_exit(fn());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
};

TEST_F(Normalise, RewritesByNameAndSizeAndLeavesOthersAlone) {
  Png("Puzzle1.png", 400, 300);
  Png("beach.png", 300, 300);
  Jpeg("PuzzleBig.jpg", 1024, 768);
  Png("puzzle2.png", 512, 512);
  Jpeg("photo.jpeg", 600, 600);
  Jpeg("photo.JPG", 200, 100);
  Png("photo.gif", 600, 600);
  tmp.Write("Motives/notes.txt", "hello");
  tmp.Write("Motives/picture.png", "not a picture at all");
  const std::string keep_puzzle1 = Bytes(dir / "Puzzle1.png");
  const std::string keep_gif = Bytes(dir / "photo.gif");

  EXPECT_EQ(Run(), 5);
  EXPECT_EQ(fs::current_path(), home);
  EXPECT_EQ(Bytes(dir / "Puzzle1.png"), keep_puzzle1);
  EXPECT_EQ(Bytes(dir / "photo.gif"), keep_gif);
  EXPECT_EQ(Bytes(dir / "notes.txt"), "hello");
  EXPECT_EQ(Bytes(dir / "picture.png"), "not a picture at all");
  for (const char* name : {"beach.png", "PuzzleBig.jpg", "puzzle2.png", "photo.jpeg", "photo.JPG"}) {
    int w = 0, h = 0;
    Size(dir / name, w, h);
    EXPECT_EQ(w, 512) << name;
    EXPECT_EQ(h, 512) << name;
    EXPECT_TRUE(IsJpeg(dir / name)) << name;
  }
  // No temporary file stays behind.
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 9);
}

TEST_F(Normalise, ContentDecidesTheDecoderOnTheNextStart) {
  Png("beach.png", 300, 300);
  Run();
  ASSERT_TRUE(IsJpeg(dir / "beach.png"));
  // A large JPEG under a PNG name must not slip past the size rule.
  Jpeg("PuzzleSneaky.png", 900, 700);
  EXPECT_EQ(Run(), 1) << "beach.png, prepared already, is not worn down again";
  int w = 0, h = 0;
  Size(dir / "PuzzleSneaky.png", w, h);
  EXPECT_EQ(w, 512);
  EXPECT_EQ(h, 512);
  Size(dir / "beach.png", w, h);
  EXPECT_EQ(w, 512);
}

TEST_F(Normalise, AFailedWriteKeepsTheOriginalAndNoTemporaryFile) {
  Png("beach.png", 300, 300);
  const std::string before = Bytes(dir / "beach.png");
  SetMotifWriter(&FailingMotifWriter);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Bytes(dir / "beach.png"), before);
  int entries = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(Normalise, AReadOnlyFolderLeavesEveryFileIntact) {
  Png("beach.png", 300, 300);
  Jpeg("big.jpg", 800, 800);
  const std::string a = Bytes(dir / "beach.png"), b = Bytes(dir / "big.jpg");
  Backdate(dir);
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(tmp.path(), fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
  const int status = Unprivileged([this] {
    {
      TFolderVisit visit(FromOSBytes(dir.string()));  // the pictures must be readable
      std::vector<unsigned char> bytes;
      if (!visit.Entered() || !ReadMotifFile(u"beach.png", bytes)) return 3;
    }
    return NormaliseMotives(FromOSBytes(dir.string() + "/")) == 0 ? 0 : 1;
  });
  if (status == kCannotDropPrivileges) GTEST_SKIP() << "could not drop privileges";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Bytes(dir / "beach.png"), a);
  EXPECT_EQ(Bytes(dir / "big.jpg"), b);
}

TEST_F(Normalise, AProgramFolderThatCanBeEnteredButNotListedStillFindsItsMotifs) {
  Png("beach.png", 300, 300);
  fs::permissions(dir, fs::perms::all);
  fs::permissions(dir / "beach.png", fs::perms::all);
  // Mode 0311: enter yes, list no; the game's relative "Motives/" is still reachable.
  Backdate(dir);
  fs::permissions(tmp.path(), fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec |
                                  fs::perms::others_exec);
  const int status = Unprivileged([this] {
    if (::chdir(tmp.path().c_str()) != 0) return 3;
    return NormaliseMotives(u"Motives/") == 1 ? 0 : 1;
  });
  fs::permissions(tmp.path(), fs::perms::owner_all);
  if (status == kCannotDropPrivileges) GTEST_SKIP() << "could not drop privileges";
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(IsJpeg(dir / "beach.png"));
}

TEST_F(Normalise, LinksAreReplacedNotWrittenThroughAndFifosAreNotOpened) {
  Png("outside.png", 300, 300);
  fs::rename(dir / "outside.png", tmp.path() / "outside.png");
  const std::string outside = Bytes(tmp.path() / "outside.png");
  fs::create_symlink(tmp.path() / "outside.png", dir / "link.png");
  ASSERT_EQ(::mkfifo((dir / "a.png").c_str(), 0644), 0);
  EXPECT_EQ(Run(), 1);  // returns at all: the FIFO did not block
  EXPECT_EQ(Bytes(tmp.path() / "outside.png"), outside);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "link.png")));
  EXPECT_TRUE(IsJpeg(dir / "link.png"));
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(dir / "a.png")));
}

TEST_F(Normalise, TheCurrentDirectoryAlwaysComesBack) {
  // A missing folder.
  EXPECT_EQ(NormaliseMotives(FromOSBytes((tmp.path() / "none/").string())), 0);
  EXPECT_EQ(fs::current_path(), home);
  // A folder that is a link into another tree: ".." would land in the target's parent.
  fs::create_directories(tmp.path() / "elsewhere" / "deep");
  Png("x.png", 100, 100);
  fs::rename(dir / "x.png", tmp.path() / "elsewhere" / "deep" / "x.png");
  fs::create_symlink(tmp.path() / "elsewhere" / "deep", tmp.path() / "linked");
  Backdate(tmp.path() / "elsewhere" / "deep");
  EXPECT_EQ(NormaliseMotives(FromOSBytes((tmp.path() / "linked").string() + "/")), 1);
  EXPECT_EQ(fs::current_path(), home);
  // A folder that lists but cannot be entered (a file under that name).
  tmp.Write("plain", "x");
  EXPECT_EQ(NormaliseMotives(FromOSBytes((tmp.path() / "plain").string())), 0);
  EXPECT_EQ(fs::current_path(), home);
}

TEST_F(Normalise, OnePixelStripesOfA4000PixelPhotoBecomeEvenGrey) {
  Ref<TPixmap> stripes = CreatePixmap(4000, 3000, FormatRGB888);
  for (int y = 0; y < 3000; ++y)
    for (int x = 0; x < 4000; ++x) WritePixel(stripes, x, y, (x % 2) ? -1 : int(0xFF000000u));
  ASSERT_EQ(SavePixmapPNG(stripes, TUrl((dir / "stripes.png").string()), 1), 1);
  ASSERT_EQ(SavePixmapJPeg(stripes, TUrl((dir / "stripes.jpg").string()), 90), 1);
  stripes.reset();
  EXPECT_EQ(Run(), 2);
  for (const char* name : {"stripes.png", "stripes.jpg"}) {
    Ref<TPixmap> p = LoadPixmap(TUrl((dir / name).string()));
    ASSERT_EQ(PixmapWidth(p), 512) << name;
    int lo = 255, hi = 0, edgeLo = 255, edgeHi = 0;
    for (int y = 0; y < 512; ++y)
      for (int x = 0; x < 512; ++x) {
        const int v = ReadPixel(p, x, y) & 0xFF;
        edgeLo = std::min(edgeLo, v), edgeHi = std::max(edgeHi, v);
        if (x >= 2 && x < 510) lo = std::min(lo, v), hi = std::max(hi, v);
      }
    // Bilinear sampling gave bands from black to white here.
    EXPECT_GE(lo, 124) << name;
    EXPECT_LE(hi, 131) << name;
    EXPECT_GE(edgeLo, 115) << name;  // the outermost columns see a cut kernel
    EXPECT_LE(edgeHi, 140) << name;
  }
}

TEST_F(Normalise, PhotosAreStoredUprightWithoutMetadataAndKeepTheirMode) {
  // Stored turned a quarter, with the tag (6) that says so: the stored top half,
  // red, is the right half once upright.
  Ref<TPixmap> stored = CreatePixmap(600, 800, FormatRGB888);
  for (int y = 0; y < 800; ++y)
    for (int x = 0; x < 600; ++x) WritePixel(stored, x, y, y < 400 ? int(0xFFE02020u) : int(0xFF2020E0u));
  const std::string jpeg = (dir / "x.jpg").string();
  ASSERT_EQ(SavePixmapJPeg(stored, TUrl(jpeg), 90), 1);
  const std::string file = InsertSegment(Bytes(jpeg), 0xE1, ExifOrientationBlock(6));
  fs::remove(jpeg);
  tmp.Write("Motives/phone.jpg", file);
  // Small enough to keep under its "Puzzle" name: kept as it is, tag and all.
  ASSERT_EQ(SavePixmapJPeg(CreatePixmap(300, 200, FormatRGB888), TUrl(jpeg), 90), 1);
  const std::string small = InsertSegment(Bytes(jpeg), 0xE1, ExifOrientationBlock(8));
  fs::remove(jpeg);
  tmp.Write("Motives/Puzzle small.jpg", small);
  ::chmod((dir / "phone.jpg").c_str(), 0640);
  Png("private.png", 100, 100);
  ::chmod((dir / "private.png").c_str(), 0600);
  Png("open.png", 100, 100);
  ::chmod((dir / "open.png").c_str(), 0755);
  ::umask(022);
  EXPECT_EQ(Run(), 3);
  EXPECT_EQ(Bytes(dir / "Puzzle small.jpg"), small);
  const std::string out = Bytes(dir / "phone.jpg");
  EXPECT_EQ(out.find("Exif"), std::string::npos);
  Ref<TPixmap> p = LoadPixmap(TUrl((dir / "phone.jpg").string()));
  ASSERT_EQ(PixmapWidth(p), 512);
  EXPECT_GT((ReadPixel(p, 400, 256) >> 16) & 0xFF, 0xC0) << "red on the right";
  EXPECT_GT(ReadPixel(p, 100, 256) & 0xFF, 0xC0) << "blue on the left";
  struct stat st {};
  for (auto [name, mode] : {std::pair{"phone.jpg", 0640}, {"private.png", 0600}, {"open.png", 0755}}) {
    ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, static_cast<unsigned>(mode)) << name;
  }
}

TEST_F(Normalise, OneAndFourWorkersWriteTheSameBytes) {
  Mixed(12);
  // Real camera and scanner files where the corpora are at hand.
  const std::string data = TestDataDir();
  for (const char* f : {"jpeg-pillow/pil_sample_cmyk.jpg", "jpeg-pillow/hopper.jpg",
                        "jpeg-image-rs-jpeg-decoder/reftest/images/ycck.jpg",
                        "jpeg-image-rs-jpeg-decoder/icc/icc_chunk_order.jpeg"})
    if (!data.empty() && fs::exists(fs::path(data) / f)) fs::copy_file(fs::path(data) / f, dir / fs::path(f).filename());
  const fs::path twin = tmp.path() / "Twin";
  fs::copy(dir, twin);
  SetMotifWorkerCount(1);
  const int one = Run();
  SetMotifWorkerCount(4);
  Backdate(twin);
  EXPECT_EQ(NormaliseMotives(FromOSBytes(twin.string() + "/")), one);
  EXPECT_GE(one, 9);
  EXPECT_EQ(Folder(dir), Folder(twin));
}

TEST_F(Normalise, AJobThatThrowsOrCannotDecodeLeavesTheOthersDone) {
  Mixed(8);  // Puzzle0.png is small and kept: seven rewrites
  tmp.Write("Motives/broken.jpg", Bytes(dir / "photo1.jpg").substr(0, 300));
  const auto before = Folder(dir);
  SetMotifWorkerCount(4);
  ResetThrowingMotifWriter(2, 5);
  SetMotifWriter(&ThrowingMotifWriter);
  EXPECT_EQ(Run(), 5);
  const auto after = Folder(dir);
  ASSERT_EQ(after.size(), before.size()) << "no temporary file stays";
  int untouched = 0;
  for (const auto& [name, bytes] : after) {
    if (bytes == before.at(name)) {
      ++untouched;
      continue;
    }
    int w = 0, h = 0;
    Size(dir / name, w, h);
    EXPECT_EQ(w, 512) << name;
    EXPECT_TRUE(IsJpeg(dir / name)) << name;
  }
  EXPECT_EQ(untouched, 2 + 1 + 1) << "the two that threw, the one kept, the broken one";
}

TEST_F(Normalise, AStoppedPassFinishesOnlyTheMotifsInWork) {
  Mixed(6);
  const auto before = Folder(dir);
  SetMotifWorkerCount(1);
  SetMotifWriterDelay(100);
  SetMotifWriter(&SlowMotifWriter);
  std::vector<int> seen;
  Run([&](int done, int total) {
    seen.push_back(done);
    EXPECT_EQ(total, 6);
    return false;  // a close request at once
  });
  EXPECT_EQ(seen, std::vector<int>{0});
  const auto after = Folder(dir);
  ASSERT_EQ(after.size(), before.size()) << "no temporary file stays";
  int changed = 0;
  for (const auto& [name, bytes] : after) changed += bytes != before.at(name);
  EXPECT_LE(changed, 1) << "only the motif the one worker had begun";
}

TEST_F(Normalise, WhatIsCutShortStillArrivingReadOnlyOrPreparedStaysAsItIsAndIsOffered) {
  Jpeg("whole.jpg", 1200, 900);
  const std::string jpeg = Bytes(dir / "whole.jpg");
  tmp.Write("Motives/cut.jpg", jpeg.substr(0, jpeg.size() * 6 / 10));  // a download cut short
  Png("noend.png", 800, 600);
  const std::string png = Bytes(dir / "noend.png");
  tmp.Write("Motives/noend.png", png.substr(0, png.size() - 12));  // a copy not quite done
  Jpeg("readonly.jpg", 900, 700);
  ::chmod((dir / "readonly.jpg").c_str(), 0444);
  Jpeg("prepared.jpg", 512, 512);
  // The same size, but stored turned: the rewrite makes it upright.
  tmp.Write("Motives/turned.jpg", InsertSegment(Bytes(dir / "prepared.jpg"), 0xE1, ExifOrientationBlock(6)));
  Backdate(dir);
  Jpeg("fresh.jpg", 900, 700);  // still being copied as the game starts
  const auto before = Folder(dir);
  EXPECT_EQ(NormaliseMotives(FromOSBytes(dir.string() + "/")), 2);
  for (const char* name : {"cut.jpg", "noend.png", "readonly.jpg", "prepared.jpg", "fresh.jpg"})
    EXPECT_EQ(Bytes(dir / name), before.at(name)) << name;
  EXPECT_NE(Bytes(dir / "whole.jpg"), before.at("whole.jpg"));
  EXPECT_NE(Bytes(dir / "turned.jpg"), before.at("turned.jpg"));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "readonly.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  // Every one of them is offered, scaled in memory where it was kept.
  ResetGameState();
  BuildMotiveCatalogue(FromOSBytes(dir.string() + "/"));
  EXPECT_EQ(CountMotives, 7);
  for (const Ref<TMotives>& e : MotivesList) EXPECT_EQ(e->Motivwidth, 512) << ToOSBytes(e->Filename);
  ResetGameState();
}

// Puts a link to a file outside the folder where the pass's temporary file is, as
// an attacker racing the writer would, then writes for real.
fs::path g_outside;
int LinkPlantingWriter(const Ref<TPixmap>& pixmap, const Ref<TStream>& out) {
  for (const auto& e : fs::directory_iterator(".")) {
    if (!IsTemporaryMotifName(FromOSBytes(e.path().filename().string()))) continue;
    fs::remove(e.path());
    fs::create_symlink(g_outside, e.path());
  }
  return SavePixmapJPeg(pixmap, TUrl(out), 75);
}

TEST_F(Normalise, TheTemporaryFileIsWrittenOnlyThroughTheDescriptorThatMadeIt) {
  Jpeg("photo.jpg", 900, 700);
  const std::string photo = Bytes(dir / "photo.jpg");
  g_outside = tmp.path() / "outside.txt";
  tmp.Write("outside.txt", "not to be touched");
  SetMotifWriter(&LinkPlantingWriter);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Bytes(g_outside), "not to be touched");
  EXPECT_EQ(Bytes(dir / "photo.jpg"), photo);
}

TEST_F(Normalise, TransparencyIsLaidOverWhiteSoBlackTextOnItStaysReadable) {
  Ref<TPixmap> logo = CreatePixmap(800, 400, FormatRGBA8888);
  ClearPixels(logo, 0);  // transparent black, as drawing programs store it
  for (int y = 150; y < 250; ++y)
    for (int x = 200; x < 600; ++x) WritePixel(logo, x, y, static_cast<int>(0xFF000000u));  // the "text"
  ASSERT_EQ(SavePixmapPNG(logo, TUrl((dir / "logo.png").string())), 1);
  EXPECT_EQ(Run(), 1);
  Ref<TPixmap> p = LoadPixmap(TUrl((dir / "logo.png").string()));
  ASSERT_EQ(PixmapWidth(p), 512);
  EXPECT_LT(ReadPixel(p, 256, 256) & 0xFF, 30) << "the text";
  EXPECT_GT(ReadPixel(p, 20, 20) & 0xFF, 245) << "the background";
}

TEST_F(Normalise, TheFolderLockDecidesWhoRemovesTemporaryFilesAndWhoPasses) {
  // Left by crashes, in this pid namespace or another: with the lock, no pass runs
  // that could own one.
  const std::string mine = std::to_string(::getpid());
  for (const std::string& name : std::vector<std::string>{".tessolino-1.tmp", ".tessolino-1-7.tmp",
                                  ".tessolino-" + mine + "-0123456789abcdef-3.tmp", ".tessolino-12x.tmp",
                                  ".tessolino-1-.tmp", "tessolino-1.tmp"})
    tmp.Write("Motives/" + name, "\xFF\xD8left by a crash");
  fs::create_directories(dir / ".tessolino-9-9.tmp");
  Png("beach.png", 300, 300);
  const auto before = Folder(dir);
  {
    // Another instance holds the folder: this one leaves everything to it.
    const int other = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(Run() == 0 && Folder(dir) == before ? 0 : 1);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    ::close(other);
  }
  EXPECT_EQ(Run(), 1);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  // Odd names are not ours; a folder is never removed.
  EXPECT_EQ(left, (std::vector<std::string>{".tessolino-1-.tmp", ".tessolino-12x.tmp", ".tessolino-9-9.tmp",
                                            "beach.png", "tessolino-1.tmp"}));
}

TEST_F(Normalise, PhoneAndBrowserFormatsOfRealPhotosComeOutUprightInSRgbLikeTheJpeg) {
  // Each photo given as its own JPEG and as HEIC, AVIF and WebP from the real
  // encoders; the same in Display P3 with the profile (as phones take them), and
  // as an AVIF that says P3 by its nclx box alone; and as a HEIC stored turned
  // with irot and an EXIF tag that says the same.
  const char* photos[] = {"Dune.jpg", "FreshFlower.jpg"};
  const fs::path work = tmp.path() / "work";
  fs::create_directories(work);
  for (const char* name : photos) {
    const std::string photo = WallpaperPhoto(name), stem = fs::path(name).stem().string();
    if (photo.empty()) GTEST_SKIP() << "needs the photos of mate-backgrounds";
    const std::string p3 = (work / (stem + "-p3.jpg")).string(), to = (dir / stem).string();
    ASSERT_TRUE(LanczosReference(photo, (work / (stem + "-ref.png")).string()));
    ASSERT_TRUE(DisplayP3Copy(photo, p3));
    fs::copy_file(photo, to + ".jpg");
    fs::copy_file(p3, to + "-p3.jpg");
    for (auto [from, suffix] : {std::pair{p3, ""}, {photo, "-srgb"}}) {
      ASSERT_TRUE(RunQuietly("heif-enc -q 95 " + kOneThreadX265 + " '" + from + "' -o '" + to + suffix + ".heic'"));
      ASSERT_TRUE(RunQuietly("avifenc -s 8 --min 0 --max 8 '" + from + "' '" + to + suffix + ".avif'"));
      ASSERT_TRUE(RunQuietly("cwebp -quiet -q 95 -metadata icc '" + from + "' -o '" + to + suffix + ".webp'"));
    }
    ASSERT_TRUE(RunQuietly("avifenc -s 8 --min 0 --max 8 --ignore-icc --cicp 12/13/6 '" + p3 + "' '" + to +
                           "-nclx.avif'"));
    // Turned a quarter to the left as stored; irot (orientation 6) turns it back.
    ASSERT_TRUE(WriteTurnedHeic(OrientPixmap(LoadPixmap(TUrl(photo)), 8), 6, to + "-turned.HEIC"));
  }
  EXPECT_EQ(Run(), 10 * 2);
  // Each against the JPEG it was encoded from, all against the reference made
  // from the original.
  for (const char* name : photos) {
    const std::string stem = (dir / fs::path(name).stem()).string();
    const Ref<TPixmap> ref = LoadPixmap(TUrl((work / (fs::path(name).stem().string() + "-ref.png")).string()));
    auto psnr = [&](const std::string& kind) {
      EXPECT_TRUE(IsJpeg(stem + kind)) << stem + kind;
      return Psnr(LoadPixmap(TUrl(stem + kind)), ref);
    };
    const double jpeg = psnr(".jpg"), p3 = psnr("-p3.jpg");
    EXPECT_GT(jpeg, 28.0) << name;
    for (const char* kind : {"-turned.HEIC", "-srgb.heic", "-srgb.avif", "-srgb.webp"})
      EXPECT_GT(psnr(kind), jpeg - 0.5) << stem + kind << ": " << jpeg << " dB as JPEG";
    for (const char* kind : {".heic", ".avif", "-nclx.avif", ".webp"})
      EXPECT_GT(psnr(kind), p3 - 0.5) << stem + kind << ": " << p3 << " dB as JPEG in Display P3";
  }
}

TEST(MotifNames, LastFourCharactersLowerCasedAndCaseSensitivePrefix) {
  for (const char16_t* yes : {u"a.png", u"b.JPG", u"c.jpeg", u"d.JPEG", u"ejpeg", u".png", u"f.heic", u"g.HEIF",
                              u"h.avif", u"i.WebP", u"jwebp", u"k.jfif", u"l.JFIF"})
    EXPECT_TRUE(IsMotifName(yes)) << ToOSBytes(yes);
  for (const char16_t* no : {u"a.gif", u"notes.txt", u"a.pn", u"png", u"a.png.bak", u"heic", u"a.heics",
                             u"a.avifs", u"a.jfi", u"a.hei"})
    EXPECT_FALSE(IsMotifName(no)) << ToOSBytes(no);
  EXPECT_FALSE(MotifNeedsRewrite(u"Puzzle1.png", 400, 300));
  EXPECT_FALSE(MotifNeedsRewrite(u"Puzzle.png", 512, 512));
  EXPECT_TRUE(MotifNeedsRewrite(u"Puzzle.png", 513, 10));
  EXPECT_TRUE(MotifNeedsRewrite(u"Puzzle.png", 10, 513));
  EXPECT_TRUE(MotifNeedsRewrite(u"puzzle2.png", 512, 512));
  // Temporary names carry this process's id and a random part, and differ from call
  // to call.
  const std::u16string a = TemporaryMotifName(), b = TemporaryMotifName();
  EXPECT_NE(a, b);
  EXPECT_FALSE(IsMotifName(a));
  EXPECT_TRUE(IsTemporaryMotifName(a));
  EXPECT_EQ(ToOSBytes(a).rfind(".tessolino-" + std::to_string(::getpid()) + "-", 0), 0u);
  for (const char16_t* yes : {u".tessolino-42.tmp", u".tessolino-42-7.tmp", u".tessolino-42-00ff00ff00ff00ff-7.tmp"})
    EXPECT_TRUE(IsTemporaryMotifName(yes)) << ToOSBytes(yes);
  for (const char16_t* no : {u".tessolino-0.tmp", u".tessolino--1.tmp", u".tessolino-1234567890.tmp",
                             u".tessolino-.tmp", u".tessolino-7.png", u".tessolino-4-00ff-7.tmp",
                             u".tessolino-4-00FF00FF00FF00FF-7.tmp", u".tessolino-4-1-2-3.tmp"})
    EXPECT_FALSE(IsTemporaryMotifName(no)) << ToOSBytes(no);
}

}  // namespace
