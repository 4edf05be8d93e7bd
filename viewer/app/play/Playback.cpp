#include "app/play/Playback.h"

#include "app/common/Platform.h"
#include "TNDebug.h"
#include "view/VideoBuffer.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>

using kavlo::CachedFrame;
using kavlo::FileChange;

namespace {

// Frames from `from` to `to` in direction `direction`, wrapping round `count` when looping.
int64_t StepsBetween(int64_t from, int64_t to, int direction, bool loop, int64_t count) {
    int64_t d = (to - from) * direction;
    if (loop && count > 0) d = ((d % count) + count) % count;
    return d;
}

}  // namespace

CPlayback::CPlayback(CVideoBuffer* view, QObject* parent) : QObject(parent), view_(view) {
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, &CPlayback::Tick);
    fileTimer_.setInterval(kFileCheckMs);
    connect(&fileTimer_, &QTimer::timeout, this, &CPlayback::CheckFile);
    // A file being written reports every write: one look per fifth of a second is enough.
    // What the worker finished (a file check, a frame waited for) is looked for on this thread:
    // the worker never calls into the toolkit.
    poll_.setInterval(10);
    connect(&poll_, &QTimer::timeout, this, &CPlayback::OnCacheReady);
    checkSoon_.setSingleShot(true);
    checkSoon_.setInterval(200);
    connect(&checkSoon_, &QTimer::timeout, this, &CPlayback::CheckFile);
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        if (!checkSoon_.isActive()) checkSoon_.start();
    });
}

CPlayback::~CPlayback() {
    // No signals from here: the owner is being destroyed.
    if (waiting_ && !paintNow_) QApplication::restoreOverrideCursor();
    cache_.reset();
}

bool CPlayback::SameRecord(const RawSettings& a, const RawSettings& b) {
    // The file's size and trailing bytes change as it grows; everything else says how to read.
    RawSettings x = a, y = b;
    x.fileSize = y.fileSize = 0;
    x.trailingBytes = y.trailingBytes = 0;
    return std::memcmp(&x, &y, sizeof x) == 0;
}

void CPlayback::Sync(bool restart) {
    const bool open = view_->IsOpen();
    const QString name = open ? view_->FileName() : QString();
    if (cache_ && open && !restart && name == cacheFile_ &&
        SameRecord(cacheRecord_, view_->Settings()))
        return;
    // Another file or another record: start afresh.
    playing_ = false;
    tick_.stop();
    SetWaiting(false);
    live_ = grown_ = false;
    pending_ = -1;
    poll_.stop();
    cache_.reset();
    if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
    cacheFile_.clear();
    rateOverride_ = 0.0;
    if (!open) {
        fileTimer_.stop();
        Q_EMIT StateChanged();
        return;
    }
    QString error;
    auto reader = factory_ ? factory_(view_->Settings(), name, error)
                           : kavlo::OpenVideoFileReader(view_->Settings(), name, error);
    if (reader) {
        const uint64_t held = kavlo::ResidentBytes();
        cache_ = std::make_unique<kavlo::FrameCache>(std::move(reader), cacheBytes_);
        if (cache_->CapBytes() > cacheBytes_) LogRaisedCap(held);
        cacheFile_ = name;
        cacheRecord_ = view_->Settings();
        cache_->SetSwitches(view_->Switches());
        cache_->SetPosition(std::max<int64_t>(view_->CurrentPosition(), 0), 0, loop_);
        watcher_->addPath(name);
    } else {
        fileMessage_ = QStringLiteral("playback unavailable: %1").arg(error);
    }
    if (reader) fileMessage_.clear();
    fileTimer_.start();
    Q_EMIT StateChanged();
}

void CPlayback::LogRaisedCap(uint64_t held) const {
    auto mib = [](uint64_t bytes) { return double(bytes) / double(1 << 20); };
    const kavlo::FrameCache& c = *cache_;
    // What a play touches: three rendered frames and the reader's buffer, on top of what the
    // program held before the cache (the libraries, the view's own frame and picture); the
    // renderer's scratch only when fields are rearranged or deinterlaced.
    const uint64_t plain = held + 3 * c.RenderedCost() + (c.FixedCost() - c.ScratchCost());
    TNDebugOutputStr(
        TN_LOG_INFO, 0,
        L"Play cache: %.0f MiB cannot hold one frame's working set; the cap is raised to %.1f MiB "
        L"(three rendered frames of %.1f MiB, the reader's and renderer's buffers %.1f MiB); "
        L"with the %.1f MiB the program holds, a play needs about %.1f MiB (%.1f MiB more when "
        L"fields are rearranged or deinterlaced)",
        mib(cacheBytes_), mib(c.CapBytes()), mib(c.RenderedCost()), mib(c.FixedCost()), mib(held),
        mib(plain), mib(c.ScratchCost()));
}

