#include "view/file/VideoFile.h"

#include "view/file/LocalFileName.h"

#include "image/Convert.h"
#include "settings/FrameSpan.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <QFileInfo>
#include <QLocale>

#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace kavlo {
namespace {

// Buffers whose size or pitch the frame description and the conversion hold in 32 bits.
constexpr uint64_t kMaxBufferBytes = std::numeric_limits<uint32_t>::max();

// A count of bytes with thousands separators: 829,440.
QString Bytes(uint64_t n) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(n));
}

// "text (TNErr: <result text>)": the result text of the core replaces %ls.
QString ResultText(const char* format, TNRESULT result) {
    QString text = QString::fromLatin1(format);
    const wchar_t* message = TNGetErrorString(result);
    text.replace(QLatin1String("%ls"), message ? QString::fromWCharArray(message) : QString());
    return text;
}

int AbsClamped(int32_t v) {
    if (v == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
    return v < 0 ? -v : v;
}

struct StrDeleter {
    void operator()(_TNStr* s) const { CTNStrRelease(s); }
};
using TNStrHolder = std::unique_ptr<_TNStr, StrDeleter>;

// A media type whose format block belongs to this holder.
struct MediaTypeHolder {
    TNMediaType type;
    MediaTypeHolder() { TNMediaTypeInit(&type); }
    ~MediaTypeHolder() { TNMediaTypeFreeFormat(&type); }
    MediaTypeHolder(const MediaTypeHolder&) = delete;
    MediaTypeHolder& operator=(const MediaTypeHolder&) = delete;
};

}  // namespace

QString FileOpenReason(const QString& fileName, TNRESULT result) {
    const QString name = QFileInfo(fileName).fileName();
    struct stat status {};
    if (::stat(kavlo::FileNameToBytes(fileName).constData(), &status) != 0) {
        const int error = errno;
        switch (error) {
        case ENOENT: return QString();  // the result's own text says "File not found"
        case EACCES: return QStringLiteral("permission denied on a folder of %1").arg(fileName);
        case ENOTDIR: return QStringLiteral("a part of %1 is not a folder").arg(fileName);
        default:
            return QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(std::strerror(error)));
        }
    }
    if (S_ISDIR(status.st_mode)) return QStringLiteral("%1 is a directory").arg(name);
    if (!S_ISREG(status.st_mode)) {
        const char* kind = S_ISCHR(status.st_mode)    ? "a character device"
                           : S_ISBLK(status.st_mode)  ? "a block device"
                           : S_ISFIFO(status.st_mode) ? "a named pipe"
                           : S_ISSOCK(status.st_mode) ? "a socket"
                                                      : "not a file";
        return QStringLiteral("%1 is not a regular file (it is %2)")
            .arg(name, QString::fromLatin1(kind));
    }
    // Files of /proc and /sys say they are regular files of size 0.
    constexpr decltype(statfs::f_type) kProc = 0x9fa0, kSys = 0x62656572;
    struct statfs fs {};
    if (::statfs(kavlo::FileNameToBytes(fileName).constData(), &fs) == 0 &&
        (fs.f_type == kProc || fs.f_type == kSys)) {
        return QStringLiteral("%1 is not a regular file (it is made up by the kernel)").arg(name);
    }
    if (result == TN_E_FILEACCESS ||
        ::access(kavlo::FileNameToBytes(fileName).constData(), R_OK) != 0) {
        return QStringLiteral("permission denied: %1 cannot be read").arg(name);
    }
    return QString();
}

uint64_t VideoFile::ConvertedBufferBytes(int width, int height) {
    return ConvertedFrameBytes(width, height);
}

