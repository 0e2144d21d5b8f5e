// Images and their textures: power-of-two sizing and padding, exact uploads,
// masking, locking, grabbing, rebuilding after a new window, texts on screen, and
// nearest sampling that shows every texel exactly once on half-pixel positions.
#include <GL/gl.h>

#include <fstream>
#include <set>
#include <vector>

#include "draw2d/gl_image_frame.h"
#include "draw2d/image_font.h"
#include "draw2d/image_frame.h"
#include "platform/runtime_error.h"
#include "platform/ustring.h"
#include "tests/draw2d/gl_fixture.h"

namespace {

// The texture's level 0 as RGBA bytes.
std::vector<uint8_t> TexturePixels(unsigned name, int& w, int& h, int level = 0) {
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
  std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}

uint32_t TexelAt(const std::vector<uint8_t>& px, int w, int x, int y) {
  const uint8_t* p = &px[(size_t(y) * w + x) * 4];
  return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);  // as ReadPixel
}

Ref<TPixmap> Pattern(int w, int h, int format = FormatRGBA8888) {
  Ref<TPixmap> pm = CreatePixmap(w, h, format);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      pm->WritePixel(x, y, int(0xff000000u | (x * 7 & 255) << 16 | (y * 13 & 255) << 8 | ((x + y) & 255)));
    }
  }
  return pm;
}

Ref<TGLImageFrame> GLFrame(const Ref<TImage>& image) {
  return std::dynamic_pointer_cast<TGLImageFrame>(image->Frame(0));
}

}  // namespace

TEST(TexturePadding, SmallPictureRepeatsItsLastColumnAndRowOnceAndClearsTheRest) {
  Ref<TPixmap> pm = Pattern(3, 3);
  Ref<TPixmap> pad = PadPixmap(pm, 4, 4);
  ASSERT_TRUE(pad);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pad->ReadPixel(x, y), pm->ReadPixel(x, y));
    EXPECT_EQ(pad->ReadPixel(3, y), pm->ReadPixel(2, y));
    EXPECT_EQ(pad->ReadPixel(y, 3), pm->ReadPixel(y, 2));
  }
  EXPECT_EQ(pad->ReadPixel(3, 3), pm->ReadPixel(2, 2));
  Ref<TPixmap> wide = PadPixmap(pm, 8, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (x > 3 || y > 3) {
        ASSERT_EQ(wide->ReadPixel(x, y), 0) << x << "," << y;
      }
    }
  }
  Ref<TPixmap> thick = BorderPixmap(pm, 3);
  ASSERT_EQ(thick->width, 9);
  EXPECT_EQ(thick->ReadPixel(0, 8), pm->ReadPixel(0, 2));
  EXPECT_EQ(thick->ReadPixel(7, 1), pm->ReadPixel(2, 0));
  EXPECT_EQ(thick->ReadPixel(4, 4), pm->ReadPixel(1, 1));
  Ref<TPixmap> border = BorderPixmap(pm);
  ASSERT_EQ(border->width, 5);
  EXPECT_EQ(border->ReadPixel(0, 0), pm->ReadPixel(0, 0));
  EXPECT_EQ(border->ReadPixel(4, 4), pm->ReadPixel(2, 2));
  EXPECT_EQ(border->ReadPixel(2, 0), pm->ReadPixel(1, 0));
  EXPECT_EQ(border->ReadPixel(4, 2), pm->ReadPixel(2, 1));
  EXPECT_EQ(TexturePow2(1), 1);
  EXPECT_EQ(TexturePow2(20), 32);
  EXPECT_EQ(TexturePow2(512), 512);
}

