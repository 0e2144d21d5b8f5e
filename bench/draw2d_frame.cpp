// The heaviest frame of the game, drawn repeatedly in an 800 x 600 window: a
// 32 x 32 board of 16 x 16 tile images over green frame rectangles, about 30 short
// texts and the 512 x 512 preview at scale 0.39, then Flip(0). Prints the median
// CPU time per frame and the draws per frame, batched and one draw per quad.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX" bench_draw2d_frame
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "draw2d/draw.h"
#include "draw2d/gl_draw2d_driver.h"
#include "draw2d/graphics.h"
#include "draw2d/image.h"
#include "draw2d/image_font.h"
#include "platform/ustring.h"
#include "tests/support/gl_counters.h"

namespace {

double CpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

struct TScene {
  std::vector<Ref<TImage>> tiles;
  Ref<TImage> preview;
  Ref<TImageFont> font;
};

void DrawFrame(const TScene& s, bool texts) {
  const int n = 32, t = 16;
  SetClsColor(0, 0, 0);
  Cls();
  SetBlend(BlendAlpha);
  SetAlpha(1);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const float x = 20.5f + float(i * t), y = 40.5f + float(j * t);
      SetColor(0, 255, 0);
      DrawRect(x, y, float(t), float(t));
      SetColor(255, 255, 255);
      DrawImage(s.tiles[size_t(j * n + i)], x, y);
    }
  }
  SetScale(0.39f, 0.39f);
  DrawImage(s.preview, 560, 40);
  SetScale(1, 1);
  SetImageFont(s.font);
  for (int k = 0; k < (texts ? 30 : 0); ++k) {
    SetColor(255, 255, 255);
    DrawText(u"Zeit 01:23", 560.0f + float(k % 2) * 110.0f, 260.0f + float(k / 2) * 22.0f);
  }
  SetImageFont(nullptr);
  Flip(0);
}

void Measure(const TScene& scene, bool batching, bool texts, const char* label) {
  Ref<TGLDraw2DDriver> driver = GLDraw2DDriver();
  driver->SetBatching(batching);
  for (int i = 0; i < 20; ++i) DrawFrame(scene, texts);  // textures made, caches warm
  const int frames = 200;
  std::vector<double> ms;
  TGLCallCounter gl;
  for (int i = 0; i < frames; ++i) {
    const double t0 = CpuMs();
    DrawFrame(scene, texts);
    ms.push_back(CpuMs() - t0);
  }
  const double draws = double(gl.draws) / frames;
  std::sort(ms.begin(), ms.end());
  std::printf("%-20s median %.2f ms CPU per frame (p10 %.2f, p90 %.2f), %.0f draws per frame\n",
              label, ms[ms.size() / 2], ms[ms.size() / 10], ms[ms.size() * 9 / 10], draws);
}

}  // namespace

int main() {
  if (!Graphics(800, 600, 0, 0, 0)) {
    std::printf("no GLX window (run under xvfb-run)\n");
    return 0;
  }
  TScene scene;
  Ref<TPixmap> picture = CreatePixmap(512, 512, FormatRGBA8888);
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) picture->WritePixel(x, y, int(0xff000000u | (x & 255) << 16 | (y & 255) << 8 | ((x ^ y) & 255)));
  scene.preview = LoadImage(picture, -1);
  for (int j = 0; j < 32; ++j) {
    for (int i = 0; i < 32; ++i) {
      Ref<TImage> tile = CreateImage(16, 16, 1, 9);
      LockImage(tile)->Paste(*picture->Window(i * 16, j * 16, 16, 16), 0, 0);
      scene.tiles.push_back(tile);
    }
  }
  const char* sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (std::ifstream(sans).good()) scene.font = LoadImageFont(FromOSBytes(sans), 20, FontSmooth);
  // The glyphs of a smooth font are mipmapped and share atlas pages of their own,
  // so texts add a draw per switch between tiles and glyphs; the second pair shows
  // the frame without them.
  Measure(scene, true, true, "batched");
  Measure(scene, false, true, "unbatched");
  Measure(scene, true, false, "batched, no texts");
  Measure(scene, false, false, "unbatched, no texts");
  EndGraphics();
  return 0;
}
