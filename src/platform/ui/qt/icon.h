#pragma once

#include <QIcon>
#include <QImage>

#include "platform/ui/ui_resources.h"

namespace srd {

// One 16-colour picture as a 32-bit image; masked pixels become transparent.
QImage IconImageToQImage(const IconImage& image);
// Every picture of the icon, so that the toolkit picks the size it needs.
QIcon IconResourceToQIcon(const IconResource& icon);

}  // namespace srd
