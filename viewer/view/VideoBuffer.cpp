#include "VideoBuffer.h"

#include "ViewGeometry.h"
#include "KeyInput.h"
#include "view/picture/SourceProbe.h"

#include "image/FrameMemory.h"
#include "image/PixelLayout.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// Resources of a static library are registered by hand, once.
static void InitViewResources() { Q_INIT_RESOURCE(view); }

using namespace kavlo;

namespace {

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
    switches_.deinterlace = settings->deinterlace ? 1 : 0;
    switches_.deinterlaceMethod = settings->deinterlaceMethod;

    // Everything that fails from here on leaves the view with no file.
    auto fail = [this]() {
        CloseFile();
        return -1;
    };
    if (!file_.Open(settings, fileName, errorText)) return fail();
    const uint64_t rgbBytes = kavlo::FrameRenderer::ScratchBytes(file_.Width(), file_.Height());
    if (!renderer_.Reserve(file_.Width(), file_.Height())) {
        errorText =
            QStringLiteral("couldn't allocate %1 bytes for the display buffer").arg(rgbBytes);
        return fail();
    }
    if (startFrame < 0) startFrame = 0;
    if (startFrame > file_.FrameCount()) startFrame = file_.FrameCount();
    // A reference stays with a file of its frame size only.
    if (reference_.IsOpen() && (reference_.File().Width() != file_.Width() ||
                                reference_.File().Height() != file_.Height()))
        reference_.Close();

    // A new file starts at zoom 1 (the scroll sizes are those of the unzoomed picture), or
    // fitted to the client area in fit mode.
    if (!fitMode_) {
        zoom_ = 1.0;
        SetScrollSizes(QSize(PictureWidth(), file_.Height()));
    }
    if (!LoadFrame(startFrame)) {
        errorText = file_.LoadError().isEmpty() ? QStringLiteral("couldn't load first frame")
                                                : file_.LoadError();
        return fail();
    }
    layoutName_ = QString::fromStdString(LayoutName(file_.LayoutCode()));
    if (fitMode_) FitToClient();
    return 0;
}

bool CVideoBuffer::LoadFrame(int64_t frame) {
    if (cached_) {
        // A frame from the read-ahead cache is shown: the file's buffer may hold another one.
        if (frame == cached_->index) return false;
        if (frame != file_.Position() && !file_.LoadFrame(frame)) return false;
        cached_.reset();
    } else if (!file_.LoadFrame(frame)) {
        return false;
    }
    RenderFrame();
    // The pixel under a pointer over the view is another one now.
    if (mouseInside_) RefreshProbe();
    viewport()->update();
    return true;
}

void CVideoBuffer::CloseFile() {
    cached_.reset();
    bitmap_.reset();
    renderer_.Release();
    file_.Close();
    if (!fitMode_) SetScrollSizes(QSize(0, 0));
    viewport()->update();
}

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
    const int barH =
        static_cast<int>(std::lround(horizontalScrollBar()->sizeHint().height() * dpr));
    bool needH = total_.width() > fullW, needV = total_.height() > fullH;
    if (needH && !needV) needV = total_.height() > fullH - barH;
    if (needV && !needH) needH = total_.width() > fullW - barW;
    const QSize client(std::max(0, fullW - (needV ? barW : 0)),
                       std::max(0, fullH - (needH ? barH : 0)));
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

double CVideoBuffer::ToPicture(double offset, int pictureExtent, int zoomedExtent) const {
    if (pictureExtent > 0 && zoomedExtent > 0) return offset * pictureExtent / zoomedExtent;
    return offset / zoom_;
}

double CVideoBuffer::ToView(double offset, int pictureExtent, int zoomedExtent) const {
    if (pictureExtent > 0 && zoomedExtent > 0) return offset * zoomedExtent / pictureExtent;
    return offset * zoom_;
}

QPointF CVideoBuffer::mapToImage(QPointF client) const {
    const QRect picture = PictureRect();
    return QPointF(ToPicture(client.x() - picture.left(), PictureWidth(), total_.width()),
                   ToPicture(client.y() - picture.top(), file_.Height(), total_.height()));
}

