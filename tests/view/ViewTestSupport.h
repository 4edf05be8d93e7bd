// Shared pieces of the view tests: clips written by the clip generator, the settings records
// that open them, the converted frames to compare against, and the fixture that starts the core
// for every test and checks afterwards that the plug-in has no live objects left.
#pragma once

#include "clipgen/ClipGen.h"
#include "settings/RawSettings.h"
#include "view/VideoBuffer.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <memory>
#include <vector>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace viewtest {

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

// Frame n converted to rows of B', G', R' with the given conversion flags, at `stride` bytes per
// row (3 x width bytes of each row are meaningful).
struct Converted {
    std::vector<uint8_t> bytes;
    size_t stride = 0;
    int width = 0;
    int height = 0;
    const uint8_t* Row(int r) const { return bytes.data() + static_cast<size_t>(r) * stride; }
};
Converted ConvertClipFrame(const clipgen::ClipOptions& options, int n, uint32_t flags);

// Live component objects of the real plug-in (the core's class object included while the core
// is open).
int32_t QuernLiveObjects();

// Collects what the view hands to its status callback.
struct StatusLog {
    std::vector<QString> texts;
    static void Callback(void* context, CVideoBuffer*, const QString& text) {
        static_cast<StatusLog*>(context)->texts.push_back(text);
    }
    QString Last() const { return texts.empty() ? QString() : texts.back(); }
};

// One view per test with the core started, and the leak check after it.
class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the clip in the view, expecting success.
    void Open(Clip& clip, int64_t startFrame = 0);
    Clip MakeClip(const QString& name, const clipgen::ClipOptions& options) {
        return WriteClip(dir_.path(), name, options);
    }

    QTemporaryDir dir_;
    std::unique_ptr<CVideoBuffer> view_;
    StatusLog status_;
};

}  // namespace viewtest
