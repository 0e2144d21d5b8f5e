// The board save kept in step with the game, without a window: when it is written
// and removed, what a resumed board looks like, which saves are thrown away at the
// start, and where the save folder lies. Real files in a temporary folder; the
// writes go through the writer thread.
#include "game/resume.h"

#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "draw2d/image.h"
#include "game/board_save.h"
#include "game/draw_puzzle.h"
#include "game/motives.h"
#include "game/mouse.h"
#include "game/save_file.h"
#include "game_fixture.h"
#include "platform/random.h"
#include "platform/ustring.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class Resume : public GameStateTest {
 protected:
  TempDir tmp;
  std::string state = tmp.str() + "/state/tessolino";
  fs::path motif = tmp.path() / "Motives/Puzzle.png";
  Ref<TCountingSound> mix = CountingSound();

  void SetUp() override {
    GameStateTest::SetUp();
    tmp.Write("Motives/Puzzle.png", std::string(1000, 'p'));
    tmp.Write("Motives/Other.png", std::string(900, 'o'));
    for (const char16_t* name : {u"Puzzle.png", u"Other.png"}) {
      auto e = std::make_shared<TMotives>();
      e->Filename = name;
      e->Motiv = CreateImage(512, 512);
      e->ID = static_cast<uint16_t>(MotivesList.size());
      MotivesList.push_back(e);
    }
    CountMotives = 2;
    SFXpaperMix = mix;
    SeedRnd(23);
    StartSaves();
  }
  void TearDown() override {
    StopBoardSaves();
    GameStateTest::TearDown();
  }

  void StartSaves() { StartBoardSaves(state, FromOSBytes(tmp.str() + "/Motives/")); }

  // A new n x n game of the first motif, as a choice in the selection starts it.
  void NewGame(int n) {
    IMGPuzzle = MotivesList[0]->Motiv;
    CutBoard(n);
    NoteBoardMotif(*MotivesList[0]);
    MixPuzzle();
  }

  // The last frame of a swap animation between two cells.
  void Swap(int x1, int y1, int x2, int y2) {
    SwapFromX = x1;
    SwapFromY = y1;
    NewX = static_cast<uint16_t>(x2);
    NewY = static_cast<uint16_t>(y2);
    MoveReady = 1;
    MOUSE1HIT = 0;
    CorrectTiles = 0;
    Mouse(0);
  }

  std::optional<TBoardSave> OnDisk() {
    FinishSaveWrites();
    std::vector<unsigned char> bytes;
    TBoardSave s;
    if (!ReadSaveFile(state, bytes) || !DecodeBoardSave(bytes.data(), bytes.size(), s)) return std::nullopt;
    return s;
  }
  bool SaveExists() {
    FinishSaveWrites();
    return fs::exists(state + "/board.save");
  }

  // Every cell's tile, named by the cell it belongs in.
  static std::vector<uint16_t> Tiles() {
    std::vector<uint16_t> t;
    for (int id : Puzzle_ID_Now.cells) t.push_back(static_cast<uint16_t>(id - Puzzle_ID_Correct.cells[0]));
    return t;
  }
};

TEST_F(Resume, ARoundIsSavedFromItsFirstSwapOnAndASolvedBoardRemovesTheSave) {
  NewGame(5);
  SaveBoard();  // the program ends before the first swap
  EXPECT_FALSE(SaveExists()) << "an unswapped round is not saved";

  TIME = GameSecs + 65000;
  Helpstate = 2;
  Swap(0, 0, 4, 4);
  std::optional<TBoardSave> s = OnDisk();
  ASSERT_TRUE(s);
  EXPECT_EQ(s->motif.name, "Puzzle.png");
  EXPECT_EQ(s->motif.size, 1000u);
  EXPECT_EQ(s->grid, 5);
  EXPECT_EQ(s->tiles, Tiles());
  EXPECT_EQ(s->swaps, 1);
  EXPECT_EQ(s->help, 2);
  EXPECT_EQ(s->elapsed_ms, 65000u);
  EXPECT_TRUE(HasResumableBoard());
  EXPECT_EQ(fs::status(state).permissions() & fs::perms::all, fs::perms::owner_all) << "a private folder";

  // A new round keeps the old save until its first swap.
  const std::vector<uint16_t> first = s->tiles;
  NewGame(6);
  SaveBoard();
  EXPECT_EQ(OnDisk()->tiles, first);
  Swap(1, 0, 0, 1);
  EXPECT_EQ(OnDisk()->grid, 6);

  // The program ends: the clock and help level at that moment go with it.
  TIME = GameSecs + 90000;
  Helpstate = 3;
  SaveBoard();
  EXPECT_EQ(OnDisk()->elapsed_ms, 90000u);
  EXPECT_EQ(OnDisk()->help, 3);

  WINMODE = 3;  // "Auflösen"
  DrawPuzzle();
  EXPECT_FALSE(SaveExists());
  EXPECT_FALSE(HasResumableBoard());
  EXPECT_FALSE(fs::exists(state + "/board.save.tmp"));
}

