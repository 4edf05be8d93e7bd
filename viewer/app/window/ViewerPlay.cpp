// The main window's playback: the Play menu, its tool bar and keys, the rate field beside the
// slider, the playback fields of the status bar, File > Reload and View > Fit to Window.
#include "app/window/ViewerDlg.h"

#include "app/common/Platform.h"
#include "app/play/Playback.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QDoubleValidator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

struct PlayRow {
    int id;
    const char* text;
    bool checkable;
};

// The Play menu in order (0: a separator). Keys are those of HandlePlayKey and the frame keys.
constexpr PlayRow kPlayCommands[] = {
    {CmdPlayPause, "&Play/Pause\tP", false},
    {CmdPlayForward, "Play &Forward (again: faster)\tL", false},
    {CmdPlayBackward, "Play &Backward (again: faster)\tJ", false},
    {CmdPause, "Pa&use\tK", false},
    {0, nullptr, false},
    {CmdStepForward, "&Step Forward\tRight", false},
    {CmdStepBack, "Step Bac&k\tLeft", false},
    {CmdFirstFrame, "F&irst Frame\tHome", false},
    {CmdLastFrame, "&Last Frame\tEnd", false},
    {0, nullptr, false},
    {CmdLoop, "L&oop\tO", true},
    {CmdFaster, "Fas&ter (twice the rate)", false},
    {CmdSlower, "Slo&wer (half the rate)", false},
    {CmdNormalSpeed, "&Normal Speed", false},
};

bool TextHasFocus() {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus->inherits("QLineEdit") || focus->inherits("QAbstractSpinBox") ||
                     focus->inherits("QTextEdit") || focus->inherits("QPlainTextEdit") ||
                     focus->inherits("QMenuBar"));
}

}  // namespace

