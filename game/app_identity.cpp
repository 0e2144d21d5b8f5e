// The game's title, window class and icon. Leans on the embedded icon files, the
// PNG loader and the drawing layer's icon setting.
#include "game/app_identity.h"

#include <string>
#include <vector>

#include "assets/assets.h"
#include "draw2d/app_icon.h"
#include "pixmap/pixmap_loader.h"
#include "platform/app.h"
#include "platform/stream.h"
#include "platform/ustring.h"

void NameGameWindows() {
  AppTitle = u"Tessolino";
  AppClass = u"Tessolino";
  std::vector<Ref<TPixmap>> icon;
  for (int size : kEmbeddedIconSizes) {
    const std::u16string name = u"incbin::Icons\\tessolino-" + U16(std::to_string(size)) + u".png";
    icon.push_back(LoadPixmapPNG(TUrl(name)));
  }
  SetAppIcon(icon);
}
