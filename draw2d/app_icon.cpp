// The program icon as _NET_WM_ICON data. Leans on pixmap conversion for the pixel
// layout; knows nothing of X.
#include "draw2d/app_icon.h"

namespace {

std::vector<uint32_t>& IconData() {
  static std::vector<uint32_t> data;
  return data;
}

constexpr int kMaxIconSide = 1024;

}  // namespace

void SetAppIcon(const std::vector<Ref<TPixmap>>& pictures) {
  std::vector<uint32_t> data;
  for (const Ref<TPixmap>& picture : pictures) {
    if (!picture) continue;
    const int w = PixmapWidth(picture), h = PixmapHeight(picture);
    if (w < 1 || h < 1 || w > kMaxIconSide || h > kMaxIconSide) continue;
    // Packed colours keep alpha in the top byte, the layout the property wants;
    // pictures without alpha read as opaque.
    Ref<TPixmap> rgba = ConvertPixmap(picture, FormatRGBA8888);
    data.push_back(static_cast<uint32_t>(w));
    data.push_back(static_cast<uint32_t>(h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) data.push_back(static_cast<uint32_t>(ReadPixel(rgba, x, y)));
  }
  IconData() = std::move(data);
}

const std::vector<uint32_t>& AppIconData() { return IconData(); }
