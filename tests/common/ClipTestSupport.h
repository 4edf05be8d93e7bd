// What the test programs of the file, picture, analysis and view stages share, without a widget:
// clips written by the clip generator, the settings records that open them, the core's error
// texts, and the fixture that starts the core with the real plug-in for every test and checks
// afterwards that the plug-in has no live objects left.
#pragma once

#include "clipgen/ClipGen.h"
#include "settings/RawSettings.h"
#include "view/file/SourceFrame.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace viewtest {

// A frame of `bytes` (kept by the caller) in layout `code`, w x h pixels, rows `lineBytes` apart.
inline kavlo::SourceFrame FrameOf(const std::vector<uint8_t>& bytes, uint32_t code, int w, int h,
                                  int32_t lineBytes) {
    kavlo::SourceFrame f;
    f.bytes = bytes.data();
    f.width = w;
    f.height = h;
    f.code = code;
    f.lineBytes = lineBytes;
    return f;
}

// Waits (processing no events: the work has threads of its own) until `done` or 10 s; false when
// the time ran out.
inline bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A clip on disk with the record that opens it.
struct Clip {
    clipgen::ClipOptions options;
    RawSettings settings{};
    QString path;
};

// The settings record for a clip: format block built for its layout and geometry, negative line
// bytes for bottom-up clips, field detail 9/14 (woven) or 1/6 (separated).
RawSettings SettingsFor(const clipgen::ClipOptions& options);

// Options of a progressive UYVY clip of the given size.
clipgen::ClipOptions Uyvy(int width, int height, int frames);

// An error text of the view: format with the core's text for `result` in place of "%ls".
QString WithResult(const char* format, int32_t result);

// Writes the clip into dir; fails the current test when that is impossible.
Clip WriteClip(const QString& dir, const QString& name, const clipgen::ClipOptions& options);

// Live component objects of the real plug-in (the core's class object included while the core
// is open); -1 when the plug-in beside the test program (plugins/quern.dll) cannot be loaded.
int32_t QuernLiveObjects();

// The core started with the real plug-in for every test, a folder for its clips, and the leak
// check after it.
class CoreFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Clip MakeClip(const QString& name, const clipgen::ClipOptions& options) {
        return WriteClip(dir_.path(), name, options);
    }

    QTemporaryDir dir_;
};

}  // namespace viewtest