double CPlayback::RecordRate(bool* given) const {
    const uint32_t duration = view_->IsOpen() ? view_->Settings().frameDuration : 0;
    const uint32_t scale = view_->IsOpen() ? view_->Settings().timeScale : 0;
    const bool have = duration != 0 && scale != 0;
    if (given) *given = have;
    if (!have) return kDefaultRate;
    return std::clamp(double(scale) / double(duration), kMinRate, kMaxRate);
}

double CPlayback::Rate() const { return rateOverride_ > 0.0 ? rateOverride_ : RecordRate(); }

bool CPlayback::SetRate(double fps) {
    if (fps != 0.0 && !(fps >= kMinRate && fps <= kMaxRate)) return false;
    if (playing_) Restart(shown_);
    rateOverride_ = fps;
    if (playing_) StartTicking();
    Q_EMIT StateChanged();
    return true;
}

int64_t CPlayback::Anchor() const { return shown_ >= 0 ? shown_ : start_ - direction_; }

void CPlayback::Restart(int64_t from) {
    start_ = std::max<int64_t>(from, 0);
    clock_.start();
}

void CPlayback::Play(int direction) {
    if (!cache_ || !view_->IsOpen()) return;
    direction_ = direction < 0 ? -1 : 1;
    speed_ = 1;
    const int64_t last = view_->FrameCount() - 1;
    const int64_t current = std::max<int64_t>(view_->CurrentPosition(), 0);
    int64_t from = current;
    // Playing on from the end starts over (backward: from the end).
    if (!loop_ && direction_ > 0 && from >= last && !grown_) from = 0;
    if (!loop_ && direction_ < 0 && from <= 0) from = last;
    shown_ = from == current ? current : -1;
    playing_ = true;
    live_ = false;
    dropped_ = 0;
    achieved_ = 0.0;
    rateFrames_ = 0;
    rateClock_.start();
    Restart(from);
    StartTicking();
    Tick();
    Q_EMIT StateChanged();
}

void CPlayback::StartTicking() {
    // A few ticks per frame: a frame is shown within a quarter of its time of being due.
    const double period = 1000.0 / (Rate() * speed_);
    tick_.start(std::clamp(static_cast<int>(period / 4), 1, 10));
}

void CPlayback::Pause() {
    if (!playing_) return;
    playing_ = false;
    live_ = false;
    tick_.stop();
    SetWaiting(false);
    if (cache_) cache_->SetPosition(std::max<int64_t>(view_->CurrentPosition(), 0), 0, loop_);
    Q_EMIT StateChanged();
}

void CPlayback::TogglePlay() {
    if (playing_) {
        Pause();
    } else {
        Play(direction_);
    }
}

void CPlayback::Shuttle(int direction) {
    const int d = direction < 0 ? -1 : 1;
    if (!playing_ || d != direction_) {
        Play(d);
        return;
    }
    Faster();
}

void CPlayback::Faster() {
    if (speed_ >= kMaxSpeed) return;
    if (playing_) Restart(shown_);
    speed_ *= 2;
    if (playing_) StartTicking();
    Q_EMIT StateChanged();
}

void CPlayback::Slower() {
    if (speed_ <= 1) return;
    if (playing_) Restart(shown_);
    speed_ /= 2;
    if (playing_) StartTicking();
    Q_EMIT StateChanged();
}

void CPlayback::SetLoop(bool on) {
    loop_ = on;
    Q_EMIT StateChanged();
}

