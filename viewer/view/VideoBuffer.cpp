#include "image/FrameMemory.h"

#include "VideoBuffer.h"

#include "ViewGeometry.h"
#include "KeyInput.h"
#include "view/LocalFileName.h"

#include "image/Convert.h"
#include "image/ImageBuffer.h"
#include "image/PixelLayout.h"

#include "TNCore.h"
#include "TNDebug.h"
#include "TNStr.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QtEndian>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

// Resources of a static library are registered by hand, once.
static void InitViewResources() { Q_INIT_RESOURCE(view); }

using namespace kavlo;

namespace {

constexpr uint32_t kDestinationBGR3 = 0x33524742;  // "BGR3"

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

// Row stride of a 32-bit image `width` pixels wide, rounded down as the image storage does.
ptrdiff_t ImageStride32(int width) {
    return static_cast<ptrdiff_t>((static_cast<int64_t>(width) * 4 + 15) & ~int64_t(15));
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

// One of the view's cursor images from its resources, with its hot spot.
QCursor LoadCursor(const char* resource, int hotX, int hotY) {
    QPixmap pixmap(QString::fromLatin1(resource));
    if (pixmap.isNull()) return QCursor(Qt::ArrowCursor);
    return QCursor(pixmap, hotX, hotY);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

CVideoBuffer::CVideoBuffer(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool resourcesReady = (InitViewResources(), true);
    (void)resourcesReady;
    panCursor_ = LoadCursor(":/kavlo/view/cursor_pan.xpm", 15, 15);
    zoomInCursor_ = LoadCursor(":/kavlo/view/cursor_zoom_in.xpm", 12, 12);
    zoomOutCursor_ = LoadCursor(":/kavlo/view/cursor_zoom_out.xpm", 12, 12);

    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::ArrowCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    SetScrollSizes(QSize(400, 300));
}

CVideoBuffer::~CVideoBuffer() { CloseFile(); }

// ---------------------------------------------------------------------------------------------
// File connection

bool CVideoBuffer::CheckFrameGeometry(const RawVideoFormat& format, QString& errorText) const {
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

void CVideoBuffer::ResetDisplaySwitches() {
    const uint8_t interlaceToggle = switches_.interlaceToggle;
    const uint8_t method2Label = switches_.method2Label;
    switches_ = ViewSwitches();
    switches_.interlaceToggle = interlaceToggle;
    switches_.method2Label = method2Label;
}

int CVideoBuffer::OpenFile(RawSettings* settings, const QString& fileName, QString& errorText,
                           int64_t startFrame) {
    if (!settings || settings->size != kRawSettingsSize) return -1;
    if (IsOpen()) CloseFile();

    // Display switches start afresh; the interlace toggle and the method-2 label carry over.
    ResetDisplaySwitches();
    const RawVideoFormat& format = settings->rawFormat;
    width_ = format.width;
    height_ = AbsClamped(format.height);
    lineBytes_ = AbsClamped(format.lineBytes);
    layoutCode_ = format.code;
    sampleRange_ = format.sampleRange;
    stored_.bottomUp = format.lineBytes < 0 ? 1 : 0;
    stored_.flip = settings->mirrorVertical ? 1 : 0;
    stored_.interlaced = format.fieldCount == 2 ? 1 : 0;
    stored_.fieldsSeparated = (format.fieldDetail == 1 || format.fieldDetail == 6) ? 1 : 0;
    switches_.deinterlace = settings->deinterlace ? 1 : 0;
    switches_.deinterlaceMethod = settings->deinterlaceMethod;

    // Everything that fails from here on leaves the view with no file.
    auto fail = [this]() {
        CloseFile();
        return -1;
    };

    // Frame sizes: a frame the conversion would read past, or one whose buffers do not fit the
    // 32-bit sizes of samples and images, is refused before anything is allocated.
    if (!CheckFrameGeometry(format, errorText)) return fail();
    const uint64_t rawBytes = static_cast<uint64_t>(height_) * static_cast<uint64_t>(lineBytes_);
    const uint64_t rgbBytes = (static_cast<uint64_t>(width_) + 16) *
                              (static_cast<uint64_t>(height_) + 16) * 4;
    if (rawBytes > kMaxBufferBytes || rgbBytes > kMaxBufferBytes) {
        errorText = QStringLiteral("frame of %1 x %2 pixels at a line pitch of %3 bytes is too "
                                   "large: its buffers (%4 and %5 bytes) cannot be represented")
                        .arg(width_)
                        .arg(height_)
                        .arg(lineBytes_)
                        .arg(rawBytes)
                        .arg(rgbBytes);
        return fail();
    }
    if (!rawFrame_.Allocate(rawBytes)) {
        errorText = QStringLiteral("couldn't allocate %1 bytes for the frame buffer").arg(rawBytes);
        return fail();
    }
    if (!rgbBuffer_.Allocate(rgbBytes)) {
        errorText = QStringLiteral("couldn't allocate %1 bytes for the display buffer")
                        .arg(rgbBytes);
        return fail();
    }

    // The source component, configured for this file's layout.
    TNRESULT r = TNCoreCreateInstance(&CLSID_TNRawVideoSource, &IID_ITNBasePlugin,
                                      reinterpret_cast<void**>(source_.Out()));
    if (TN_FAILED(r) || !source_) {
        source_.reset();
        errorText = ResultText("coudn't create plug-in instance (TNErr: %ls)",
                               TN_FAILED(r) ? r : TN_E_POINTER);
        return fail();
    }
    TNPtr<ITNRawVideoMediaContainer> rawContainer;
    r = Query(source_, rawContainer);
    if (TN_FAILED(r)) {
        errorText = ResultText("coundn't get RawVideoContainer interface (TNErr: %ls)", r);
        return fail();
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
        return fail();
    }
    TNStrHolder path(kavlo::FileNameToCoreString(fileName));
    r = path ? fileSource->Open(path.get()) : TN_E_OOM;
    if (TN_FAILED(r)) {
        errorText = ResultText("coudn't video open file (TNErr: %ls)", r);
        return fail();
    }
    fileName_ = fileName;

    TNPtr<ITNMediaContainer> container;
    r = Query(source_, container);
    if (TN_FAILED(r)) {
        errorText = ResultText("coudn't open container (TNErr: %ls)", r);
        return fail();
    }
    TNPtr<ITNMediaTrack> track;
    r = container->GetTrack(0, track.Out());
    if (TN_FAILED(r) || !track) {
        errorText = ResultText("coudn't get seeking interface (TNErr: %ls)",
                               TN_FAILED(r) ? r : TN_E_POINTER);
        return fail();
    }
    frameCount_ = track->GetFrameCount();
    frameDuration_ = track->GetFrameDuration();
    timeScale_ = track->GetTimeScale();

    if (startFrame < 0) startFrame = 0;
    if (startFrame > frameCount_) startFrame = frameCount_;

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
        return fail();
    }
    std::memcpy(&settings_, settings, sizeof(RawSettings));

    // A new file starts at zoom 1 (the scroll sizes are those of the unzoomed picture), or
    // fitted to the client area in fit mode.
    if (!fitMode_) {
        zoom_ = 1.0;
        SetScrollSizes(QSize(width_, height_));
    }
    const int32_t first = static_cast<int32_t>(
        std::min<int64_t>(startFrame, std::numeric_limits<int32_t>::max()));
    if (!LoadFrame(first)) {
        errorText = QStringLiteral("couldn't load first frame");
        return fail();
    }
    layoutName_ = QString::fromStdString(LayoutName(layoutCode_));
    if (fitMode_) FitToClient();
    return 0;
}

bool CVideoBuffer::LoadFrame(int32_t frame) {
    if (!seeking_ || !rawFrame_ || static_cast<int64_t>(frame) > frameCount_) return false;
    int64_t position = 0;
    if (TN_FAILED(seeking_->GetPosition(&position))) return false;
    if (static_cast<int32_t>(position) == frame) return false;
    if (TN_FAILED(seeking_->SetPosition(frame))) return false;

    TNPtr<ITNSample> sample;
    MediaTypeHolder media;
    if (TN_FAILED(seeking_->GetCurrentSample(sample.Out())) || !sample) return false;
    const uint32_t length = sample->GetDataLength();
    uint8_t* frameBytes = nullptr;
    if (TN_FAILED(sample->GetPointer(&frameBytes)) || !frameBytes) return true;
    sample->GetMediaType(&media.type);
    const uint64_t bytes = std::min<uint64_t>(length, rawFrame_.size());
    CopyFrameBytes(rawFrame_.data(), frameBytes, static_cast<size_t>(bytes));
    RenderFrame();
    viewport()->update();
    return true;
}

void CVideoBuffer::ReleaseComponents() {
    // The seeking interface first: the track holds no reference to its source.
    seeking_.reset();
    source_.reset();
}

void CVideoBuffer::CloseFile() {
    bitmap_.reset();
    rgbBuffer_.Reset();
    rawFrame_.Reset();
    ReleaseComponents();
    frameCount_ = 0;
    frameDuration_ = 0;
    timeScale_ = 0;
    std::memset(&settings_, 0, sizeof(settings_));
    fileName_.clear();
    if (!fitMode_) SetScrollSizes(QSize(0, 0));
    viewport()->update();
}

int64_t CVideoBuffer::CurrentPosition() const {
    if (!seeking_) return -1;
    int64_t position = -1;
    if (TN_FAILED(seeking_->GetPosition(&position))) return -1;
    return position;
}

// ---------------------------------------------------------------------------------------------
// Rendering

ptrdiff_t CVideoBuffer::ConvertedStride() const { return ImageStride32(width_ + 4); }

void CVideoBuffer::RenderFrame() {
    if (!rawFrame_) return;
    const int w = width_;
    const int h = height_;

    // The converted image lives in the view's display buffer, 4 pixels wider and 16 rows taller
    // than the frame so that the conversion may finish whole groups.
    const ptrdiff_t convertedStride = ConvertedStride();
    CTNImage converted = CTNImage::Borrow(
        rgbBuffer_.data(), static_cast<uint32_t>(w + 4), static_cast<uint32_t>(h + 16),
        static_cast<int32_t>(convertedStride), 32, static_cast<uint32_t>(rgbBuffer_.size()));
    if (!converted) return;
    converted->size = static_cast<uint32_t>(convertedStride * (h + 16));
    converted->rowAlignment = 16;
    converted->storageAlignment = 4096;

    uint32_t flags = 0;
    if ((stored_.interlaced ^ switches_.interlaceToggle) != 0) flags |= CONVERT_INTERLACED;
    if (switches_.filter1) flags |= CONVERT_FILTER_1;
    if (switches_.filter2) flags |= CONVERT_FILTER_2;
    if (switches_.filter3) flags |= CONVERT_FILTER_3;
    if (switches_.lumaOnly) flags |= CONVERT_LUMA_ONLY;
    if (switches_.cbOnly) flags |= CONVERT_CB_ONLY;
    if (switches_.crOnly) flags |= CONVERT_CR_ONLY;
    if (sampleRange_ == 2) flags |= CONVERT_RGB_STUDIO_RANGE;

    const bool bottomUp = ((stored_.bottomUp ^ stored_.flip) ^ switches_.flipToggle) != 0;
    // The bitmap is kept from frame to frame (a new one per frame would cost an allocation, page
    // faults and a clear of the whole picture each time); every path below writes all its rows.
    if (!bitmap_ || bitmap_->PictureWidth() != w || bitmap_->Height() != h) {
        bitmap_.reset();
        bitmap_ = DisplayBitmap::Create(w, h, bottomUp);
        if (!bitmap_) return;
    }
    bitmap_->SetBottomUp(bottomUp);

    FieldArrangement arrangement;
    arrangement.separated = (stored_.fieldsSeparated ^ switches_.separatedToggle) != 0;
    arrangement.split = switches_.splitFields != 0;
    arrangement.swapped = switches_.swappedFieldOrder != 0;
    const bool deinterlace = switches_.deinterlace && !switches_.splitFields;
    // Without a field step the converted rows are the picture: convert straight into the
    // bitmap (the conversion writes exactly 3 x W bytes a row, the bitmap's rows hold at least
    // that) and save a copy of the whole picture per frame.
    const bool direct = ArrangementIsIdentity(arrangement) && !deinterlace;
    uint8_t* destination = direct ? bitmap_->Row(0) : converted->storage;
    const int32_t destinationPitch = direct ? static_cast<int32_t>(bitmap_->Stride())
                                            : static_cast<int32_t>(converted->lineBytes);
    // A frame the conversion could not produce (no scratch memory) shows black, never the
    // previous frame's picture.
    if (!ConvertFrame(w, h, flags, layoutCode_, rawFrame_.data(), lineBytes_, kDestinationBGR3,
                      destination, destinationPitch)) {
        bitmap_->Clear();
        return;
    }
    if (direct) return;

    const RowImage source{converted->storage, converted->lineBytes, h};
    RowImage result = source;
    CTNImage field;
    if (!ArrangementIsIdentity(arrangement)) {
        field = CTNImage::Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 32);
        if (!field || !field->storage) {  // no field image: black rather than a stale picture
            bitmap_->Clear();
            return;
        }
        const RowImage fieldRows{field->storage, field->lineBytes, h};
        ArrangeFields(source, fieldRows, static_cast<size_t>(fieldRows.stride), arrangement);
        result = fieldRows;
    }

    const RowImage out{bitmap_->Row(0), static_cast<ptrdiff_t>(bitmap_->Stride()), h};
    const size_t rowBytes = bitmap_->Stride();
    if (!deinterlace) {
        CopyRows(result, out, rowBytes);
    } else {
        // An unknown method writes nothing: the picture is black.
        if (!Deinterlace(switches_.deinterlaceMethod, result, out, rowBytes, &VerticalLowPass121)) {
            bitmap_->Clear();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Scroll-view emulation

QSize CVideoBuffer::ClientSize() const {
    const qreal dpr = viewport()->devicePixelRatioF();
    return QSize(static_cast<int>(std::lround(viewport()->width() * dpr)),
                 static_cast<int>(std::lround(viewport()->height() * dpr)));
}

QPoint CVideoBuffer::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CVideoBuffer::SetScrollSizes(QSize total, QSize line) {
    total_ = total;
    line_ = QSize(std::max(1, line.width()), std::max(1, line.height()));
    UpdateScrollBars();
    viewport()->update();
}

void CVideoBuffer::UpdateScrollBars() {
    // Decide from the room the view has without scroll bars: the viewport's current size still
    // counts the bars of the previous layout, which would keep them up (scrolling by the bars'
    // own width) when the picture fits exactly.
    const qreal dpr = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    const QSize room = maximumViewportSize();
    const int fullW = static_cast<int>(std::lround(room.width() * dpr));
    const int fullH = static_cast<int>(std::lround(room.height() * dpr));
    const int barW = static_cast<int>(std::lround(verticalScrollBar()->sizeHint().width() * dpr));
    const int barH = static_cast<int>(std::lround(horizontalScrollBar()->sizeHint().height() * dpr));
    bool needH = total_.width() > fullW, needV = total_.height() > fullH;
    if (needH && !needV) needV = total_.height() > fullH - barH;
    if (needV && !needH) needH = total_.width() > fullW - barW;
    const QSize client(std::max(0, fullW - (needV ? barW : 0)), std::max(0, fullH - (needH ? barH : 0)));
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(0, std::max(0, total_.width() - client.width()));
    h->setPageStep(std::max(1, client.width()));
    h->setSingleStep(line_.width());
    v->setRange(0, std::max(0, total_.height() - client.height()));
    v->setPageStep(std::max(1, client.height()));
    v->setSingleStep(line_.height());
}

void CVideoBuffer::ScrollToPosition(QPoint position) {
    horizontalScrollBar()->setValue(position.x());  // the scroll bars clamp into their ranges
    verticalScrollBar()->setValue(position.y());
}

void CVideoBuffer::CenterOnPoint(QPoint point) {
    const QSize client = ClientSize();
    ScrollToPosition(QPoint(point.x() - client.width() / 2, point.y() - client.height() / 2));
}

void CVideoBuffer::SetCentring(bool on) {
    centring_ = on;
    viewport()->update();
}

QRect CVideoBuffer::PictureRect() const {
    const QSize client = ClientSize();
    const QPoint scroll = ScrollPosition();
    const int left = (centring_ && total_.width() < client.width())
                         ? (client.width() - total_.width()) / 2
                         : -scroll.x();
    const int top = (centring_ && total_.height() < client.height())
                        ? (client.height() - total_.height()) / 2
                        : -scroll.y();
    return QRect(left, top, total_.width(), total_.height());
}

double CVideoBuffer::ScaleX() const {
    if (fitMode_ && width_ > 0) return static_cast<double>(total_.width()) / width_;
    return zoom_;
}

double CVideoBuffer::ScaleY() const {
    if (fitMode_ && height_ > 0) return static_cast<double>(total_.height()) / height_;
    return zoom_;
}

QPointF CVideoBuffer::mapToImage(QPointF client) const {
    const QRect picture = PictureRect();
    return QPointF((client.x() - picture.left()) / ScaleX(),
                   (client.y() - picture.top()) / ScaleY());
}

QPointF CVideoBuffer::mapToView(QPointF picturepoint) const {
    const QRect picture = PictureRect();
    return QPointF(picture.left() + picturepoint.x() * ScaleX(),
                   picture.top() + picturepoint.y() * ScaleY());
}

QPoint CVideoBuffer::ClientPointOf(QPointF logical) const {
    const qreal dpr = viewport()->devicePixelRatioF();
    return QPoint(static_cast<int>(std::floor(logical.x() * dpr)),
                  static_cast<int>(std::floor(logical.y() * dpr)));
}

QPoint CVideoBuffer::WindowCentrePicturePoint() const {
    const QSize client = ClientSize();
    const QPointF centre = mapToImage(QPointF(client.width() / 2, client.height() / 2));
    return QPoint(static_cast<int>(centre.x()), static_cast<int>(centre.y()));
}

void CVideoBuffer::FitToClient() {
    const QSize client = ClientSize();
    if (!IsOpen()) {
        // Nothing to show: no scrolling at all.
        SetScrollSizes(QSize(0, 0));
        viewport()->update();
        return;
    }
    if (!fitMode_) return;
    const PixelSize fitted = FitPictureSize(client.width(), client.height(), width_, height_);
    SetScrollSizes(QSize(fitted.width, fitted.height));
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Zoom

void CVideoBuffer::ZoomIn() {
    if (zoom_ >= kMaxZoom) return;
    const QPointF centre = mapToImage(QPointF(ClientSize().width() / 2, ClientSize().height() / 2));
    zoom_ *= 2.0;
    SetScrollSizes(QSize(ZoomedExtent(width_, zoom_), ZoomedExtent(height_, zoom_)),
                   QSize(ScrollLineSize(zoom_), ScrollLineSize(zoom_)));
    UpdateStatusText();
    CenterOnPoint(QPoint(static_cast<int>(static_cast<int>(centre.x()) * zoom_),
                         static_cast<int>(static_cast<int>(centre.y()) * zoom_)));
    viewport()->update();
}

void CVideoBuffer::ZoomOut(std::optional<QPoint> picturePoint) {
    if (zoom_ <= kMinZoom) return;
    const QPoint centre = picturePoint ? *picturePoint : WindowCentrePicturePoint();
    zoom_ *= 0.5;
    SetScrollSizes(QSize(ZoomedExtent(width_, zoom_), ZoomedExtent(height_, zoom_)),
                   QSize(ScrollLineSize(zoom_), ScrollLineSize(zoom_)));
    UpdateStatusText();
    CenterOnPoint(QPoint(static_cast<int>(centre.x() * zoom_),
                         static_cast<int>(centre.y() * zoom_)));
    viewport()->update();
}

void CVideoBuffer::SetZoom(double zoom, std::optional<QPoint> picturePoint) {
    if (zoom_ >= kMaxZoom || !(zoom > 0.0)) return;
    zoom = std::min(zoom, kMaxZoom);
    if (zoom == zoom_) return;
    const QPoint centre = picturePoint ? *picturePoint : WindowCentrePicturePoint();
    zoom_ = zoom;
    SetScrollSizes(QSize(ZoomedExtent(width_, zoom_), ZoomedExtent(height_, zoom_)),
                   QSize(ScrollLineSize(zoom_), ScrollLineSize(zoom_)));
    UpdateStatusText();
    CenterOnPoint(QPoint(static_cast<int>(centre.x() * zoom_),
                         static_cast<int>(centre.y() * zoom_)));
    viewport()->update();
}

void CVideoBuffer::ActualSize() {
    if (zoom_ == 1.0) return;
    zoom_ = 1.0;
    SetScrollSizes(QSize(width_, height_));
    CenterOnPoint(QPoint(width_ / 2, height_ / 2));
    UpdateStatusText();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Display switches

void CVideoBuffer::AfterSwitchChange(bool updateStatus) {
    RenderFrame();
    if (updateStatus) UpdateStatusText();
    viewport()->update();
}

void CVideoBuffer::ShowAll() {
    switches_.flipToggle = 0;
    switches_.splitFields = 0;
    switches_.separatedToggle = 0;
    switches_.swappedFieldOrder = 0;
    switches_.filter1 = switches_.filter2 = switches_.filter3 = 0;
    switches_.lumaOnly = switches_.cbOnly = switches_.crOnly = 0;
    switches_.deinterlace = 0;
    switches_.deinterlaceMethod = kDeinterlaceBlendFields;
    AfterSwitchChange(true);
}

void CVideoBuffer::ShowChannel(Channel channel) {
    switches_.lumaOnly = channel == ChannelY ? 1 : 0;
    switches_.cbOnly = channel == ChannelCb ? 1 : 0;
    switches_.crOnly = channel == ChannelCr ? 1 : 0;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleFlip() {
    switches_.flipToggle ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleSplitFields() {
    switches_.splitFields ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleSeparatedFields() {
    switches_.separatedToggle ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleInterlace() {
    switches_.interlaceToggle ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleFieldOrder() {
    switches_.swappedFieldOrder ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::ToggleDeinterlace() {
    switches_.deinterlace ^= 1;
    AfterSwitchChange(false);
}

void CVideoBuffer::SetDeinterlacingMethod(uint32_t method) {
    switches_.deinterlaceMethod = method;
    AfterSwitchChange(false);
}

bool CVideoBuffer::SetFlip(bool flip) {
    const bool previous = switches_.flipToggle != 0;
    switches_.flipToggle = flip ? 1 : 0;
    AfterSwitchChange(false);
    return previous;
}

void CVideoBuffer::SetStatusCallback(StatusCallback callback, void* context) {
    statusCallback_ = callback;
    statusContext_ = context;
}

// ---------------------------------------------------------------------------------------------
// Status text and pixel probe

void CVideoBuffer::UpdateStatusText(std::optional<QPoint> clientPoint) {
    QString prefix;
    if (switches_.method2Label) prefix += QStringLiteral("Method 2 - ");
    if (switches_.filter1) {
        if (switches_.filter2 && switches_.filter3) {
            prefix += QStringLiteral("[Filter 3] ");
        } else if (switches_.filter2) {
            prefix += QStringLiteral("[Filter 2] ");
        } else {
            prefix += QStringLiteral("[Filter 1] ");
        }
    }

    QString text;
    if (bitmap_ && mouseInside_ && clientPoint) {
        const QRect picture = PictureRect();
        const QPoint p = *clientPoint;
        const bool inside = p.x() >= picture.left() && p.x() < picture.left() + picture.width() &&
                            p.y() >= picture.top() && p.y() < picture.top() + picture.height();
        const QPointF at = mapToImage(QPointF(p));
        const int x = static_cast<int>(at.x());
        const int y = static_cast<int>(at.y());
        if (inside && x >= 0 && y >= 0 && x < width_ && y < bitmap_->Height()) {
            const uint8_t* pixel = bitmap_->LineOnScreen(y) + 3 * x;
            text = QStringLiteral("%1 - Pos: (%2,%3), RGB: (%4,%5,%6)")
                       .arg(prefix)
                       .arg(x)
                       .arg(y)
                       .arg(pixel[2])
                       .arg(pixel[1])
                       .arg(pixel[0]);
        } else {
            text = prefix;
        }
    }
    statusText_ = text;
    if (statusCallback_) statusCallback_(statusContext_, this, text);
}

// ---------------------------------------------------------------------------------------------
// Painting

void CVideoBuffer::PaintBackground(QPainter& painter, const QRect& client, const QRect& picture) {
    if (!IsOpen()) {
        painter.fillRect(client, palette().color(QPalette::Button));
        return;
    }
    // The owner's background (the dialog's) around the picture.
    const QBrush brush =
        parentWidget() ? parentWidget()->palette().brush(QPalette::Window) : palette().window();
    const QRect inside = picture.intersected(client);
    if (inside.isEmpty()) {
        painter.fillRect(client, brush);
        return;
    }
    painter.fillRect(QRect(client.left(), client.top(), client.width(),
                           inside.top() - client.top()),
                     brush);
    painter.fillRect(QRect(client.left(), inside.bottom() + 1, client.width(),
                           client.bottom() - inside.bottom()),
                     brush);
    painter.fillRect(QRect(client.left(), inside.top(), inside.left() - client.left(),
                           inside.height()),
                     brush);
    painter.fillRect(QRect(inside.right() + 1, inside.top(), client.right() - inside.right(),
                           inside.height()),
                     brush);
}

void CVideoBuffer::PaintPicture(QPainter& painter, const QRect& visible) {
    // Nearest-neighbour scaling of exactly the visible part: every client pixel takes the frame
    // pixel that mapToImage gives for it, so the cost follows the window, not the zoom.
    const int vw = visible.width();
    const int vh = visible.height();
    if (scratch_.width() < vw || scratch_.height() < vh) {
        scratch_ = QImage(std::max(vw, scratch_.width()), std::max(vh, scratch_.height()),
                          QImage::Format_RGB32);
        if (scratch_.isNull()) return;
    }
    const DisplayBitmap& bitmap = *bitmap_;
    const int lastX = width_ - 1;
    const int lastY = bitmap.Height() - 1;

    // Source byte offset of every visible column, found once per paint.
    std::vector<int> columns(static_cast<size_t>(vw));
    for (int i = 0; i < vw; ++i) {
        const int x = static_cast<int>(mapToImage(QPointF(visible.left() + i, 0)).x());
        columns[static_cast<size_t>(i)] = 3 * std::clamp(x, 0, lastX);
    }
    // At zoom 1 the visible columns are consecutive frame pixels: each is read as one 32-bit
    // word (its three bytes and the next pixel's first, replaced by the opaque alpha); the last
    // one of a row takes the byte path so that nothing past the bitmap is read.
    const bool consecutive = columns.back() - columns.front() == 3 * (vw - 1);
    int previousLine = -1;
    for (int j = 0; j < vh; ++j) {
        const int y = std::clamp(
            static_cast<int>(mapToImage(QPointF(0, visible.top() + j)).y()), 0, lastY);
        auto* out = reinterpret_cast<uint32_t*>(scratch_.scanLine(j));
        if (y == previousLine) {
            std::memcpy(out, scratch_.constScanLine(j - 1), static_cast<size_t>(vw) * 4);
            continue;
        }
        previousLine = y;
        const uint8_t* line = bitmap.LineOnScreen(y);
        int first = 0;
        if (consecutive) {
            const uint8_t* p = line + columns.front();
            for (; first < vw - 1; ++first, p += 3) {
                uint32_t word;
                std::memcpy(&word, p, 4);
                out[first] = 0xFF000000u | qFromLittleEndian(word);
            }
        }
        for (int i = first; i < vw; ++i) {
            const uint8_t* p = line + columns[static_cast<size_t>(i)];
            out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        }
    }
    painter.drawImage(visible.topLeft(), scratch_, QRect(0, 0, vw, vh));
}

void CVideoBuffer::paintEvent(QPaintEvent*) {
    if (!fitDone_) {
        fitDone_ = true;
        FitToClient();
    }
    QPainter painter(viewport());
    // Draw in device pixels: zoom 1 is one frame pixel per device pixel.
    const qreal dpr = viewport()->devicePixelRatioF();
    painter.scale(1.0 / dpr, 1.0 / dpr);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);

    const QSize clientSize = ClientSize();
    const QRect client(QPoint(0, 0), clientSize);
    const QRect picture = PictureRect();
    PaintBackground(painter, client, picture);
    if (IsOpen()) {
        const QRect visible = picture.intersected(client);
        if (!visible.isEmpty()) {
            if (bitmap_) {
                PaintPicture(painter, visible);
            } else {
                painter.fillRect(visible, Qt::black);
            }
        }
    }
    if (dragState_ == DragRectangle) {
        QPen pen(Qt::black);
        pen.setStyle(Qt::DotLine);
        pen.setWidth(1);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(zoomRect_.left(), zoomRect_.top(),
                               std::max(0, zoomRect_.right() - zoomRect_.left() - 1),
                               std::max(0, zoomRect_.bottom() - zoomRect_.top() - 1)));
    }
}

void CVideoBuffer::resizeEvent(QResizeEvent*) {
    UpdateScrollBars();
    FitToClient();
}

void CVideoBuffer::scrollContentsBy(int, int) { viewport()->update(); }

bool CVideoBuffer::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        mouseInside_ = false;
        UpdateStatusText();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Mouse

void CVideoBuffer::ApplyCursor() {
    switch (mouseMode_) {
    case MousePan: viewport()->setCursor(panCursor_); break;
    case MouseZoom: viewport()->setCursor(zoomInCursor_); break;
    case MouseZoomOut: viewport()->setCursor(zoomOutCursor_); break;
    default: viewport()->setCursor(Qt::ArrowCursor); break;
    }
}

void CVideoBuffer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = ClientPointOf(event->position());
    mouseInside_ = true;
    UpdateStatusText(point);
    if (dragState_ == DragPanning) {
        const QSize client = ClientSize();
        const QPoint scroll = ScrollPosition();
        QPoint target(lastPanPoint_.x() - point.x() + scroll.x(),
                      lastPanPoint_.y() - point.y() + scroll.y());
        if (total_.width() <= client.width()) target.setX(scroll.x());
        if (total_.height() <= client.height()) target.setY(scroll.y());
        ScrollToPosition(target);
        lastPanPoint_ = point;
    } else if (mouseMode_ == MouseZoom && dragState_ == DragZoomPressed) {
        const int dx = std::abs(point.x() - dragStart_.x());
        const int dy = std::abs(point.y() - dragStart_.y());
        if (std::max(dx, dy) >= 9) {
            dragState_ = DragRectangle;
            SetCapture(true);
            zoomRect_.setCoords(std::min(dragStart_.x(), point.x()),
                                std::min(dragStart_.y(), point.y()),
                                std::max(dragStart_.x(), point.x()),
                                std::max(dragStart_.y(), point.y()));
            viewport()->update();
        }
    } else if (dragState_ == DragRectangle) {
        zoomRect_.setCoords(std::min(dragStart_.x(), point.x()),
                            std::min(dragStart_.y(), point.y()),
                            std::max(dragStart_.x(), point.x()),
                            std::max(dragStart_.y(), point.y()));
        viewport()->update();
    }
}

void CVideoBuffer::LeftDown(QPoint point) {
    if (mouseMode_ == MousePan && dragState_ != DragPanning) {
        dragState_ = DragPanning;
        lastPanPoint_ = point;
        SetCapture(true);
    } else if (mouseMode_ == MouseZoom && dragState_ != DragRectangle &&
               dragState_ != DragZoomPressed) {
        dragState_ = DragZoomPressed;
        dragStart_ = point;
    }
}

void CVideoBuffer::RightDown(QPoint point) {
    if (mouseMode_ != MouseZoom) return;
    mouseMode_ = MouseZoomOut;
    ApplyCursor();
    const QPointF at = mapToImage(QPointF(point));
    ZoomOut(QPoint(static_cast<int>(at.x()), static_cast<int>(at.y())));
}

void CVideoBuffer::mousePressEvent(QMouseEvent* event) {
    const QPoint point = ClientPointOf(event->position());
    if (event->button() == Qt::LeftButton) {
        LeftDown(point);
    } else if (event->button() == Qt::RightButton) {
        RightDown(point);
    }
}

void CVideoBuffer::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void CVideoBuffer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        if (mouseMode_ == MouseZoomOut && (event->modifiers() & Qt::ControlModifier)) {
            mouseMode_ = MouseZoom;
            ApplyCursor();
        }
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (mouseMode_ == MousePan) {
        dragState_ = DragNone;
        SetCapture(false);
        return;
    }
    if (mouseMode_ != MouseZoom) return;
    if (dragState_ == DragZoomPressed) {
        dragState_ = DragNone;
        ZoomIn();
        return;
    }
    // Only a rectangle that was actually drawn zooms: a release without one (the button went
    // down before Ctrl) would otherwise zoom to the limit on an empty rectangle.
    if (dragState_ != DragRectangle) return;
    viewport()->update();  // erases the focus rectangle
    const QSize client = ClientSize();
    const int rectW = zoomRect_.right() - zoomRect_.left();
    const int rectH = zoomRect_.bottom() - zoomRect_.top();
    const int f = ZoomRectangleFactor(rectW, rectH, client.width(), client.height());
    const double newZoom = f * zoom_;
    const QPointF at = mapToImage(QPointF((zoomRect_.left() + zoomRect_.right()) / 2,
                                          (zoomRect_.top() + zoomRect_.bottom()) / 2));
    const QPoint centre(static_cast<int>(at.x()), static_cast<int>(at.y()));
    dragState_ = DragNone;
    if (newZoom == zoom_) {
        CenterOnPoint(QPoint(static_cast<int>(centre.x() * zoom_),
                             static_cast<int>(centre.y() * zoom_)));
        viewport()->update();
    } else {
        SetZoom(newZoom, centre);
    }
    SetCapture(false);
}

void CVideoBuffer::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (mouseMode_ == MousePan) {
        const QSize client = ClientSize();
        const QPoint scroll = ScrollPosition();
        if (event->modifiers() & Qt::AltModifier) {
            if (total_.width() > client.width()) {
                ScrollToPosition(QPoint(scroll.x() - delta, scroll.y()));
            }
        } else if (total_.height() > client.height()) {
            ScrollToPosition(QPoint(scroll.x(), scroll.y() - delta));
        }
        event->accept();
        return;
    }
    if (mouseMode_ == MouseZoom) {
        if (delta < 0) {
            ZoomOut();
        } else {
            ZoomIn();
        }
        event->accept();  // the scroll area's own handling does nothing while Ctrl is down
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Keyboard

void CVideoBuffer::OnSpaceDown() {
    if (mouseMode_ != MouseNone) return;
    mouseMode_ = MousePan;
    ApplyCursor();
}

void CVideoBuffer::OnSpaceUp(Qt::KeyboardModifiers modifiers) {
    if (mouseMode_ != MousePan) return;
    mouseMode_ = (modifiers & Qt::ControlModifier) ? MouseZoom : MouseNone;
    // Panning ends with the pan mode: the button's release would otherwise no longer find the
    // mode that ends it, and every later move would go on scrolling.
    if (dragState_ == DragPanning) {
        dragState_ = DragNone;
        SetCapture(false);
    }
    ApplyCursor();
}

void CVideoBuffer::OnCtrlUp() {
    if (dragState_ == DragRectangle) {
        viewport()->update();
        SetCapture(false);
    }
    mouseMode_ = MouseNone;
    dragState_ = DragNone;
    ApplyCursor();
}

bool CVideoBuffer::HandleKeyPress(QKeyEvent* event) {
    const ViewKey viewKey = LookUpViewKey(*event);
    switch (viewKey.action) {
    case ViewKeyAction::None: break;
    case ViewKeyAction::ShowAll: ShowAll(); return true;
    case ViewKeyAction::ActualSize: SetZoom(1.0); return true;
    case ViewKeyAction::ToggleFilter1:
    case ViewKeyAction::ToggleFilter2:
    case ViewKeyAction::ToggleFilter3: {
        uint8_t& filter = viewKey.action == ViewKeyAction::ToggleFilter1   ? switches_.filter1
                          : viewKey.action == ViewKeyAction::ToggleFilter2 ? switches_.filter2
                                                                            : switches_.filter3;
        filter ^= 1;
        AfterSwitchChange(true);
        return true;
    }
    case ViewKeyAction::ShowAllChannels:
        switches_.lumaOnly = switches_.cbOnly = switches_.crOnly = 0;
        AfterSwitchChange(false);
        return true;
    case ViewKeyAction::ShowY: ShowChannel(ChannelY); return true;
    case ViewKeyAction::ShowCb: ShowChannel(ChannelCb); return true;
    case ViewKeyAction::ShowCr: ShowChannel(ChannelCr); return true;
    case ViewKeyAction::ToggleMethod2Label:
        switches_.method2Label ^= 1;
        AfterSwitchChange(true);
        return true;
    case ViewKeyAction::ToggleDeinterlace: ToggleDeinterlace(); return true;
    case ViewKeyAction::ToggleSplitFields: ToggleSplitFields(); return true;
    case ViewKeyAction::ToggleSeparatedFields:
        switches_.separatedToggle ^= 1;
        AfterSwitchChange(false);
        return true;
    case ViewKeyAction::ToggleInterlace: ToggleInterlace(); return true;
    case ViewKeyAction::ToggleFieldOrder: ToggleFieldOrder(); return true;
    case ViewKeyAction::ToggleFlip: ToggleFlip(); return true;
    case ViewKeyAction::SetDeinterlaceMethod:
        // The method keys choose a method only while deinterlacing is on.
        if (switches_.deinterlace) SetDeinterlacingMethod(viewKey.method);
        return true;
    case ViewKeyAction::ZoomIn: ZoomIn(); return true;
    case ViewKeyAction::ZoomOut: ZoomOut(); return true;
    }
    // Every other Shift key is consumed without effect.
    if (event->modifiers() & Qt::ShiftModifier) return true;
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) OnSpaceDown();
        return false;
    case Qt::Key_Control:
        if (mouseMode_ == MouseNone) {
            mouseMode_ = MouseZoom;
            ApplyCursor();
        }
        return true;
    default: return false;
    }
}

bool CVideoBuffer::HandleKeyRelease(QKeyEvent* event) {
    if (event->isAutoRepeat()) return event->key() == Qt::Key_Control;
    switch (event->key()) {
    case Qt::Key_Space: OnSpaceUp(event->modifiers()); return false;
    case Qt::Key_Control: OnCtrlUp(); return true;
    default: return false;
    }
}

bool CVideoBuffer::PreTranslateMessage(QObject* target, QEvent* event) {
    if (fitMode_) return false;
    switch (event->type()) {
    case QEvent::Wheel: {
        if ((mouseMode_ != MousePan && mouseMode_ != MouseZoom) || target == viewport()) {
            return false;
        }
        // Re-addressed to the view, at the same place on the screen.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPointF global = wheel->globalPosition();
        QWheelEvent copy(viewport()->mapFromGlobal(global), global, wheel->pixelDelta(),
                         wheel->angleDelta(), wheel->buttons(), wheel->modifiers(),
                         wheel->phase(), wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(viewport(), &copy);
        return true;
    }
    case QEvent::KeyPress: return HandleKeyPress(static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: return HandleKeyRelease(static_cast<QKeyEvent*>(event));
    default: return false;
    }
}

void CVideoBuffer::keyPressEvent(QKeyEvent* event) {
    if (!fitMode_ && HandleKeyPress(event)) {
        event->accept();
        return;
    }
    // The view's own window handling of the space key, in fit mode too.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) OnSpaceDown();
    QAbstractScrollArea::keyPressEvent(event);
}

void CVideoBuffer::keyReleaseEvent(QKeyEvent* event) {
    if (!fitMode_ && HandleKeyRelease(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) OnSpaceUp(event->modifiers());
    QAbstractScrollArea::keyReleaseEvent(event);
}
