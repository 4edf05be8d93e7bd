#include "app/play/PlayControls.h"

#include "app/common/Commands.h"
#include "app/common/Platform.h"
#include "app/play/Playback.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QCoreApplication>
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

namespace kavlo {
namespace {

struct PlayRow {
    int id;
    const char* text;
    bool checkable;
};

// The Play menu in order (0: a separator); the key table adds the keys to the labels.
constexpr PlayRow kPlayCommands[] = {
    {CmdPlayPause, "&Play/Pause", false},
    {CmdPlayForward, "Play &Forward (again: faster)", false},
    {CmdPlayBackward, "Play &Backward (again: faster)", false},
    {CmdPause, "Pa&use", false},
    {0, nullptr, false},
    {CmdStepForward, "&Step Forward", false},
    {CmdStepBack, "Step Bac&k", false},
    {CmdFirstFrame, "F&irst Frame", false},
    {CmdLastFrame, "&Last Frame", false},
    {0, nullptr, false},
    {CmdLoop, "L&oop", true},
    {CmdFaster, "Fas&ter (twice the rate)", false},
    {CmdSlower, "Slo&wer (half the rate)", false},
    {CmdNormalSpeed, "&Normal Speed", false},
};

// A frame key moves the cursor of a text field that has the focus, and works the menu bar while
// that has it; without a file it goes on to the view.
constexpr unsigned kFrameKey = kKeyInMenu | kKeyNotInText | kKeyNeedsFile;
// A play key with a text field (or the menu bar) focused is the field's.
constexpr unsigned kPlayKey = kKeyInMenu | kKeyNotInText;

}  // namespace

const std::vector<KeyRow>& PlayControls::Keys() {
    // The directions are the frame slider's: PgUp goes ten frames on, as on the slider.
    static const std::vector<KeyRow> rows = {
        {Qt::Key_Left, CmdStepBack, kFrameKey, "previous, next frame"},
        {Qt::Key_Right, CmdStepForward, kFrameKey, nullptr},
        {Qt::Key_PageUp, CmdTenFramesOn, kKeyNotInText | kKeyNeedsFile, "ten frames on, back"},
        {Qt::Key_PageDown, CmdTenFramesBack, kKeyNotInText | kKeyNeedsFile, nullptr},
        {Qt::Key_Home, CmdFirstFrame, kFrameKey, "first, last frame"},
        {Qt::Key_End, CmdLastFrame, kFrameKey, nullptr},
        {Qt::Key_P, CmdPlayPause, kPlayKey, "play, pause"},
        {Qt::Key_L, CmdPlayForward, kPlayKey, "play forward, backward (again: twice as fast)"},
        {Qt::Key_J, CmdPlayBackward, kPlayKey, nullptr},
        {Qt::Key_K, CmdPause, kPlayKey, "pause"},
        {Qt::Key_O, CmdLoop, kPlayKey, "loop on or off"},
        {Qt::Key_W, CmdFitToWindow, kPlayKey, "fit to window on or off"},
        {Qt::Key_F5, CmdReload, kPlayKey, "reload the file (it is also followed while it grows)"},
    };
    return rows;
}

PlayControls::PlayControls(WindowHost& host)
    : QObject(host.HostWidget()), host_(host), view_(host.View()) {}

QString PlayControls::TimeCode(int64_t frame, double rate) {
    if (!(rate > 0.0) || frame < 0) return QString();
    const auto ms = static_cast<int64_t>(std::llround(static_cast<double>(frame) * 1000.0 / rate));
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

void PlayControls::AddMenuItems() {
    playback_ = new CPlayback(view_, this);
    connect(playback_, &CPlayback::FrameShown, this, [this] {
        host_.UpdateFrameControls();
        host_.UpdateStatusBar();
    });
    connect(playback_, &CPlayback::StatusChanged, this, [this] { host_.UpdateStatusBar(); });
    connect(playback_, &CPlayback::StateChanged, this, [this] {
        UpdateMenuState();
        host_.UpdateStatusBar();
    });
    connect(playback_, &CPlayback::FileChanged, this, [this] { host_.UpdateWindowState(); });

    // File > Reload, before Properties.
    QMenu* fileMenu = host_.FileMenu();
    QAction* properties = host_.Action(CmdProperties);
    auto* reload = new QAction(MenuText("&Reload", CmdReload, Keys()), fileMenu);
    reload->setData(int(CmdReload));
    fileMenu->insertAction(properties, reload);

    QMenuBar* menuBar = host_.MenuBar();
    playMenu_ = new QMenu(QStringLiteral("&Play"), menuBar);
    menuBar->insertMenu(menuBar->actions().value(2), playMenu_);
    for (const PlayRow& row : kPlayCommands) {
        if (!row.id) {
            playMenu_->addSeparator();
            continue;
        }
        QAction* a = playMenu_->addAction(MenuText(row.text, row.id, Keys()));
        a->setData(row.id);
        a->setCheckable(row.checkable);
    }

    // The tool bar left of the slider, and the rate field between slider and frame field.
    QWidget* client = host_.ClientArea();
    QWidget* window = host_.HostWidget();
    playBar_ = new QToolBar(client);
    playBar_->setObjectName(QStringLiteral("PlayBar"));
    playBar_->setIconSize(QSize(16, 16));
    auto tool = [this, window](QStyle::StandardPixmap icon, const QString& tip, int id) {
        QAction* a = playBar_->addAction(window->style()->standardIcon(icon), tip);
        connect(a, &QAction::triggered, this, [this, id] { host_.OnCommand(id); });
        return a;
    };
    // The buttons' tips name the keys of their commands.
    auto tip = [](const char* text, int id) {
        return QStringLiteral("%1 (%2)").arg(QLatin1String(text), KeyNameOf(id, Keys()));
    };
    tool(QStyle::SP_MediaSkipBackward, tip("First frame", CmdFirstFrame), CmdFirstFrame);
    tool(QStyle::SP_MediaSeekBackward, tip("Step back", CmdStepBack), CmdStepBack);
    playTool_ = tool(QStyle::SP_MediaPlay, tip("Play", CmdPlayPause), CmdPlayPause);
    tool(QStyle::SP_MediaSeekForward, tip("Step forward", CmdStepForward), CmdStepForward);
    tool(QStyle::SP_MediaSkipForward, tip("Last frame", CmdLastFrame), CmdLastFrame);
    loopTool_ = tool(QStyle::SP_BrowserReload, tip("Loop", CmdLoop), CmdLoop);
    loopTool_->setCheckable(true);
    QSlider* slider = host_.FrameSlider();
    const QRect sliderRect = slider->geometry();
    const int barWidth = playBar_->sizeHint().width();
    playBar_->setGeometry(sliderRect.left(), sliderRect.top() - 4, barWidth,
                          sliderRect.height() + 8);
    rateField_ = new QLineEdit(client);
    rateField_->setObjectName(QStringLiteral("RateField"));
    rateField_->setToolTip(QStringLiteral("Frames per second (empty: the file's rate)"));
    rateField_->setAlignment(Qt::AlignCenter);
    auto* validator = new QDoubleValidator(0.0, CPlayback::kMaxRate, 3, rateField_);
    validator->setLocale(QLocale::c());
    rateField_->setValidator(validator);
    const int rateWidth = 48;
    const QRect fieldRect = host_.FrameField()->geometry();
    rateField_->setGeometry(fieldRect.left() - rateWidth - 6, fieldRect.top(), rateWidth,
                            fieldRect.height());
    slider->setGeometry(sliderRect.adjusted(barWidth + 4, 0, -(rateWidth + 6), 0));
    connect(rateField_, &QLineEdit::editingFinished, this, &PlayControls::OnRateEdited);
    rateField_->setEnabled(false);

    QStatusBar* statusBar = host_.StatusBar();
    statusTime_ = new QLabel(statusBar);
    statusTime_->setObjectName(QStringLiteral("StatusTime"));
    statusTime_->setToolTip(QStringLiteral("Time code hh:mm:ss.mmm at the playback rate"));
    statusPlay_ = new QLabel(statusBar);
    statusPlay_->setObjectName(QStringLiteral("StatusPlay"));
    statusBar->addPermanentWidget(statusTime_);
    statusBar->addPermanentWidget(statusPlay_);
}

void PlayControls::MoveControls(int dx, int dy) {
    rateField_->setGeometry(rateField_->geometry().translated(dx, dy));
    playBar_->setGeometry(playBar_->geometry().translated(0, dy));
}

void PlayControls::RestoreRateText() {
    rateField_->setText(QString::number(playback_->Rate(), 'g', 6));
}

void PlayControls::Sync() { playback_->Sync(); }

void PlayControls::OnRateEdited() {
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
    host_.UpdateStatusBar();
}

void PlayControls::UpdateMenuState() {
    if (!playMenu_) return;
    const bool open = view_->IsOpen();
    for (QAction* a : playMenu_->actions()) a->setEnabled(open);
    host_.Action(CmdReload)->setEnabled(open);
    host_.Action(CmdLoop)->setChecked(playback_->Loop());
    loopTool_->setChecked(playback_->Loop());
    // The button shows what a press does: pause while playing, play otherwise.
    const bool playing = playback_->Playing();
    playTool_->setIcon(host_.HostWidget()->style()->standardIcon(playing ? QStyle::SP_MediaPause
                                                                         : QStyle::SP_MediaPlay));
    playTool_->setText(
        QStringLiteral("%1 (%2)").arg(playing ? QStringLiteral("Pause") : QStringLiteral("Play"),
                                      KeyNameOf(CmdPlayPause, Keys())));
    host_.Action(CmdFitToWindow)->setChecked(view_->FitToWindow());
    for (QAction* a : playBar_->actions()) a->setEnabled(open);
    rateField_->setEnabled(open);
    if (open && !rateField_->hasFocus())
        rateField_->setText(QString::number(playback_->Rate(), 'g', 6));
}

QString PlayControls::StatusTimeText() const {
    return statusTime_ ? statusTime_->text() : QString();
}
QString PlayControls::StatusPlayText() const {
    return statusPlay_ ? statusPlay_->text() : QString();
}

void PlayControls::RefreshStatus() {
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

void PlayControls::ReloadFile() {
    if (!view_->IsOpen()) return;
    const QString name = view_->FileName();
    QString error;
    const bool playing = playback_->Playing();
    playback_->Pause();
    if (!view_->ReloadFile(error)) {
        playback_->Sync(true);
        host_.UpdateWindowState();
        statusPlay_->setText(QStringLiteral("%1 could not be read again: %2")
                                 .arg(QFileInfo(name).fileName(),
                                      error.isEmpty() ? QStringLiteral("no whole frame") : error));
        return;
    }
    playback_->Sync(true);
    host_.UpdateWindowState();
    if (playing) playback_->Play(playback_->Direction());
}

bool PlayControls::OnCommand(int id) {
    switch (id) {
    case CmdReload: ReloadFile(); return true;
    case CmdFitToWindow:
        view_->SetFitToWindow(!view_->FitToWindow());
        host_.UpdateWindowState();
        return true;
    case CmdPlayPause: playback_->TogglePlay(); return true;
    case CmdPlayForward: playback_->Shuttle(1); return true;
    case CmdPlayBackward: playback_->Shuttle(-1); return true;
    case CmdPause: playback_->Pause(); return true;
    case CmdStepForward:
    case CmdStepBack: {
        const int64_t position = std::max<int64_t>(view_->CurrentPosition(), 0);
        host_.GoToFrame(position + (id == CmdStepForward ? 1 : -1));
        return true;
    }
    case CmdTenFramesOn:
    case CmdTenFramesBack: {
        const int64_t position = std::max<int64_t>(view_->CurrentPosition(), 0);
        host_.GoToFrame(position + (id == CmdTenFramesOn ? 10 : -10));
        return true;
    }
    case CmdFirstFrame: host_.GoToFrame(0); return true;
    case CmdLastFrame: host_.GoToFrame(view_->FrameCount() - 1); return true;
    case CmdLoop: playback_->ToggleLoop(); return true;
    case CmdFaster: playback_->Faster(); return true;
    case CmdSlower: playback_->Slower(); return true;
    case CmdNormalSpeed:
        while (playback_->Speed() > 1) playback_->Slower();
        return true;
    default: return false;
    }
}

bool PlayControls::OnKey(int command) {
    if (view_->IsOpen()) host_.OnCommand(command);
    return true;
}

void PlayControls::ShowFrame(int64_t frame) {
    // Stepping stops playback; the frame comes from memory when the cache has it. A file
    // system that stalls is not read on this thread: the frame comes when it is read.
    if (playback_->Playing()) playback_->Pause();
    if (playback_->ShowFromCache(frame)) return;
    if (playback_->ReaderStalled()) {
        playback_->WaitForFrame(frame);
    } else {
        view_->LoadFrame(frame);
    }
}

void PlayControls::SeekTo(int64_t frame) {
    if (playback_->Playing()) {
        playback_->SeekWhilePlaying(frame);
    } else if (!playback_->ShowFromCache(frame)) {
        if (playback_->ReaderStalled()) {
            playback_->WaitForFrame(frame);
        } else {
            view_->LoadFrame(frame);
        }
    }
}

// ---- Play-through ------------------------------------------------------------------------------

QString PlayControls::PlayThrough(double fps) {
    QWidget* window = host_.HostWidget();
    // The window system exposes a newly shown window asynchronously; until it has, a repaint
    // draws nothing. Wait for that (bounded, input stays blocked) so that every frame is shown.
    QElapsedTimer exposure;
    exposure.start();
    while (window->windowHandle() && !window->windowHandle()->isExposed() &&
           exposure.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QElapsedTimer timer;
    timer.start();
    // At a rate: through the read-ahead cache by the clock, dropping late frames.
    // Unthrottled: every frame once, read and rendered ahead by the cache's threads while this
    // one paints (loaded here frame by frame when the file has no cache).
    const int64_t total = view_->FrameCount();
    int64_t shown = fps > 0 ? playback_->PlayThroughAt(fps) : playback_->PlayThroughAll();
    QString failure = playback_->PlayThroughError();
    if (shown < 0) shown = PlayFrames(0, total, &failure);
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
    window->close();
    return failure;
}

int64_t PlayControls::PlayFrames(int64_t first, int64_t end, QString* error) {
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

}  // namespace kavlo
