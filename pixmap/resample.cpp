// Scaling for pictures that are shown or stored smaller: a separable Lanczos-3
// filter whose kernel is widened by the reduction, so that every source pixel
// counts and fine detail averages out instead of aliasing. Works in one, three or
// four channels as the source needs, keeps only the filter's window of
// intermediate rows, and touches no shared state. Leans on pixel conversion.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap.h"

namespace {

constexpr double kLobes = 3.0;

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  const double px = M_PI * x;
  return std::sin(px) / px;
}

double Lanczos(double x) {
  x = std::fabs(x);
  return x < kLobes ? Sinc(x) * Sinc(x / kLobes) : 0.0;
}

// The source pixels one destination pixel reads along an axis, with their weights
// (normalised to a sum of 1).
struct Span {
  int first = 0;
  int count = 0;
  size_t weights = 0;  // index of the first weight in the axis' weight table
};

struct Axis {
  std::vector<Span> spans;
  std::vector<float> weights;
  int widest = 0;
};

// Pixel centres line up as in every image tool: destination pixel j covers source
// positions j * s to (j + 1) * s, where s = srcLen / dstLen.
Axis MakeAxis(int srcLen, int dstLen) {
  Axis a;
  a.spans.resize(static_cast<size_t>(dstLen));
  const double factor = static_cast<double>(dstLen) / srcLen;
  const double stretch = std::max(1.0 / factor, 1.0);  // widen only when shrinking
  const double support = kLobes * stretch;
  for (int j = 0; j < dstLen; ++j) {
    const double centre = (j + 0.5) / factor;
    const int first = std::min(static_cast<int>(std::max(centre - support + 0.5, 0.0)), srcLen - 1);
    const int last = static_cast<int>(std::min(centre + support + 0.5, static_cast<double>(srcLen)));
    Span& s = a.spans[static_cast<size_t>(j)];
    s.first = first;
    s.count = std::max(last - first, 1);
    s.weights = a.weights.size();
    double sum = 0.0;
    std::vector<double> w(static_cast<size_t>(s.count));
    for (int n = 0; n < s.count; ++n) {
      w[static_cast<size_t>(n)] = Lanczos((first + n + 0.5 - centre) / stretch);
      sum += w[static_cast<size_t>(n)];
    }
    for (double v : w) a.weights.push_back(static_cast<float>(sum != 0.0 ? v / sum : 1.0 / s.count));
    a.widest = std::max(a.widest, s.count);
  }
  return a;
}

// The layout the filter runs in: grey, RGB, or RGBA when the format has alpha.
int WorkFormat(int format) {
  if (format == FormatI8) return FormatI8;
  return AlphaBitsPerPixel(format) ? FormatRGBA8888 : FormatRGB888;
}

uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v + 0.5f);
}

template <int C>
void FilterRow(const uint8_t* src, const Axis& xs, float* out) {
  const int n = static_cast<int>(xs.spans.size());
  for (int j = 0; j < n; ++j, out += C) {
    const Span& s = xs.spans[static_cast<size_t>(j)];
    const float* w = xs.weights.data() + s.weights;
    const uint8_t* p = src + static_cast<size_t>(s.first) * C;
    float acc[C] = {};
    for (int k = 0; k < s.count; ++k, p += C)
      for (int c = 0; c < C; ++c) acc[c] += w[k] * static_cast<float>(p[c]);
    for (int c = 0; c < C; ++c) out[c] = acc[c];
  }
}

void FilterRowAny(int channels, const uint8_t* src, const Axis& xs, float* out) {
  switch (channels) {
    case 1: FilterRow<1>(src, xs, out); break;
    case 3: FilterRow<3>(src, xs, out); break;
    default: FilterRow<4>(src, xs, out); break;
  }
}

}  // namespace

Ref<TPixmap> ResamplePixmap(const Ref<TPixmap>& src, int width, int height) {
  if (!src || src->width <= 0 || src->height <= 0 || width <= 0 || height <= 0) return nullptr;
  if (src->format < 1 || src->format >= FormatCount) return nullptr;
  Ref<TPixmap> dst = CreatePixmap(width, height, src->format);
  if (!dst) return nullptr;
  const int work = WorkFormat(src->format);
  const int channels = BytesPerPixel(work);
  const Axis xs = MakeAxis(src->width, width);
  const Axis ys = MakeAxis(src->height, height);

  // Horizontally filtered source rows, in a ring that holds one vertical window:
  // windows only move down, so a row is overwritten only once no window needs it.
  const int ring = ys.widest;
  const size_t rowFloats = static_cast<size_t>(width) * channels;
  size_t ringBytes = 0;
  if (!PixelBufferSize(width, ring, static_cast<int64_t>(channels) * 4, 1, nullptr, &ringBytes)) return nullptr;
  std::vector<float> rows(rowFloats * ring);
  std::vector<uint8_t> line(static_cast<size_t>(src->width) * channels);
  std::vector<uint8_t> outLine(static_cast<size_t>(width) * channels);
  std::vector<float> acc(rowFloats);
  int filled = 0;  // source rows filtered so far
  for (int i = 0; i < height; ++i) {
    const Span& s = ys.spans[static_cast<size_t>(i)];
    for (; filled < s.first + s.count; ++filled) {
      const uint8_t* from = src->PixelPtr(0, filled);
      if (src->format != work) {
        ConvertPixels(from, src->format, line.data(), work, src->width);
        from = line.data();
      }
      FilterRowAny(channels, from, xs, rows.data() + rowFloats * (filled % ring));
    }
    const float* w = ys.weights.data() + s.weights;
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (int k = 0; k < s.count; ++k) {
      const float* r = rows.data() + rowFloats * ((s.first + k) % ring);
      const float wk = w[k];
      for (size_t e = 0; e < rowFloats; ++e) acc[e] += wk * r[e];
    }
    for (size_t e = 0; e < rowFloats; ++e) outLine[e] = ToByte(acc[e]);
    ConvertPixels(outLine.data(), work, dst->PixelPtr(0, i), dst->format, width);
  }
  return dst;
}