void CPlayback::SetWaiting(bool waiting) {
    if (waiting == waiting_) return;
    waiting_ = waiting;
    Q_EMIT StatusChanged();
    // The busy cursor shows only while a frame due is not there; the window keeps working.
    if (!paintNow_) {
        if (waiting) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
}

void CPlayback::Show(const std::shared_ptr<const CachedFrame>& frame) {
    QElapsedTimer showing;
    showing.start();
    view_->ShowCachedFrame(frame, frame->generation == cache_->Generation());
    if (paintNow_) view_->viewport()->repaint();
    showTime_.Add(showing.nsecsElapsed());
    const int64_t count = view_->FrameCount();
    if (playing_) {
        const int64_t steps = StepsBetween(Anchor(), frame->index, direction_, loop_, count);
        if (steps > 1) dropped_ += steps - 1;
    }
    shown_ = frame->index;
    ++shownCount_;
    ++rateFrames_;
    const qint64 ms = rateClock_.elapsed();
    if (ms >= 500) {
        achieved_ = double(rateFrames_) * 1000.0 / double(ms);
        rateFrames_ = 0;
        rateClock_.start();
    }
    Q_EMIT FrameShown();
}

void CPlayback::Tick() {
    if (!playing_ || !cache_ || !view_->IsOpen()) return;
    cache_->SetSwitches(view_->Switches());
    const int64_t count = view_->FrameCount();
    if (count <= 0) return;
    const int64_t last = count - 1;
    const double elapsed = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
    const int64_t steps = static_cast<int64_t>(std::floor(elapsed * Rate() * speed_));
    int64_t due = start_ + direction_ * steps;
    bool atEnd = false;
    if (loop_) {
        due = ((due % count) + count) % count;
    } else if (due > last || due < 0) {
        due = due > last ? last : 0;
        atEnd = true;
    }
    if (paintNow_ && direction_ > 0 && due > shown_) {
        // A play-through shows what the file holds or says why not: a frame due (or passed
        // over) that could not be read ends it.
        const int64_t failed = cache_->FirstReadFailure(shown_ + 1, due);
        if (failed >= 0 && !cache_->Find(failed)) {
            StopPlayThrough(ReadFailureText(failed));
            return;
        }
    }
    cache_->SetPosition(due, direction_, loop_);
    if (due != shown_) {
        // The frame due, or else the latest frame read between the one shown and it: a reader
        // slower than the rate still shows what it can, and the frames it skips are dropped.
        const int64_t span =
            std::min<int64_t>(StepsBetween(Anchor(), due, direction_, loop_, count), 256);
        std::shared_ptr<const CachedFrame> frame;
        for (int64_t back = 0; back < span && !frame; ++back) {
            int64_t f = due - direction_ * back;
            if (loop_) f = ((f % count) + count) % count;
            frame = cache_->Find(f);
        }
        SetWaiting(!frame || frame->index != due);
        if (frame) Show(frame);
    } else {
        SetWaiting(false);
    }
    if (atEnd && shown_ == due) {
        // A growing file is waited for at its end ("live"); any other file stops there.
        if (direction_ > 0 && grown_ && !paintNow_) {
            if (!live_) {
                live_ = true;
                Q_EMIT StateChanged();
            }
            return;
        }
        playing_ = false;
        tick_.stop();
        SetWaiting(false);
        cache_->SetPosition(due, 0, loop_);
        Q_EMIT StateChanged();
    }
}

bool CPlayback::ShowFromCache(int64_t frame) {
    if (!cache_ || !view_->IsOpen()) return false;
    // Another frame asked for replaces the one waited for.
    if (frame != pending_ && pending_ >= 0) {
        pending_ = -1;
        SetWaiting(false);
    }
    cache_->SetSwitches(view_->Switches());
    auto held = cache_->Find(frame);
    if (!held) {
        cache_->SetPosition(frame, 0, loop_);
        return false;
    }
    view_->ShowCachedFrame(held, held->generation == cache_->Generation());
    shown_ = frame;
    cache_->SetPosition(frame, playing_ ? direction_ : 0, loop_);
    return true;
}

bool CPlayback::ReaderStalled() const { return cache_ && cache_->ReadStalled(kStallMs); }

void CPlayback::WaitForFrame(int64_t frame) {
    if (!cache_) return;
    pending_ = frame;
    cache_->SetPosition(frame, 0, loop_);
    SetWaiting(true);
    poll_.start();
}

void CPlayback::SeekWhilePlaying(int64_t frame) {
    if (!playing_) return;
    shown_ = -1;
    Restart(frame);
    Tick();
}

void CPlayback::OnCacheReady() {
    if (!cache_) {
        poll_.stop();
        return;
    }
    const FileChange change = cache_->TakeFileChange();
    if (change != FileChange::None) HandleFileChange(change);
    // A file with no frame left has no cache any more.
    if (!cache_) {
        poll_.stop();
        pending_ = -1;
        return;
    }
    if (pending_ >= 0 && !playing_ && ShowFromCache(pending_)) {
        pending_ = -1;
        SetWaiting(false);
        Q_EMIT FrameShown();
    }
    // Polled only while something is awaited.
    if (pending_ < 0 && !cache_->FileCheckPending()) poll_.stop();
}

void CPlayback::CheckFile() {
    if (cache_) {
        cache_->CheckFile();
        poll_.start();
    }
    // A file replaced by renaming another over it is a new node: watch the name again.
    if (!cacheFile_.isEmpty() && !watcher_->files().contains(cacheFile_))
        watcher_->addPath(cacheFile_);
}

void CPlayback::HandleFileChange(FileChange change) {
    const QString name = QFileInfo(cacheFile_).fileName();
    const int64_t before = view_->FrameCount();
    QString error;
    const bool reopened = change != FileChange::Gone && view_->ReloadFile(error);
    const int64_t after = reopened ? view_->FrameCount() : 0;
    switch (change) {
    case FileChange::Grown:
        grown_ = true;
        fileMessage_ = QStringLiteral("%1 grew to %2 frames").arg(name).arg(after);
        break;
    case FileChange::Shrunk:
        fileMessage_ =
            QStringLiteral("%1 shrank from %2 to %3 frames").arg(name).arg(before).arg(after);
        break;
    case FileChange::Replaced:
        fileMessage_ = QStringLiteral("%1 was replaced: %2 frames").arg(name).arg(after);
        break;
    default: break;
    }
    // A play-through was asked to show the file as it was: one that lost frames or was replaced
    // can no longer be shown to its end.
    const bool stop = paintNow_ && playing_ && change != FileChange::Grown;
    if (!reopened) {
        // Nothing of the file can be shown any more: the view closed it.
        fileMessage_ =
            QStringLiteral("%1 has no whole frame any more%2")
                .arg(name, error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(error));
        if (stop) playError_ = fileMessage_;
        if (view_->IsOpen()) view_->CloseFile();
        const QString message = fileMessage_;
        Sync();
        fileMessage_ = message;
        Q_EMIT FileChanged();
        return;
    }
    if (change == FileChange::Replaced || change == FileChange::Shrunk) shown_ = -1;
    if (stop) {
        StopPlayThrough(fileMessage_);
    } else if (playing_) {
        // Playing on after a change: from the frame shown, clamped into the file as it is now.
        const int64_t at = std::max<int64_t>(view_->CurrentPosition(), 0);
        if (live_ && change == FileChange::Grown) {
            live_ = false;
            shown_ = at;
            Restart(at);
        } else if (change != FileChange::Grown) {
            shown_ = at;
            Restart(at);
        }
    } else if (cache_) {
        cache_->SetPosition(std::max<int64_t>(view_->CurrentPosition(), 0), 0, loop_);
    }
    // (Q_EMIT expands to nothing, which reads as a statement indented past the if above.)
    Q_EMIT FileChanged();  // NOLINT(readability-misleading-indentation)
}

QString CPlayback::StatusText() const {
    if (!view_->IsOpen()) return QString();
    QString text;
    const QString rate = QString::number(Rate() * speed_, 'g', 4);
    if (playing_) {
        text = QStringLiteral("%1 %2 fps (%3 achieved), %4 dropped")
                   .arg(direction_ < 0 ? QStringLiteral("Playing backward")
                                       : QStringLiteral("Playing"),
                        rate, QString::number(achieved_, 'f', 1))
                   .arg(dropped_);
        if (live_)
            text += QStringLiteral(", live: waiting for the next frame");
        else if (waiting_)
            text += QStringLiteral(", reading...");
    } else {
        text = QStringLiteral("Paused, %1 fps").arg(rate);
        if (pending_ >= 0) text += QStringLiteral(", reading frame %1...").arg(pending_);
    }
    if (loop_) text += QStringLiteral(", loop");
    if (!fileMessage_.isEmpty()) text += QStringLiteral(" - ") + fileMessage_;
    return text;
}

void CPlayback::StopPlayThrough(const QString& reason) {
    if (playError_.isEmpty()) playError_ = reason;
    if (!playing_) return;
    playing_ = false;
    tick_.stop();
    SetWaiting(false);
    Q_EMIT StateChanged();
}

QString CPlayback::ReadFailureText(int64_t frame) {
    QString text = QStringLiteral("frame %1 could not be read").arg(frame);
    // Loaded here (a headless run only) for the reason the file gives, such as a broken frame
    // header.
    if (view_->IsOpen() && !view_->LoadFrame(frame) && !view_->LoadErrorText().isEmpty())
        text += QStringLiteral(" (%1)").arg(view_->LoadErrorText());
    return text;
}

int64_t CPlayback::PlayThroughAt(double fps) {
    playError_.clear();
    if (!cache_ || !view_->IsOpen()) return 0;
    paintNow_ = true;
    const bool loop = loop_;
    loop_ = false;
    rateOverride_ = fps;
    view_->LoadFrame(0);
    // The clock starts once the first frames are read and rendered (at most 5 s): the time a
    // reader needs to start is no time the frames are late by.
    cache_->SetSwitches(view_->Switches());
    cache_->SetPosition(0, 1, false);
    // A cap at its floor renders fewer frames ahead than kRenderAhead: wait for what fits.
    const int64_t fits = static_cast<int64_t>((cache_->CapBytes() - cache_->FixedCost()) /
                                              std::max<uint64_t>(cache_->RenderedCost(), 1));
    const int64_t warm =
        std::max<int64_t>(
            std::min<int64_t>({kavlo::FrameCache::kRenderAhead, fits, view_->FrameCount()}), 1) -
        1;
    QElapsedTimer warming;
    warming.start();
    for (;;) {
        const auto frame = cache_->Find(warm);
        if ((frame && frame->bitmap) || warming.elapsed() > 5000) break;
        if (cache_->FirstReadFailure(0, warm) >= 0) break;  // the play stops there anyway
        QThread::msleep(1);
    }
    shown_ = -1;
    shownCount_ = 0;
    direction_ = 1;
    speed_ = 1;
    playing_ = true;
    dropped_ = 0;
    rateClock_.start();
    Restart(0);
    StartTicking();
    Tick();
    QEventLoop loopUntilEnd;
    QMetaObject::Connection end = connect(this, &CPlayback::StateChanged, &loopUntilEnd, [&] {
        if (!playing_) loopUntilEnd.quit();
    });
    if (playing_) loopUntilEnd.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(end);
    paintNow_ = false;
    loop_ = loop;
    rateOverride_ = 0.0;
    return shownCount_;
}

std::shared_ptr<const CachedFrame> CPlayback::AwaitFrame(int64_t frame) {
    // A slice of waiting short enough that the window's events keep flowing in between.
    constexpr int kSliceMs = 20;
    std::shared_ptr<const CachedFrame> got = cache_->WaitForPicture(frame, kSliceMs);
    while (!got) {
        if (cache_->ReadFailed(frame)) break;
        SetWaiting(true);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        // A file check may have closed the file, shrunk it, or started a cache afresh.
        if (!cache_ || !view_->IsOpen() || frame >= view_->FrameCount()) break;
        cache_->SetPosition(frame, 1, false);
        got = cache_->WaitForPicture(frame, kSliceMs);
    }
    SetWaiting(false);
    return got;
}

int64_t CPlayback::PlayThroughAll() {
    playError_.clear();
    if (!cache_ || !view_->IsOpen()) return -1;
    paintNow_ = true;
    const bool loop = loop_;
    loop_ = false;
    shown_ = -1;
    shownCount_ = 0;
    direction_ = 1;
    speed_ = 1;
    playing_ = true;
    dropped_ = 0;
    achieved_ = 0.0;
    rateFrames_ = 0;
    rateClock_.start();
    Restart(0);
    Q_EMIT StateChanged();
    // The frames are shown as fast as they come: reading far ahead would only add fresh memory.
    cache_->SetReadAheadBytes(0);
    int64_t shown = 0;
    for (int64_t f = 0; cache_ && view_->IsOpen() && f < view_->FrameCount(); ++f) {
        // The file checks run between frames too, not only while a frame is awaited.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!playError_.isEmpty() || !cache_ || !view_->IsOpen() || f >= view_->FrameCount()) break;
        cache_->SetSwitches(view_->Switches());
        cache_->SetPosition(f, 1, false);
        const std::shared_ptr<const CachedFrame> frame = AwaitFrame(f);
        if (!playError_.isEmpty()) break;
        if (frame) {
            Show(frame);
        } else if (cache_ && view_->IsOpen() && f < view_->FrameCount()) {
            // Read by the view as a step reads it: what the file gives, or why it cannot.
            if (!view_->LoadFrame(f) && view_->CurrentPosition() != f) {
                StopPlayThrough(ReadFailureText(f));
                break;
            }
            view_->viewport()->repaint();
            shown_ = f;
        } else {
            break;
        }
        ++shown;
    }
    playing_ = false;
    paintNow_ = false;
    loop_ = loop;
    if (cache_ && view_->IsOpen()) {
        cache_->SetReadAheadBytes(kavlo::FrameCache::kReadAheadBytes);
        cache_->SetPosition(std::max<int64_t>(view_->CurrentPosition(), 0), 0, loop_);
    }
    Q_EMIT StateChanged();
    return shown;
}
