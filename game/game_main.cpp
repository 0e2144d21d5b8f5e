// The game's module body: start-up in its fixed order, the motif folder pass, the
// game window, and the board screen loop. Leans on every runtime module.
#include "game/game_main.h"

#include <cstdio>
#include <cstdlib>

#include "audio/audio.h"
#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "draw2d/image_font.h"
#include "game/app_identity.h"
#include "game/board_keys.h"
#include "game/buttons.h"
#include "game/draw_puzzle.h"
#include "game/frame.h"
#include "game/menu.h"
#include "game/motives.h"
#include "game/mouse.h"
#include "game/normalise.h"
#include "game/prepare_view.h"
#include "game/resume.h"
#include "game/save_file.h"
#include "game/screen_util.h"
#include "game/state.h"
#include "pixmap/pixmap_loader.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/polled_input.h"
#include "platform/random.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "platform/ustring.h"

#if __has_include("assets/assets.h")
#include "assets/assets.h"
#define TESS_HAVE_ASSETS 1
#endif

namespace {

[[noreturn]] void FailWindow(const char* why) {
  std::fprintf(stderr, "Tessolino: cannot open the game window: %s\n", why);
  std::fflush(stderr);
  std::_Exit(1);
}

void OpenWindow(int width, int height) {
  if (!SystemDisplay()) FailWindow("no X display could be opened (is DISPLAY set?)");
  if (!Graphics(width, height, 0, 60, 0)) FailWindow("the X server offers no usable OpenGL (GLX) window");
}

}  // namespace

void LoadGameAssets() {
  IMGButton = LoadImage(u"incbin::Archive\\Buttonunbeschriftet.png", -1);
  IMGCursor = LoadImage(u"incbin::Cursor.bmp", ImageMasked);
  ButtonL = LoadImage(u"incbin::Archive\\ButtonL.png", -1);
  ButtonR = LoadImage(u"incbin::Archive\\ButtonR.png", -1);
  ButtonLMirror = mirrorImage(ButtonL);
  ButtonRMirror = mirrorImage(ButtonR);
  SFXPaperMove = LoadSound(u"incbin::Sounds\\paper small movement.ogg", 2);
  SFXJingle = LoadSound(u"incbin::Sounds\\Bell small jingle.ogg", 2);
  SFXClick = LoadSound(u"incbin::Sounds\\Mouse_click.ogg", 2);
  SFXpaperMix = LoadSound(u"incbin::Sounds\\papper taidying.ogg", 2);
  SFXFanfare = LoadSound(u"incbin::Sounds\\trumpets fanfar.ogg", 2);
  FArial30 = LoadImageFont(u"incbin::Fonts\\DISPF___.ttf", 30, FontSmooth);
  FArial20 = LoadImageFont(u"incbin::Fonts\\DISPF___.ttf", 20, FontSmooth);
}

void StartGame(const char16_t* folder) {
  MAP_Y = MAP_X;
  PuzzleTileSize = static_cast<uint16_t>(512 / MAP_X);
  if (MAP_X > 27) BetweenTile = 2;
  TIME = MilliSecs();
  // Clock values that would start at 0 start from now, so that comparisons with
  // them hold wherever the 32-bit clock stands.
  FPSTime = TIME;
  GameSecs = TIME;
  MoveReadyTime = TIME;
  Timer = CreateTimer(65.0f);
  AllTiles = static_cast<uint16_t>(MAP_X * MAP_Y);
  SetMaskColor(255, 0, 255);
  MotivesList.clear();
  BuildMotiveCatalogue(folder);
  LoadGameAssets();
  SetImageFont(FArial30);
  SeedRnd(MilliSecs());
  SetClsColor(50, 50, 50);
  SetBlend(BlendAlpha);
}

bool BoardScreenPass() {
  BoardScreenShown();
  Cls();
  if (WINMODE == 0 && KeyHit(9)) {
    Helpstate = static_cast<uint8_t>(Helpstate + 1);
    if (Helpstate > 3) Helpstate = 0;
  }
  SetColor(100, 100, 100);
  DrawRect(590, 0, 210, 600);
  SetColor(255, 255, 255);
  SetScale(Previewwidthfaktor, Previewheightfaktor);
  if (IMGPuzzle) DrawImage(IMGPuzzle, 595, 5, 0);
  SetScale(1, 1);
  UserInput();
  BoardKeys();
  DrawPuzzle();
  FPS();
  Buttons();
  DrawBoardFocus();
  Mouse(0);
  Flip(0);
  WaitTimer(Timer);
  if (KeyHit(27)) {
    // With a tile held, Escape puts it back; otherwise it ends the game.
    if (Selection == 0) return true;
    ClearHeldTile();
  }
  return AppTerminate() != 0;
}

namespace game {

void main() {
#ifdef TESS_HAVE_ASSETS
  RegisterAssets();
#endif
  StartAudioModules();
  PixmapLoaders();
  NameGameWindows();
  OpenWindow(480, 320);
  // Closing the first window ends the program once the motifs in work are written.
  if (!PrepareMotives(kMotivesFolder)) End();
  DebugLog(u"Done");
  OpenWindow(800, 600);
  FullScreenKeys(true);
  HideMouse();
  // Registered after the window, so it runs before the window closes: textures are
  // released while their context still exists.
  AddExitHandler(&ReleaseGameAssets);
  StartGame(kMotivesFolder);
  StartBoardSaves(SaveFolderFor(ToOSBytes(kMotivesFolder)), kMotivesFolder);
  Menu();
  // A close request can bring the menu back without a board; nothing to play then.
  if (!BoardReady()) End();
  DebugLog(u"Game started");
  SetScale(1, 1);
  ForgetBoardKeys();
  while (!BoardScreenPass()) {
  }
  End();
}

}  // namespace game