bool VideoFile::CheckFrameGeometry(const RawVideoFormat& format, QString& errorText) const {
    if (format.width <= 0 || format.height <= 0) {
        errorText = QStringLiteral(
                        "invalid frame size %1 x %2: width and height must be greater "
                        "than 0")
                        .arg(format.width)
                        .arg(format.height);
        return false;
    }
    if (format.width > kConvertMaxWidth) {
        errorText = QStringLiteral(
                        "frame width %1 is larger than the widest frame that can be "
                        "shown (%2 pixels)")
                        .arg(format.width)
                        .arg(kConvertMaxWidth);
        return false;
    }
    const uint32_t code = format.code;
    const QString name = QString::fromStdString(LayoutName(code));
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(code);
    if (layout && !LineBytesFitLayout(code, format.width, format.height, format.lineBytes)) {
        const int64_t pitch = std::llabs(static_cast<int64_t>(format.lineBytes));
        if (layout->arrangement == Arrangement::Packed) {
            const uint64_t need = MinRowBytes(code, format.width);
            errorText = QStringLiteral(
                            "line pitch of %1 bytes is too small for a row of %2 "
                            "pixels in layout %3 (it needs at least %4 bytes)")
                            .arg(pitch)
                            .arg(format.width)
                            .arg(name)
                            .arg(need);
            // A layout whose blocks hold several pixels may need more than its bytes per pixel
            // times the width: say that the width is the cause.
            const PlaneDesc& plane = layout->planes[0];
            const uint64_t width = static_cast<uint64_t>(format.width);
            const uint64_t perPixel =
                (width * plane.groupBytes + plane.groupPixels - 1) / plane.groupPixels;
            if (width % plane.groupPixels != 0 && need > perPixel) {
                const QString cause =
                    plane.groupPixels == 2
                        ? QStringLiteral("width %1 is odd: %2 needs an even width")
                              .arg(format.width)
                              .arg(name)
                        : QStringLiteral(
                              "width %1 is not a multiple of %3: %2 needs a width "
                              "that is a multiple of %3")
                              .arg(format.width)
                              .arg(name)
                              .arg(plane.groupPixels);
                errorText += QStringLiteral(": %1 or a line pitch of at least %2 bytes")
                                 .arg(cause, Bytes(need));
            }
        } else {
            errorText = QStringLiteral(
                            "frame of %1 bytes (line pitch %2 x height %3) is too "
                            "small for the planes of layout %4 at %5 x %6 (they need "
                            "%7 bytes)")
                            .arg(pitch * format.height)
                            .arg(pitch)
                            .arg(format.height)
                            .arg(name)
                            .arg(format.width)
                            .arg(format.height)
                            .arg(MinFrameBytes(code, format.width, format.height));
        }
        return false;
    }
    return true;
}

bool VideoFile::Open(RawSettings* settings, const QString& fileName, QString& errorText) {
    Close();
    const RawVideoFormat& format = settings->rawFormat;
    width_ = format.width;
    height_ = AbsClamped(format.height);
    lineBytes_ = AbsClamped(format.lineBytes);
    layoutCode_ = format.code;
    sampleRange_ = format.sampleRange;
    stored_.bottomUp = static_cast<uint8_t>(format.lineBytes < 0 ? 1 : 0);
    stored_.flip = settings->mirrorVertical ? 1 : 0;
    stored_.interlaced = format.fieldCount == 2 ? 1 : 0;
    stored_.fieldsSeparated = (format.fieldDetail == 1 || format.fieldDetail == 6) ? 1 : 0;
    colourFlags_ = ColourConvertFlags(*settings);

    // Frame sizes: a frame the conversion would read past, one larger than the plug-in reads,
    // or one whose display buffer does not fit the 32-bit sizes of images, is refused before
    // anything is allocated. The file is opened and measured before the frame buffer is
    // allocated, so that a file too short for one frame costs no memory.
    bool opened = false;
    if (CheckFrameGeometry(format, errorText)) {
        const uint64_t rawBytes =
            static_cast<uint64_t>(height_) * static_cast<uint64_t>(lineBytes_);
        const uint64_t rgbBytes = ConvertedBufferBytes(width_, height_);
        const QString tooLarge = QStringLiteral(
                                     "frame of %1 x %2 pixels at a line pitch of %3 "
                                     "bytes is too large: ")
                                     .arg(width_)
                                     .arg(height_)
                                     .arg(lineBytes_);
        if (rawBytes > kMaxFrameBytes) {
            errorText = tooLarge + QStringLiteral(
                                       "its %1 bytes are more than the %2 bytes a "
                                       "frame may have")
                                       .arg(Bytes(rawBytes), Bytes(kMaxFrameBytes));
        } else if (rgbBytes > kMaxBufferBytes) {
            errorText = tooLarge + QStringLiteral(
                                       "its display buffer of %1 bytes cannot be "
                                       "represented")
                                       .arg(Bytes(rgbBytes));
        } else if (OpenComponents(settings, fileName, errorText, rawBytes)) {
            if (rawFrame_.Allocate(rawBytes)) {
                opened = true;
                frameLines_.Open(FileNameToBytes(fileName), *settings, rawBytes);
            } else {
                errorText =
                    QStringLiteral("couldn't allocate %1 bytes for the frame buffer").arg(rawBytes);
            }
        }
    }
    // Everything that fails leaves no file.
    if (!opened) Close();
    return opened;
}

