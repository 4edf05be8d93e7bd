#include "app/window/ViewerDlg.h"

#include "app/analysis/AnalysisTools.h"
#include "app/common/AppInfo.h"
#include "app/compare/CompareTools.h"
#include "app/open/FileCheck.h"
#include "app/window/FrameNumberValidator.h"
#include "app/common/Platform.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RawSettingsRules.h"
#include "app/open/OpenFileDialog.h"
#include "app/play/PlayControls.h"
#include "app/open/RecentFileList.h"
#include "view/file/LocalFileName.h"
#include "TNDebug.h"
#include "view/picture/FieldRender.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QLayout>
#include <QScreen>
#include <QShortcut>
#include <QLabel>
#include <QProxyStyle>
#include <QSlider>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

namespace {

// The frame slider jumps to the frame under a click on its groove, as players' sliders do,
// instead of paging towards it.
class JumpSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons) return Qt::LeftButton | Qt::MiddleButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Set by a Ctrl key-down and cleared by a Ctrl key-up, whichever window saw them, and by any
// other key that comes without Ctrl held (the key-up may have gone to a dialog or a window that
// closed on the key-down, as Ctrl+W's and Ctrl+O's do).
bool g_ctrlDown = false;

// Template 102 in dialog units: 4 horizontal units are 6 pixels, 8 vertical units 13 pixels.
QRect DialogUnits(int x, int y, int w, int h) {
    return QRect(x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8);
}

// The frame field's number; frame numbers go past the 32 bits of the other number fields.
int64_t ReadFrameNumber(const QString& text) {
    return rawsettings::ReadDecimal(text, std::numeric_limits<int64_t>::max());
}

}  // namespace

CTNViewerDlg::CTNViewerDlg(QWidget* parent) : QDialog(parent) {
    kavlo::InitResources();
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setWindowTitle(kavlo::AppName());
    setWindowIcon(QIcon(QStringLiteral(":/kavlo/icons/kavlo.png")));

    menuBar_ = new QMenuBar(this);
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("Client"));
    view_ = new CVideoBuffer(client_);
    view_->setObjectName(QStringLiteral("VideoBuffer"));
    view_->setProperty("controlId", kIdView);
    view_->setGeometry(DialogUnits(7, 7, 311, 165));
    slider_ = new QSlider(Qt::Horizontal, client_);
    slider_->setObjectName(QStringLiteral("FrameSlider"));
    slider_->setProperty("controlId", kIdSlider);
    slider_->setTickPosition(QSlider::NoTicks);
    auto* jumpStyle = new JumpSliderStyle;
    jumpStyle->setParent(slider_);
    slider_->setStyle(jumpStyle);
    slider_->setGeometry(DialogUnits(7, 179, 252, 15));
    slider_->setEnabled(false);
    frameField_ = new QLineEdit(client_);
    frameField_->setObjectName(QStringLiteral("FrameField"));
    frameField_->setProperty("controlId", kIdFrameField);
    frameField_->setAlignment(Qt::AlignCenter);
    frameValidator_ = new FrameNumberValidator(frameField_);
    frameField_->setValidator(frameValidator_);
    frameField_->setGeometry(DialogUnits(269, 181, 49, 12));
    frameField_->setEnabled(false);
    frameField_->installEventFilter(this);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar"));
    statusBar_->setSizeGripEnabled(false);
    auto addField = [this](QLabel*& label, const char* name, int stretch) {
        label = new QLabel(statusBar_);
        label->setObjectName(QLatin1String(name));
        statusBar_->addWidget(label, stretch);
    };
    addField(statusFrame_, "StatusFrame", 0);
    addField(statusZoom_, "StatusZoom", 0);
    addField(statusFormat_, "StatusFormat", 0);
    addField(statusModes_, "StatusModes", 0);
    statusModes_->setToolTip(QStringLiteral("What changes the picture from the file's own"));
    // The pointer's position and values have a row of their own above the status bar, wrapped
    // rather than cut when the window is narrow; the status bar keeps the short fields.
    statusProbe_ = new QLabel(this);
    statusProbe_->setObjectName(QStringLiteral("StatusProbe"));
    statusProbe_->setWordWrap(true);
    statusProbe_->setContentsMargins(4, 1, 4, 1);

    BuildMenus();
    const int menuHeight = menuBar_->sizeHint().height();
    const QSize clientSize = DialogUnits(0, 0, 325, 201).size();
    resize(clientSize.width(), clientSize.height() + menuHeight + StatusBarHeight() +
                                   ProbeRowHeight(clientSize.width()));
    LayoutRows();
    client_->setGeometry(0, menuHeight, clientSize.width(), clientSize.height());
    clientRect_ = QRect(QPoint(0, 0), clientSize);
    setMinimumSize(kMinWidth, kMinHeight);

    connect(slider_, &QSlider::valueChanged, this, [this](int v) {
        if (!updatingControls_) OnSliderMoved(v);
    });

    // The accelerator table: the window's shortcuts whatever has the focus (Ctrl+0 is Actual
    // Size).
    for (const kavlo::KeyRow& row : KeyTable()) {
        if (!(row.flags & kavlo::kKeyWindowShortcut)) continue;
        auto* shortcut = new QShortcut(QKeySequence(row.key), this);
        shortcut->setContext(Qt::WindowShortcut);
        const int command = row.command;
        connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
    }

    recent_ = std::make_unique<CMyRecentFileList>();
    recent_->ReadList();
}

