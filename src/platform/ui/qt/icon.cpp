#include "platform/ui/qt/icon.h"

#include <QPixmap>

namespace srd {

QImage IconImageToQImage(const IconImage& image) {
  if (image.width <= 0 || image.height <= 0) {
    return QImage();
  }
  const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  QImage result(image.width, image.height, QImage::Format_ARGB32);
  result.fill(Qt::transparent);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x);
      // A short pixel or mask vector leaves the rest transparent instead of reading past its end.
      if (i >= image.pixels.size() || i >= count) {
        continue;
      }
      if (i < image.mask.size() && image.mask[i] != 0) {
        continue;
      }
      const std::uint32_t rgb = image.palette[image.pixels[i] & 0x0Fu];
      result.setPixel(x, y, 0xFF000000u | (rgb & 0x00FFFFFFu));
    }
  }
  return result;
}

QIcon IconResourceToQIcon(const IconResource& icon) {
  QIcon result;
  for (const IconImage& image : icon.images) {
    const QImage picture = IconImageToQImage(image);
    if (!picture.isNull()) {
      result.addPixmap(QPixmap::fromImage(picture));
    }
  }
  return result;
}

}  // namespace srd