bool VideoFile::OpenComponents(RawSettings* settings, const QString& fileName, QString& errorText,
                               uint64_t rawBytes) {
    const RawVideoFormat& format = settings->rawFormat;
    // The source component, configured for this file's layout.
    TNRESULT r = TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin,
                                      reinterpret_cast<void**>(source_.Out()));
    if (TN_FAILED(r) || !source_) {
        source_.reset();
        errorText = ResultText("coudn't create plug-in instance (TNErr: %ls)",
                               TN_FAILED(r) ? r : TN_E_POINTER);
        return false;
    }
    TNPtr<ITNRawVideoMediaContainer> rawContainer;
    r = Query(source_, rawContainer);
    if (TN_FAILED(r)) {
        errorText = ResultText("coundn't get RawVideoContainer interface (TNErr: %ls)", r);
        return false;
    }
    rawContainer->SetFrameDuration(0, settings->frameDuration);
    rawContainer->SetTimeScale(0, settings->timeScale);
    rawContainer->SetFileLayout(0, static_cast<uint32_t>(settings->filePrefix),
                                settings->framePrefix, settings->framePostfix);
    {
        MediaTypeHolder media;
        media.type.majorType = TNMAJORTYPE_Video;
        media.type.subType = TNMakeRawVideoSubtype(format.code);
        media.type.formatType = TNFORMAT_RawVideo;
        media.type.format = static_cast<uint8_t*>(std::malloc(sizeof(RawVideoFormat)));
        if (media.type.format) {
            std::memcpy(media.type.format, &format, sizeof(RawVideoFormat));
            media.type.formatSize = static_cast<int32_t>(sizeof(RawVideoFormat));
        }
        // A refused format makes the later steps fail with their own texts.
        rawContainer->SetMediaType(0, &media.type);
    }

    TNPtr<ITNFileSource> fileSource;
    r = Query(source_, fileSource);
    if (TN_FAILED(r)) {
        errorText = ResultText(
            "an error occured when getting the ITNPersistFile interface (TNErr: %ls)", r);
        return false;
    }
    TNStrHolder path(kavlo::FileNameToCoreString(fileName));
    r = path ? fileSource->Open(path.get()) : TN_E_OOM;
    if (TN_FAILED(r)) {
        errorText = ResultText("coudn't video open file (TNErr: %ls)", r);
        const QString reason = FileOpenReason(fileName, r);
        if (!reason.isEmpty()) errorText += QStringLiteral(": ") + reason;
        return false;
    }
    fileName_ = fileName;

    TNPtr<ITNMediaContainer> container;
    r = Query(source_, container);
    if (TN_FAILED(r)) {
        errorText = ResultText("coudn't open container (TNErr: %ls)", r);
        return false;
    }
    TNPtr<ITNMediaTrack> track;
    r = container->GetTrack(0, track.Out());
    if (TN_FAILED(r) || !track) {
        errorText = ResultText("coudn't get seeking interface (TNErr: %ls)",
                               TN_FAILED(r) ? r : TN_E_POINTER);
        return false;
    }
    frameCount_ = track->GetFrameCount();
    frameDuration_ = track->GetFrameDuration();
    // The track reads into memory this file lends it for each read. It is given the allocator
    // before its seeking interface is asked for, when it sizes and commits its allocator; it
    // answers TN_E_FAIL while taking it ("in force, but not sized here"), so the answer says
    // nothing. A track that keeps samples of its own, or no allocator at all, costs a copy.
    lender_ = TNPtr<LentAllocator>::Adopt(LentAllocator::Create());
    if (lender_) (void)track->SetAllocator(lender_.get());
    timeScale_ = track->GetTimeScale();

    // Size of the file and the bytes after its last whole frame, in 64 bits throughout.
    const rawsettings::FrameSpan span =
        rawsettings::FrameSpan::Of(*settings, static_cast<int64_t>(rawBytes));
    const int64_t frameStride = span.Stride();
    struct stat status {};
    const bool measured = ::stat(kavlo::FileNameToBytes(fileName).constData(), &status) == 0;
    if (measured) {
        settings->fileSize = static_cast<uint64_t>(status.st_size);
        settings->trailingBytes =
            static_cast<int64_t>(status.st_size) - (frameStride * frameCount_ + span.filePrefix);
    }
    if (frameCount_ <= 0) {
        // No whole frame: say what one frame needs, prefixes and postfix included.
        const auto filePrefix = static_cast<uint64_t>(span.filePrefix);
        const uint64_t need = static_cast<uint64_t>(frameStride) + filePrefix;
        errorText = QStringLiteral("%1 has %2 bytes; one %3%4%5 %6 frame needs %7")
                        .arg(QFileInfo(fileName).fileName())
                        .arg(measured ? Bytes(static_cast<uint64_t>(status.st_size))
                                      : QStringLiteral("too few"))
                        .arg(width_)
                        .arg(QChar(0x00D7))
                        .arg(height_)
                        .arg(QString::fromStdString(LayoutName(format.code)))
                        .arg(Bytes(need));
        if (need != rawBytes) {
            errorText += QStringLiteral(
                             " (file prefix %1, frame prefix %2, frame %3, frame "
                             "postfix %4)")
                             .arg(Bytes(filePrefix), Bytes(settings->framePrefix), Bytes(rawBytes),
                                  Bytes(settings->framePostfix));
        }
        return false;
    }

    r = Query(track, seeking_);
    if (TN_FAILED(r)) {
        errorText = ResultText("coudn't get seeking interface (TNErr: %ls)", r);
        return false;
    }
    std::memcpy(&settings_, settings, sizeof(RawSettings));
    return true;
}

