// Picture scaling and codec timings beside reference implementations on the same
// pictures: ResizePixmap against stb's resizer, LoadPixmapJPeg against a bare
// libjpeg decode into one buffer, plus SavePixmapJPeg and ApplyMaskColour.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"

namespace {

// A photo-like 4000 x 3000 RGB picture: smooth gradients with some texture.
Ref<TPixmap> Photo() {
  static Ref<TPixmap> p = [] {
    auto pix = CreatePixmap(4000, 3000, FormatRGB888);
    uint32_t seed = 12345;
    for (int y = 0; y < 3000; ++y) {
      uint8_t* d = pix->PixelPtr(0, y);
      for (int x = 0; x < 4000; ++x, d += 3) {
        seed = seed * 1664525u + 1013904223u;
        const int n = (seed >> 28) - 8;
        d[0] = static_cast<uint8_t>(std::clamp(x * 255 / 4000 + n, 0, 255));
        d[1] = static_cast<uint8_t>(std::clamp(y * 255 / 3000 + n, 0, 255));
        d[2] = static_cast<uint8_t>(std::clamp(((x ^ y) >> 3) + n, 0, 255));
      }
    }
    return pix;
  }();
  return p;
}

const std::string& PhotoJpeg() {
  static std::string bytes = [] {
    const std::string path = "/tmp/tess_bench_photo_" + std::to_string(getpid()) + ".jpg";
    SavePixmapJPeg(Photo(), TUrl(path), 90);
    std::ifstream f(path, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(f)), {});
    std::remove(path.c_str());
    return b;
  }();
  return bytes;
}

void BM_ResizePixmap_4000x3000_to_512(benchmark::State& state) {
  auto src = Photo();
  for (auto _ : state) benchmark::DoNotOptimize(ResizePixmap(src, 512, 512));
}
BENCHMARK(BM_ResizePixmap_4000x3000_to_512)->Unit(benchmark::kMillisecond);

void BM_stbir_resize_uint8_4000x3000_to_512(benchmark::State& state) {
  auto src = Photo();
  std::vector<unsigned char> out(512 * 512 * 3);
  for (auto _ : state) {
    stbir_resize_uint8(src->pixels, 4000, 3000, src->pitch, out.data(), 512, 512, 512 * 3, 3);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_stbir_resize_uint8_4000x3000_to_512)->Unit(benchmark::kMillisecond);

void BM_LoadPixmapJPeg_12MP(benchmark::State& state) {
  const std::string& jpg = PhotoJpeg();
  for (auto _ : state) {
    Ref<TStream> s = TRamStream::Create(jpg.data(), static_cast<int>(jpg.size()), true, false);
    auto p = LoadPixmapJPeg(TUrl(s));
    if (!p) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_LoadPixmapJPeg_12MP)->Unit(benchmark::kMillisecond);

void BM_bare_libjpeg_decode_12MP(benchmark::State& state) {
  const std::string& jpg = PhotoJpeg();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpg.data()), jpg.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * cinfo.output_components;
    std::vector<unsigned char> buf(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = buf.data() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(buf.data());
  }
}
BENCHMARK(BM_bare_libjpeg_decode_12MP)->Unit(benchmark::kMillisecond);

void BM_SavePixmapJPeg_512_q75(benchmark::State& state) {
  auto small = ResizePixmap(Photo(), 512, 512);
  std::vector<unsigned char> out(4 << 20);
  for (auto _ : state) {
    Ref<TStream> s = TRamStream::Create(out.data(), static_cast<int>(out.size()), false, true);
    if (SavePixmapJPeg(small, TUrl(s), 75) != 1) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SavePixmapJPeg_512_q75)->Unit(benchmark::kMillisecond);

void BM_ApplyMaskColour_512(benchmark::State& state) {
  auto small = ConvertPixmap(ResizePixmap(Photo(), 512, 512), FormatRGBA8888);
  // Key out a block so both branches run.
  for (int y = 100; y < 300; ++y)
    for (int x = 100; x < 300; ++x) WritePixel(small, x, y, static_cast<int>(0xffff00ffu));
  for (auto _ : state) benchmark::DoNotOptimize(ApplyMaskColour(small, 255, 0, 255));
}
BENCHMARK(BM_ApplyMaskColour_512)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
