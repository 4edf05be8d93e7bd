#include "ViewGeometry.h"

namespace kavlo {

int ZoomedExtent(int n, double zoom) { return static_cast<int>(n * zoom); }

int ScrollLineSize(double zoom) { return zoom < 1.0 ? 1 : static_cast<int>(zoom); }

PixelSize FitPictureSize(int clientW, int clientH, int pictureW, int pictureH) {
    if (pictureW <= 0 || pictureH <= 0) return {0, 0};
    // 64-bit products: a large client times a large picture side would overflow 32 bits.
    const int64_t W = clientW, H = clientH, w = pictureW, h = pictureH;
    int64_t fw, fh;
    if (w <= h) {
        fh = H;
        fw = H * w / h;
        if (fw > W) {
            fw = W;
            fh = W * h / w;
        }
    } else {
        fw = W;
        fh = W * h / w;
        if (fh > H) {
            fh = H;
            fw = H * w / h;
        }
    }
    return {static_cast<int>(fw), static_cast<int>(fh)};
}

int ZoomRectangleFactor(int rectW, int rectH, int clientW, int clientH) {
    const bool alongHeight = rectW <= rectH;
    const int64_t d = alongHeight ? rectH : rectW;
    const int64_t c = alongHeight ? clientH : clientW;
    int f = 1;
    while (c > 2 * f * d && 2 * f <= static_cast<int>(kMaxZoom)) f *= 2;
    return f;
}

}  // namespace kavlo
