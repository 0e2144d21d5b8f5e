// The progress of the motif folder pass. Leans on the pass, the drawing front with
// the embedded display font, the window's buffer swap and the polled input's close
// request.
#include "game/prepare_view.h"

#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image_font.h"
#include "game/motif_pass.h"
#include "game/screen_util.h"
#include "game/state.h"
#include "platform/polled_input.h"
#include "platform/system.h"
#include "platform/ustring.h"

namespace {

constexpr float kBarX = 40, kBarY = 200, kBarW = 400, kBarH = 19;

}  // namespace

void DrawPrepareProgress(int done, int total) {
  const int w = GraphicsWidth();
  SetBlend(BlendAlpha);
  SetClsColor(50, 50, 50);
  Cls();
  SetColor(255, 255, 255);
  SetAlpha(1);
  const std::u16string line = U16("Bilder werden vorbereitet …");
  DrawText(line, static_cast<float>(CentredX(line, w / 2)), 110);
  const std::u16string count = NumText(done) + u" / " + NumText(total);
  DrawText(count, static_cast<float>(CentredX(count, w / 2)), 150);
  SetColor(25, 25, 25);
  DrawRect(kBarX, kBarY, kBarW, kBarH);
  const float filled = total > 0 ? kBarW * static_cast<float>(done) / static_cast<float>(total) : 0;
  SetColor(125, 125, 125);
  if (filled > 0) DrawRect(kBarX, kBarY, filled, kBarH);
  SetColor(255, 255, 255);
  Flip(0);
}

bool PrepareMotives(const std::u16string& folder) {
  // The game's fonts come later; the progress brings its own at 20 pixels.
  Ref<TImageFont> font = LoadImageFont(u"incbin::Fonts\\DISPF___.ttf", 20, FontSmooth);
  SetImageFont(font);
  int shown = -1;
  bool closed = false;
  NormaliseMotives(folder, [&](int done, int total) {
    if (done != shown) {
      DrawPrepareProgress(done, total);  // the swap pumps the window's events too
      shown = done;
    } else {
      PollSystem();
    }
    closed = closed || AppTerminate() != 0;
    return !closed;
  });
  SetImageFont(nullptr);
  return !closed;
}