CTNViewerDlg::~CTNViewerDlg() {
    // A field of the window that has the focus takes its value now, while the window and its
    // modules are whole (the rate field's loss of focus sets the rate and updates the menus).
    if (QWidget* focus = QApplication::focusWidget(); focus && isAncestorOf(focus))
        focus->clearFocus();
    if (filterInstalled_) qApp->removeEventFilter(this);
    // The panels hide as the window's children go; this part of the window is gone by then.
    for (const SidePanel& side : sidePanels_)
        if (side.panel) side.panel->disconnect(this);
    recent_->WriteList();
}

bool CTNViewerDlg::CtrlDown() { return g_ctrlDown; }

QString CTNViewerDlg::OpenFilter() {
    return QStringLiteral(
        "RAW Video Files (*.raw; *.bin; *.dat; *.yuv*; *.rgb; *.420; *.422; *.yv12; *.yv16)|"
        "*.raw;*.bin;*.dat;*.yuv*;*.rgb;*.420;*.422;*.yv12;*.yv16|All Files (*.*)|*.*||");
}
QString CTNViewerDlg::LoadErrorText() {
    return QStringLiteral("An error occrured while loading the video file.");
}
QString CTNViewerDlg::LoadErrorRemoveText() {
    return QStringLiteral(
        "An error occrured while loading the video file.\r\rWould you like to remove the file from "
        "the list?");
}
QString CTNViewerDlg::LoadErrorText(const QString& path, const QString& reason) {
    return QStringLiteral("%1\r\r%2:\r%3").arg(LoadErrorText(), path, reason);
}
QString CTNViewerDlg::LoadErrorRemoveText(const QString& path, const QString& reason) {
    // The reason goes between the message and the question, which stays last.
    const QString question = QStringLiteral("\r\rWould you like to remove the file from the list?");
    QString text = LoadErrorRemoveText();
    text.chop(question.size());
    return QStringLiteral("%1\r\r%2:\r%3%4").arg(text, path, reason, question);
}

void CTNViewerDlg::OnInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    view_->SetStatusCallback(&CTNViewerDlg::StatusCallback, this);
    setWindowIcon(QIcon(QStringLiteral(":/kavlo/icons/kavlo.png")));
    resize(kInitialWidth, kInitialHeight);
    FitWindowToVideo();
    slider_->setSingleStep(1);
    slider_->setPageStep(10);
    UpdateWindowState();
}

void CTNViewerDlg::StatusCallback(void* context, CVideoBuffer* view, const QString& text) {
    static_cast<CTNViewerDlg*>(context)->UpdateTitle(view, text);
}

