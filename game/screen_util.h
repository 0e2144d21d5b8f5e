// Small drawing idioms the screens share: the highlight of a hovered image, a
// text centred on a column, clearing the held tile.
#pragma once
#include <string>

#include "platform/object.h"

struct TImage;

// Draws image again at (x, y), lit additively with the given alpha.
void Highlight(const Ref<TImage>& image, float x, float y, float alpha = 0.3f);
// x of a text centred on c in the current font (whole-number halving).
int CentredX(const std::u16string& text, int c);
// Selection 0, ChangeID -1, ChangeX_old 0, ChangeY_old 0.
void ClearHeldTile();
