// The playback module of the main window: the Play menu, its tool bar left of the slider and its
// keys, the rate field beside the slider, the playback fields of the status bar, File > Reload,
// View > Fit to Window and the play-through of the command line. It holds the window's CPlayback
// and reaches the window through its host interface.
#pragma once

#include "app/common/WindowHost.h"
#include "app/common/WindowModule.h"

#include <QObject>
#include <QString>

#include <cstdint>

class CPlayback;
class CVideoBuffer;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;

namespace kavlo {

class PlayControls : public QObject, public WindowModule {
    Q_OBJECT
public:
    explicit PlayControls(WindowHost& host);

    // The module's rows of the key table: the frame keys (arrows, PgUp/PgDn, Home/End) and the
    // play keys (P, L, J, K, O, W, F5).
    static const std::vector<KeyRow>& Keys();

    // The Play menu before the menu bar's third menu, File > Reload before Properties, the tool
    // bar and the rate field around the slider, the time and playback fields of the status bar.
    void AddMenuItems() override;
    bool OnCommand(int id) override;
    // A play key runs its command while a file is open and is consumed either way.
    bool OnKey(int command) override;
    void UpdateMenuState() override;
    const std::vector<KeyRow>& KeyRows() const override { return Keys(); }
    void MoveControls(int dx, int dy) override;
    void RefreshStatus() override;

    CPlayback* Player() const { return playback_; }
    QLineEdit* RateField() const { return rateField_; }
    // The texts of the time code and playback fields of the status bar.
    QString StatusTimeText() const;
    QString StatusPlayText() const;
    // hh:mm:ss.mmm of frame `frame` at `rate` frames per second; empty without a rate.
    static QString TimeCode(int64_t frame, double rate);
    // The rate field shows the rate in force again (Esc in it).
    void RestoreRateText();

    // Playback follows what the view holds now (another file, other frames).
    void Sync();
    // Stops playback and shows `frame`: from the read-ahead cache, loaded here, or, while the
    // file system stalls, as soon as it is read.
    void ShowFrame(int64_t frame);
    // The slider moved to `frame`: playback goes on from there, or the frame is shown.
    void SeekTo(int64_t frame);

    // Shows every frame once, as fast as it can (fps 0), or at `fps` through the read-ahead
    // cache dropping frames when behind; logs the rate and closes the window. Returns why it
    // ended before the last frame; empty when it showed them all.
    QString PlayThrough(double fps);
    // Loads and paints frames first .. end - 1 one after another; returns how many it showed. A
    // frame that does not load ends it, with the reason in `error` when given.
    int64_t PlayFrames(int64_t first, int64_t end, QString* error = nullptr);

private:
    void OnRateEdited();
    void ReloadFile();

    WindowHost& host_;
    CVideoBuffer* view_;
    CPlayback* playback_ = nullptr;
    QMenu* playMenu_ = nullptr;
    QToolBar* playBar_ = nullptr;
    QAction* loopTool_ = nullptr;
    QAction* playTool_ = nullptr;  // shows pause while playing
    QLineEdit* rateField_ = nullptr;
    QLabel* statusTime_ = nullptr;
    QLabel* statusPlay_ = nullptr;
};

}  // namespace kavlo
