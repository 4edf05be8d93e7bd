// Playback of the file the view shows: play and pause, forward and backward at the record's
// frame rate (or one set by hand) times a shuttle speed, looping, frames taken from the
// read-ahead cache by a steady clock (late frames are dropped and counted, never queued), and
// the file followed while it grows, shrinks or is replaced.
//
// Lives on the user-interface thread; nothing here waits for a read. The cache's worker never
// calls back: a timer looks at the cache while a frame or a file check is awaited.
#pragma once

#include "view/picture/FrameCache.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class CVideoBuffer;
class QFileSystemWatcher;

class CPlayback : public QObject {
    Q_OBJECT
public:
    // The rate when the record has none (a frame duration or time scale of 0).
    static constexpr double kDefaultRate = 25.0;
    static constexpr double kMinRate = 0.1;
    static constexpr double kMaxRate = 1000.0;
    static constexpr int kMaxSpeed = 16;  // the shuttle's fastest multiple
    // How often the file is looked at while it is open, in milliseconds.
    static constexpr int kFileCheckMs = 1000;
    // A read that takes longer than this means a stalled file system.
    static constexpr int kStallMs = 150;

    explicit CPlayback(CVideoBuffer* view, QObject* parent = nullptr);
    ~CPlayback() override;

    // The bytes the read-ahead cache may hold (from the next file on).
    void SetCacheBytes(uint64_t bytes) { cacheBytes_ = bytes; }
    uint64_t CacheBytes() const { return cacheBytes_; }
    // Follows the view: a newly opened file gets a cache of its own, a closed one loses it.
    // How the cache's reader is opened (the viewer's VideoFile reader unless set otherwise; a
    // test puts a reader that stalls here).
    using ReaderFactory = std::function<std::unique_ptr<kavlo::FrameReader>(
        const RawSettings& settings, const QString& fileName, QString& errorText)>;
    void SetReaderFactory(ReaderFactory factory) { factory_ = std::move(factory); }
    // `restart`: a new cache for the same file as well (File > Reload).
    void Sync(bool restart = false);
    kavlo::FrameCache* Cache() const { return cache_.get(); }

    void Play(int direction);  // at speed 1
    void Pause();
    void TogglePlay();
    // J (-1) and L (+1): plays that way; pressed again while it does, twice as fast.
    void Shuttle(int direction);
    void SetLoop(bool on);
    void ToggleLoop() { SetLoop(!loop_); }
    // Rate presets: the next faster or slower shuttle speed, forward or backward as playing.
    void Faster();
    void Slower();
    // Frames per second before the shuttle speed: the record's, or the one set by hand (0 goes
    // back to the record's). False for a rate outside kMinRate .. kMaxRate.
    bool SetRate(double fps);
    double Rate() const;
    // The record's rate, and whether it had one (else kDefaultRate).
    double RecordRate(bool* given = nullptr) const;

    // Shows frame `frame` from the cache when it is there (no read); false when it is not.
    bool ShowFromCache(int64_t frame);
    // The reader has been stuck in one read for a while: nothing may read the file on this
    // thread now.
    bool ReaderStalled() const;
    // Shows frame `frame` as soon as the cache has it (busy state until then); for a file
    // system that stalls, instead of reading on this thread.
    void WaitForFrame(int64_t frame);
    // Moves the play position; while playing, playback goes on from there once it is read.
    void SeekWhilePlaying(int64_t frame);

    bool Playing() const { return playing_; }
    int Direction() const { return direction_; }
    int Speed() const { return speed_; }
    bool Loop() const { return loop_; }
    bool Waiting() const { return waiting_; }  // the frame due is not read yet
    bool Live() const { return live_; }        // at the end of a growing file, waiting for more
    int64_t Dropped() const { return dropped_; }
    // Time spent showing frames taken from the cache (handing the frame to the view, and the
    // paint of a headless run).
    const kavlo::StageTime& ShowTime() const { return showTime_; }
    double AchievedRate() const { return achieved_; }
    // What the last look at the file found, for the status bar; empty when nothing happened.
    const QString& FileMessage() const { return fileMessage_; }
    // The status text of playback: "Playing 25 fps (24.9 achieved), 0 dropped", "Paused", ...
    QString StatusText() const;

