// The view's arithmetic without a window: fitted sizes, the zoom-rectangle factor, zoomed
// extents and scroll steps.
#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

using namespace kavlo;

struct FitCase {
    int clientW, clientH, w, h, fittedW, fittedH;
};

class FitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitTest, LargestSizeWithTheAspectRatio) {
    const FitCase c = GetParam();
    const PixelSize s = FitPictureSize(c.clientW, c.clientH, c.w, c.h);
    EXPECT_EQ(s.width, c.fittedW);
    EXPECT_EQ(s.height, c.fittedH);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FitTest,
                         ::testing::Values(FitCase{400, 300, 720, 576, 375, 300},
                                           FitCase{400, 300, 1920, 1080, 400, 225},
                                           FitCase{400, 300, 100, 200, 150, 300},
                                           FitCase{100, 300, 100, 200, 100, 200},
                                           FitCase{400, 300, 300, 300, 300, 300},
                                           FitCase{40000, 30000, 70000, 50000, 40000, 28571},
                                           FitCase{400, 300, 0, 10, 0, 0}));

struct RectCase {
    int rectW, rectH, clientW, clientH, factor;
};

class ZoomRectTest : public ::testing::TestWithParam<RectCase> {};

TEST_P(ZoomRectTest, FactorFollowsTheLargerSide) {
    const RectCase c = GetParam();
    EXPECT_EQ(ZoomRectangleFactor(c.rectW, c.rectH, c.clientW, c.clientH), c.factor);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ZoomRectTest,
    ::testing::Values(RectCase{100, 50, 800, 600, 4},  // 8 x 100 = 800
                      RectCase{100, 50, 801, 600, 8},
                      RectCase{50, 100, 800, 600, 4},  // along the height: 8 x 100 > 600
                      RectCase{60, 60, 800, 600, 8},   // square: along the height
                      RectCase{400, 10, 800, 600, 1},
                      RectCase{0, 0, 800, 600, 32},  // never above 32
                      RectCase{10, 10, 10000, 10000, 32}));

TEST(ZoomArithmetic, ZoomedExtentsAndLineSizes) {
    EXPECT_EQ(ZoomedExtent(101, 0.5), 50);
    EXPECT_EQ(ZoomedExtent(3840, 1.0 / 16), 240);
    EXPECT_EQ(ZoomedExtent(3840, 32.0), 122880);
    EXPECT_EQ(ScrollLineSize(0.25), 1);
    EXPECT_EQ(ScrollLineSize(1.0), 1);
    EXPECT_EQ(ScrollLineSize(8.0), 8);
}
