#include "view/file/FrameLineCheck.h"

#include "settings/FrameSpan.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace kavlo {

namespace {

constexpr char kMagic[] = "YUV4MPEG2 ";
constexpr size_t kMagicBytes = sizeof(kMagic) - 1;
// How far past the expected end a longer frame line is measured.
constexpr size_t kMeasuredBeyond = 4096;

}  // namespace

void FrameLineCheck::Open(const QByteArray& fileName, const RawSettings& settings,
                          uint64_t frameBytes) {
    Close();
    if (settings.framePrefix < 6) return;
    const int fd = ::open(fileName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    char start[kMagicBytes];
    if (::pread(fd, start, kMagicBytes, 0) != static_cast<ssize_t>(kMagicBytes) ||
        std::memcmp(start, kMagic, kMagicBytes) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    filePrefix_ = settings.filePrefix;
    lineBytes_ = settings.framePrefix;
    stride_ = rawsettings::FrameSpan::Of(settings, static_cast<int64_t>(frameBytes)).Stride();
}

void FrameLineCheck::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

QString FrameLineCheck::Check(int64_t frame) const {
    if (fd_ < 0 || frame < 0) return QString();
    const size_t want = lineBytes_ + kMeasuredBeyond;
    std::vector<char> line(want);
    const int64_t at = filePrefix_ + frame * stride_;
    const ssize_t got = ::pread(fd_, line.data(), want, static_cast<off_t>(at));
    if (got < 5 || std::memcmp(line.data(), "FRAME", 5) != 0) {
        return QStringLiteral(
                   "frame %1 does not start with a FRAME line; the file is not read "
                   "as one YUV4MPEG2 stream")
            .arg(frame);
    }
    const void* end = std::memchr(line.data(), '\n', static_cast<size_t>(got));
    if (end) {
        const auto bytes = static_cast<size_t>(static_cast<const char*>(end) - line.data()) + 1;
        if (bytes == lineBytes_) return QString();
        return QStringLiteral(
                   "frame %1's FRAME line is %2 bytes, the first frame's %3; frames "
                   "with their own parameters are not supported")
            .arg(frame)
            .arg(bytes)
            .arg(lineBytes_);
    }
    return QStringLiteral(
               "frame %1's FRAME line is more than %2 bytes, the first frame's %3; "
               "frames with their own parameters are not supported")
        .arg(frame)
        .arg(got)
        .arg(lineBytes_);
}

}  // namespace kavlo