TEST_F(Resume, AResumedBoardIsTheSavedOneWithItsCountersClockAndHelpLevel) {
  NewGame(5);
  Helpstate = 1;
  TIME = GameSecs + 4000;
  Swap(0, 0, 1, 0);
  Swap(2, 2, 3, 3);
  const std::vector<uint16_t> tiles = Tiles();
  ASSERT_TRUE(OnDisk());

  // The next start: another game is in memory meanwhile.
  StartSaves();
  ASSERT_TRUE(HasResumableBoard());
  IMGPuzzle = MotivesList[1]->Motiv;
  CutBoard(7);
  Helpstate = 0;
  TileMoves = 0;
  TIME = 1000000;
  mix->plays = 0;
  ASSERT_TRUE(ResumeSavedBoard());
  EXPECT_EQ(IMGPuzzle, MotivesList[0]->Motiv);
  EXPECT_EQ(BoardColumns(), 5);
  EXPECT_EQ(MAP_X, 5);
  EXPECT_EQ(AllTiles, 25);
  EXPECT_EQ(Tiles(), tiles);
  std::set<TImage*> images;
  for (const Ref<TImage>& i : Puzzle.cells) images.insert(i.get());
  EXPECT_EQ(images.size(), 25u) << "every tile's picture once (the pixels: the end-to-end test)";
  EXPECT_EQ(TileMoves, 2);
  EXPECT_EQ(Helpstate, 1);
  EXPECT_EQ(GameSecs, 1000000 - 4000);
  EXPECT_EQ(WINMODE, 0);

  // Resumed from a menu that a selection opened: the selection's shuffle leaves it.
  ShuffleAfterSelection();
  EXPECT_EQ(Tiles(), tiles);
  EXPECT_EQ(mix->plays, 0);
  BoardScreenShown();
  ShuffleAfterSelection();
  EXPECT_EQ(mix->plays, 1);
}

TEST_F(Resume, BadSavesAreRemovedAtTheStart) {
  NewGame(4);
  Swap(0, 0, 3, 3);
  const std::optional<TBoardSave> good = OnDisk();
  ASSERT_TRUE(good);
  const std::vector<unsigned char> bytes = EncodeBoardSave(*good);
  TBoardSave gone = *good, other = *good;
  gone.motif.name = "Gone.png";
  other.motif.name = "Other.png";  // in the catalogue, but its size and time are not these
  std::vector<unsigned char> noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 7919 >> 3);
  const struct {
    const char* what;
    std::vector<unsigned char> bytes;
  } bad[] = {
      {"cut short", std::vector<unsigned char>(bytes.begin(), bytes.end() - 1)},  // for all the reader refuses
      {"a motif that is gone", EncodeBoardSave(gone)},
      {"another motif's file", EncodeBoardSave(other)},
      {"noise", noise},
      {"larger than any save", std::vector<unsigned char>(100000, 1)},
  };
  for (const auto& b : bad) {
    tmp.Write("state/tessolino/board.save", std::string(b.bytes.begin(), b.bytes.end()));
    StartSaves();
    EXPECT_FALSE(HasResumableBoard()) << b.what;
    EXPECT_FALSE(SaveExists()) << b.what;
  }

  // The motif changed since the save: other bytes, or only a new time.
  for (int change = 0; change < 2; ++change) {
    NewGame(4);
    Swap(0, 0, 3, 3);
    StartSaves();
    ASSERT_TRUE(HasResumableBoard()) << "a save of the motif as it is now is kept";
    if (change == 0) tmp.Write("Motives/Puzzle.png", std::string(1001 + change, 'p'));
    const utimbuf later{good->motif.mtime_s + 60, good->motif.mtime_s + 60};
    if (change == 1) ::utime(motif.c_str(), &later);
    StartSaves();
    EXPECT_FALSE(HasResumableBoard()) << "change " << change;
    EXPECT_FALSE(SaveExists()) << "change " << change;
  }
}

TEST(SaveFolder, ComesFromTheEnvironmentAndNeverLiesAmongThePictures) {
  TempDir tmp;
  const std::string pictures = tmp.str() + "/game/Motives";
  fs::create_directories(pictures);
  const char* old_state = std::getenv("XDG_STATE_HOME");
  const char* old_home = std::getenv("HOME");
  const std::string keep_state = old_state ? old_state : "", keep_home = old_home ? old_home : "";
  auto set = [](const char* name, const std::string& v) {
    if (v.empty()) ::unsetenv(name);
    else ::setenv(name, v.c_str(), 1);
  };
  const std::string real = fs::canonical(tmp.path()).string();
  set("HOME", tmp.str() + "/home");
  set("XDG_STATE_HOME", tmp.str() + "/state");
  EXPECT_EQ(SaveFolderFor(pictures), real + "/state/tessolino");
  fs::create_directories(tmp.path() / "state/tessolino");
  EXPECT_EQ(SaveFolderFor(pictures), real + "/state/tessolino");
  set("XDG_STATE_HOME", "relative/state");  // not absolute: ignored
  EXPECT_EQ(SaveFolderFor(pictures), real + "/home/.local/state/tessolino");
  set("XDG_STATE_HOME", "");
  EXPECT_EQ(SaveFolderFor(pictures), real + "/home/.local/state/tessolino");
  set("HOME", "");
  EXPECT_EQ(SaveFolderFor(pictures), "");
  for (const std::string& inside : {pictures, pictures + "/sub/../x", tmp.str() + "/game/./Motives/"}) {
    set("XDG_STATE_HOME", inside);
    EXPECT_EQ(SaveFolderFor(pictures), "") << inside;
  }
  fs::create_directory_symlink(pictures, tmp.path() / "link");
  set("XDG_STATE_HOME", tmp.str() + "/link");
  EXPECT_EQ(SaveFolderFor(pictures), "") << "through a link";
  set("XDG_STATE_HOME", keep_state);
  set("HOME", keep_home);
}

}  // namespace
