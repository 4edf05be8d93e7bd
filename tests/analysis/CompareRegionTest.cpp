// The figures of a rectangle: per component the squared differences and the samples counted
// within it, against a count made pixel by pixel through the probe's own reading of the samples
// (a subsampled chroma sample counted once, however many of its pixels the rectangle holds), on
// layouts of every kind of subsampling and packing; the whole frame as a rectangle gives the
// frame's figures; rectangles reaching past the frame are clamped.
#include "../common/ClipTestSupport.h"

#include "analysis/CompareFigures.h"
#include "analysis/SamplePsnr.h"
#include "image/PixelLayout.h"
#include "view/picture/SourceProbe.h"

#include <cmath>
#include <map>
#include <random>
#include <tuple>

using namespace viewtest;
using kavlo::ChromaSiting;
using kavlo::ReadSourceValues;
using kavlo::SourceValues;

namespace {

struct RegionCase {
    const char* name;
    uint32_t code;
    int width, height;
};

class RectangleFigures : public ::testing::TestWithParam<RegionCase> {
protected:
    void SetUp() override {
        const RegionCase& c = GetParam();
        clipgen::ClipOptions o;
        o.code = c.code;
        o.width = c.width;
        o.height = c.height;
        o.frames = 1;
        settings_ = SettingsFor(o);
        const RawVideoFormat& f = settings_.rawFormat;
        ASSERT_TRUE(DescribeSamples(f.code, c.width, c.height, f.lineBytes, samples_));
        std::mt19937 random(c.code);
        for (auto* bytes : {&a_, &b_}) {
            bytes->resize(FrameBytes(f));
            for (uint8_t& v : *bytes) v = static_cast<uint8_t>(random());
        }
        // Most samples agree, so that the largest difference has few ties.
        for (size_t i = 0; i < b_.size(); ++i)
            if (i % 5 != 0) b_[i] = a_[i];
    }
    kavlo::SourceFrame Frame(const std::vector<uint8_t>& bytes) const {
        kavlo::SourceFrame frame;
        frame.bytes = bytes.data();
        frame.width = GetParam().width;
        frame.height = GetParam().height;
        frame.code = settings_.rawFormat.code;
        frame.lineBytes = settings_.rawFormat.lineBytes;
        return frame;
    }

    // Per component: squared differences, samples, largest difference; pixel by pixel through
    // ReadSourceValues, each sample once by where it lies.
    struct Count {
        uint64_t sse = 0, samples = 0;
        uint32_t largest = 0;
    };
    std::map<Component, Count> BruteForce(const QRect& r) const {
        std::map<Component, Count> counts;
        std::map<std::tuple<int, int, int, int>, bool> seen;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                const SourceValues va = ReadSourceValues(Frame(a_), x, y, 0);
                const SourceValues vb = ReadSourceValues(Frame(b_), x, y, 0);
                EXPECT_TRUE(va.valid && vb.valid);
                for (int s = 0; s < va.count; ++s) {
                    const Component c = va.samples[s].component;
                    const bool chroma = c == Component::Cb || c == Component::Cr;
                    int kx = x, ky = y;
                    if (chroma && va.siting == ChromaSiting::Pair) kx = va.chromaFirstX;
                    if (chroma && va.siting == ChromaSiting::Subsampled) {
                        kx = va.chromaX;
                        ky = va.chromaRow;
                    }
                    if (!seen.emplace(std::make_tuple(int(c), s, kx, ky), true).second) continue;
                    const uint32_t p = va.samples[s].value, q = vb.samples[s].value;
                    const uint32_t d = p > q ? p - q : q - p;
                    Count& n = counts[c];
                    n.sse += uint64_t(d) * d;
                    ++n.samples;
                    n.largest = std::max(n.largest, d);
                }
            }
        }
        return counts;
    }

    RawSettings settings_{};
    FrameSamples samples_;
    std::vector<uint8_t> a_, b_;
};

TEST_P(RectangleFigures, CountEachSampleTheRectangleTouchesOnce) {
    const RegionCase& c = GetParam();
    const QRect rects[] = {
        QRect(0, 0, c.width, c.height),         QRect(1, 1, 3, 3),        QRect(5, 2, 4, 4),
        QRect(c.width - 1, c.height - 1, 1, 1), QRect(2, 0, 1, c.height), QRect(0, 3, c.width, 2)};
    for (const QRect& asked : rects) {
        const QRect r = kavlo::ClampRegion(asked, c.width, c.height);
        SCOPED_TRACE(::testing::Message()
                     << "rect " << r.x() << "," << r.y() << " " << r.width() << "x" << r.height());
        const RegionDifferences got = DifferencesInRegion(
            samples_, a_.data(), samples_, b_.data(), uint64_t(r.left()), uint64_t(r.top()),
            uint64_t(r.right() + 1), uint64_t(r.bottom() + 1));
        const std::map<Component, Count> want = BruteForce(r);
        ASSERT_EQ(got.sse.size(), samples_.components.size());
        uint32_t largest = 0;
        for (size_t i = 0; i < samples_.components.size(); ++i) {
            const Component component = samples_.components[i].component;
            const auto it = want.find(component);
            ASSERT_NE(it, want.end()) << ComponentName(component);
            EXPECT_EQ(got.count[i], it->second.samples) << ComponentName(component);
            EXPECT_EQ(got.sse[i], it->second.sse) << ComponentName(component);
            largest = std::max(largest, it->second.largest);
        }
        EXPECT_EQ(got.largest.Magnitude(), largest);
        EXPECT_EQ(got.largest.differs, largest > 0);
    }
}

