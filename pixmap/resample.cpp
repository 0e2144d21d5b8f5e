// Scaling for pictures that are shown or stored smaller: a separable Lanczos-3
// filter whose kernel is widened by the reduction, so that every source pixel
// counts and fine detail averages out instead of aliasing. Works in one, three or
// four channels as the source needs, in fixed point and vertically first, keeping
// at most one filter window of converted rows; touches no shared state. Leans on
// pixel conversion.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "pixmap/pixel_size.h"
#include "pixmap/pixmap.h"

namespace {

constexpr double kLobes = 3.0;
// Weights are fixed point with 14 fractional bits; the vertical pass keeps 6
// fractional bits of its results, so overshoot of the negative lobes fits int16
// and every sum fits int32.
constexpr int kWeightBits = 14;
constexpr int kMidBits = 6;

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
// (summing to exactly 1 << kWeightBits).
struct Span {
  int first = 0;
  int count = 0;
  size_t weights = 0;  // index of the first weight in the axis' weight table
};

struct Axis {
  std::vector<Span> spans;
  std::vector<int16_t> weights;
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
  std::vector<double> w;
  for (int j = 0; j < dstLen; ++j) {
    const double centre = (j + 0.5) / factor;
    const int first = std::min(static_cast<int>(std::max(centre - support + 0.5, 0.0)), srcLen - 1);
    const int last = static_cast<int>(std::min(centre + support + 0.5, static_cast<double>(srcLen)));
    Span& s = a.spans[static_cast<size_t>(j)];
    s.first = first;
    s.count = std::max(last - first, 1);
    s.weights = a.weights.size();
    w.assign(static_cast<size_t>(s.count), 0.0);
    double sum = 0.0;
    for (int n = 0; n < s.count; ++n) sum += w[static_cast<size_t>(n)] = Lanczos((first + n + 0.5 - centre) / stretch);
    int total = 0;
    size_t biggest = s.weights;
    for (double v : w) {
      const int q = static_cast<int>(std::lround((sum != 0.0 ? v / sum : 1.0 / s.count) * (1 << kWeightBits)));
      a.weights.push_back(static_cast<int16_t>(q));
      total += q;
      if (q > a.weights[biggest]) biggest = a.weights.size() - 1;
    }
    // Rounding must not brighten or darken flat areas: the sum is made exact.
    a.weights[biggest] = static_cast<int16_t>(a.weights[biggest] + (1 << kWeightBits) - total);
    a.widest = std::max(a.widest, s.count);
  }
  return a;
}

// The layout the filter runs in: grey, RGB, or RGBA when the format has alpha.
int WorkFormat(int format) {
  if (format == FormatI8) return FormatI8;
  return AlphaBitsPerPixel(format) ? FormatRGBA8888 : FormatRGB888;
}

// Source rows in the working layout: the pixmap's own rows when it has that
// layout, else converted into a ring that holds one vertical window (windows only
// move down, so a row is overwritten only once no window needs it).
class WorkRows {
 public:
  WorkRows(const TPixmap& src, int work, int ring) : src_(src), work_(work), ring_(ring) {
    if (src.format != work)
      buf_.resize(static_cast<size_t>(src.width) * BytesPerPixel(work) * static_cast<size_t>(ring));
  }
  const uint8_t* Row(int y) {
    if (buf_.empty()) return src_.PixelPtr(0, y);
    const size_t bytes = buf_.size() / static_cast<size_t>(ring_);
    uint8_t* slot = buf_.data() + bytes * static_cast<size_t>(y % ring_);
    for (; converted_ <= y; ++converted_)
      ConvertPixels(src_.PixelPtr(0, converted_), src_.format,
                    buf_.data() + bytes * static_cast<size_t>(converted_ % ring_), work_, src_.width);
    return slot;
  }

 private:
  const TPixmap& src_;
  int work_, ring_;
  int converted_ = 0;
  std::vector<uint8_t> buf_;
};

// One destination row from a window of source rows, all columns; results keep
// kMidBits fractional bits.
void Vertical(WorkRows& rows, const Span& s, const int16_t* w, std::vector<int32_t>& acc, int16_t* mid) {
  std::fill(acc.begin(), acc.end(), 0);
  const size_t n = acc.size();
  for (int k = 0; k < s.count; ++k) {
    const uint8_t* r = rows.Row(s.first + k);
    const int32_t wk = w[k];
    for (size_t e = 0; e < n; ++e) acc[e] += wk * r[e];
  }
  constexpr int shift = kWeightBits - kMidBits;
  for (size_t e = 0; e < n; ++e) mid[e] = static_cast<int16_t>((acc[e] + (1 << (shift - 1))) >> shift);
}

// A dot product the compiler turns into vector multiply-adds.
int32_t Dot(const int16_t* w, const int16_t* p, int n) {
  int32_t acc = 0;
  for (int k = 0; k < n; ++k) acc += int32_t(w[k]) * p[k];
  return acc;
}

// One destination row from the vertical results of all columns: each channel is
// laid out on its own first, so that every pixel is one contiguous dot product.
void Horizontal(const int16_t* mid, int channels, const Axis& xs, std::vector<int16_t>& planes, uint8_t* out) {
  const size_t width = planes.size() / static_cast<size_t>(channels);
  for (size_t x = 0; x < width; ++x)
    for (int c = 0; c < channels; ++c) planes[c * width + x] = mid[x * channels + c];
  constexpr int shift = kWeightBits + kMidBits;
  for (const Span& s : xs.spans) {
    const int16_t* w = xs.weights.data() + s.weights;
    for (int c = 0; c < channels; ++c) {
      const int32_t v = Dot(w, planes.data() + c * width + s.first, s.count);
      *out++ = static_cast<uint8_t>(std::clamp((v + (1 << (shift - 1))) >> shift, 0, 255));
    }
  }
}

}  // namespace

Ref<TPixmap> ResamplePixmap(const Ref<TPixmap>& src, int width, int height) {
  if (!src || src->width <= 0 || src->height <= 0 || width <= 0 || height <= 0) return nullptr;
  if (src->format < 1 || src->format >= FormatCount) return nullptr;
  // At the same size the filter reads every pixel with weight 1 at its own place.
  if (width == src->width && height == src->height) return src->Copy();
  Ref<TPixmap> dst = CreatePixmap(width, height, src->format);
  if (!dst) return nullptr;
  const int work = WorkFormat(src->format);
  const int channels = BytesPerPixel(work);
  const Axis xs = MakeAxis(src->width, width);
  const Axis ys = MakeAxis(src->height, height);
  // Vertical first: it runs over whole rows (which vectorises), and the horizontal
  // pass then has only the destination's rows to read.
  size_t ringBytes = 0;
  if (!PixelBufferSize(src->width, ys.widest, channels, 1, nullptr, &ringBytes)) return nullptr;
  WorkRows rows(*src, work, ys.widest);
  std::vector<int32_t> acc(static_cast<size_t>(src->width) * channels);
  std::vector<int16_t> mid(acc.size()), planes(acc.size());
  std::vector<uint8_t> line(static_cast<size_t>(width) * channels);
  for (int i = 0; i < height; ++i) {
    const Span& s = ys.spans[static_cast<size_t>(i)];
    Vertical(rows, s, ys.weights.data() + s.weights, acc, mid.data());
    Horizontal(mid.data(), channels, xs, planes, line.data());
    ConvertPixels(line.data(), work, dst->PixelPtr(0, i), dst->format, width);
  }
  return dst;
}
