#include "ClipTestSupport.h"

#include "settings/ColourChoice.h"
#include "TNCore.h"
#include "TNDebug.h"

#include <QCoreApplication>
#include <QDir>

#include <dlfcn.h>

#include <string>

namespace viewtest {

clipgen::ClipOptions Uyvy(int width, int height, int frames) {
    clipgen::ClipOptions o;
    o.code = kLayoutUYVY;
    o.width = width;
    o.height = height;
    o.frames = frames;
    return o;
}

QString WithResult(const char* format, int32_t result) {
    QString text = QString::fromLatin1(format);
    text.replace(QLatin1String("%ls"), QString::fromWCharArray(TNGetErrorString(result)));
    return text;
}
namespace {

// The plug-in as the core finds it: <directory of this executable>/plugins/quern.dll. The test
// keeps its own handle so that the library, and its live-object count, outlive the core's.
void* QuernHandle() {
    static void* handle = [] {
        const std::string path =
            (QCoreApplication::applicationDirPath() + QStringLiteral("/plugins/quern.dll"))
                .toStdString();
        return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }();
    return handle;
}

}  // namespace

RawSettings SettingsFor(const clipgen::ClipOptions& o) {
    RawSettings s{};
    s.size = kRawSettingsSize;
    s.filePrefix = static_cast<int32_t>(o.filePrefix);
    s.framePrefix = o.framePrefix;
    s.framePostfix = o.framePostfix;
    s.frameDuration = 1;
    s.timeScale = 25;
    int32_t detail = 0;
    if (o.fields == clipgen::FieldMode::Woven) detail = o.bottomFieldFirst ? 14 : 9;
    if (o.fields == clipgen::FieldMode::Separated) detail = o.bottomFieldFirst ? 6 : 1;
    const int32_t pitch = clipgen::ClipLineBytes(o);
    EXPECT_TRUE(BuildRawVideoFormat(s.rawFormat, o.width, o.height, o.code, pitch, detail));
    if (o.bottomUp) s.rawFormat.lineBytes = -s.rawFormat.lineBytes;
    const kavlo::MatrixChoice matrix =
        o.coding.matrix == clipgen::Matrix::BT709    ? kavlo::MatrixChoice::BT709
        : o.coding.matrix == clipgen::Matrix::BT2020 ? kavlo::MatrixChoice::BT2020
                                                     : kavlo::MatrixChoice::BT601;
    kavlo::StoreColourChoice(s, matrix, o.coding.fullRange);
    return s;
}

Clip WriteClip(const QString& dir, const QString& name, const clipgen::ClipOptions& options) {
    Clip clip;
    clip.options = options;
    clip.path = QDir(dir).filePath(name);
    std::string error;
    EXPECT_TRUE(clipgen::WriteClip(options, clip.path.toStdString(), error)) << error;
    clip.settings = SettingsFor(options);
    return clip;
}

int32_t QuernLiveObjects() {
    void* handle = QuernHandle();
    if (!handle) return -1;
    auto count = reinterpret_cast<int32_t (*)()>(::dlsym(handle, "quernLiveObjectCount"));
    return count ? count() : -1;
}

void CoreFixture::SetUp() {
    ASSERT_NE(QuernHandle(), nullptr) << ::dlerror();
    ASSERT_TRUE(dir_.isValid());
    ASSERT_EQ(TNCoreInitialize(nullptr), TN_OK);
}

void CoreFixture::TearDown() {
    TNCoreClose();
    // With the core closed the class object is gone too: nothing of the plug-in may live on.
    EXPECT_EQ(QuernLiveObjects(), 0);
}

}  // namespace viewtest