    // Plays every frame from the first to the last at `fps` as the clock says, painting each
    // frame shown at once, then stops; returns the frames shown (dropped ones in Dropped()).
    int64_t PlayThroughAt(double fps);
    // Shows every frame from the first to the last once, in order, as fast as the cache reads
    // and renders them, painting each at once: this thread only shows and paints while the
    // cache's threads read and render the next frames. Waiting for a frame shows the busy state
    // of playback and keeps the window's events going (input excluded), however long a read
    // hangs. A frame the cache cannot read is loaded by the view as a step would. Returns the
    // frames shown; -1 when there is no cache (the caller loads the frames itself).
    int64_t PlayThroughAll();
    // Why the last play-through ended before its last frame: a frame that could not be read, or
    // the file shrank, was replaced or lost its frames meanwhile (a play-through stops at once
    // then). Empty when it showed the file to its end.
    const QString& PlayThroughError() const { return playError_; }

Q_SIGNALS:
    // A frame was shown, or playback state changed: slider, field, status bar and menus follow.
    void FrameShown();
    void StateChanged();
    // The status text changed without a frame shown (waiting for a read, or not any more).
    void StatusChanged();
    // The file grew, shrank, was replaced or lost its frames; the view has been re-opened (or
    // closed when nothing is left) and FileMessage() says what happened.
    void FileChanged();

private:
    void Tick();
    void OnCacheReady();
    void CheckFile();
    void Restart(int64_t from);  // the clock starts again at frame `from`
    void StartTicking();
    // The frame counted from for drops: the one shown, else the one before the clock's start.
    int64_t Anchor() const;
    void Show(const std::shared_ptr<const kavlo::CachedFrame>& frame);
    // For PlayThroughAll: frame `frame` from the cache, waiting for it; null when the cache
    // could not read it or the file was closed or shrank meanwhile.
    std::shared_ptr<const kavlo::CachedFrame> AwaitFrame(int64_t frame);
    void SetWaiting(bool waiting);
    // Says in the log that the cache's cap was raised to its floor, and what a play then
    // needs in all; `held`: the bytes the program held before the cache.
    void LogRaisedCap(uint64_t held) const;
    // Ends a play-through early for `reason` (the first reason given is kept).
    void StopPlayThrough(const QString& reason);
    // The reason frame `frame` could not be shown: what loading it in the view says.
    QString ReadFailureText(int64_t frame);
    void HandleFileChange(kavlo::FileChange change);
    static bool SameRecord(const RawSettings& a, const RawSettings& b);

    CVideoBuffer* view_;
    std::unique_ptr<kavlo::FrameCache> cache_;
    ReaderFactory factory_;
    QString cacheFile_;
    RawSettings cacheRecord_{};  // the record the cache's reader opened the file with
    uint64_t cacheBytes_ = kavlo::FrameCache::DefaultCapBytes();
    QTimer tick_;
    QTimer fileTimer_;
    QTimer checkSoon_;
    QTimer poll_;
    QFileSystemWatcher* watcher_ = nullptr;
    QElapsedTimer clock_;
    QElapsedTimer rateClock_;
    int64_t rateFrames_ = 0;
    double rateOverride_ = 0.0;
    bool playing_ = false;
    int direction_ = 1;
    int speed_ = 1;
    bool loop_ = false;
    bool waiting_ = false;
    bool live_ = false;
    bool grown_ = false;     // the file grew while open: playing into its end waits for more
    bool paintNow_ = false;  // paint each frame as it is shown (the headless run)
    int64_t shownCount_ = 0;
    int64_t start_ = 0;  // the frame the clock counts from
    int64_t shown_ = -1;
    int64_t pending_ = -1;  // the frame WaitForFrame waits for
    int64_t dropped_ = 0;
    double achieved_ = 0.0;
    QString fileMessage_;
    QString playError_;
    kavlo::StageTime showTime_;
};
