// The video view: a scroll area that shows one frame of an open raw video file.
//
// The file itself (its components, frame buffer, geometry and position) is a kavlo::VideoFile;
// the view reads frames by number through it, converts and rearranges them into a 24-bit display
// bitmap, and paints the visible part of that bitmap at the current zoom. Its mouse modes (pan
// with space, zoom with Ctrl, zoom rectangle, right-click zoom-out) and keys are the state
// machine of kavlo::ViewInput; the view carries out what it asks and owns the pixel probe, whose
// text it hands to its owner through the status callback.
//
// Coordinates: "client" points are device pixels of the viewport (a logical point times the
// device pixel ratio), so that zoom 1 shows one frame pixel per device pixel on any screen.
// "Picture" points are frame pixels.
#pragma once

#include "view/picture/CompareRender.h"
#include "view/picture/DisplayBitmap.h"
#include "view/picture/FieldRender.h"
#include "view/picture/FrameCache.h"
#include "view/picture/FrameRender.h"
#include "view/file/VideoFile.h"
#include "ViewInput.h"

#include "settings/RawSettings.h"
#include "TNPtr.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The mouse modes and drag states (MouseNone .. MouseZoomOut, DragNone .. DragZoomPressed) are
// those of kavlo::ViewInputStates.
class CVideoBuffer : public QAbstractScrollArea,
                     public kavlo::ViewInputStates,
                     private kavlo::ViewInputHost {
    Q_OBJECT

public:
    enum Channel { ChannelY = 0, ChannelCb = 1, ChannelCr = 2 };

    // Receives the owner's context, the view and the status text.
    using StatusCallback = void (*)(void* context, CVideoBuffer* view, const QString& text);

    explicit CVideoBuffer(QWidget* parent = nullptr);
    ~CVideoBuffer() override;

    // ---- File connection --------------------------------------------------------------------
    // Opens fileName with the settings of `settings` (whose fileSize and trailingBytes are
    // written back) and loads startFrame (clamped into 0 .. frame count). 0 on success, -1 on
    // failure; most failures put a message into errorText. A failed open leaves no file open.
    int OpenFile(RawSettings* settings, const QString& fileName, QString& errorText,
                 int64_t startFrame);
    // Reads, converts and schedules frame `frame` for repainting. False when nothing changed
    // (no file, frame beyond the end, the frame already shown, or a failed read, which leaves
    // the picture and the position as they were).
    bool LoadFrame(int64_t frame);
    // Releases the file and everything that belongs to it, its frame size included; harmless
    // with no file open.
    void CloseFile();
    // Shows a frame the read-ahead cache holds (same file, same geometry), without reading:
    // its picture when `current` (rendered with the present switches), else rendered here from
    // its raw bytes. The frame stays shown, and the position, until another frame is loaded.
    // False with no file open or a frame of another size.
    bool ShowCachedFrame(std::shared_ptr<const kavlo::CachedFrame> frame, bool current);
    // Opens the file again with the same record (the frame count follows a file that grew or
    // shrank) and shows the frame shown before, clamped into the new count; zoom, scrolling and
    // switches stay. False, with the file closed and errorText saying why, when the file has no
    // whole frame any more or cannot be read.
    bool ReloadFile(QString& errorText);

    // ---- Rendering and the operations on the display --------------------------------------
    virtual void FitToClient();
    virtual void RenderFrame();
    // Builds the status text (with the probe for a client point) and hands it to the callback.
    virtual void UpdateStatusText(std::optional<QPoint> clientPoint = std::nullopt);

    void ZoomIn();
    void ZoomOut(std::optional<QPoint> picturePoint = std::nullopt);
    // Zooms one step in or out so that the picture point under client point `at` stays there.
    void ZoomAtClientPoint(bool in, QPoint at);
    void SetZoom(double zoom, std::optional<QPoint> picturePoint = std::nullopt);
    void ActualSize();
    void ShowAll();
    void ShowChannel(Channel channel);
    void ToggleFlip();
    void ToggleMosaicGrey();
    void ToggleSplitFields();
    void ToggleSeparatedFields();
    void ToggleInterlace();
    void ToggleFieldOrder();
    void ToggleDeinterlace();
    void SetDeinterlacingMethod(uint32_t method);
    // The open file's colour matrix and range (VideoFile::SetColourChoice), re-rendered and
    // repainted; the settings record (Settings()) holds the choice. Nothing while no file is open.
    void SetColour(kavlo::MatrixChoice matrix, bool fullRange);
    // BT.601, BT.709, BT.2020, automatic, then BT.601 again.
    void CycleColourMatrix();
    void ToggleFullRange();
    // Sets the flip toggle, re-renders and repaints; returns the previous value.
    bool SetFlip(bool flip);
    void SetStatusCallback(StatusCallback callback, void* context);

    // ---- Source values -------------------------------------------------------------------------
    // The zoom from which every visible pixel shows its source samples on itself.
    static constexpr double kValueOverlayZoom = 16.0;
    // How the values fit on one pixel of cellW x cellH device pixels: the lines drawn (all of a
    // pixel's samples, or the first alone where all would be too small to read), whether each
    // line carries its component's name, and the font's pixel size; lines 0 when nothing fits
    // at a readable size (kLegibleValuePixels).
    struct ValueOverlayPlan {
        int lines = 0;
        bool labels = false;
        int fontPixels = 0;
    };
    static constexpr double kLegibleValuePixels = 7.0;
    static ValueOverlayPlan PlanValueOverlay(double cellW, double cellH, int lineCount,
                                             int valueChars);
    // Source samples in hexadecimal instead of decimal (the probe and the overlay).
    void SetHexValues(bool hex);
    bool HexValues() const { return hexValues_; }
    // The samples drawn on the pixels from kValueOverlayZoom up (on by default).
    void SetShowValuesWhenZoomed(bool on);
    bool ShowValuesWhenZoomed() const { return showValues_; }
    // The source samples of the pixel under the pointer, empty while there is none; made with
    // the status text.
    const QString& SourceValuesText() const { return sourceValuesText_; }
    // The frame shown (from the read-ahead cache, else the one read last), as the renderer takes
    // it (bytes null while no file is open).
    kavlo::SourceFrame CurrentFrame() const { return cached_ ? cached_->Frame() : file_.Frame(); }

    // ---- Reference (VideoBufferRender.cpp) ----------------------------------------------------
    // Opens fileName as reference B of the open file: frames of the same size only (else
    // refused, errorText saying why, and nothing of the file shown changes). B follows the frame
    // shown and is rendered with the same display switches. False with no file open.
    bool OpenReference(RawSettings* settings, const QString& fileName, QString& errorText);
    void CloseReference();
    const kavlo::ReferenceFile& Reference() const { return reference_; }
    bool HasReference() const { return reference_.IsOpen(); }
    // What is shown (A, B, side by side, a difference) and the difference's amplification: the
    // pictures already rendered are composed again, nothing is read; zoom and scrolling stay.
    void SetCompareMode(kavlo::CompareMode mode);
    void SetDifferenceGain(int gain);
    // B's frame shown with A's frame n is n + offset (ReferenceFile::SetOffset): B is rendered
    // again at once; a frame of A without one in B shows "no reference frame".
    void SetReferenceOffset(int64_t offset);
    // The rectangle whose figures are computed beside the frame's, in A's frame pixels
    // (whichever half of side by side it was drawn on): a left drag with Shift draws it, or any
    // left drag after ArmCompareRegion(). Empty while there is none or no reference is open.
    QRect CompareRegionRect() const { return reference_.IsOpen() ? region_ : QRect(); }
    // The rectangle in displayed pixels and in the raw frame's memory rows (through flip,
    // bottom-up storage and the field arrangement: the span of the rows its lines show).
    std::optional<kavlo::CompareRegion> CompareRegionOfFrame() const;
    void SetCompareRegion(const QRect& framePixels);
    void ClearCompareRegion();
    void ArmCompareRegion() { regionArmed_ = reference_.IsOpen(); }
    bool CompareRegionArmed() const { return regionArmed_; }
    // The picture of the file shown alone (A), whatever the compare mode.
    const kavlo::DisplayBitmap* PictureA() const {
        return cached_ && cachedPicture_ ? cached_->bitmap.get() : bitmap_.get();
    }

    // The view's part of the owner's key handling: key presses and releases and wheel events
    // are offered here first (the owner's application-wide event filter calls it). True when
    // the event was consumed. In fit mode nothing is consumed.
    bool PreTranslateMessage(QObject* target, QEvent* event);

    // ---- Settings of the owner ---------------------------------------------------------------
    // Fit mode scales the picture to the client area and ignores the view keys (the preview of
    // the settings dialog). Set it before the view is first shown.
    void SetFitMode(bool on) { fitMode_ = on; }
    bool FitMode() const { return fitMode_; }
    // Centre a picture smaller than the client area (on by default).
    void SetCentring(bool on);
    bool Centring() const { return centring_; }
    // Fit to Window: the zoom that shows the whole picture in the client area, kept while the
    // window is resized; any other zoom ends it. The view keys stay as they are.
    void SetFitToWindow(bool on);
    bool FitToWindow() const { return fitWindow_; }
    // Zooms once so that the whole picture fits the client area (a frame larger than the
    // screen opens so); fitting to the window stays on.
    void ZoomToFit();

    // ---- State ----------------------------------------------------------------------------
    bool IsOpen() const { return file_.IsOpen(); }
    double Zoom() const { return zoom_; }
    int64_t FrameCount() const { return file_.FrameCount(); }
    uint32_t FrameDuration() const { return file_.FrameDuration(); }
    uint32_t TimeScale() const { return file_.TimeScale(); }
    // Why the last frame asked for was refused by the file's own structure; empty otherwise.
    const QString& LoadErrorText() const { return file_.LoadError(); }
    // The frame shown: the one from the read-ahead cache, else the seeking interface's position;
    // -1 when it cannot be had.
    int64_t CurrentPosition() const { return cached_ ? cached_->index : file_.Position(); }
    // Zero while no file is open.
    int FrameWidth() const { return file_.Width(); }
    int FrameHeight() const { return file_.Height(); }
    uint32_t LayoutCode() const { return file_.LayoutCode(); }
    // Name of the layout in the catalogue, empty when the code is not there.
    const QString& LayoutNameText() const { return layoutName_; }
    const QString& FileName() const { return file_.FileName(); }
    // The settings record as it stood after the open (zero while no file is open).
    const RawSettings& Settings() const { return file_.Settings(); }
    const ViewSwitches& Switches() const { return switches_; }
    const StoredFrameFlags& StoredFlags() const { return file_.StoredFlags(); }
    kavlo::MatrixChoice ColourMatrixChoice() const { return file_.ColourMatrixChoice(); }
    bool FullRange() const { return file_.FullRange(); }
    // The matrix and range in use ("BT.709 full") for a Y'CbCr layout; empty for other layouts
    // and while no file is open.
    QString ColourText() const;
    // The picture shown: the bitmap of the last rendering, or the read-ahead cache's picture of
    // the frame shown from it; null while nothing has been rendered.
    // With a reference open, the picture of the compare mode.
    const kavlo::DisplayBitmap* Bitmap() const {
        return reference_.IsOpen() ? reference_.Shown(PictureA()) : PictureA();
    }
    // The converted frame (rows of 3-byte B', G', R' pixels) and its row stride.
    const uint8_t* ConvertedFrame() const { return renderer_.Converted(); }
    ptrdiff_t ConvertedStride() const;
    const QString& StatusText() const { return statusText_; }

    int MouseModeValue() const { return input_.Mode(); }
    int DragStateValue() const { return input_.Drag(); }
    QRect ZoomRectangle() const { return input_.ZoomRectangle(); }
    bool MouseCaptured() const { return input_.Captured(); }

    // ---- Geometry (device pixels) ------------------------------------------------------------
    QSize ClientSize() const;
    // The scroll area's total size: the zoomed picture (or the fitted one in fit mode).
    QSize ZoomedSize() const { return total_; }
    QPoint ScrollPosition() const;
    // Where the picture lies in client coordinates.
    QRect PictureRect() const;
    // Client point -> picture coordinates (not truncated) and back, by the ratio of the zoomed
    // size to the picture size. The only coordinate formulas of the view: painting, the probe
    // and zooming about a point all use them.
    QPointF mapToImage(QPointF client) const;
    QPointF mapToView(QPointF picture) const;
    // Client point of a mouse or wheel event position (logical pixels of the viewport).
    QPoint ClientPointOf(QPointF logical) const;

Q_SIGNALS:
    // After every rendering: a new frame, or the same frame with other switches.
    void FrameRendered();
    // The compare rectangle was drawn, changed or cleared.
    void CompareRegionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Repaints, and refreshes the probe: the picture moved under the pointer.
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Outside the pan and zoom modes a wheel notch (120 eighths of a degree) scrolls a tenth of
    // the client area, vertically or, for a sideways wheel, horizontally.
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void ResetDisplaySwitches();

    // The picture's width in frame pixels: twice the frame's side by side.
    int PictureWidth() const {
        return reference_.IsOpen() ? reference_.PictureWidth(file_.Width()) : file_.Width();
    }
    // B's frame of the frame shown, rendered and composed with A's picture.
    void RenderReference();
    // The source values of displayed pixel (x, y) with a reference open: of the side the pixel
    // belongs to, or of both for a difference.
    QString ComparedSourceValues(int x, int y) const;
    // The compare rectangle's drag (VideoBufferRender.cpp): true when the event was its.
    bool RegionButtonDown(QMouseEvent* event);
    bool RegionMouseMove(QPoint client);
    bool RegionButtonUp(QMouseEvent* event);
    // A's frame pixel under a client point, clamped to the frame.
    QPoint FramePixelAt(QPoint client) const;
    QRect ClampRect(const QRect& rect) const;
    void PaintCompareRegion(QPainter& painter);

    // Scroll-view emulation.
    void SetScrollSizes(QSize total, QSize line = QSize(0, 0));
    void UpdateScrollBars();
    void ScrollToPosition(QPoint position);
    void CenterOnPoint(QPoint point);
    QPoint WindowCentrePicturePoint() const;
    // Picture offset of a client offset along one axis, and back.
    double ToPicture(double offset, int pictureExtent, int zoomedExtent) const;
    double ToView(double offset, int pictureExtent, int zoomedExtent) const;
    // The one way the zoom changes about a point: the new zoom's scroll sizes, then the picture
    // point moved to the middle of the client area.
    void ZoomAbout(double zoom, QPoint picturePoint);

    // Painting.
    void PaintPicture(QPainter& painter, const QRect& visible);
    void PaintBackground(QPainter& painter, const QRect& client, const QRect& picture);
    // The source samples of every visible pixel, drawn on it (VideoBufferRender.cpp).
    void PaintValues(QPainter& painter, const QRect& visible);

    // Switch changes, in the order the keyboard handler uses them.
    void AfterSwitchChange(bool updateStatus);
    // The status text with the probe at the pointer's last point while it is over the view
    // (zoom, scrolling and a new frame change the pixel under a pointer that stays still).
    void RefreshProbe();

    // What the input state machine asks of the view.
    QSize InputClientSize() const override { return ClientSize(); }
    QSize InputZoomedSize() const override { return total_; }
    QPoint InputScrollPosition() const override { return ScrollPosition(); }
    void InputScrollTo(QPoint position) override { ScrollToPosition(position); }
    void InputZoomIn() override { ZoomIn(); }
    void InputZoomOut(const QPoint* at) override;
    void InputZoomAtPoint(bool in, QPoint at) override { ZoomAtClientPoint(in, at); }
    void InputZoomToRectangle(const QRect& rect) override;
    bool InputViewKey(const kavlo::ViewKey& key) override;
    void InputModeChanged(int mouseMode) override;
    void InputRepaint() override;

    // File state.
    kavlo::VideoFile file_;
    kavlo::FrameRenderer renderer_;
    ViewSwitches switches_;
    QString layoutName_;

    // Display.
    std::unique_ptr<kavlo::DisplayBitmap> bitmap_;
    kavlo::ReferenceFile reference_;
    QRect region_;  // the compare rectangle, frame pixels of A
    bool regionArmed_ = false;
    bool regionDragging_ = false;
    QPoint regionStart_;
    // The frame shown from the read-ahead cache (null: the file's buffer holds the frame shown),
    // and whether its own picture is shown (false: bitmap_, rendered here).
    std::shared_ptr<const kavlo::CachedFrame> cached_;
    bool cachedPicture_ = false;
    bool fitWindow_ = false;
    double zoom_ = 1.0;
    bool fitMode_ = false;
    bool fitDone_ = false;
    bool centring_ = true;
    QSize total_{400, 300};
    QSize line_{1, 1};
    QImage scratch_;  // the visible part, scaled, reused from paint to paint

    // Mouse and keys.
    kavlo::ViewInput input_{*this};
    bool mouseInside_ = false;
    QPoint pointer_;  // the pointer's last client point while mouseInside_
    QCursor panCursor_;
    QCursor zoomInCursor_;
    QCursor zoomOutCursor_;

    // Status.
    StatusCallback statusCallback_ = nullptr;
    void* statusContext_ = nullptr;
    QString statusText_;
    QString sourceValuesText_;
    bool hexValues_ = false;
    bool showValues_ = true;
};