QString CTNViewerDlg::TimeCode(int64_t frame, double rate) {
    if (!(rate > 0.0) || frame < 0) return QString();
    const auto ms = static_cast<int64_t>(std::llround(static_cast<double>(frame) * 1000.0 / rate));
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void CTNViewerDlg::BuildPlayControls() {
    playback_ = new CPlayback(view_, this);
    connect(playback_, &CPlayback::FrameShown, this, [this] {
        UpdateFrameControls();
        UpdateStatusBar();
    });
    connect(playback_, &CPlayback::StatusChanged, this, [this] { UpdateStatusBar(); });
    connect(playback_, &CPlayback::StateChanged, this, [this] {
        UpdatePlayMenu();
        UpdateStatusBar();
    });
    connect(playback_, &CPlayback::FileChanged, this, [this] { UpdateWindowState(); });

    // File > Reload, before Properties.
    QAction* properties = Action(CmdProperties);
    auto* reload = new QAction(QStringLiteral("&Reload\tF5"), fileMenu_);
    reload->setData(int(CmdReload));
    fileMenu_->insertAction(properties, reload);

    playMenu_ = new QMenu(QStringLiteral("&Play"), menuBar_);
    menuBar_->insertMenu(menuBar_->actions().value(2), playMenu_);
    for (const PlayRow& row : kPlayCommands) {
        if (!row.id) {
            playMenu_->addSeparator();
            continue;
        }
        QAction* a = playMenu_->addAction(QString::fromUtf8(row.text));
        a->setData(row.id);
        a->setCheckable(row.checkable);
    }

    // The tool bar left of the slider, and the rate field between slider and frame field.
    playBar_ = new QToolBar(client_);
    playBar_->setObjectName(QStringLiteral("PlayBar"));
    playBar_->setIconSize(QSize(16, 16));
    auto tool = [this](QStyle::StandardPixmap icon, const QString& tip, int id) {
        QAction* a = playBar_->addAction(style()->standardIcon(icon), tip);
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return a;
    };
    tool(QStyle::SP_MediaSkipBackward, QStringLiteral("First frame (Home)"), CmdFirstFrame);
    tool(QStyle::SP_MediaSeekBackward, QStringLiteral("Step back (Left)"), CmdStepBack);
    playTool_ = tool(QStyle::SP_MediaPlay, QStringLiteral("Play (P)"), CmdPlayPause);
    tool(QStyle::SP_MediaSeekForward, QStringLiteral("Step forward (Right)"), CmdStepForward);
    tool(QStyle::SP_MediaSkipForward, QStringLiteral("Last frame (End)"), CmdLastFrame);
    loopTool_ = tool(QStyle::SP_BrowserReload, QStringLiteral("Loop (O)"), CmdLoop);
    loopTool_->setCheckable(true);
    const QRect sliderRect = slider_->geometry();
    const int barWidth = playBar_->sizeHint().width();
    playBar_->setGeometry(sliderRect.left(), sliderRect.top() - 4, barWidth,
                          sliderRect.height() + 8);
    rateField_ = new QLineEdit(client_);
    rateField_->setObjectName(QStringLiteral("RateField"));
    rateField_->setToolTip(QStringLiteral("Frames per second (empty: the file's rate)"));
    rateField_->setAlignment(Qt::AlignCenter);
    auto* validator = new QDoubleValidator(0.0, CPlayback::kMaxRate, 3, rateField_);
    validator->setLocale(QLocale::c());
    rateField_->setValidator(validator);
    const int rateWidth = 48;
    const QRect fieldRect = frameField_->geometry();
    rateField_->setGeometry(fieldRect.left() - rateWidth - 6, fieldRect.top(), rateWidth,
                            fieldRect.height());
    slider_->setGeometry(sliderRect.adjusted(barWidth + 4, 0, -(rateWidth + 6), 0));
    connect(rateField_, &QLineEdit::editingFinished, this, &CTNViewerDlg::OnRateEdited);
    rateField_->setEnabled(false);

    statusTime_ = new QLabel(statusBar_);
    statusTime_->setObjectName(QStringLiteral("StatusTime"));
    statusTime_->setToolTip(QStringLiteral("Time code hh:mm:ss.mmm at the playback rate"));
    statusPlay_ = new QLabel(statusBar_);
    statusPlay_->setObjectName(QStringLiteral("StatusPlay"));
    statusBar_->addPermanentWidget(statusTime_);
    statusBar_->addPermanentWidget(statusPlay_);
}

void CTNViewerDlg::OnRateEdited() {
    const QString text = rateField_->text().trimmed();
    bool ok = text.isEmpty();
    const double fps = ok ? 0.0 : QLocale::c().toDouble(text, &ok);
    if (!ok || !playback_->SetRate(fps)) {
        statusPlay_->setText(QStringLiteral("rate %1 is not between %2 and %3 frames per second")
                                 .arg(text)
                                 .arg(CPlayback::kMinRate)
                                 .arg(CPlayback::kMaxRate));
        rateField_->setText(QString::number(playback_->Rate(), 'g', 6));
        return;
    }
    rateField_->setText(QString::number(playback_->Rate(), 'g', 6));
    UpdateStatusBar();
}

void CTNViewerDlg::UpdatePlayMenu() {
    if (!playMenu_) return;
    const bool open = view_->IsOpen();
    for (QAction* a : playMenu_->actions()) a->setEnabled(open);
    Action(CmdReload)->setEnabled(open);
    Action(CmdLoop)->setChecked(playback_->Loop());
    loopTool_->setChecked(playback_->Loop());
    // The button shows what a press does: pause while playing, play otherwise.
    const bool playing = playback_->Playing();
    playTool_->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    playTool_->setText(playing ? QStringLiteral("Pause (P)") : QStringLiteral("Play (P)"));
    Action(CmdFitToWindow)->setChecked(view_->FitToWindow());
    for (QAction* a : playBar_->actions()) a->setEnabled(open);
    rateField_->setEnabled(open);
    if (open && !rateField_->hasFocus())
        rateField_->setText(QString::number(playback_->Rate(), 'g', 6));
}

QString CTNViewerDlg::StatusTimeText() const {
    return statusTime_ ? statusTime_->text() : QString();
}
QString CTNViewerDlg::StatusPlayText() const {
    return statusPlay_ ? statusPlay_->text() : QString();
}

void CTNViewerDlg::UpdatePlayStatus() {
    if (!statusTime_) return;
    if (!view_->IsOpen()) {
        statusTime_->clear();
        statusPlay_->setText(playback_->FileMessage());
        return;
    }
    statusTime_->setText(
        TimeCode(std::max<int64_t>(view_->CurrentPosition(), 0), playback_->Rate()));
    statusPlay_->setText(playback_->StatusText());
}

void CTNViewerDlg::ReloadFile() {
    if (!view_->IsOpen()) return;
    const QString name = view_->FileName();
    QString error;
    const bool playing = playback_->Playing();
    playback_->Pause();
    if (!view_->ReloadFile(error)) {
        playback_->Sync(true);
        UpdateWindowState();
        statusPlay_->setText(QStringLiteral("%1 could not be read again: %2")
                                 .arg(QFileInfo(name).fileName(),
                                      error.isEmpty() ? QStringLiteral("no whole frame") : error));
        return;
    }
    playback_->Sync(true);
    UpdateWindowState();
    if (playing) playback_->Play(playback_->Direction());
}

bool CTNViewerDlg::OnPlayCommand(int id) {
    switch (id) {
    case CmdReload: ReloadFile(); return true;
    case CmdFitToWindow:
        view_->SetFitToWindow(!view_->FitToWindow());
        UpdateWindowState();
        return true;
    case CmdPlayPause: playback_->TogglePlay(); return true;
    case CmdPlayForward: playback_->Shuttle(1); return true;
    case CmdPlayBackward: playback_->Shuttle(-1); return true;
    case CmdPause: playback_->Pause(); return true;
    case CmdStepForward:
    case CmdStepBack: {
        const int64_t position = std::max<int64_t>(view_->CurrentPosition(), 0);
        GoToFrame(position + (id == CmdStepForward ? 1 : -1));
        return true;
    }
    case CmdFirstFrame: GoToFrame(0); return true;
    case CmdLastFrame: GoToFrame(view_->FrameCount() - 1); return true;
    case CmdLoop: playback_->ToggleLoop(); return true;
    case CmdFaster: playback_->Faster(); return true;
    case CmdSlower: playback_->Slower(); return true;
    case CmdNormalSpeed:
        while (playback_->Speed() > 1) playback_->Slower();
        return true;
    default: return false;
    }
}

bool CTNViewerDlg::HandlePlayKey(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) return false;
    if (TextHasFocus()) return false;
    int id = 0;
    switch (event->key()) {
    case Qt::Key_P: id = CmdPlayPause; break;
    case Qt::Key_J: id = CmdPlayBackward; break;
    case Qt::Key_K: id = CmdPause; break;
    case Qt::Key_L: id = CmdPlayForward; break;
    case Qt::Key_O: id = CmdLoop; break;
    case Qt::Key_W: id = CmdFitToWindow; break;
    case Qt::Key_F5: id = CmdReload; break;
    default: return false;
    }
    if (view_->IsOpen()) OnCommand(id);
    return true;
}

