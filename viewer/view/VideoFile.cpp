#include "VideoFile.h"

#include "LocalFileName.h"

#include "image/Convert.h"
#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"


#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace kavlo {
namespace {

// Buffers whose size or pitch the frame description and the conversion hold in 32 bits.
constexpr uint64_t kMaxBufferBytes = std::numeric_limits<uint32_t>::max();

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

uint64_t VideoFile::ConvertedBufferBytes(int width, int height) {
    return (static_cast<uint64_t>(width) + 16) * (static_cast<uint64_t>(height) + 16) * 4;
}

bool VideoFile::CheckFrameGeometry(const RawVideoFormat& format, QString& errorText) const {
    if (format.width <= 0 || format.height <= 0) {
        errorText = QStringLiteral("invalid frame size %1 x %2: width and height must be greater "
                                   "than 0")
                        .arg(format.width)
                        .arg(format.height);
        return false;
    }
    if (format.width > kConvertMaxWidth) {
        errorText = QStringLiteral("frame width %1 is larger than the widest frame that can be "
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
            errorText = QStringLiteral("line pitch of %1 bytes is too small for a row of %2 "
                                       "pixels in layout %3 (it needs at least %4 bytes)")
                            .arg(pitch)
                            .arg(format.width)
                            .arg(name)
                            .arg(MinRowBytes(code, format.width));
        } else {
            errorText = QStringLiteral("frame of %1 bytes (line pitch %2 x height %3) is too "
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

    // Frame sizes: a frame the conversion would read past, or one whose buffers do not fit the
    // 32-bit sizes of samples and images, is refused before anything is allocated.
    bool opened = false;
    if (CheckFrameGeometry(format, errorText)) {
        const uint64_t rawBytes =
            static_cast<uint64_t>(height_) * static_cast<uint64_t>(lineBytes_);
        const uint64_t rgbBytes = ConvertedBufferBytes(width_, height_);
        if (rawBytes > kMaxBufferBytes || rgbBytes > kMaxBufferBytes) {
            errorText = QStringLiteral("frame of %1 x %2 pixels at a line pitch of %3 bytes is "
                                       "too large: its buffers (%4 and %5 bytes) cannot be "
                                       "represented")
                            .arg(width_)
                            .arg(height_)
                            .arg(lineBytes_)
                            .arg(rawBytes)
                            .arg(rgbBytes);
        } else if (!rawFrame_.Allocate(rawBytes)) {
            errorText =
                QStringLiteral("couldn't allocate %1 bytes for the frame buffer").arg(rawBytes);
        } else {
            opened = OpenComponents(settings, fileName, errorText, rawBytes);
        }
    }
    // Everything that fails leaves no file.
    if (!opened) Close();
    return opened;
}

bool VideoFile::OpenComponents(RawSettings* settings, const QString& fileName,
                               QString& errorText, uint64_t rawBytes) {
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
    timeScale_ = track->GetTimeScale();

    // Size of the file and the bytes after its last whole frame, in 64 bits throughout.
    struct stat status {};
    if (::stat(kavlo::FileNameToBytes(fileName).constData(), &status) == 0) {
        const int64_t frameStride = static_cast<int64_t>(settings->framePostfix) +
                                    static_cast<int64_t>(rawBytes) +
                                    static_cast<int64_t>(settings->framePrefix);
        settings->fileSize = static_cast<uint64_t>(status.st_size);
        settings->trailingBytes = static_cast<int64_t>(status.st_size) -
                                  (frameStride * frameCount_ +
                                   static_cast<int64_t>(settings->filePrefix));
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
    if (TN_FAILED(seeking_->SetPosition(frame))) return false;

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
    const uint64_t bytes = std::min<uint64_t>(length, rawFrame_.size());
    CopyFrameBytes(rawFrame_.data(), frameBytes, static_cast<size_t>(bytes));
    return true;
}

void VideoFile::Close() {
    rawFrame_.Reset();
    // The seeking interface first: the track holds no reference to its source.
    seeking_.reset();
    source_.reset();
    width_ = 0;
    height_ = 0;
    lineBytes_ = 0;
    layoutCode_ = 0;
    sampleRange_ = 0;
    stored_ = StoredFrameFlags();
    frameCount_ = 0;
    frameDuration_ = 0;
    timeScale_ = 0;
    std::memset(&settings_, 0, sizeof(settings_));
    fileName_.clear();
}

int64_t VideoFile::Position() const {
    if (!seeking_) return -1;
    int64_t position = -1;
    if (TN_FAILED(seeking_->GetPosition(&position))) return -1;
    return position;
}

}  // namespace kavlo
