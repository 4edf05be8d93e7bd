#include "view/picture/FrameImage.h"

namespace kavlo {

QImage DisplayBitmapImage(const DisplayBitmap& bitmap) {
    const int w = bitmap.PictureWidth();
    const int h = bitmap.Height();
    QImage image(w, h, QImage::Format_RGB888);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = bitmap.LineOnScreen(y);
        uint8_t* out = image.scanLine(y);
        // The bitmap holds B', G', R'; the image R', G', B'.
        for (int x = 0; x < w; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return image;
}

}  // namespace kavlo
