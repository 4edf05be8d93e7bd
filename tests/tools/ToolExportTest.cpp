// kavlo-tool export shows what the view shows: for every layout of the catalogue, a clip from
// the clip generator is exported by the tool's export and rendered by the view (CVideoBuffer,
// offscreen) with the same settings record and the same switches, and the two pictures must be
// equal byte for byte.
#include "ToolTestSupport.h"

#include "ToolCommands.h"

#include "clipgen/ClipGen.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"
#include "view/VideoBuffer.h"

#include "TNCore.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kavlotool;

namespace {

// One combination of the view's switches, as the tool's options and as the view's commands.
struct Switches {
    const char* name;
    Channel channel;
    bool split, swap, flip;
    int deinterlace;  // -1: off
};
constexpr Switches kCombinations[] = {
    {"plain", Channel::All, false, false, false, -1},
    {"split-swap-y", Channel::Y, true, true, false, -1},
    {"deinterlace-bottom-flip", Channel::All, false, false, true, 2},
    {"swap-lowpass-cb", Channel::Cb, false, true, false, 3},
    {"blend-cr-flip", Channel::Cr, false, false, true, 0},
};

void ApplyToView(CVideoBuffer& view, const Switches& s) {
    if (s.channel == Channel::Y) view.ShowChannel(CVideoBuffer::ChannelY);
    if (s.channel == Channel::Cb) view.ShowChannel(CVideoBuffer::ChannelCb);
    if (s.channel == Channel::Cr) view.ShowChannel(CVideoBuffer::ChannelCr);
    if (s.split) view.ToggleSplitFields();
    if (s.swap) view.ToggleFieldOrder();
    if (s.flip) view.ToggleFlip();
    if (s.deinterlace >= 0) {
        view.ToggleDeinterlace();
        view.SetDeinterlacingMethod(static_cast<uint32_t>(s.deinterlace));
    }
}

// The PPM the tool wrote, as rows of R', G', B'.
std::vector<uint8_t> ReadPpm(const QString& path, int width, int height) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    const QByteArray header =
        "P6\n" + QByteArray::number(width) + " " + QByteArray::number(height) + "\n255\n";
    if (!bytes.startsWith(header)) return {};
    return std::vector<uint8_t>(bytes.begin() + header.size(), bytes.end());
}

class ExportEqualsView : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { ASSERT_TRUE(core_.isInitialized()); }
    CTNCore core_{nullptr};
};

TEST_P(ExportEqualsView, EveryFrameAndSwitchCombination) {
    const FrameMemoryLayout& layout = FrameMemoryLayouts()[GetParam()];
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    clipgen::ClipOptions o;
    o.code = layout.code;
    o.width = 144;
    o.height = 36;
    o.frames = 2;
    o.fields = clipgen::FieldMode::Woven;
    const std::string clip = dir.filePath(QStringLiteral("clip.raw")).toStdString();
    std::string error;
    ASSERT_TRUE(clipgen::WriteClip(o, clip, error)) << error;
    const RawSettings settings = tooltest::SettingsFor(o);

    for (const Switches& s : kCombinations) {
        SCOPED_TRACE(s.name);
        Request request;
        request.command = Command::Export;
        request.outPattern =
            dir.filePath(QStringLiteral("%1-%d.ppm").arg(QLatin1String(s.name))).toStdString();
        request.channel = s.channel;
        request.splitFields = s.split;
        request.swapFields = s.swap;
        request.flip = s.flip;
        request.deinterlace = s.deinterlace;
        Input input;
        input.path = clip;
        input.settings = settings;
        input.complete = true;
        ASSERT_EQ(RunExport(request, input), kExitOk);

        CVideoBuffer view;
        RawSettings viewSettings = settings;
        QString viewError;
        ASSERT_EQ(view.OpenFile(&viewSettings, QString::fromStdString(clip), viewError, 0), 0)
            << viewError.toStdString();
        ApplyToView(view, s);
        for (int n = 0; n < o.frames; ++n) {
            SCOPED_TRACE("frame " + std::to_string(n));
            if (n > 0) {
                ASSERT_TRUE(view.LoadFrame(n));
            }
            const kavlo::DisplayBitmap* bitmap = view.Bitmap();
            ASSERT_NE(bitmap, nullptr);
            const std::vector<uint8_t> exported = ReadPpm(
                dir.filePath(QStringLiteral("%1-%2.ppm").arg(s.name).arg(n)), o.width, o.height);
            ASSERT_EQ(exported.size(), size_t(o.width) * size_t(o.height) * 3);
            int wrong = 0;
            for (int y = 0; y < o.height; ++y) {
                const uint8_t* line = bitmap->LineOnScreen(y);
                const uint8_t* rgb = exported.data() + size_t(y) * size_t(o.width) * 3;
                for (int x = 0; x < o.width; ++x) {
                    if (rgb[3 * x] != line[3 * x + 2] || rgb[3 * x + 1] != line[3 * x + 1] ||
                        rgb[3 * x + 2] != line[3 * x])
                        ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0) << "pixels differ from the view's";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryLayout, ExportEqualsView,
                         ::testing::Range(0, kFrameMemoryLayoutCount),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return LayoutName(FrameMemoryLayouts()[p.param].code);
                         });

// PNG carries the same picture as PPM.
TEST(ExportPng, HoldsThePictureOfThePpm) {
    CTNCore core(nullptr);
    QTemporaryDir dir;
    clipgen::ClipOptions o;
    o.code = kLayoutI420;
    o.width = 64;
    o.height = 32;
    const std::string clip = dir.filePath(QStringLiteral("clip.yuv")).toStdString();
    std::string error;
    ASSERT_TRUE(clipgen::WriteClip(o, clip, error)) << error;
    Input input;
    input.path = clip;
    input.settings = tooltest::SettingsFor(o);
    input.complete = true;
    Request request;
    request.command = Command::Export;
    for (const char* name : {"f%d.png", "f%d.ppm"}) {
        request.outPattern = dir.filePath(QString::fromLatin1(name)).toStdString();
        ASSERT_EQ(RunExport(request, input), kExitOk);
    }
    QImage png(dir.filePath(QStringLiteral("f0.png")));
    ASSERT_FALSE(png.isNull());
    png = png.convertToFormat(QImage::Format_RGB888);
    const std::vector<uint8_t> ppm = ReadPpm(dir.filePath(QStringLiteral("f0.ppm")), 64, 32);
    ASSERT_EQ(ppm.size(), size_t(64 * 32 * 3));
    for (int y = 0; y < 32; ++y)
        EXPECT_EQ(0, std::memcmp(png.constScanLine(y), ppm.data() + y * 64 * 3, 64 * 3))
            << "row " << y;
}

}  // namespace
