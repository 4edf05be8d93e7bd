// Shared pieces of the view tests: the converted frames to compare against, and the fixture that
// opens clips in a view widget with the core started for every test (and the leak check after
// it). Clips and their records: ../common/ClipTestSupport.h.
#pragma once

#include "../common/ClipTestSupport.h"

#include "view/VideoBuffer.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace viewtest {

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

// Collects what the view hands to its status callback.
struct StatusLog {
    std::vector<QString> texts;
    static void Callback(void* context, CVideoBuffer*, const QString& text) {
        static_cast<StatusLog*>(context)->texts.push_back(text);
    }
    QString Last() const { return texts.empty() ? QString() : texts.back(); }
};

// One view per test with the core started, and the leak check after it.
class ViewFixture : public CoreFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the clip in the view, expecting success.
    void Open(Clip& clip, int64_t startFrame = 0);

    std::unique_ptr<CVideoBuffer> view_;
    StatusLog status_;
};

}  // namespace viewtest
