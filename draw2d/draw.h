// The drawing front: the calls the game makes to set colour, blend mode and
// transform and to clear, draw shapes, pixmaps and text. Each acts on the current
// drawing state (TDraw2DGraphics) and its driver; with none selected they do
// nothing (getters report the initial values).
#pragma once
#include <string>
#include <vector>

#include "platform/object.h"

struct TPixmap;
struct TImageFont;

void SetColor(int red, int green, int blue);  // stored unclamped, drawn clamped
void GetColor(int& red, int& green, int& blue);
void SetClsColor(int red, int green, int blue);
void GetClsColor(int& red, int& green, int& blue);
void SetAlpha(float alpha);
float GetAlpha();
void SetBlend(int mode);
int GetBlend();
void SetLineWidth(float width);
float GetLineWidth();
void SetScale(float scale_x, float scale_y);
void GetScale(float& scale_x, float& scale_y);
void SetRotation(float degrees);
float GetRotation();
void SetTransform(float degrees, float scale_x, float scale_y);
void SetViewport(int x, int y, int width, int height);
void GetViewport(int& x, int& y, int& width, int& height);
void SetOrigin(float x, float y);
void GetOrigin(float& x, float& y);
void SetHandle(float x, float y);
void GetHandle(float& x, float& y);
// Null selects the built-in font.
void SetImageFont(const Ref<TImageFont>& font);
Ref<TImageFont> GetImageFont();

void Cls();
void Plot(float x, float y);
void DrawRect(float x, float y, float width, float height);
void DrawLine(float x0, float y0, float x1, float y1);
void DrawOval(float x, float y, float width, float height);
void DrawPoly(const std::vector<float>& points);  // x, y pairs
void DrawPixmap(const Ref<TPixmap>& pixmap, int x, int y);
Ref<TPixmap> GrabPixmap(int x, int y, int width, int height);
// (x, y) is the top left of the text line.
void DrawText(const std::u16string& text, float x, float y);
int TextWidth(const std::u16string& text);
int TextHeight(const std::u16string& text);
