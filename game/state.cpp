// The game state's definitions and initial values.
#include "game/state.h"

#include "audio/audio.h"
#include "draw2d/image.h"
#include "draw2d/image_font.h"
#include "game/motives.h"
#include "platform/timer.h"

int MAP_X = 12;
int MAP_Y = 12;
uint16_t PuzzleTileSize = 512 / 12;
uint8_t BetweenTile = 3;
float AutoMidX = 0, AutoMidY = 0;
float Previewwidthfaktor = 0.39f, Previewheightfaktor = 0.39f;
uint8_t Helpstate = 0;

int MX = 0, MY = 0;
int PointerX = 0, PointerY = 0;
uint8_t MOUSE1HIT = 0;
int MOUSESCROLL = 0;
int MZSpeedOld = 0;

int TIME = 0;
Ref<TTimer> Timer;
int FPSTime = 0;
uint16_t FPSCounter = 0, FPSDraw = 0;
uint8_t DEBUG = 0;
int GameSecs = 0;
std::u16string GameTime;

TBoardArray<Ref<TImage>> Puzzle, Puzzle_Original;
TBoardArray<int> Puzzle_ID_Correct, Puzzle_ID_Now;
int ID = 0;
uint16_t AllTiles = 144;
uint16_t CorrectTiles = 0;
uint16_t TileMoves = 0;
uint8_t WINMODE = 0;

uint8_t Selection = 0;
int ChangeID = -1;
int ChangeX_old = 0, ChangeY_old = 0;
uint16_t NewX = 0, NewY = 0;
uint8_t MoveReady = 0;
int MoveReadyTime = 0;
float MoveX = 0, MoveY = 0, MoveX2 = 0, MoveY2 = 0;
Ref<TImage> PXMCursor;
int SwapFromX = 0, SwapFromY = 0;
bool FocusShown = false;
int FocusX = 0, FocusY = 0;

std::vector<Ref<TMotives>> MotivesList;
Ref<TMotives> M;
uint16_t CountMotives = 0;
Ref<TImage> IMGPuzzle;

Ref<TImage> IMGButton, IMGCursor, ButtonL, ButtonR, ButtonLMirror, ButtonRMirror;
Ref<TSound> SFXPaperMove, SFXJingle, SFXClick, SFXpaperMix, SFXFanfare;
Ref<TImageFont> FArial30, FArial20;

void ReleaseGameAssets() {
  Puzzle.Release();
  Puzzle_Original.Release();
  PXMCursor.reset();
  IMGPuzzle.reset();
  M.reset();
  MotivesList.clear();
  IMGButton.reset();
  IMGCursor.reset();
  ButtonL.reset();
  ButtonR.reset();
  ButtonLMirror.reset();
  ButtonRMirror.reset();
  SFXPaperMove.reset();
  SFXJingle.reset();
  SFXClick.reset();
  SFXpaperMix.reset();
  SFXFanfare.reset();
  FArial30.reset();
  FArial20.reset();
  if (Timer) StopTimer(Timer);
  Timer.reset();
}

void ResetGameState() {
  ReleaseGameAssets();
  MAP_X = 12;
  MAP_Y = 12;
  PuzzleTileSize = 512 / 12;
  BetweenTile = 3;
  AutoMidX = AutoMidY = 0;
  Previewwidthfaktor = Previewheightfaktor = 0.39f;
  Helpstate = 0;
  MX = MY = 0;
  PointerX = PointerY = 0;
  MOUSE1HIT = 0;
  MOUSESCROLL = 0;
  MZSpeedOld = 0;
  TIME = 0;
  FPSTime = 0;
  FPSCounter = FPSDraw = 0;
  DEBUG = 0;
  GameSecs = 0;
  GameTime.clear();
  Puzzle_ID_Correct.Release();
  Puzzle_ID_Now.Release();
  ID = 0;
  AllTiles = 144;
  CorrectTiles = 0;
  TileMoves = 0;
  WINMODE = 0;
  Selection = 0;
  ChangeID = -1;
  ChangeX_old = ChangeY_old = 0;
  NewX = NewY = 0;
  MoveReady = 0;
  MoveReadyTime = 0;
  MoveX = MoveY = MoveX2 = MoveY2 = 0;
  SwapFromX = SwapFromY = 0;
  FocusShown = false;
  FocusX = FocusY = 0;
  CountMotives = 0;
}