bool CTNViewerDlg::ShowFrameFromCache(int64_t frame) {
    // Stepping stops playback; the frame comes from memory when the cache has it.
    if (playback_->Playing()) playback_->Pause();
    return playback_->ShowFromCache(frame);
}

// ---- Play-through ------------------------------------------------------------------------------

QString CTNViewerDlg::PlayThrough(double fps) {
    // The window system exposes a newly shown window asynchronously; until it has, a repaint
    // draws nothing. Wait for that (bounded, input stays blocked) so that every frame is shown.
    QElapsedTimer exposure;
    exposure.start();
    while (windowHandle() && !windowHandle()->isExposed() && exposure.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QElapsedTimer timer;
    timer.start();
    // At a rate: through the read-ahead cache by the clock, dropping late frames.
    // Unthrottled: every frame once, read and rendered ahead by the cache's threads while this
    // one paints (loaded here frame by frame when the file has no cache).
    const int64_t total = frameCount_;
    int64_t shown = fps > 0 ? playback_->PlayThroughAt(fps) : playback_->PlayThroughAll();
    QString failure = playback_->PlayThroughError();
    if (shown < 0) shown = PlayFrames(0, frameCount_, &failure);
    const int64_t dropped = fps > 0 ? playback_->Dropped() : 0;
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (failure.isEmpty()) {
        TNDebugOutputStr(TN_LOG_INFO, 0,
                         L"PlayThrough: %lld frames in %.3f s (%.1f frames per second), %lld "
                         L"dropped",
                         static_cast<long long>(shown), seconds,
                         seconds > 0 ? static_cast<double>(shown) / seconds : 0.0,
                         static_cast<long long>(dropped));
    } else {
        failure =
            QStringLiteral("play-through stopped after %1 of %2 frames%3: %4")
                .arg(shown)
                .arg(total)
                .arg(fps > 0 ? QStringLiteral(" (%1 dropped)").arg(dropped) : QString(), failure);
        const std::wstring line = kavlo::TerminalSafe(failure).toStdWString();
        TNDebugOutputStr(TN_LOG_ERROR, 0, L"PlayThrough: %ls", line.c_str());
    }
    // KAVLO_PLAY_STAGES=1: where the time of a play-through went, stage by stage.
    if (qEnvironmentVariableIsSet("KAVLO_PLAY_STAGES")) {
        auto stage = [](const kavlo::StageTime& t) {
            const long long n = t.count.load();
            return QStringLiteral("%1 x %2 ms (longest %3 ms)")
                .arg(n)
                .arg(n ? double(t.totalNs.load()) / double(n) / 1e6 : 0.0, 0, 'f', 2)
                .arg(double(t.maxNs.load()) / 1e6, 0, 'f', 2);
        };
        const kavlo::FrameCache* cache = playback_->Cache();
        const QString text =
            QStringLiteral("PlayStages: read %1; render %2; show and paint %3")
                .arg(cache ? stage(cache->ReadTime()) : QString(),
                     cache ? stage(cache->RenderTime()) : QString(), stage(playback_->ShowTime()));
        const std::wstring line = text.toStdWString();
        TNDebugOutputStr(TN_LOG_INFO, 0, L"%ls", line.c_str());
    }
    close();
    return failure;
}

int64_t CTNViewerDlg::PlayFrames(int64_t first, int64_t end, QString* error) {
    int64_t shown = 0;
    for (int64_t frame = first; frame < end && view_->IsOpen(); ++frame) {
        // A frame already shown loads as nothing new; any other that does not load ends it.
        if (!view_->LoadFrame(frame) && view_->CurrentPosition() != frame) {
            if (error) {
                *error = QStringLiteral("frame %1 could not be read").arg(frame);
                if (!view_->LoadErrorText().isEmpty())
                    *error += QStringLiteral(" (%1)").arg(view_->LoadErrorText());
            }
            break;
        }
        view_->viewport()->repaint();
        ++shown;
    }
    return shown;
}
