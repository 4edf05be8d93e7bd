// The main window's comparison with a reference file: File > Open Reference and Close
// Reference, the Compare menu (A, B, side by side, differences and their amplification, B's
// frame offset, the frame's figures, a rectangle's figures), its keys, and the figures of the
// frame shown (and of the rectangle) in the status bar, computed on a worker thread so that
// playback does not wait for them.
#pragma once

#include "analysis/CompareFigures.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

class CTNViewerDlg;
class CVideoBuffer;
class QAction;
class QActionGroup;
class QKeyEvent;
class QLabel;
class QMenu;

namespace kavlo {

class CompareTools : public QObject {
    Q_OBJECT
public:
    CompareTools(CTNViewerDlg* window, CVideoBuffer* view);
    ~CompareTools() override;

    // Open and Close Reference into the File menu after Close; the Compare menu at the end of
    // the menu bar (the window adds Help after it); the status field before the probe's.
    void AddMenuItems(QMenu* fileMenu);
    // Runs a compare command; false for any other identifier.
    bool OnCommand(int id);
    // A, B, Y, Shift+Y and G; true when the key was one of them.
    bool HandleKey(QKeyEvent* event);
    void UpdateMenuState();
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

    CTNViewerDlg* window_;
    CVideoBuffer* view_;
    QMenu* menu_ = nullptr;
    QLabel* status_ = nullptr;
    QActionGroup* modes_ = nullptr;
    QActionGroup* gains_ = nullptr;
    QThreadPool pool_;
    bool busy_ = false;
    std::shared_ptr<CompareInput> pending_;
    std::optional<Key> requested_;
    CompareFigures figures_;
    // The open reference's file name, for the word that it was closed.
    QString referenceName_;
    // Raised with every open of a reference: the same frame numbers are other frames then.
    uint64_t generation_ = 0;
};

}  // namespace kavlo