void CTNViewerDlg::UpdateTitle(CVideoBuffer* view, const QString& status) {
    UpdateStatusBar();
    if (!view || !view->IsOpen()) {
        setWindowTitle(kavlo::AppName());
        return;
    }
    // One substitution pass: a file name may itself hold "%1" or "%2b".
    QString title =
        QStringLiteral("%1 (%2) (%3%) - %4")
            .arg(QFileInfo(view->FileName()).fileName(), view->LayoutNameText(),
                 QString::number(static_cast<qint64>(view->Zoom() * 100.0)), kavlo::AppName());
    if (!minimized_) title += QLatin1Char(' ') + status;
    setWindowTitle(title);
}

void CTNViewerDlg::UpdateWindowState() {
    play_->Sync();
    UpdateTitle(view_, QString());
    UpdateFrameControls();
    UpdateMenuState();
}

int CTNViewerDlg::StatusBarHeight() const { return statusBar_->sizeHint().height(); }

int CTNViewerDlg::ProbeRowHeight(int width) const {
    // One line at least, so that the picture does not move as the pointer enters and leaves;
    // more when the text needs them at this width.
    const QMargins m = statusProbe_->contentsMargins();
    const int line = statusProbe_->fontMetrics().height() + m.top() + m.bottom();
    if (statusProbe_->text().isEmpty()) return line;
    return std::max(line, statusProbe_->heightForWidth(width));
}

QSize CTNViewerDlg::LayoutRows() {
    const int menuHeight = menuBar_->sizeHint().height();
    const int statusHeight = StatusBarHeight();
    const int probeHeight = ProbeRowHeight(width());
    menuBar_->setGeometry(0, 0, width(), menuHeight);
    statusBar_->setGeometry(0, std::max(height() - statusHeight, 0), width(), statusHeight);
    statusProbe_->setGeometry(0, std::max(height() - statusHeight - probeHeight, 0), width(),
                              probeHeight);
    return QSize(width(), std::max(height() - menuHeight - statusHeight - probeHeight, 0));
}

QString CTNViewerDlg::StatusFrameText() const { return statusFrame_->text(); }
QString CTNViewerDlg::StatusZoomText() const { return statusZoom_->text(); }
QString CTNViewerDlg::StatusFormatText() const { return statusFormat_->text(); }
QString CTNViewerDlg::StatusProbeText() const { return statusProbe_->text(); }
QString CTNViewerDlg::StatusModesText() const { return statusModes_->text(); }

QString CTNViewerDlg::ModesText() const {
    // The switches that make the picture differ from the file's own, in words.
    const ViewSwitches& s = view_->Switches();
    QStringList modes;
    if (s.lumaOnly) modes << QStringLiteral("Y' only");
    if (s.cbOnly) modes << QStringLiteral("Cb' only");
    if (s.crOnly) modes << QStringLiteral("Cr' only");
    if (s.flipToggle) modes << QStringLiteral("flipped");
    if (s.interlaceToggle) modes << QStringLiteral("interlacing toggled");
    const bool interlaced = (view_->StoredFlags().interlaced != 0) != (s.interlaceToggle != 0);
    if (s.separatedToggle) modes << QStringLiteral("field storage toggled");
    if (s.swappedFieldOrder) modes << QStringLiteral("field order swapped");
    if (s.splitFields) modes << QStringLiteral("fields split");
    if (interlaced && s.deinterlace && !s.splitFields) {
        switch (s.deinterlaceMethod) {
        case kavlo::kDeinterlaceBlendFields: modes << QStringLiteral("blend deinterlace"); break;
        case kavlo::kDeinterlaceTopField: modes << QStringLiteral("top-field deinterlace"); break;
        case kavlo::kDeinterlaceBottomField:
            modes << QStringLiteral("bottom-field deinterlace");
            break;
        case kavlo::kDeinterlaceLowPass: modes << QStringLiteral("low-pass deinterlace"); break;
        default: modes << QStringLiteral("deinterlaced"); break;
        }
    }
    if (s.mosaicGrey) modes << QStringLiteral("mosaic as grey");
    if (!view_->ColourText().isEmpty() &&
        view_->ColourMatrixChoice() == kavlo::MatrixChoice::Automatic)
        modes << QStringLiteral("matrix from the file");
    return modes.join(QStringLiteral(", "));
}