bool VideoFile::LoadFrame(int64_t frame) {
    if (!seeking_ || !rawFrame_ || frame > frameCount_) return false;
    int64_t previous = 0;
    if (TN_FAILED(seeking_->GetPosition(&previous))) return false;
    if (previous == frame) return false;
    // Read into the second buffer and swap: a read that fails part-way (a file that shrank under
    // the source) must not leave part of a frame in the frame buffer. Without a second buffer
    // the frame is read into the allocator's own and copied over, as a failed read leaves that.
    if (!nextFrame_ && !nextFrame_.Allocate(rawFrame_.size()))
        return ReadInto(frame, previous, rawFrame_.data(), false);
    if (!ReadInto(frame, previous, nextFrame_.data(), true)) return false;
    rawFrame_.Swap(nextFrame_);
    return true;
}

bool VideoFile::LoadFrameInto(int64_t frame, uint8_t* destination) {
    if (!seeking_ || !rawFrame_ || frame < 0 || frame >= frameCount_) return false;
    int64_t previous = 0;
    if (TN_FAILED(seeking_->GetPosition(&previous))) return false;
    return ReadInto(frame, previous, destination, true);
}

namespace {

// Lends the destination to the allocator for one read and takes it back when the read is over,
// on every path: the source must never write it afterwards.
class LendScope {
public:
    LendScope(LentAllocator* allocator, uint8_t* memory, uint64_t size) : allocator_(allocator) {
        if (allocator_) allocator_->Lend(memory, size);
    }
    ~LendScope() {
        if (allocator_) allocator_->EndLend();
    }
    LendScope(const LendScope&) = delete;
    LendScope& operator=(const LendScope&) = delete;

private:
    LentAllocator* allocator_;
};

}  // namespace

bool VideoFile::ReadInto(int64_t frame, int64_t previous, uint8_t* destination, bool lend) {
    loadError_ = frameLines_.Check(frame);
    if (!loadError_.isEmpty()) return false;
    if (TN_FAILED(seeking_->SetPosition(frame))) return false;

    // Declared before the sample, so that the sample is released before the lend ends.
    const LendScope lent(lend ? lender_.get() : nullptr, destination, rawFrame_.size());
    TNPtr<ITNSample> sample;
    MediaTypeHolder media;
    uint8_t* frameBytes = nullptr;
    if (TN_FAILED(seeking_->GetCurrentSample(sample.Out())) || !sample ||
        TN_FAILED(sample->GetPointer(&frameBytes)) || !frameBytes) {
        // Nothing was read: the position goes back to the frame in the buffer, so that the
        // same frame can be asked for again and the position keeps naming what is shown.
        if (previous < 0) {
            seeking_->Reset();
        } else {
            seeking_->SetPosition(previous);
        }
        return false;
    }
    const uint32_t length = sample->GetDataLength();
    sample->GetMediaType(&media.type);
    // The source read into the destination itself unless it was unsuitable or not lent.
    if (frameBytes != destination) {
        const uint64_t bytes = std::min<uint64_t>(length, rawFrame_.size());
        CopyFrameBytes(destination, frameBytes, static_cast<size_t>(bytes));
    }
    return true;
}

void VideoFile::Close() {
    rawFrame_.Reset();
    nextFrame_.Reset();
    frameLines_.Close();
    loadError_.clear();
    // The seeking interface first: the track holds no reference to its source.
    seeking_.reset();
    source_.reset();
    lender_.reset();
    width_ = 0;
    height_ = 0;
    lineBytes_ = 0;
    layoutCode_ = 0;
    sampleRange_ = 0;
    stored_ = StoredFrameFlags();
    colourFlags_ = 0;
    frameCount_ = 0;
    frameDuration_ = 0;
    timeScale_ = 0;
    std::memset(&settings_, 0, sizeof(settings_));
    fileName_.clear();
}

void VideoFile::SetColourChoice(MatrixChoice matrix, bool fullRange) {
    if (!IsOpen()) return;
    StoreColourChoice(settings_, matrix, fullRange);
    colourFlags_ = ColourConvertFlags(settings_);
}

int64_t VideoFile::Position() const {
    if (!seeking_) return -1;
    int64_t position = -1;
    if (TN_FAILED(seeking_->GetPosition(&position))) return -1;
    return position;
}

}  // namespace kavlo
