// The "FRAME" lines of a YUV4MPEG2 file read as a raw file. Its settings record reads every
// frame line as a frame prefix of the first frame line's length; a frame whose line carries
// parameters of its own is longer and would be read shifted. Each frame's line is checked as the
// frame is read (one small read beside the frame's), so opening stays instant on any file size.
#pragma once

#include "settings/RawSettings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace kavlo {

class FrameLineCheck {
public:
    FrameLineCheck() = default;
    ~FrameLineCheck() { Close(); }
    FrameLineCheck(const FrameLineCheck&) = delete;
    FrameLineCheck& operator=(const FrameLineCheck&) = delete;

    // Starts checking when the file (named by its bytes) starts with "YUV4MPEG2 " and the record
    // has a frame prefix; otherwise the check stays inactive and passes every frame.
    void Open(const QByteArray& fileName, const RawSettings& settings, uint64_t frameBytes);
    void Close();
    bool Active() const { return fd_ >= 0; }

    // Empty when frame `frame`'s line starts with "FRAME" and is as long as the first frame's;
    // otherwise why not: "frame 17's FRAME line is 12 bytes, the first frame's 6; frames with
    // their own parameters are not supported".
    QString Check(int64_t frame) const;

private:
    int fd_ = -1;
    int64_t filePrefix_ = 0;
    int64_t stride_ = 0;  // frame prefix + frame + frame postfix
    uint32_t lineBytes_ = 0;
};

}  // namespace kavlo