void CTNViewerDlg::UpdateStatusBar() {
    for (kavlo::WindowModule* module : modules_) module->RefreshStatus();
    if (!view_->IsOpen()) {
        for (QLabel* label : {statusFrame_, statusZoom_, statusFormat_, statusModes_, statusProbe_})
            label->clear();
        return;
    }
    const int64_t position = std::max<int64_t>(view_->CurrentPosition(), 0);
    statusFrame_->setText(QStringLiteral("Frame %1 / %2")
                              .arg(position)
                              .arg(static_cast<qint64>(view_->FrameCount())));
    // The zoom as the title shows it.
    statusZoom_->setText(QStringLiteral("%1%").arg(static_cast<qint64>(view_->Zoom() * 100.0)));
    const QString size = QStringLiteral("%1x%2").arg(view_->FrameWidth()).arg(view_->FrameHeight());
    QString format = view_->LayoutNameText().isEmpty()
                         ? size
                         : QStringLiteral("%1 %2").arg(view_->LayoutNameText(), size);
    // Y'CbCr layouts: the matrix and range in use beside the layout ("UYVY 720x576 BT.601
    // limited").
    const QString colour = view_->ColourText();
    if (!colour.isEmpty()) format += QLatin1Char(' ') + colour;
    statusFormat_->setText(format);
    statusModes_->setText(ModesText());
    // The view's text starts with the separator it needs behind the title.
    QString probe = view_->StatusText().trimmed();
    if (probe.startsWith(QLatin1String("- "))) probe.remove(0, 2);
    if (!view_->SourceValuesText().isEmpty())
        probe += QStringLiteral("  ") + view_->SourceValuesText();
    // A frame the file's structure refused says why in the probe's place.
    const QString shown = view_->LoadErrorText().isEmpty() ? probe : view_->LoadErrorText();
    statusProbe_->setText(shown);
    statusProbe_->setToolTip(shown);
    // A text that needs another line (or one less) takes it from the picture's area.
    if (ProbeRowHeight(width()) != statusProbe_->height()) {
        const QSize client = LayoutRows();
        client_->setGeometry(0, menuBar_->sizeHint().height(), client.width(), client.height());
        LayoutControls(client);
    }
}

void CTNViewerDlg::GoToFrame(int64_t frame) {
    if (!view_->IsOpen()) return;
    const int64_t last = std::max<int64_t>(view_->FrameCount() - 1, 0);
    const int64_t target = std::clamp<int64_t>(frame, 0, last);
    play_->ShowFrame(target);
    UpdateFrameControls();
    UpdateStatusBar();
}

void CTNViewerDlg::UpdateFrameControls() {
    updatingControls_ = true;
    if (view_->IsOpen()) {
        slider_->setEnabled(true);
        frameField_->setEnabled(true);
        frameCount_ = view_->FrameCount();
        frameValidator_->SetFrameCount(frameCount_);
        const int64_t position = view_->CurrentPosition();
        slider_->setMaximum(rawsettings::FrameSliderPosition(frameCount_ - 1));
        slider_->setValue(rawsettings::FrameSliderPosition(position));
        frameField_->setText(QString::number(position));
    } else {
        slider_->setEnabled(false);
        frameField_->setEnabled(false);
        frameField_->setText(QStringLiteral("0"));
    }
    updatingControls_ = false;
}

void CTNViewerDlg::FitWindowToVideo() {
    if (!view_->IsOpen() || view_->FitMode()) return;
    const qreal ratio = view_->devicePixelRatioF() > 0 ? view_->devicePixelRatioF() : 1.0;
    const int pictureW = int(view_->FrameWidth() / ratio);
    const int pictureH = int(view_->FrameHeight() / ratio);
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = s ? s->availableGeometry() : QRect(0, 0, 1920, 1080);
    // The frame around the window takes its share of the maximised size.
    const QRect frame = frameGeometry();
    const int frameW = std::max(frame.width() - width(), 0);
    const int frameH = std::max(frame.height() - height(), 0);
    // Lay the window out first: before it is shown, the view still has its construction size.
    // The view needs the picture plus its own frame; scroll bars then have nothing to scroll.
    if (layout()) layout()->activate();
    const int viewW = pictureW + 2 * view_->frameWidth();
    const int viewH = pictureH + 2 * view_->frameWidth();
    const int w = std::min(width() + viewW - view_->width(), available.width() - frameW);
    const int h = std::min(height() + viewH - view_->height(), available.height() - frameH);
    resize(std::max(w, kMinWidth), std::max(h, kMinHeight));
    const QRect now = frameGeometry();
    move(available.center() - QPoint(now.width() / 2, now.height() / 2));
}

