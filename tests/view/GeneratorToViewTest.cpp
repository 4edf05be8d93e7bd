// From the clip generator to the screen: every layout, stored progressive, woven or with its
// fields one after the other, is written by the generator, opened in the view as its viewer
// arguments describe it, and the picture on screen is compared with the generator's own picture
// of the frame.
#include "ViewTestSupport.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace viewtest;

namespace {

// Largest error allowed on a byte of the picture: the tolerances of the conversion's round trip
// through the generator (8-bit rounding of samples and matrix; one more for the vertical 4:2:0
// filter; wide samples cut to their high byte lose a step of each component; top bits only for
// 15- and 16-bit R'G'B'; 10- and 16-bit R'G'B' round full scale up by one; 16-235 expansion).
int Tolerance(const FrameMemoryLayout& l) {
    const bool rounds16 = l.code == kLayoutI420LE16 || l.code == kLayoutI420BE16;
    if (l.model == ColourModel::YCbCr) {
        const bool vertical = l.planeCount > 1 && l.planes[1].heightDivisor == 2;
        return l.sampleBits > 8 && !rounds16 ? 6 : vertical ? 4 : 3;
    }
    if (l.model == ColourModel::Grey) return 1;
    // Mosaics: 10- and 12-bit samples of v x (2^b - 1) / 255 reduce to v + 1 at worst.
    if (l.model == ColourModel::Bayer) return l.sampleBits > 8 ? 1 : 0;
    if (l.sampleBits < 8) return 7;
    if (l.sampleBits > 8) return 1;
    return l.studioRange ? 2 : 0;
}

// Pixels whose chroma neighbourhood is flat in the generator's picture: there subsampled chroma
// has one value, so any difference beyond the tolerance is the conversion's (or the storage's)
// fault, not the subsampling's. The neighbourhood covers what the generator's chroma filters and
// the conversion's upsampling reach: four pixels either way along the row, four display rows
// up and down (two rows of each field).
std::vector<bool> FlatChroma(const clipgen::RgbPicture& pic, bool subsampled) {
    const int w = pic.width, h = pic.height;
    std::vector<bool> flat(size_t(w) * size_t(h), true);
    if (!subsampled) return flat;
    std::vector<clipgen::YCbCr> ycc(flat.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = pic.At(x, y);
            ycc[size_t(y) * size_t(w) + size_t(x)] = clipgen::RgbToYCbCr(p[0], p[1], p[2]);
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const clipgen::YCbCr& c = ycc[size_t(y) * size_t(w) + size_t(x)];
            bool same = true;
            for (int dy = -4; dy <= 4 && same; ++dy) {
                for (int dx = -4; dx <= 4 && same; ++dx) {
                    const int yy = std::clamp(y + dy, 0, h - 1), xx = std::clamp(x + dx, 0, w - 1);
                    const clipgen::YCbCr& n = ycc[size_t(yy) * size_t(w) + size_t(xx)];
                    same = std::abs(n.cb - c.cb) <= 1.0 && std::abs(n.cr - c.cr) <= 1.0;
                }
            }
            flat[size_t(y) * size_t(w) + size_t(x)] = same;
        }
    }
    return flat;
}

// Pixels of a mosaic whose neighbours have the same colour: there bilinear demosaicing gives
// the colour back exactly. The conversion demosaics rows in memory order (separated fields put
// rows of different fields side by side), so the neighbourhood is taken in memory order: one
// pixel either way along the row and one memory row up and down. The result is by displayed row.
std::vector<bool> FlatMosaic(const clipgen::ClipOptions& o, const clipgen::RgbPicture& pic) {
    const int w = pic.width, h = pic.height;
    // Which displayed row each memory row holds: a one-pixel picture numbering its rows.
    clipgen::RgbPicture rows;
    rows.width = 1;
    rows.height = h;
    for (int y = 0; y < h; ++y) rows.rgb.insert(rows.rgb.end(), {uint8_t(y), uint8_t(y >> 8), 0});
    const clipgen::RgbPicture order = clipgen::ToMemoryOrder(o, rows);
    auto displayed = [&](int m) { return int(order.At(0, m)[0]) | int(order.At(0, m)[1]) << 8; };
    std::vector<bool> flat(size_t(w) * size_t(h), true);
    for (int m = 0; m < h; ++m) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* c = pic.At(x, displayed(m));
            bool same = true;
            for (int dm = -1; dm <= 1 && same; ++dm) {
                for (int dx = -1; dx <= 1 && same; ++dx) {
                    const int mm = std::clamp(m + dm, 0, h - 1), xx = std::clamp(x + dx, 0, w - 1);
                    same = std::equal(c, c + 3, pic.At(xx, displayed(mm)));
                }
            }
            flat[size_t(displayed(m)) * size_t(w) + size_t(x)] = same;
        }
    }
    return flat;
}

