// Clips written by the generator in each matrix and range shown as the generator's picture, and
// the view's changes of a file's matrix and range.
#include "ViewTestSupport.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "settings/ColourChoice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace viewtest;
using kavlo::MatrixChoice;

namespace {

clipgen::ClipOptions Bars(uint32_t code, clipgen::Matrix matrix, bool full) {
    clipgen::ClipOptions o;
    o.code = code;
    o.width = 144;
    o.height = 36;
    o.coding.matrix = matrix;
    o.coding.fullRange = full;
    return o;
}

// Pixels whose chroma is the same four pixels and rows around them (so that subsampling does
// not change it), compared with the generator's picture.
// The count of pixels off by more than the tolerance; `where` tells the first few.
int WrongPixels(const kavlo::DisplayBitmap& bitmap, const clipgen::ClipOptions& o, int tolerance,
                int& compared, std::string& where) {
    const clipgen::RgbPicture want = clipgen::RenderFrame(o, 0);
    const int w = o.width, h = o.height;
    auto chroma = [&](int x, int y) {
        const uint8_t* p = want.At(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
        return clipgen::RgbToYCbCr(p[0], p[1], p[2], o.coding);
    };
    int wrong = 0;
    compared = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const clipgen::YCbCr c = chroma(x, y);
            bool flat = true;
            for (int dy = -4; dy <= 4 && flat; ++dy) {
                for (int dx = -4; dx <= 4 && flat; ++dx) {
                    const clipgen::YCbCr n = chroma(x + dx, y + dy);
                    flat = std::abs(n.cb - c.cb) <= 1.0 && std::abs(n.cr - c.cr) <= 1.0;
                }
            }
            if (!flat) continue;
            ++compared;
            const uint8_t* p = want.At(x, y);
            const uint8_t* got = bitmap.LineOnScreen(y) + 3 * x;
            const int err = std::max(
                {std::abs(got[0] - p[2]), std::abs(got[1] - p[1]), std::abs(got[2] - p[0])});
            if (err > tolerance && ++wrong <= 3)
                where += " pixel " + std::to_string(x) + "," + std::to_string(y) + " off by " +
                         std::to_string(err);
        }
    }
    return wrong;
}

// Generator to screen in every matrix and range, for planar 4:2:0, semi-planar 4:2:0, packed
// 4:2:2 and 10-bit 4:2:0: the clip opened with its record's colour choice shows the generator's
// picture; read with the wrong matrix it does not.
TEST_F(ViewFixture, ColourClipsShowTheGeneratorsPicture) {
    const clipgen::Matrix matrices[] = {clipgen::Matrix::BT601, clipgen::Matrix::BT709,
                                        clipgen::Matrix::BT2020};
    for (uint32_t code : {kLayoutI420, kLayoutNV12, kLayoutUYVY, kLayoutP010}) {
        for (clipgen::Matrix matrix : matrices) {
            for (bool full : {false, true}) {
                const clipgen::ClipOptions o = Bars(code, matrix, full);
                SCOPED_TRACE(LayoutName(code) + " matrix " + std::to_string(int(matrix)) +
                             (full ? " full" : " limited"));
                Clip clip = MakeClip("colour.raw", o);
                Open(clip);
                const FrameMemoryLayout& l = *FindFrameMemoryLayout(code);
                const bool vertical = l.planeCount > 1 && l.planes[1].heightDivisor == 2;
                const int tolerance = l.sampleBits > 8 ? 6 : vertical ? 4 : 3;
                int compared = 0;
                std::string where;
                EXPECT_EQ(WrongPixels(*view_->Bitmap(), o, tolerance, compared, where), 0) << where;
                EXPECT_GE(compared, o.width * o.height / 6);
                // Another matrix or range reads the same samples visibly differently.
                const MatrixChoice other =
                    matrix == clipgen::Matrix::BT601 ? MatrixChoice::BT709 : MatrixChoice::BT601;
                view_->SetColour(other, !full);
                EXPECT_GT(WrongPixels(*view_->Bitmap(), o, tolerance, compared, where), 0);
            }
        }
    }
}

// The view's colour operations: they change the record the view holds (so the owner can store
// it), re-render, and show the choice in the status text of Y'CbCr layouts only.
TEST_F(ViewFixture, ColourChoiceChangesRecordAndPicture) {
    Clip clip = MakeClip("uyvy.raw", Bars(kLayoutUYVY, clipgen::Matrix::BT601, false));
    Open(clip);
    EXPECT_EQ(view_->ColourText(), QStringLiteral("BT.601 limited"));
    const std::vector<uint8_t> before(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 3 * 144);
    view_->CycleColourMatrix();
    EXPECT_EQ(view_->ColourMatrixChoice(), MatrixChoice::BT709);
    EXPECT_EQ(view_->Settings().reserved202[kavlo::kMatrixChoiceByte], 1);
    EXPECT_EQ(view_->ColourText(), QStringLiteral("BT.709 limited"));
    EXPECT_NE(std::vector<uint8_t>(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 3 * 144),
              before);
    view_->ToggleFullRange();
    EXPECT_TRUE(view_->FullRange());
    EXPECT_EQ(view_->Settings().reserved202[kavlo::kRangeChoiceByte], 1);
    EXPECT_EQ(view_->ColourText(), QStringLiteral("BT.709 full"));
    view_->CycleColourMatrix();
    view_->CycleColourMatrix();
    // Automatic on a 144x36 frame: the format block says "unspecified", read as BT.601.
    EXPECT_EQ(view_->ColourMatrixChoice(), MatrixChoice::Automatic);
    EXPECT_EQ(view_->ColourText(), QStringLiteral("BT.601 full"));
    view_->CycleColourMatrix();
    view_->ToggleFullRange();
    EXPECT_EQ(view_->ColourMatrixChoice(), MatrixChoice::BT601);
    EXPECT_EQ(std::vector<uint8_t>(view_->Bitmap()->Row(0), view_->Bitmap()->Row(0) + 3 * 144),
              before);

    clipgen::ClipOptions grey;
    grey.code = kLayoutGRAY;
    grey.width = 64;
    grey.height = 48;
    Clip greyClip = MakeClip("grey.raw", grey);
    Open(greyClip);
    EXPECT_EQ(view_->ColourText(), QString());
}

}  // namespace