void CTNViewerDlg::LayoutControls(QSize client) {
    const int dx = client.width() - clientRect_.width();
    const int dy = client.height() - clientRect_.height();
    if (dx == 0 && dy == 0) return;
    slider_->setGeometry(slider_->geometry().adjusted(0, dy, dx, dy));
    frameField_->setGeometry(frameField_->geometry().translated(dx, dy));
    for (kavlo::WindowModule* module : modules_) module->MoveControls(dx, dy);
    view_->setGeometry(view_->geometry().adjusted(0, 0, dx, dy));
    clientRect_ = QRect(QPoint(0, 0), client);
    if (sidePanelStrip_ > 0) ArrangeSidePanels();
}

void CTNViewerDlg::AddSidePanel(QDockWidget* panel, int dockedWidth) {
    if (panel->parentWidget() != client_) panel->setParent(client_);
    sidePanels_.push_back({panel, std::max(dockedWidth, 0)});
    connect(panel, &QDockWidget::visibilityChanged, this, [this, panel](bool visible) {
        ArrangeSidePanels();
        // A panel that closes, floating or docked, gives the keys back to the picture.
        if (!visible && isVisible() &&
            (!QApplication::focusWidget() || panel->isAncestorOf(QApplication::focusWidget()) ||
             panel->isWindow())) {
            activateWindow();
            view_->setFocus();
        }
    });
    connect(panel, &QDockWidget::topLevelChanged, this, [this] { ArrangeSidePanels(); });
    // A panel deleted while shown gives its place back as one that closes does.
    connect(panel, &QObject::destroyed, this, [this] { ArrangeSidePanels(); });
}

void CTNViewerDlg::ArrangeSidePanels() {
    constexpr int kGap = 4;
    struct Docked {
        QDockWidget* panel;
        int width;  // with the gap before it
    };
    std::vector<Docked> docked;
    int total = 0;
    for (const SidePanel& side : sidePanels_) {
        if (!side.panel || !side.panel->isVisible() || side.panel->isWindow()) continue;
        docked.push_back({side.panel, side.dockedWidth + kGap});
        total += side.dockedWidth + kGap;
    }
    const int strip =
        docked.empty() ? 0 : std::clamp(view_->width() + sidePanelStrip_ - 40, 0, total);
    const int change = strip - sidePanelStrip_;
    if (change != 0) {
        view_->setGeometry(view_->geometry().adjusted(0, 0, -change, 0));
        sidePanelStrip_ = strip;
    }
    // Side by side in the order they were added, the first next to the picture, each as tall
    // as the picture; a strip narrower than their widths shares its width in their proportions.
    const QRect v = view_->geometry();
    int used = 0;
    for (size_t i = 0; i < docked.size(); ++i) {
        const int share = i + 1 < docked.size()
                              ? static_cast<int>(int64_t{docked[i].width} * strip / total)
                              : strip - used;
        docked[i].panel->setGeometry(v.right() + 1 + used + kGap, v.top(),
                                     std::max(share - kGap, 0), v.height());
        used += share;
    }
    const bool normal =
        isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    if (change > 0 && normal) {
        // Widen the window by the strip's growth where the screen has room, moving it left when
        // the right edge is near (LayoutControls then gives the view its width back and moves
        // the panels along).
        const QScreen* s = screen();
        if (!s) return;
        const QRect available = s->availableGeometry();
        const QRect frame = frameGeometry();
        const int right = std::max(available.right() - frame.right(), 0);
        const int left = std::max(frame.left() - available.left(), 0);
        const int shift = std::min(std::max(change - right, 0), left);
        const int grow = std::min(change, right + shift);
        // Counted before the window moves: its resizing arranges the panels again, and a strip
        // that could widen only with the window adds its further growth to this.
        const QPoint growth(std::max(grow, 0), shift);
        sidePanelGrowth_ = strip == change ? growth : sidePanelGrowth_ + growth;
        if (shift > 0) move(pos() - QPoint(shift, 0));
        if (grow > 0) resize(width() + grow, height());
    } else if (change < 0 && sidePanelGrowth_.x() > 0 && normal) {
        // The strip narrowed or went: the window gives back the width it took for it, all of it
        // once no panel is docked, and returns to where it stood, so that showing and hiding
        // panels leaves the window as it was.
        const int back =
            strip == 0 ? sidePanelGrowth_.x() : std::min(-change, sidePanelGrowth_.x());
        const int moveBack =
            strip == 0 ? sidePanelGrowth_.y() : std::min(back, sidePanelGrowth_.y());
        sidePanelGrowth_ -= QPoint(back, moveBack);
        resize(std::max(width() - back, minimumWidth()), height());
        if (moveBack > 0) move(pos() + QPoint(moveBack, 0));
    }
}

void CTNViewerDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int menuHeight = menuBar_->sizeHint().height();
    const QSize client = LayoutRows();
    client_->setGeometry(0, menuHeight, client.width(), client.height());
    LayoutControls(client);
}

void CTNViewerDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (windowState() & Qt::WindowMinimized) {
        minimized_ = true;
        UpdateTitle(view_, QString());
    } else {
        minimized_ = false;
    }
}

void CTNViewerDlg::showEvent(QShowEvent* event) {
    OnInitDialog();
    if (!filterInstalled_) {
        qApp->installEventFilter(this);
        filterInstalled_ = true;
    }
    QDialog::showEvent(event);
}

void CTNViewerDlg::hideEvent(QHideEvent* event) {
    if (filterInstalled_ && !(windowState() & Qt::WindowMinimized)) {
        qApp->removeEventFilter(this);
        filterInstalled_ = false;
    }
    QDialog::hideEvent(event);
}

void CTNViewerDlg::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the main window.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTNViewerDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CTNViewerDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return;
    const QString path = kavlo::FileNameFromUrl(urls.first());
    if (path.isEmpty() || path.size() >= PATH_MAX) return;
    // The drop ends first, so the source is not held while the settings dialog or an error is up.
    QMetaObject::invokeMethod(
        this, [this, path] { OpenByName(path); }, Qt::QueuedConnection);
}

// ---- Opening ---------------------------------------------------------------------------------

void CTNViewerDlg::OnSliderMoved(int position) {
    frameField_->setText(QString::number(position));
    play_->SeekTo(position);
    UpdateStatusBar();
}

void CTNViewerDlg::OnFrameFieldFocusLost() {
    if (!view_->IsOpen()) return;
    int64_t value = ReadFrameNumber(frameField_->text());
    if (value < 0) value = 0;
    if (value >= frameCount_) value = frameCount_ - 1 < 1 ? 0 : frameCount_ - 1;
    updatingControls_ = true;
    slider_->setValue(rawsettings::FrameSliderPosition(value));
    updatingControls_ = false;
    frameField_->setText(QString::number(value));
    view_->LoadFrame(value);
    UpdateStatusBar();
}

// ---- Keyboard ----------------------------------------------------------------------------------

bool CTNViewerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == frameField_ && event->type() == QEvent::FocusOut) {
        OnFrameFieldFocusLost();
        return QDialog::eventFilter(watched, event);
    }
    const QEvent::Type t = event->type();
    if (t != QEvent::KeyPress && t != QEvent::KeyRelease && t != QEvent::Wheel &&
        t != QEvent::ShortcutOverride)
        return QDialog::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || (w != this && !isAncestorOf(w))) return QDialog::eventFilter(watched, event);
    if (PreTranslateMessage(watched, event)) return true;
    return QDialog::eventFilter(watched, event);
}

