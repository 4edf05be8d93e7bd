#include "ViewTestSupport.h"

#include "image/Convert.h"

#include <QTest>

namespace viewtest {

Converted ConvertClipFrame(const clipgen::ClipOptions& options, int n, uint32_t flags) {
    Converted c;
    std::vector<uint8_t> frame;
    EXPECT_TRUE(clipgen::PackFrame(options, n, frame));
    c.width = options.width;
    c.height = options.height;
    c.stride = static_cast<size_t>(((options.width + 4) * 4 + 15) & ~15);
    c.bytes.assign(c.stride * static_cast<size_t>(options.height + 16), 0);
    EXPECT_TRUE(ConvertFrame(options.width, options.height, static_cast<ConvertFlags>(flags),
                             options.code, frame.data(), clipgen::ClipLineBytes(options),
                             0x33524742u, c.bytes.data(), static_cast<int32_t>(c.stride)));
    return c;
}

void ViewFixture::SetUp() {
    CoreFixture::SetUp();
    if (HasFatalFailure()) return;
    view_ = std::make_unique<CVideoBuffer>();
    view_->setObjectName(QStringLiteral("VideoBuffer"));
    view_->SetStatusCallback(&StatusLog::Callback, &status_);
    view_->resize(320, 240);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
}

void ViewFixture::TearDown() {
    view_.reset();
    CoreFixture::TearDown();
}

void ViewFixture::Open(Clip& clip, int64_t startFrame) {
    QString error;
    ASSERT_EQ(view_->OpenFile(&clip.settings, clip.path, error, startFrame), 0)
        << error.toStdString();
}

}  // namespace viewtest
