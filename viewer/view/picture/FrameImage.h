// The display bitmap as a QImage: the picture exactly as the view shows it at zoom 1 (channel,
// fields, deinterlacing and flip applied), top line first, for saving and copying.
#pragma once

#include "view/picture/DisplayBitmap.h"

#include <QImage>

namespace kavlo {

// An RGB888 image of the bitmap's picture; null when the image cannot be allocated.
QImage DisplayBitmapImage(const DisplayBitmap& bitmap);

}  // namespace kavlo