bool CTNViewerDlg::PreTranslateMessage(QObject* target, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys of the keyboard table win over any shortcut the widget with the focus may have;
        // Ctrl+0 stays the accelerator's.
        return false;
    }
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Control)
            g_ctrlDown = event->type() == QEvent::KeyPress;
        else if (!(key->modifiers() & Qt::ControlModifier))
            g_ctrlDown = false;  // Ctrl is up: its key-up went to a window that is not ours
        if (event->type() == QEvent::KeyPress) {
            if (frameField_->hasFocus()) return HandleFrameFieldKey(key);
            if (HandleTextFieldKey(key)) return true;
            if (TextFieldHasFocus()) return false;
            if (HandleWindowKey(key)) return true;
        }
        // Every key of a text field is the field's: typing "10" into the rate field edits it
        // and switches no channel.
        if (TextFieldHasFocus()) return false;
    }
    const bool consumed = view_->PreTranslateMessage(target, event);
    // A view key may have changed a switch that the View menu shows (6 leaves the channel view,
    // for one): its check marks follow whatever the view now holds.
    if (consumed && event->type() == QEvent::KeyPress) UpdateCheckMarks();
    return consumed;
}

bool CTNViewerDlg::TextFieldHasFocus() const {
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return field && field != frameField_ && isAncestorOf(field) && !field->isReadOnly();
}

bool CTNViewerDlg::HandleTextFieldKey(QKeyEvent* event) {
    if (!TextFieldHasFocus()) return false;
    auto* field = static_cast<QLineEdit*>(QApplication::focusWidget());
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The field's value is taken as it loses the focus; the picture has the keys again.
        view_->setFocus();
        return true;
    case Qt::Key_Escape:
        // The value in force is shown again, and the picture has the keys again.
        if (field == play_->RateField()) play_->RestoreRateText();
        view_->setFocus();
        return true;
    default: return false;
    }
}

bool CTNViewerDlg::HandleFrameFieldKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        setFocus();  // the field's loss of focus loads the frame
        if (ReadFrameNumber(frameField_->text()) >= frameCount_)
            frameField_->setText(QString::number(frameCount_ - 1));
        return true;
    case Qt::Key_Escape:
        frameField_->setText(QString::number(slider_->value()));
        frameField_->deselect();
        frameField_->setCursorPosition(int(frameField_->text().size()));
        setFocus();
        return true;
    default: return false;
    }
}

namespace {

// A widget that keeps the keys that move a cursor: a text field, a spin box, a text editor, or
// the menu bar while it is worked with the keyboard.
bool TextLikeFocus() {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus->inherits("QLineEdit") || focus->inherits("QAbstractSpinBox") ||
                     focus->inherits("QTextEdit") || focus->inherits("QPlainTextEdit") ||
                     focus->inherits("QMenuBar"));
}

}  // namespace

bool CTNViewerDlg::HandleWindowKey(QKeyEvent* event) {
    const kavlo::KeyRow* row = kavlo::FindKeyRow(KeyTable(), *event);
    if (!row) return false;
    if ((row->flags & kavlo::kKeyNeedsFile) && !view_->IsOpen()) return false;
    if ((row->flags & kavlo::kKeyNotInText) && TextLikeFocus()) return false;
    const int command = row->command;
    for (kavlo::WindowModule* module : modules_) {
        const std::vector<kavlo::KeyRow>& rows = module->KeyRows();
        if (std::any_of(rows.begin(), rows.end(),
                        [command](const kavlo::KeyRow& r) { return r.command == command; }))
            return module->OnKey(command);
    }
    switch (command) {
    case CmdGoToFrameField:
        frameField_->setFocus();
        frameField_->selectAll();
        return true;
    case CmdIgnoreKey: return true;  // Esc never closes the main window
    default: OnCommand(command); return true;
    }
}

// ---- Playback, held by its module -------------------------------------------------------------

CPlayback* CTNViewerDlg::Playback() const { return play_->Player(); }
QLineEdit* CTNViewerDlg::RateField() const { return play_->RateField(); }
QString CTNViewerDlg::StatusTimeText() const { return play_->StatusTimeText(); }
QString CTNViewerDlg::StatusPlayText() const { return play_->StatusPlayText(); }
QString CTNViewerDlg::TimeCode(int64_t frame, double rate) {
    return kavlo::PlayControls::TimeCode(frame, rate);
}
QString CTNViewerDlg::PlayThrough(double fps) { return play_->PlayThrough(fps); }
int64_t CTNViewerDlg::PlayFrames(int64_t first, int64_t end, QString* error) {
    return play_->PlayFrames(first, end, error);
}