TEST_P(RectangleFigures, TheWholeFrameGivesTheFramesFiguresAndOutsideIsClamped) {
    const RegionCase& c = GetParam();
    const kavlo::SourceFrame fa = Frame(a_), fb = Frame(b_);
    // Reaching past every edge: the frame.
    const kavlo::CompareRegion all{QRect(),
                                   QRect(c.width + 3, c.height + 2, -c.width - 8, -c.height - 9)};
    const kavlo::CompareFigures f =
        kavlo::ComputeCompareFigures(kavlo::CaptureCompareInput(0, fa, fb, nullptr, nullptr, &all));
    ASSERT_TRUE(f.valid);
    ASSERT_TRUE(f.regionValid);
    EXPECT_EQ(f.region, QRect(0, 0, c.width, c.height));
    ASSERT_EQ(f.regionFigures.mse.size(), f.figures.mse.size());
    for (size_t i = 0; i < f.figures.mse.size(); ++i)
        EXPECT_DOUBLE_EQ(f.regionFigures.mse[i], f.figures.mse[i]) << i;
    EXPECT_DOUBLE_EQ(f.regionFigures.mseAverage, f.figures.mseAverage);
    EXPECT_EQ(f.regionLargest.Magnitude(), f.largest.Magnitude());
    EXPECT_TRUE(kavlo::FiguresLine(f).contains(
        QStringLiteral("; rect %1x%2 at (0, 0): PSNR").arg(c.width).arg(c.height)))
        << kavlo::FiguresLine(f).toStdString();
    EXPECT_TRUE(kavlo::FiguresReport(f).contains(QStringLiteral("Within the rectangle")));

    // Nothing inside the frame: no rectangle figures, the frame's stay.
    const kavlo::CompareRegion outside{QRect(), QRect(c.width, 0, 4, 4)};
    const kavlo::CompareFigures g = kavlo::ComputeCompareFigures(
        kavlo::CaptureCompareInput(0, fa, fb, nullptr, nullptr, &outside));
    EXPECT_TRUE(g.valid);
    EXPECT_FALSE(g.regionValid);
    EXPECT_FALSE(kavlo::FiguresLine(g).contains(QStringLiteral("rect")));
}

INSTANTIATE_TEST_SUITE_P(Layouts, RectangleFigures,
                         ::testing::Values(RegionCase{"I420", kLayoutI420, 12, 6},
                                           RegionCase{"NV12", kLayoutNV12, 12, 6},
                                           RegionCase{"YV16", kLayoutYV16, 12, 6},
                                           RegionCase{"YUY2", kLayoutYUY2, 12, 6},
                                           RegionCase{"UYVY", kLayoutUYVY, 10, 5},
                                           RegionCase{"V210", kLayoutV210, 48, 4},
                                           RegionCase{"P010", kLayoutP010, 12, 6},
                                           RegionCase{"YV24", kLayoutYV24, 12, 6},
                                           RegionCase{"BGR3", kLayoutBGR3, 9, 5},
                                           RegionCase{"R565", kLayoutR565, 9, 5},
                                           RegionCase{"GRAYLE16", kLayoutGRAYLE16, 9, 5}),
                         [](const ::testing::TestParamInfo<RegionCase>& param) {
                             return std::string(param.param.name);
                         });

// A known difference by hand: I420 8 x 4, one luma sample and one Cb sample changed; a 2 x 2
// rectangle on the Cb sample's block holds 4 luma and 1 of each chroma sample.
TEST(RegionFiguresByHand, OneLumaAndOneChromaSampleChanged) {
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 8;
    o.height = 4;
    const RawSettings settings = SettingsFor(o);
    ASSERT_EQ(FrameBytes(settings.rawFormat), 8u * 4 * 3 / 2);
    std::vector<uint8_t> a(8 * 4 * 3 / 2, 100), b = a;
    b[1 * 8 + 5] = 110;         // Y' (5, 1)
    b[8 * 4 + 0 * 4 + 2] = 97;  // Cb (2, 0): pixels 4-5, rows 0-1
    FrameSamples s;
    ASSERT_TRUE(DescribeSamples(kLayoutI420, 8, 4, settings.rawFormat.lineBytes, s));
    const RegionDifferences d = DifferencesInRegion(s, a.data(), s, b.data(), 4, 0, 6, 2);
    EXPECT_EQ(d.count, (std::vector<uint64_t>{4, 1, 1}));
    EXPECT_EQ(d.sse, (std::vector<uint64_t>{100, 9, 0}));
    EXPECT_EQ(d.largest.Magnitude(), 10u);
    EXPECT_EQ(d.largest.x, 5u);
    EXPECT_EQ(d.largest.y, 1u);
    const PsnrFigures f = RegionFigures(s, d);
    EXPECT_DOUBLE_EQ(f.mse[0], 25.0);
    EXPECT_DOUBLE_EQ(f.mse[1], 9.0);
    EXPECT_DOUBLE_EQ(f.mseAverage, (100.0 + 9.0) / 6);
    EXPECT_NEAR(f.psnrAverage, 10 * std::log10(255.0 * 255.0 * 6 / 109), 1e-9);
    // One pixel at (5, 1): its luma and the chroma of its block.
    const RegionDifferences one = DifferencesInRegion(s, a.data(), s, b.data(), 5, 1, 6, 2);
    EXPECT_EQ(one.count, (std::vector<uint64_t>{1, 1, 1}));
    EXPECT_EQ(one.sse, (std::vector<uint64_t>{100, 9, 0}));
    // Beside them: nothing differs.
    const RegionDifferences none = DifferencesInRegion(s, a.data(), s, b.data(), 0, 2, 4, 4);
    EXPECT_EQ(none.sse, (std::vector<uint64_t>{0, 0, 0}));
    EXPECT_FALSE(none.largest.differs);
}

}  // namespace
