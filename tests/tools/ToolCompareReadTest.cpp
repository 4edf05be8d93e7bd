// How `kavlo-tool compare` reads its frames: in bands of rows, giving the sums that whole frames
// give, and with a file cut short while it is compared reported by the frames it still holds.
#include "ToolCommands.h"
#include "ToolTestSupport.h"

#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct ShrinkCase {
    const char* name;
    uint32_t codeA, codeB;
    int32_t width, height;
    int32_t lineBytesA;  // 0: as the viewer computes it
    uint32_t filePrefix, framePrefix, framePostfix;
    bool shrinkA;    // which file is cut: A or B
    int framesLeft;  // whole frames it keeps, cut after they are compared
    bool midFrame;   // cut inside the next frame instead of at its start
};

void PrintTo(const ShrinkCase& c, std::ostream* os) { *os << c.name; }

class CompareReads : public ::testing::TestWithParam<ShrinkCase> {};

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Frames larger than one read band (planes of more than a MiB), with the planes shared by
// components (NV12's Cb and Cr, YUY2's three) and line pitch, prefixes and postfixes around them.
TEST_P(CompareReads, BandsSumAsWholeFramesAndACutFileIsReportedByTheFramesItHolds) {
    const ShrinkCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    clipgen::ClipOptions oa;
    oa.code = c.codeA;
    oa.width = c.width;
    oa.height = c.height;
    oa.lineBytes = c.lineBytesA;
    oa.frames = c.framesLeft + 1;
    oa.filePrefix = c.filePrefix;
    oa.framePrefix = c.framePrefix;
    oa.framePostfix = c.framePostfix;
    clipgen::ClipOptions ob = oa;
    ob.code = c.codeB;
    ob.lineBytes = 0;
    ob.coding.matrix = clipgen::Matrix::BT709;
    kavlotool::Input a, b;
    a.path = dir.filePath(QStringLiteral("a.raw")).toStdString();
    b.path = dir.filePath(QStringLiteral("b.raw")).toStdString();
    std::string error;
    ASSERT_TRUE(clipgen::WriteClip(oa, a.path, error) && clipgen::WriteClip(ob, b.path, error))
        << error;
    a.settings = tooltest::SettingsFor(oa);
    b.settings = tooltest::SettingsFor(ob);
    FrameSamples samplesA, samplesB;
    const RawVideoFormat& fa = a.settings.rawFormat;
    const RawVideoFormat& fb = b.settings.rawFormat;
    ASSERT_TRUE(DescribeSamples(fa.code, c.width, c.height, fa.lineBytes, samplesA));
    ASSERT_TRUE(DescribeSamples(fb.code, c.width, c.height, fb.lineBytes, samplesB));
    ASSERT_TRUE(SamplesComparable(samplesA, samplesB, error)) << error;

    // The figures of whole frames, from the files read before the cut.
    const std::vector<uint8_t> bytesA = FileBytes(a.path), bytesB = FileBytes(b.path);
    auto frameAt = [&c](const std::vector<uint8_t>& bytes, const RawVideoFormat& f, int n) {
        const uint64_t stride = c.framePrefix + FrameBytes(f) + c.framePostfix;
        return bytes.data() + c.filePrefix + c.framePrefix + uint64_t(n) * stride;
    };
    const PsnrWeights weights = WeightsOf(samplesA);
    std::vector<PsnrFigures> whole;
    for (int n = 0; n < oa.frames; ++n) {
        std::vector<uint64_t> sse;
        SumSquaredDifferences(samplesA, frameAt(bytesA, fa, n), samplesB, frameAt(bytesB, fb, n),
                              sse);
        whole.push_back(FrameFigures(weights, sse, samplesA));
    }
    ASSERT_GT(whole[1].mseAverage, 0.0) << "the files differ";

    // One worker, so that the frames go in order and the cut falls between two of them.
    const kavlotool::Input& cut = c.shrinkA ? a : b;
    const uint64_t stride = c.framePrefix + FrameBytes(cut.settings.rawFormat) + c.framePostfix;
    const auto cutAt = static_cast<off_t>(c.filePrefix + uint64_t(c.framesLeft) * stride +
                                          (c.midFrame ? stride / 2 : 0));
    std::vector<PsnrFigures> figures;
    const bool done = kavlotool::CompareFrames(
        a, b, samplesA, samplesB, 0, oa.frames - 1, 1, figures, error, [&](int64_t n) {
            if (n + 1 == c.framesLeft) {
                ASSERT_EQ(::truncate(cut.path.c_str(), cutAt), 0);
            }
        });
    EXPECT_FALSE(done);
    EXPECT_EQ(error, cut.path + " shrank to " + std::to_string(c.framesLeft) + " frames at frame " +
                         std::to_string(c.framesLeft));
    ASSERT_EQ(figures.size(), whole.size());
    for (int n = 0; n < c.framesLeft; ++n) {
        EXPECT_EQ(figures[size_t(n)].mse, whole[size_t(n)].mse) << "frame " << n;
        EXPECT_EQ(figures[size_t(n)].mseAverage, whole[size_t(n)].mseAverage) << "frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CompareReads,
    ::testing::Values(ShrinkCase{"I420_pitch_vs_YV12_A_cut_between_frames", kLayoutI420,
                                 kLayoutYV12, 1280, 900, 1984, 0, 0, 0, true, 1, false},
                      ShrinkCase{"NV12_vs_I420_B_cut_inside_a_frame", kLayoutNV12, kLayoutI420,
                                 1280, 900, 0, 0, 0, 0, false, 2, true},
                      ShrinkCase{"YUY2_prefixes_B_cut_inside_a_frame", kLayoutYUY2, kLayoutYUY2,
                                 1024, 600, 0, 100, 16, 8, false, 1, true},
                      ShrinkCase{"P010_vs_P010_A_cut_inside_a_frame", kLayoutP010, kLayoutP010, 800,
                                 720, 0, 0, 0, 0, true, 1, true}),
    [](const ::testing::TestParamInfo<ShrinkCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
