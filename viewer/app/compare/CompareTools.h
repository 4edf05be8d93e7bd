// The main window's comparison with a reference file: File > Open Reference and Close
// Reference, the Compare menu (A, B, side by side, differences and their amplification, B's
// frame offset, the frame's figures, a rectangle's figures), its keys, and the figures of the
// frame shown (and of the rectangle) in the status bar, computed on a worker thread so that
// playback does not wait for them. A module of the main window: it reaches the window through
// its host interface.
#pragma once

#include "analysis/CompareFigures.h"
#include "app/common/WindowHost.h"
#include "app/common/WindowModule.h"
#include "app/common/WindowJob.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class CVideoBuffer;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;

namespace kavlo {

class CompareTools : public QObject, public WindowModule {
    Q_OBJECT
public:
    explicit CompareTools(WindowHost& host);
    ~CompareTools() override;

    // The module's rows of the key table: Ctrl+Shift+O, Ctrl+Shift+W, A, B, Y, Shift+Y, G,
    // Ctrl+Shift+C and Ctrl+Shift+P.
    static const std::vector<KeyRow>& Keys();
    // Open and Close Reference into the File menu after Close; the Compare menu at the end of
    // the menu bar (the window adds Help after it); the status field before the probe's.
    void AddMenuItems() override;
    // Runs a compare command; false for any other identifier.
    bool OnCommand(int id) override;
    // A compare key without a reference says how to open one.
    bool OnKey(int command) override;
    void UpdateMenuState() override;
    const std::vector<KeyRow>& KeyRows() const override { return Keys(); }
    void RefreshStatus() override { Refresh(); }
    // The status field: what is shown and the figures of the frame shown; starts their
    // computation when the frame or what it depends on changed.
    void Refresh();

    // Opens `name` as the reference through the stored settings, a YUV4MPEG2 header or the
    // settings dialog, as the file itself opens; a failure is reported in a message box and
    // leaves everything as it was. True when the reference is open.
    bool OpenReference(const QString& name);
    void CloseReference();
    // The figures of the frame shown, computed now (the worker's when they are of this frame).
    CompareFigures CurrentFigures();
    // Whether the worker computes figures whose result has not arrived yet.
    bool FiguresBusy() const { return figuresJob_.Busy(); }
    // The status field's text.
    QString StatusText() const;
    // The figures as copied by Frame Figures: the files, then FiguresReport.
    QString FiguresClipboardText();

private:
    struct Key {
        int64_t frame = -1;
        int64_t referenceFrame = -1;
        const void* a = nullptr;
        const void* b = nullptr;
        const void* pictureA = nullptr;
        const void* pictureB = nullptr;
        uint64_t generation = 0;
        bool operator==(const Key& o) const;
    };
    Key CurrentKey() const;
    void Start(std::shared_ptr<CompareInput> input);
    void Finished(const CompareFigures& figures);
    void OpenReferenceCommand();
    void ShowFigures();
    void ShowAllFrames();
    void GoToChosenFrame(qint64 frame);
    void SetMode(CompareMode mode);
    // B's frame offset, clamped to the longer file's frame count either way; AskOffset asks for
    // it in a dialog.
    void SetOffset(int64_t offset);
    int64_t OffsetLimit() const;
    void AskOffset();

    WindowHost& host_;
    QWidget* window_;
    CVideoBuffer* view_;
    QMenu* menu_ = nullptr;
    QLabel* status_ = nullptr;
    QActionGroup* modes_ = nullptr;
    QActionGroup* gains_ = nullptr;
    std::shared_ptr<CompareInput> pending_;
    std::optional<Key> requested_;
    CompareFigures figures_;
    // The open reference's file name, for the word that it was closed.
    QString referenceName_;
    // Raised with every open of a reference: the same frame numbers are other frames then.
    uint64_t generation_ = 0;
    // The figures' worker. Last: destroyed, and joined, before the rest.
    WindowJob figuresJob_;
};

}  // namespace kavlo
