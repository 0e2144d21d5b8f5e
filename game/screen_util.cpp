// Shared screen idioms. Leans on the drawing front and the game state.
#include "game/screen_util.h"

#include "draw2d/draw.h"
#include "draw2d/draw2d_driver.h"
#include "draw2d/image.h"
#include "game/state.h"

void Highlight(const Ref<TImage>& image, float x, float y, float alpha) {
  if (!image) return;
  SetAlpha(alpha);
  SetBlend(BlendLight);
  DrawImage(image, x, y, 0);
  SetBlend(BlendAlpha);
  SetAlpha(1);
}

int CentredX(const std::u16string& text, int c) { return c - TextWidth(text) / 2; }

void ClearHeldTile() {
  Selection = 0;
  ChangeID = -1;
  ChangeX_old = 0;
  ChangeY_old = 0;
}