struct Storage {
    const char* name;
    clipgen::FieldMode fields;
    bool bottomFieldFirst;
    bool bottomUp;
};

constexpr Storage kStorages[] = {
    {"progressive", clipgen::FieldMode::Progressive, false, false},
    {"woven", clipgen::FieldMode::Woven, false, false},
    {"woven bottom field first", clipgen::FieldMode::Woven, true, false},
    {"separated", clipgen::FieldMode::Separated, false, false},
    {"separated bottom field first", clipgen::FieldMode::Separated, true, false},
    {"separated bottom-up", clipgen::FieldMode::Separated, false, true},
};

class GeneratorToView : public ViewFixture, public ::testing::WithParamInterface<int> {};

TEST_P(GeneratorToView, ScreenShowsTheGeneratorsPicture) {
    const FrameMemoryLayout& l = FrameMemoryLayouts()[GetParam()];
    const LayoutGeometry& g = *FindLayoutGeometry(l.code);
    const int tolerance = Tolerance(l);
    const bool subsampled = l.model == ColourModel::YCbCr && l.code != kLayoutYV24 &&
                            l.code != kLayoutVUYA && l.code != kLayoutAYUV;
    // Heights with two fields of an even number of rows, of an odd number of rows, and an odd
    // frame height where the layout allows one (its last row belongs to neither stored field).
    std::vector<int> heights = {36, 34};
    if (g.heightMultiple == 1) heights.push_back(17);
    for (const int h : heights) {
        for (const Storage& st : kStorages) {
            SCOPED_TRACE(std::string(st.name) + ", height " + std::to_string(h));
            clipgen::ClipOptions o;
            o.code = l.code;
            o.width = 144;
            o.height = h;
            o.frames = 1;
            o.fields = st.fields;
            o.bottomFieldFirst = st.bottomFieldFirst;
            o.bottomUp = st.bottomUp;
            Clip clip = MakeClip("clip.raw", o);
            Open(clip);
            // The stored field order has no setting of its own: the viewer shows a bottom field
            // first clip stored in separate fields the right way round with the fields swapped.
            if (st.fields == clipgen::FieldMode::Separated && st.bottomFieldFirst)
                view_->ToggleFieldOrder();
            const kavlo::DisplayBitmap* bitmap = view_->Bitmap();
            ASSERT_NE(bitmap, nullptr);
            ASSERT_EQ(bitmap->Height(), h);

            const clipgen::RgbPicture want = clipgen::RenderFrame(o, 0);
            const std::vector<bool> flat =
                l.model == ColourModel::Bayer ? FlatMosaic(o, want) : FlatChroma(want, subsampled);
            int compared = 0, wrong = 0;
            for (int y = 0; y < h; ++y) {
                const uint8_t* line = bitmap->LineOnScreen(y);
                for (int x = 0; x < o.width; ++x) {
                    if (!flat[size_t(y) * size_t(o.width) + size_t(x)]) continue;
                    ++compared;
                    const uint8_t* p = want.At(x, y);
                    int expected[3] = {p[2], p[1], p[0]};
                    if (l.model == ColourModel::Grey) {
                        const auto grey =
                            int(std::lround(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]));
                        expected[0] = expected[1] = expected[2] = grey;
                    }
                    int err = 0;
                    for (int c = 0; c < 3; ++c)
                        err = std::max(err, std::abs(int(line[3 * x + c]) - expected[c]));
                    if (err > tolerance && ++wrong <= 3)
                        ADD_FAILURE() << "pixel " << x << "," << y << " off by " << err;
                }
            }
            EXPECT_EQ(wrong, 0) << "of " << compared << " pixels compared";
            // The comparison covers the bars, the grey ramp and most of the picture.
            EXPECT_GE(compared, o.width * h / 6);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, GeneratorToView, ::testing::Range(0, kFrameMemoryLayoutCount),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return LayoutName(FrameMemoryLayouts()[p.param].code);
                         });

}  // namespace