TEST_F(GLWindowTest, TexturesArePowersOfTwoPaddedWithTheLastColumnAndRow) {
  driver_->SetAtlas(false);
  Ref<TImage> img = LoadImage(Pattern(500, 500), 0);
  auto frame = GLFrame(img);
  ASSERT_TRUE(frame);
  EXPECT_FLOAT_EQ(frame->u1, 500.0f / 512.0f);
  EXPECT_FLOAT_EQ(frame->v1, 500.0f / 512.0f);
  int w = 0, h = 0;
  std::vector<uint8_t> px = TexturePixels(frame->name, w, h);
  ASSERT_EQ(w, 512);
  ASSERT_EQ(h, 512);
  for (int i = 0; i < 500; i += 7) {
    EXPECT_EQ(TexelAt(px, w, 500, i), TexelAt(px, w, 499, i));
    EXPECT_EQ(TexelAt(px, w, i, 500), TexelAt(px, w, i, 499));
  }
  EXPECT_EQ(TexelAt(px, w, 500, 500), TexelAt(px, w, 499, 499));
  EXPECT_EQ(TexelAt(px, w, 510, 3), 0u);
  EXPECT_EQ(TexelAt(px, w, 3, 510), 0u);

  Ref<TImage> small = CreateImage(20, 20, 1, 0);
  LockImage(small);
  frame = GLFrame(small);
  ASSERT_TRUE(frame);
  TexturePixels(frame->name, w, h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
}

TEST_F(GLWindowTest, ProbeHalvesBothSidesUntilTheTextureFits) {
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  if (max != 16384) GTEST_SKIP() << "GL_MAX_TEXTURE_SIZE is " << max;
  int w = 20000, h = 10;
  CalcTextureSize(w, h);
  EXPECT_EQ(w, 16384);
  EXPECT_EQ(h, 8);
  driver_->SetAtlas(false);
  Ref<TImage> img = LoadImage(Pattern(20000, 10), 0);
  auto frame = GLFrame(img);
  ASSERT_TRUE(frame);
  EXPECT_FLOAT_EQ(frame->u1, 1.0f);  // the picture shrank to the texture
  EXPECT_FLOAT_EQ(frame->v1, 1.0f);
}

TEST_F(GLWindowTest, UploadFromAWindowHonoursItsPitch) {
  driver_->SetAtlas(false);
  Ref<TPixmap> big = Pattern(64, 64);
  Ref<TPixmap> window = big->Window(3, 5, 20, 20);
  Ref<TImage> img = LoadImage(window, 0);
  auto frame = GLFrame(img);
  ASSERT_TRUE(frame);
  int w = 0, h = 0;
  std::vector<uint8_t> px = TexturePixels(frame->name, w, h);
  ASSERT_EQ(w, 32);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(TexelAt(px, w, x, y), uint32_t(big->ReadPixel(x + 3, y + 5)))
          << x << "," << y;
  // In an atlas slot the picture sits inside a replicated border.
  driver_->SetAtlas(true);
  Ref<TImage> packed = LoadImage(window, 0);
  frame = GLFrame(packed);
  ASSERT_TRUE(frame);
  ASSERT_GE(frame->slot.page, 0);
  px = TexturePixels(frame->name, w, h);
  const int sx = frame->slot.x, sy = frame->slot.y;
  for (int y = -1; y <= 20; ++y) {
    for (int x = -1; x <= 20; ++x) {
      const int cx = x < 0 ? 0 : (x > 19 ? 19 : x), cy = y < 0 ? 0 : (y > 19 ? 19 : y);
      ASSERT_EQ(TexelAt(px, w, sx + 1 + x, sy + 1 + y), uint32_t(big->ReadPixel(cx + 3, cy + 5)));
    }
  }
}

TEST_F(GLWindowTest, MipmappedAtlasSlotsHoldTheLevelsOfAnOwnTextureInsideReplicatedBorders) {
  const int flags = ImageFiltered | ImageMipmapped;
  for (int size : {13, 64}) {
    Ref<TPixmap> pm = Pattern(size, 7);
    driver_->SetAtlas(false);
    auto own = GLFrame(LoadImage(pm, flags));
    driver_->SetAtlas(true);
    auto packed = GLFrame(LoadImage(pm, flags));
    ASSERT_TRUE(own && packed);
    ASSERT_LT(own->slot.page, 0);
    ASSERT_GE(packed->slot.page, 0);
    const int b = TTextureAtlas::kMipBorder;
    const float page = float(TTextureAtlas::kPageSize);
    EXPECT_FLOAT_EQ(packed->u0 * page, float(packed->slot.x + b));
    EXPECT_FLOAT_EQ(packed->v1 * page, float(packed->slot.y + b + 7));
    for (int level = 0; level <= TTextureAtlas::kMipLevels; ++level) {
      int ow = 0, oh = 0, pw = 0, ph = 0;
      std::vector<uint8_t> mine = TexturePixels(own->name, ow, oh, level);
      std::vector<uint8_t> shared = TexturePixels(packed->name, pw, ph, level);
      ASSERT_EQ(pw, TTextureAtlas::kPageSize >> level);
      const int sx = (packed->slot.x + b) >> level, sy = (packed->slot.y + b) >> level;
      const int lb = b >> level;
      int wrong = 0;
      for (int y = -lb; y < oh + lb; ++y) {
        for (int x = -lb; x < ow + lb; ++x) {
          const int cx = x < 0 ? 0 : (x >= ow ? ow - 1 : x), cy = y < 0 ? 0 : (y >= oh ? oh - 1 : y);
          wrong += TexelAt(shared, pw, sx + x, sy + y) != TexelAt(mine, ow, cx, cy);
        }
      }
      EXPECT_EQ(wrong, 0) << size << " wide, level " << level;
    }
  }
  // Larger mipmapped pictures keep a texture of their own.
  auto big = GLFrame(LoadImage(Pattern(TTextureAtlas::kMaxMipPicture + 1, 8), flags));
  ASSERT_TRUE(big);
  EXPECT_LT(big->slot.page, 0);
}

TEST_F(GLWindowTest, EmptyPicturesGiveNoFrame) {
  EXPECT_FALSE(driver_->CreateFrameFromPixmap(CreatePixmap(0, 5, FormatRGBA8888), 0));
  Ref<TImage> img = CreateImage(0, 4, 1, 0);
  LockImage(img);
  EXPECT_FALSE(img->Frame(0));
  DrawImage(img, 0, 0);  // draws nothing, does not crash
}

TEST_F(GLWindowTest, MaskColourMakesKeyPixelsOfOpaquePicturesTransparent) {
  SetMaskColor(255, 0, 255);
  Ref<TPixmap> rgb = CreatePixmap(4, 1, FormatRGB888);
  rgb->WritePixel(0, 0, int(0xffff00ffu));
  rgb->WritePixel(1, 0, int(0xff00ff00u));
  rgb->WritePixel(2, 0, int(0xffff00ffu));
  rgb->WritePixel(3, 0, int(0xff00ff00u));
  Ref<TImage> masked = LoadImage(rgb, -1);
  Ref<TPixmap> rgba = ConvertPixmap(rgb, FormatRGBA8888);
  Ref<TImage> with_alpha = LoadImage(rgba, -1);
  SetMaskColor(0, 0, 0);
  SetClsColor(0, 0, 255);
  Cls();
  SetBlend(BlendMask);
  DrawImage(masked, 10, 10);
  DrawImage(with_alpha, 10, 20);
  EXPECT_EQ(Pixel(10, 10), (TRGBA{0, 0, 255, 255}));  // keyed out
  EXPECT_EQ(Pixel(11, 10), (TRGBA{0, 255, 0, 255}));
  EXPECT_EQ(Pixel(10, 20), (TRGBA{255, 0, 255, 255}));  // has alpha: kept

  // A grab is masked with the colour current at grab time.
  SetBlend(BlendSolid);
  SetColor(255, 0, 0);
  DrawRect(50, 50, 4, 4);
  SetMaskColor(0, 255, 0);
  Ref<TImage> grabbed = CreateImage(4, 4, 1, ImageMasked);  // stored mask: green
  SetMaskColor(255, 0, 0);
  GrabImage(grabbed, 50, 50);
  SetMaskColor(0, 0, 0);
  EXPECT_EQ(grabbed->pixmaps[0]->ReadPixel(1, 1) >> 24 & 255, 0);
}

TEST_F(GLWindowTest, LockedWritesShowOnTheNextDraw) {
  Ref<TImage> img = CreateImage(8, 8, 1, 0);
  Ref<TPixmap> pm = LockImage(img, 0, true, true);
  ASSERT_TRUE(pm);
  EXPECT_EQ(pm->format, FormatRGBA8888);
  EXPECT_EQ(pm->ReadPixel(3, 3), 0);  // fresh pixmaps start transparent
  pm->ClearPixels(int(0xff00ff00u));
  SetBlend(BlendSolid);
  SetColor(255, 255, 255);
  DrawImage(img, 20, 20);
  EXPECT_EQ(Pixel(23, 23), (TRGBA{0, 255, 0, 255}));
  pm = LockImage(img, 0, true, true);
  pm->ClearPixels(int(0xffff0000u));
  DrawImage(img, 20, 20);
  EXPECT_EQ(Pixel(23, 23), (TRGBA{255, 0, 0, 255}));
}

TEST_F(GLWindowTest, ASecondWindowRebuildsEachTextureOnce) {
  Ref<TImage> img = CreateImage(8, 8, 1, 0);
  LockImage(img)->ClearPixels(int(0xff0000ffu));
  DrawImage(img, 0, 0);
  Ref<TImageFrame> first = img->Frame(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(img->Frame(0), first);
  g_ = Graphics(kW, kH, 0, 0, 0);
  ASSERT_TRUE(g_);
  SetBlend(BlendSolid);
  DrawImage(img, 5, 5);
  Ref<TImageFrame> second = img->Frame(0);
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  EXPECT_EQ(img->seqs[0], GraphicsSeq());
  DrawImage(img, 5, 5);
  EXPECT_EQ(img->Frame(0), second);
  EXPECT_EQ(Pixel(6, 6), (TRGBA{0, 0, 255, 255}));
}

TEST_F(GLWindowTest, ScaledImagesKeepTheirTopLeftCorner) {
  Ref<TImage> img = CreateImage(20, 20, 1, 0);
  LockImage(img)->ClearPixels(int(0xffffffffu));
  SetBlend(BlendSolid);
  SetScale(0.8f, 0.8f);
  DrawImage(img, 30, 40);
  SetScale(1, 1);
  EXPECT_EQ(Pixel(30, 40).r, 255);
  EXPECT_EQ(Pixel(45, 55).r, 255);
  EXPECT_EQ(Pixel(46, 56).r, 0);
  EXPECT_EQ(Pixel(29, 40).r, 0);
}

TEST_F(GLWindowTest, BuiltInFontDrawsItsBitmapAndSpacesDrawNothing) {
  SetBlend(BlendMask);
  SetColor(255, 255, 255);
  DrawText(u" A", 10, 10);
  Ref<TPixmap> back = Back();
  auto font = DefaultImageFont();
  Ref<TPixmap> cell = font->ImageGlyph(font->CharToGlyph('A'))->_image->pixmaps[0];
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(At(back, 10 + x, 10 + y).r, 0) << "space at " << x << "," << y;
      const bool ink = (cell->ReadPixel(x, y) >> 24 & 255) != 0;
      ASSERT_EQ(At(back, 18 + x, 10 + y).r, ink ? 255 : 0) << x << "," << y;
    }
  }
  EXPECT_EQ(TextWidth(u"0123456789"), 80);
  EXPECT_EQ(TextHeight(u"x"), 16);
}

