// Size arithmetic of the video view: zoomed sizes, scroll line sizes, the fitted size of the
// preview and the zoom factor a zoom rectangle asks for. All sizes are device pixels.
#pragma once

#include <cstdint>

namespace kavlo {

constexpr double kMinZoom = 1.0 / 16.0;
constexpr double kMaxZoom = 32.0;

struct PixelSize {
    int width = 0;
    int height = 0;
};

// Extent of n picture pixels at zoom z, truncated.
int ZoomedExtent(int n, double zoom);
// Scroll line size at zoom z: 1 below zoom 1, else the whole part of the zoom.
int ScrollLineSize(double zoom);
// The largest size with the picture's aspect ratio that fits a client of clientW x clientH:
// the side that is longer in the picture is fitted first (height when w <= h), then the other
// side takes over when the first choice does not fit. Integer arithmetic, truncating.
PixelSize FitPictureSize(int clientW, int clientH, int pictureW, int pictureH);
// Factor by which a zoom rectangle enlarges the view: f = 1, doubled while the client extent is
// more than 2f times the rectangle's larger side and 2f stays at most 32. clientW and clientH are
// the client's extents; the rectangle's larger side is its height when width <= height.
int ZoomRectangleFactor(int rectW, int rectH, int clientW, int clientH);

}  // namespace kavlo
