// The board save kept in step with the game. Leans on the save's format and file,
// the catalogue and its pictures, the board set-up and the game state.
#include "game/resume.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "game/board.h"
#include "game/board_save.h"
#include "game/motif_residency.h"
#include "game/motives.h"
#include "game/save_file.h"
#include "game/screen_util.h"
#include "game/state.h"
#include "platform/app.h"
#include "platform/ustring.h"

namespace {

struct TSaves {
  bool on = false;
  std::string folder;
  std::u16string pictures;
  std::optional<TBoardSave> saved;   // what the save file holds
  std::optional<TMotifStamp> board;  // the motif file the current board was cut from
  bool tracked = false;              // the current round is the one the save holds
  bool resumed_unshown = false;
};

TSaves g;

std::optional<TMotifStamp> StampOf(const std::u16string& filename) {
  struct stat st {};
  if (::stat(ToOSBytes(g.pictures + filename).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return TMotifStamp{ToOSBytes(filename), static_cast<uint64_t>(st.st_size), st.st_mtim.tv_sec,
                     static_cast<uint32_t>(st.st_mtim.tv_nsec)};
}

Ref<TMotives> CatalogueEntry(const std::string& name) {
  for (const Ref<TMotives>& e : MotivesList)
    if (ToOSBytes(e->Filename) == name) return e;
  return nullptr;
}

// A save fits when its motif is in the catalogue and its file is as the board
// was cut from it.
bool Fits(const TBoardSave& s) {
  const Ref<TMotives> entry = CatalogueEntry(s.motif.name);
  return entry && StampOf(entry->Filename) == s.motif;
}

// The current board as a save: every cell's tile named by the cell it belongs in.
// Tile ids run in the cells' order from the first cell's own id (the cutting
// numbers them so).
std::optional<TBoardSave> CurrentBoard() {
  if (!g.board || !BoardReady() || BoardColumns() != BoardRows()) return std::nullopt;
  TBoardSave s;
  s.motif = *g.board;
  s.grid = BoardColumns();
  s.help = Helpstate;
  s.swaps = TileMoves;
  s.elapsed_ms = static_cast<uint32_t>(std::max(0, ClockDiff(TIME, GameSecs)));
  const std::vector<int>& now = Puzzle_ID_Now.cells;
  const std::vector<int>& home = Puzzle_ID_Correct.cells;
  const int n = static_cast<int>(now.size());
  s.tiles.resize(now.size());
  for (int c = 0; c < n; ++c) {
    const int k = ClockDiff(now[c], home[0]);
    if (k < 0 || k >= n || home[k] != now[c]) return std::nullopt;
    s.tiles[c] = static_cast<uint16_t>(k);
    s.correct = static_cast<uint16_t>(s.correct + (k == c));
  }
  return s;
}

void Forget() {
  g.saved.reset();
  RemoveSaveFile(g.folder);
}

void SaveAtExit() {
  SaveBoard();
  FinishSaveWrites();
}

}  // namespace

void StartBoardSaves(const std::string& folder, const std::u16string& pictures) {
  StopBoardSaves();
  g.folder = folder;
  g.pictures = pictures;
  g.on = !folder.empty();
  if (!g.on) return;
  static const bool at_exit = (AddExitHandler(&SaveAtExit), true);
  (void)at_exit;
  std::vector<unsigned char> bytes;
  if (!ReadSaveFile(folder, bytes)) return;
  TBoardSave s;
  if (DecodeBoardSave(bytes.data(), bytes.size(), s) && Fits(s)) g.saved = std::move(s);
  else Forget();
}

void StopBoardSaves() {
  FinishSaveWrites();
  g = TSaves();
}

bool HasResumableBoard() { return g.on && g.saved.has_value(); }

bool ResumeSavedBoard() {
  if (!HasResumableBoard()) return false;
  const TBoardSave s = *g.saved;
  const Ref<TMotives> entry = CatalogueEntry(s.motif.name);
  if (entry) MakeMotifPicturesNow(*entry);
  if (!entry || !entry->Motiv) {
    Forget();
    return false;
  }
  IMGPuzzle = entry->Motiv;
  MAP_X = MAP_Y = s.grid;
  CutChosenBoard();
  // The board is cut solved: cell k holds tile k.
  const std::vector<int> ids = Puzzle_ID_Now.cells;
  const std::vector<Ref<TImage>> images = Puzzle.cells;
  for (size_t c = 0; c < s.tiles.size(); ++c) {
    Puzzle_ID_Now.cells[c] = ids[s.tiles[c]];
    Puzzle.cells[c] = images[s.tiles[c]];
  }
  ClearHeldTile();
  WINMODE = 0;
  TileMoves = s.swaps;
  CorrectTiles = s.correct;
  Helpstate = s.help;
  GameSecs = ClockAdd(TIME, -static_cast<int>(s.elapsed_ms));
  g.board = s.motif;
  g.tracked = true;
  g.resumed_unshown = true;
  return true;
}

void NoteBoardMotif(const TMotives& motif) {
  g.board = StampOf(motif.Filename);
  g.tracked = false;
  g.resumed_unshown = false;
}

void StartUnsavedRound() { g.tracked = false; }

void SaveBoardAfterSwap() {
  g.tracked = true;
  SaveBoard();
}

void SaveBoard() {
  if (!g.on || !g.tracked) return;
  std::optional<TBoardSave> s = CurrentBoard();
  if (!s) return;
  if (s->correct == s->tiles.size()) {
    g.tracked = false;
    Forget();
    return;
  }
  std::vector<unsigned char> bytes = EncodeBoardSave(*s);
  if (bytes.empty()) return;
  g.saved = std::move(s);
  WriteSaveFile(g.folder, std::move(bytes));
}

void ShuffleAfterSelection() {
  if (!g.resumed_unshown) MixPuzzle();
}

void BoardScreenShown() { g.resumed_unshown = false; }