TEST_F(GLWindowTest, SmoothGlyphsLandWhereThePlainOnesDo) {
  const char* sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (!std::ifstream(sans).good()) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  auto plain = LoadImageFont(FromOSBytes(sans), 30, 0);
  auto smooth = LoadImageFont(FromOSBytes(sans), 30, FontSmooth);
  ASSERT_TRUE(plain && smooth);
  auto ink_box = [&](const Ref<TImageFont>& font, int& x0, int& y0, int& x1, int& y1) {
    SetClsColor(0, 0, 0);
    Cls();
    SetBlend(BlendAlpha);
    SetColor(255, 255, 255);
    SetImageFont(font);
    DrawText(u"H", 40, 40);
    SetImageFont(nullptr);
    Ref<TPixmap> back = Back();
    x0 = y0 = 1 << 20;
    x1 = y1 = -1;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (At(back, x, y).r > 128) {
          x0 = std::min(x0, x);
          y0 = std::min(y0, y);
          x1 = std::max(x1, x);
          y1 = std::max(y1, y);
        }
  };
  int a0, b0, a1, b1, c0, d0, c1, d1;
  ink_box(plain, a0, b0, a1, b1);
  ink_box(smooth, c0, d0, c1, d1);
  ASSERT_GE(a1, 0);
  EXPECT_EQ(a0, c0);
  EXPECT_EQ(b0, d0);
  EXPECT_EQ(a1, c1);
  EXPECT_EQ(b1, d1);
}