QPointF CVideoBuffer::mapToView(QPointF picturePoint) const {
    const QRect picture = PictureRect();
    return QPointF(picture.left() + ToView(picturePoint.x(), PictureWidth(), total_.width()),
                   picture.top() + ToView(picturePoint.y(), file_.Height(), total_.height()));
}

QPoint CVideoBuffer::ClientPointOf(QPointF logical) const {
    const qreal dpr = viewport()->devicePixelRatioF();
    return QPoint(static_cast<int>(std::floor(logical.x() * dpr)),
                  static_cast<int>(std::floor(logical.y() * dpr)));
}

QPoint CVideoBuffer::WindowCentrePicturePoint() const {
    const QSize client = ClientSize();
    // The client pixel at the centre, in whole pixels.
    const QPointF centre = mapToImage(QPoint(client.width() / 2, client.height() / 2));
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
    const PixelSize fitted =
        FitPictureSize(client.width(), client.height(), PictureWidth(), file_.Height());
    SetScrollSizes(QSize(fitted.width, fitted.height));
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Zoom

void CVideoBuffer::ZoomAbout(double zoom, QPoint picturePoint) {
    // Any other zoom ends fitting to the window; ZoomToFit sets it again.
    fitWindow_ = false;
    zoom_ = zoom;
    const int w = PictureWidth();
    const int h = file_.Height();
    SetScrollSizes(QSize(ZoomedExtent(w, zoom_), ZoomedExtent(h, zoom_)),
                   QSize(ScrollLineSize(zoom_), ScrollLineSize(zoom_)));
    RefreshProbe();
    // Where the picture point lies in the zoomed picture, by the same ratio as the mapping.
    CenterOnPoint(QPoint(static_cast<int>(ToView(picturePoint.x(), w, total_.width())),
                         static_cast<int>(ToView(picturePoint.y(), h, total_.height()))));
    viewport()->update();
}

void CVideoBuffer::ZoomIn() {
    if (zoom_ >= kMaxZoom) return;
    ZoomAbout(zoom_ * 2.0, WindowCentrePicturePoint());
}

void CVideoBuffer::ZoomOut(std::optional<QPoint> picturePoint) {
    if (zoom_ <= kMinZoom) return;
    ZoomAbout(zoom_ * 0.5, picturePoint ? *picturePoint : WindowCentrePicturePoint());
}

void CVideoBuffer::ZoomAtClientPoint(bool in, QPoint at) {
    if (in ? zoom_ >= kMaxZoom : zoom_ <= kMinZoom) return;
    const QPointF picture = mapToImage(QPointF(at));
    ZoomAbout(in ? zoom_ * 2.0 : zoom_ * 0.5,
              QPoint(static_cast<int>(picture.x()), static_cast<int>(picture.y())));
    // ZoomAbout centred the point; move it back under the pointer (as far as scrolling can).
    const QPointF now = mapToView(picture);
    ScrollToPosition(ScrollPosition() + QPoint(static_cast<int>(std::lround(now.x() - at.x())),
                                               static_cast<int>(std::lround(now.y() - at.y()))));
}

void CVideoBuffer::SetZoom(double zoom, std::optional<QPoint> picturePoint) {
    if (zoom_ >= kMaxZoom || !(zoom > 0.0)) return;
    zoom = std::min(zoom, kMaxZoom);
    if (zoom == zoom_) return;
    ZoomAbout(zoom, picturePoint ? *picturePoint : WindowCentrePicturePoint());
}

void CVideoBuffer::ActualSize() {
    fitWindow_ = false;
    if (zoom_ == 1.0) return;
    zoom_ = 1.0;
    SetScrollSizes(QSize(PictureWidth(), file_.Height()));
    CenterOnPoint(QPoint(PictureWidth() / 2, file_.Height() / 2));
    RefreshProbe();
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
    switches_.mosaicGrey = 0;
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

void CVideoBuffer::ToggleMosaicGrey() {
    switches_.mosaicGrey ^= 1;
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

void CVideoBuffer::SetColour(kavlo::MatrixChoice matrix, bool fullRange) {
    if (!IsOpen()) return;
    file_.SetColourChoice(matrix, fullRange);
    AfterSwitchChange(true);
}

void CVideoBuffer::CycleColourMatrix() {
    const int next = (static_cast<int>(ColourMatrixChoice()) + 1) % kavlo::kMatrixChoiceCount;
    SetColour(static_cast<kavlo::MatrixChoice>(next), FullRange());
}

void CVideoBuffer::ToggleFullRange() { SetColour(ColourMatrixChoice(), !FullRange()); }

QString CVideoBuffer::ColourText() const {
    const FrameMemoryLayout* layout = FindFrameMemoryLayout(file_.LayoutCode());
    if (!IsOpen() || !layout || layout->model != ColourModel::YCbCr) return QString();
    return QString::fromLatin1(kavlo::ColourFlagsText(file_.ColourFlags()));
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
    QString sourceValues;
    const kavlo::DisplayBitmap* shown = Bitmap();
    if (shown && mouseInside_ && clientPoint) {
        const QRect picture = PictureRect();
        const QPoint p = *clientPoint;
        const bool inside = p.x() >= picture.left() && p.x() < picture.left() + picture.width() &&
                            p.y() >= picture.top() && p.y() < picture.top() + picture.height();
        const QPointF at = mapToImage(QPointF(p));
        const int x = static_cast<int>(at.x());
        const int y = static_cast<int>(at.y());
        if (inside && x >= 0 && y >= 0 && x < PictureWidth() && y < shown->Height()) {
            const uint8_t* pixel = shown->LineOnScreen(y) + 3 * x;
            text = QStringLiteral("%1 - Pos: (%2,%3), RGB: (%4,%5,%6)")
                       .arg(prefix)
                       .arg(x)
                       .arg(y)
                       .arg(pixel[2])
                       .arg(pixel[1])
                       .arg(pixel[0]);
            sourceValues =
                reference_.IsOpen()
                    ? ComparedSourceValues(x, y)
                    : FormatSourceValues(ProbeDisplayedPixel(CurrentFrame(), switches_, x, y),
                                         hexValues_, x, y);
        } else {
            text = prefix;
        }
    }
    statusText_ = text;
    sourceValuesText_ = sourceValues;
    if (statusCallback_) statusCallback_(statusContext_, this, text);
}

void CVideoBuffer::resizeEvent(QResizeEvent*) {
    UpdateScrollBars();
    FitToClient();
    if (fitWindow_) ZoomToFit();
}

void CVideoBuffer::RefreshProbe() {
    if (mouseInside_) {
        UpdateStatusText(pointer_);
    } else {
        UpdateStatusText();
    }
}

void CVideoBuffer::scrollContentsBy(int, int) {
    if (mouseInside_) RefreshProbe();
    viewport()->update();
}

bool CVideoBuffer::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        mouseInside_ = false;
        UpdateStatusText();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Mouse

void CVideoBuffer::InputModeChanged(int mouseMode) {
    switch (mouseMode) {
    case MousePan: viewport()->setCursor(panCursor_); break;
    case MouseZoom: viewport()->setCursor(zoomInCursor_); break;
    case MouseZoomOut: viewport()->setCursor(zoomOutCursor_); break;
    default: viewport()->setCursor(Qt::ArrowCursor); break;
    }
}

void CVideoBuffer::InputRepaint() { viewport()->update(); }

void CVideoBuffer::InputZoomOut(const QPoint* at) {
    if (!at) {
        ZoomOut();
        return;
    }
    const QPointF picture = mapToImage(QPointF(*at));
    ZoomOut(QPoint(static_cast<int>(picture.x()), static_cast<int>(picture.y())));
}

void CVideoBuffer::InputZoomToRectangle(const QRect& rect) {
    const QSize client = ClientSize();
    const int f = ZoomRectangleFactor(rect.right() - rect.left(), rect.bottom() - rect.top(),
                                      client.width(), client.height());
    const double newZoom = f * zoom_;
    const QPointF at =
        mapToImage(QPoint((rect.left() + rect.right()) / 2, (rect.top() + rect.bottom()) / 2));
    const QPoint centre(static_cast<int>(at.x()), static_cast<int>(at.y()));
    if (newZoom == zoom_) {
        CenterOnPoint(
            QPoint(static_cast<int>(ToView(centre.x(), PictureWidth(), total_.width())),
                   static_cast<int>(ToView(centre.y(), file_.Height(), total_.height()))));
        viewport()->update();
    } else {
        SetZoom(newZoom, centre);
    }
}

void CVideoBuffer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = ClientPointOf(event->position());
    mouseInside_ = true;
    pointer_ = point;
    UpdateStatusText(point);
    if (RegionMouseMove(point)) return;
    input_.MouseMove(point);
}

void CVideoBuffer::mousePressEvent(QMouseEvent* event) {
    if (RegionButtonDown(event)) return;
    input_.ButtonDown(event->button(), ClientPointOf(event->position()));
}

void CVideoBuffer::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void CVideoBuffer::mouseReleaseEvent(QMouseEvent* event) {
    if (RegionButtonUp(event)) return;
    input_.ButtonUp(event->button(), event->modifiers());
}

void CVideoBuffer::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    // In the zoom mode the scroll area's own handling would do nothing while Ctrl is down.
    // In fit mode (the settings dialog's preview) Ctrl on the wheel does not zoom.
    Qt::KeyboardModifiers modifiers = event->modifiers();
    if (fitMode_) modifiers &= ~Qt::KeyboardModifiers(Qt::ControlModifier);
    if (input_.Wheel(delta, modifiers, ClientPointOf(event->position()))) {
        event->accept();
        return;
    }
    // The scroll bars' own step (a few lines of one pixel each) would crawl over a large
    // picture; a notch moves a tenth of what the client area shows instead.
    const QSize client = ClientSize();
    const int stepX = std::max(client.width() / 10, 1);
    const int stepY = std::max(client.height() / 10, 1);
    const bool sideways = angle.y() == 0 || (event->modifiers() & Qt::AltModifier);
    const QPoint scroll = ScrollPosition();
    if (sideways) {
        ScrollToPosition(QPoint(scroll.x() - delta * stepX / 120, scroll.y()));
    } else {
        ScrollToPosition(QPoint(scroll.x(), scroll.y() - delta * stepY / 120));
    }
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Keyboard

bool CVideoBuffer::InputViewKey(const ViewKey& viewKey) {
    switch (viewKey.action) {
    case ViewKeyAction::None: return false;
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
    case ViewKeyAction::ToggleMosaicGrey: ToggleMosaicGrey(); return true;
    case ViewKeyAction::CycleColourMatrix: CycleColourMatrix(); return true;
    case ViewKeyAction::ToggleFullRange: ToggleFullRange(); return true;
    }
    return false;
}

bool CVideoBuffer::PreTranslateMessage(QObject* target, QEvent* event) {
    if (fitMode_) return false;
    switch (event->type()) {
    case QEvent::Wheel: {
        const int mode = input_.Mode();
        if ((mode != MousePan && mode != MouseZoom) || target == viewport()) return false;
        // Re-addressed to the view, at the same place on the screen.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPointF global = wheel->globalPosition();
        QWheelEvent copy(viewport()->mapFromGlobal(global), global, wheel->pixelDelta(),
                         wheel->angleDelta(), wheel->buttons(), wheel->modifiers(), wheel->phase(),
                         wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(viewport(), &copy);
        return true;
    }
    case QEvent::KeyPress: return input_.KeyPress(*static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: return input_.KeyRelease(*static_cast<QKeyEvent*>(event));
    default: return false;
    }
}

void CVideoBuffer::keyPressEvent(QKeyEvent* event) {
    if (!fitMode_ && input_.KeyPress(*event)) {
        event->accept();
        return;
    }
    // The view's own window handling of the space key, in fit mode too.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) input_.SpaceDown();
    QAbstractScrollArea::keyPressEvent(event);
}

void CVideoBuffer::keyReleaseEvent(QKeyEvent* event) {
    if (!fitMode_ && input_.KeyRelease(*event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) input_.SpaceUp(event->modifiers());
    QAbstractScrollArea::keyReleaseEvent(event);
}
