// The viewer's whole-file PSNR window against `kavlo-tool compare`: for the same pair of files
// its Export CSV writes exactly what the tool prints, figures and summary line alike.
#include "ToolTestSupport.h"

#include "app/compare/PsnrSequenceWindow.h"
#include "clipgen/ClipGen.h"
#include "image/PixelLayout.h"
#include "TNCore.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A clip whose first `same` frames are coded as `like`'s (BT.601) and the rest with BT.709: the
// first frames compare as identical (inf), the others by their own amounts.
std::string MixedClip(const QTemporaryDir& dir, const clipgen::ClipOptions& like, const char* name,
                      int same) {
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    const std::string other = path + ".709";
    clipgen::ClipOptions o709 = like;
    o709.coding.matrix = clipgen::Matrix::BT709;
    std::string error;
    EXPECT_TRUE(clipgen::WriteClip(like, path, error)) << error;
    EXPECT_TRUE(clipgen::WriteClip(o709, other, error)) << error;
    QFile target(QString::fromStdString(path)), source(QString::fromStdString(other));
    EXPECT_TRUE(target.open(QIODevice::ReadWrite) && source.open(QIODevice::ReadOnly));
    const QByteArray later = source.readAll();
    const qsizetype frameBytes = later.size() / like.frames;
    target.seek(frameBytes * same);
    target.write(later.mid(frameBytes * same));
    return path;
}

}  // namespace

TEST(ToolAndViewer, ThePsnrWindowExportsTheCsvTheToolPrints) {
    CTNCore core(nullptr);
    ASSERT_TRUE(core.isInitialized());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::pair<uint32_t, uint32_t> pairs[] = {{kLayoutI420, kLayoutYV12},
                                                   {kLayoutP010, kLayoutP010}};
    for (const auto& [codeA, codeB] : pairs) {
        SCOPED_TRACE(LayoutName(codeA) + " against " + LayoutName(codeB));
        clipgen::ClipOptions oa;
        oa.code = codeA;
        oa.width = 64;
        oa.height = 32;
        oa.frames = 5;
        const std::string a = dir.filePath(QStringLiteral("a.raw")).toStdString();
        std::string error;
        ASSERT_TRUE(clipgen::WriteClip(oa, a, error)) << error;
        clipgen::ClipOptions ob = oa;
        ob.code = codeB;
        const std::string b = MixedClip(dir, ob, "b.raw", 2);

        const auto tool = tooltest::RunTool({"compare", "-w", "64", "-h", "32", "-l",
                                             LayoutName(codeA), a, b, "-l", LayoutName(codeB)});
        ASSERT_EQ(tool.status, 0) << tool.err;
        ASSERT_NE(tool.out.find(",inf,"), std::string::npos) << "identical frames included";

        kavlo::SequenceRequest request;
        request.a = {QString::fromStdString(a), tooltest::SettingsFor(oa)};
        request.b = {QString::fromStdString(b), tooltest::SettingsFor(ob)};
        kavlo::PsnrSequenceWindow window(request, nullptr);
        QSignalSpy finished(&window, &kavlo::PsnrSequenceWindow::finished);
        ASSERT_TRUE(finished.wait(60000));
        ASSERT_EQ(window.State().status, kavlo::SequenceStatus::Done)
            << window.State().error.toStdString();
        const QString csv = dir.filePath(QStringLiteral("figures.csv"));
        QFile::remove(csv);
        QString why;
        ASSERT_TRUE(window.ExportCsv(csv, false, why)) << why.toStdString();
        QFile written(csv);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll().toStdString(), tool.out);
    }
}
