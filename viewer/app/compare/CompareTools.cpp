#include "app/compare/CompareTools.h"

#include "app/common/AppInfo.h"
#include "app/common/Commands.h"
#include "app/open/FileCheck.h"
#include "app/open/OpenFileDialog.h"
#include "app/compare/PsnrSequenceWindow.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RecentFileList.h"
#include "view/file/StoredSettings.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace kavlo {
namespace {

constexpr int kGainCount = static_cast<int>(std::size(kDifferenceGains));
static_assert(CmdGainFirst + kGainCount - 1 == CmdGainLast, "one command per amplification");

struct ModeRow {
    Cmd id;
    CompareMode mode;
    const char* text;
};
// The Compare menu's radio items in order.
constexpr ModeRow kModeRows[] = {
    {CmdShowA, CompareMode::A, "Show &A (the File)"},
    {CmdShowB, CompareMode::B, "Show &B (the Reference)"},
    {CmdSideBySide, CompareMode::SideBySide, "&Side by Side (A | B)"},
    {CmdDifference, CompareMode::Difference, "&Difference |A\u2212B|"},
    {CmdSignedDifference, CompareMode::SignedDifference, "Si&gned Difference 128+k(A\u2212B)"},
};

}  // namespace

const std::vector<KeyRow>& CompareTools::Keys() {
    static const std::vector<KeyRow> rows = {
        {Qt::CTRL | Qt::SHIFT | Qt::Key_O, CmdOpenReference, kKeyActionShortcut,
         "open a reference file (B) to compare the file (A) with"},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_W, CmdCloseReference, kKeyActionShortcut,
         "close the reference"},
        {Qt::Key_A, CmdToggleAB, kKeyInMenu, "show A or B, the other at once (Compare menu)"},
        {Qt::Key_B, CmdSideBySide, kKeyInMenu, "A and B side by side"},
        {Qt::Key_Y, CmdDifference, kKeyInMenu, "difference |A-B| per channel, amplified"},
        {Qt::SHIFT | Qt::Key_Y, CmdSignedDifference, kKeyInMenu, "signed difference 128+k(A-B)"},
        {Qt::Key_G, CmdNextGain, kKeyInMenu, "next difference amplification (x1 .. x64)"},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_C, CmdFrameFigures, kKeyActionShortcut,
         "the frame's PSNR, MSE and largest difference, copied"},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_P, CmdPsnrAllFrames, kKeyActionShortcut,
         "PSNR of all frames: plot, summary, CSV (click a frame to show it)"},
        // Escape never closes the window; with a compare rectangle drawn it clears it.
        {Qt::Key_Escape, CmdClearRegion, kKeyAnyModifier | kKeyInMenu,
         "clear the compare rectangle (Shift+drag draws one); the window stays open"},
    };
    return rows;
}

bool CompareTools::Key::operator==(const Key& o) const {
    return frame == o.frame && referenceFrame == o.referenceFrame && generation == o.generation;
}

CompareTools::CompareTools(WindowHost& host)
    : QObject(host.HostWidget()), host_(host), window_(host.HostWidget()), view_(host.View()) {
    // Every rendering (a new frame, other switches) may change what the figures compare.
    connect(view_, &CVideoBuffer::FrameRendered, this, [this] { ++generation_; });
    // So does the rectangle, drawn or cleared.
    connect(view_, &CVideoBuffer::CompareRegionChanged, this, [this] {
        ++generation_;
        host_.UpdateMenuState();
        host_.UpdateStatusBar();
    });
}

// The figures' job, the last member, waits for its worker.
CompareTools::~CompareTools() = default;

void CompareTools::AddMenuItems() {
    // The key table gives the labels their keys and the actions their shortcuts.
    auto make = [](QMenu* menu, int id, const QString& text, bool checkable) {
        auto* a = new QAction(text, menu);
        a->setData(id);
        a->setCheckable(checkable);
        return a;
    };
    auto label = [](const char* text, int id) { return MenuText(text, id, Keys()); };
    QMenu* fileMenu = host_.FileMenu();
    // File: after Close.
    auto* open =
        make(fileMenu, CmdOpenReference, label("Open &Reference...", CmdOpenReference), false);
    auto* close =
        make(fileMenu, CmdCloseReference, label("Close Re&ference", CmdCloseReference), false);
    QAction* before = nullptr;
    for (QAction* a : fileMenu->actions()) {
        if (a->isSeparator()) {
            before = a;
            break;
        }
    }
    fileMenu->insertActions(before, {open, close});

    QMenuBar* bar = host_.MenuBar();
    menu_ = bar->addMenu(QStringLiteral("Co&mpare"));
    modes_ = new QActionGroup(menu_);
    for (const ModeRow& row : kModeRows) {
        QAction* a = make(menu_, row.id, label(row.text, row.id), true);
        modes_->addAction(a);
        menu_->addAction(a);
    }
    menu_->addAction(make(menu_, CmdToggleAB, label("&Toggle A / B", CmdToggleAB), false));
    menu_->addSeparator();
    // B's frame = A's frame + offset: a decoder's delay.
    menu_->addAction(
        make(menu_, CmdReferenceOffset, QStringLiteral("Reference &Offset..."), false));
    menu_->addAction(make(menu_, CmdOffsetLater, QStringLiteral("B One Frame &Later"), false));
    menu_->addAction(make(menu_, CmdOffsetEarlier, QStringLiteral("B One Frame &Earlier"), false));
    menu_->addSeparator();
    QMenu* gains = menu_->addMenu(QStringLiteral("Difference &Amplification"));
    gains_ = new QActionGroup(gains);
    for (int i = 0; i < kGainCount; ++i) {
        QAction* a = make(gains, CmdGainFirst + i,
                          QStringLiteral("\u00D7%1").arg(kDifferenceGains[i]), true);
        gains_->addAction(a);
        gains->addAction(a);
    }
    gains->addSeparator();
    gains->addAction(make(gains, CmdNextGain, label("&Next", CmdNextGain), false));
    menu_->addSeparator();
    auto* figures =
        make(menu_, CmdFrameFigures, label("&Frame Figures...", CmdFrameFigures), false);
    menu_->addAction(figures);
    // The figures of all frames of the two files, in a window of their own.
    auto* all =
        make(menu_, CmdPsnrAllFrames, label("PSNR of &All Frames...", CmdPsnrAllFrames), false);
    menu_->addAction(all);
    // A rectangle's figures beside the frame's: the next left drag draws it (Shift+drag always
    // does); Escape clears it, while there is one to clear (the action is disabled otherwise, and
    // Escape does what it did).
    menu_->addAction(
        make(menu_, CmdRegionFigures, QStringLiteral("Figures of a &Rectangle"), false));
    menu_->addAction(
        make(menu_, CmdClearRegion, label("Clear the Re&ctangle", CmdClearRegion), false));
    window_->addActions({open, close, figures, all});

    status_ = new QLabel(host_.StatusBar());
    status_->setObjectName(QStringLiteral("StatusCompare"));
    status_->hide();
    // Before the probe's field, which takes the remaining width.
    host_.StatusBar()->insertWidget(3, status_);
}

void CompareTools::SetMode(CompareMode mode) {
    if (!view_->HasReference()) return;
    view_->SetCompareMode(mode);
}

bool CompareTools::OnCommand(int id) {
    const CompareMode mode = view_->Reference().Mode();
    if (id >= CmdGainFirst && id <= CmdGainLast) {
        if (view_->HasReference()) view_->SetDifferenceGain(kDifferenceGains[id - CmdGainFirst]);
    } else {
        switch (id) {
        case CmdOpenReference: OpenReferenceCommand(); return true;
        case CmdCloseReference: CloseReference(); return true;
        case CmdFrameFigures: ShowFigures(); return true;
        case CmdPsnrAllFrames: ShowAllFrames(); return true;
        case CmdReferenceOffset: AskOffset(); return true;
        case CmdOffsetLater:
        case CmdOffsetEarlier:
            SetOffset(view_->Reference().Offset() + (id == CmdOffsetLater ? 1 : -1));
            return true;
        case CmdRegionFigures:
            if (view_->HasReference()) {
                view_->ArmCompareRegion();
                host_.StatusBar()->showMessage(
                    QStringLiteral("Drag a rectangle on the picture for its figures (Shift+drag "
                                   "draws one at any time; Escape clears it)"),
                    5000);
            }
            break;
        case CmdClearRegion: view_->ClearCompareRegion(); break;
        case CmdToggleAB: SetMode(mode == CompareMode::A ? CompareMode::B : CompareMode::A); break;
        case CmdNextGain: {
            const int* gain = std::find(std::begin(kDifferenceGains), std::end(kDifferenceGains),
                                        view_->Reference().Gain());
            const int* next =
                gain == std::end(kDifferenceGains) || gain + 1 == std::end(kDifferenceGains)
                    ? std::begin(kDifferenceGains)
                    : gain + 1;
            if (view_->HasReference()) view_->SetDifferenceGain(*next);
            break;
        }
        default: {
            const auto* row = std::find_if(std::begin(kModeRows), std::end(kModeRows),
                                           [id](const ModeRow& r) { return r.id == id; });
            if (row == std::end(kModeRows)) return false;
            SetMode(row->mode);
            break;
        }
        }
    }
    host_.UpdateMenuState();
    host_.UpdateStatusBar();
    return true;
}

bool CompareTools::OnKey(int command) {
    if (!view_->HasReference()) {
        host_.StatusBar()->showMessage(
            QStringLiteral("No reference to compare with: File > Open Reference (Ctrl+Shift+O)"),
            5000);
        return true;
    }
    return OnCommand(command);
}

void CompareTools::UpdateMenuState() {
    if (!menu_) return;
    const bool reference = view_->HasReference();
    const CompareMode mode = view_->Reference().Mode();
    host_.Action(CmdOpenReference)->setEnabled(view_->IsOpen());
    host_.Action(CmdCloseReference)->setEnabled(reference);
    for (QAction* a : menu_->actions()) a->setEnabled(reference);
    for (QAction* a : gains_->actions()) a->setEnabled(reference);
    host_.Action(CmdNextGain)->setEnabled(reference);
    // Escape is the rectangle's only while there is one (or a drag is armed).
    host_.Action(CmdClearRegion)
        ->setEnabled(reference &&
                     (!view_->CompareRegionRect().isEmpty() || view_->CompareRegionArmed()));
    for (const ModeRow& row : kModeRows)
        host_.Action(row.id)->setChecked(reference && row.mode == mode);
    for (int i = 0; i < kGainCount; ++i)
        host_.Action(CmdGainFirst + i)
            ->setChecked(kDifferenceGains[i] == view_->Reference().Gain());
}

CompareTools::Key CompareTools::CurrentKey() const {
    Key key;
    key.frame = view_->CurrentPosition();
    key.referenceFrame = view_->Reference().FrameAsked();
    key.generation = generation_;
    return key;
}

void CompareTools::ShowAllFrames() {
    if (!view_->IsOpen() || !view_->HasReference()) return;
    const VideoFile& b = view_->Reference().File();
    PsnrSequenceWindow* w =
        ShowPsnrSequence(window_, view_->FileName(), view_->Settings(), b.FileName(), b.Settings(),
                         view_->Reference().Offset());
    if (!w) return;
    w->SetCurrentFrame(view_->CurrentPosition());
    // A frame chosen on the plot is shown here (one connection, however often it is raised).
    connect(w, &PsnrSequenceWindow::frameChosen, this, &CompareTools::GoToChosenFrame,
            Qt::UniqueConnection);
}

void CompareTools::GoToChosenFrame(qint64 frame) { host_.GoToFrame(frame); }

void CompareTools::SetOffset(int64_t offset) {
    if (!view_->HasReference()) return;
    const int64_t limit = OffsetLimit();
    view_->SetReferenceOffset(std::clamp<int64_t>(offset, -limit, limit));
    host_.UpdateMenuState();
    host_.UpdateStatusBar();
}

int64_t CompareTools::OffsetLimit() const {
    // Beyond the longer file no frame of A has one in B.
    return std::min<int64_t>(std::max(view_->FrameCount(), view_->Reference().File().FrameCount()),
                             1 << 30);
}

void CompareTools::AskOffset() {
    if (!view_->HasReference()) return;
    const int limit = static_cast<int>(OffsetLimit());
    bool ok = false;
    const int offset = QInputDialog::getInt(
        window_, QStringLiteral("Reference Offset"),
        QStringLiteral("B's frame = A's frame + offset (a delay of B: positive when B starts "
                       "later):"),
        static_cast<int>(view_->Reference().Offset()), -limit, limit, 1, &ok);
    if (ok) SetOffset(offset);
}

void CompareTools::Refresh() {
    if (!status_) return;
    if (PsnrSequenceWindow* w = PsnrSequenceOf(window_); w && view_->IsOpen())
        w->SetCurrentFrame(view_->CurrentPosition());
    if (!view_->IsOpen() || !view_->HasReference()) {
        // A file of another frame size opened in the meantime: the view let the reference go.
        if (view_->IsOpen() && !referenceName_.isEmpty()) {
            host_.StatusBar()->showMessage(
                QStringLiteral("Reference %1 closed: its frames are not the size of the file shown")
                    .arg(referenceName_),
                10000);
        }
        referenceName_.clear();
        requested_.reset();
        status_->clear();
        status_->hide();
        return;
    }
    const Key key = CurrentKey();
    if (!requested_ || !(*requested_ == key)) {
        requested_ = key;
        const ReferenceFile& reference = view_->Reference();
        const std::optional<CompareRegion> region = view_->CompareRegionOfFrame();
        auto input = std::make_shared<CompareInput>(CaptureCompareInput(
            key.frame, view_->CurrentFrame(), reference.Frame(), view_->PictureA(),
            reference.Picture(), region ? &*region : nullptr));
        // Only the latest frame waits: playback skips the figures of the frames in between.
        if (figuresJob_.Busy()) {
            pending_ = std::move(input);
        } else {
            Start(std::move(input));
        }
    }
    status_->setText(StatusText());
    status_->show();
}

void CompareTools::Start(std::shared_ptr<CompareInput> input) {
    // The worker reads its own copy of the two frames; the figures come back on the window's
    // thread.
    figuresJob_.Run([input](JobContext&) { return ComputeCompareFigures(*input); },
                    [this](CompareFigures figures) { Finished(figures); });
}

void CompareTools::Finished(const CompareFigures& figures) {
    figures_ = figures;
    if (pending_) Start(std::move(pending_));
    if (status_ && view_->HasReference()) status_->setText(StatusText());
}

QString CompareTools::StatusText() const {
    const ReferenceFile& reference = view_->Reference();
    if (!reference.IsOpen()) return QString();
    QString text = CompareModeText(reference.Mode(), reference.Gain());
    if (reference.Offset() != 0) {
        text += QStringLiteral("  B = A %1 %2")
                    .arg(reference.Offset() > 0 ? QStringLiteral("+") : QStringLiteral("\u2212"))
                    .arg(std::abs(reference.Offset()));
    }
    if (!reference.HasFrame())
        return text + QStringLiteral("  no frame %1 in the reference").arg(reference.FrameAsked());
    if (figures_.valid)
        text += QStringLiteral("  frame %1: %2").arg(figures_.frame).arg(FiguresLine(figures_));
    return text;
}

CompareFigures CompareTools::CurrentFigures() {
    const ReferenceFile& reference = view_->Reference();
    if (!figuresJob_.Busy() && !pending_ && requested_ && *requested_ == CurrentKey() &&
        figures_.frame == requested_->frame)
        return figures_;
    const std::optional<CompareRegion> region = view_->CompareRegionOfFrame();
    return ComputeCompareFigures(
        CaptureCompareInput(view_->CurrentPosition(), view_->CurrentFrame(), reference.Frame(),
                            view_->PictureA(), reference.Picture(), region ? &*region : nullptr));
}

QString CompareTools::FiguresClipboardText() {
    if (!view_->HasReference()) return QString();
    const int64_t offset = view_->Reference().Offset();
    const QString shift =
        offset == 0 ? QString()
                    : QStringLiteral(" (B's frame = A's frame %1 %2)")
                          .arg(offset > 0 ? QStringLiteral("+") : QStringLiteral("\u2212"))
                          .arg(std::abs(offset));
    return QStringLiteral("A: %1\nB: %2%3\n")
               .arg(view_->FileName(), view_->Reference().File().FileName(), shift) +
           FiguresReport(CurrentFigures(), view_->Reference().FrameAsked());
}

void CompareTools::ShowFigures() {
    if (!view_->HasReference()) return;
    const QString text = FiguresClipboardText();
    QApplication::clipboard()->setText(text);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Frame Figures"),
                    text + QStringLiteral("\n(Copied to the clipboard.)"), QMessageBox::Ok,
                    window_);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void CompareTools::OpenReferenceCommand() {
    if (!view_->IsOpen()) return;
    CLosslessFileDialog dialog(window_);
    dialog.setWindowTitle(QStringLiteral("Open Reference"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(
        {QStringLiteral(
             "RAW Video Files (*.raw *.bin *.dat *.yuv* *.rgb *.420 *.422 *.yv12 *.yv16 *.y4m)"),
         QStringLiteral("All Files (*)")});
    if (view_->HasReference()) dialog.selectFile(view_->Reference().File().FileName());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenReference(dialog.ChosenFile());
}

bool CompareTools::OpenReference(const QString& name) {
    if (!view_->IsOpen()) return false;
    const QString path = AbsoluteFileName(name);
    auto report = [this, &path](const QString& reason) {
        QMessageBox::critical(
            window_, AppName(),
            QStringLiteral("The reference could not be opened.\n\n%1:\n%2").arg(path, reason));
        return false;
    };
    CMyRecentFileList* recent = host_.RecentFiles();
    const int index = recent->Find(path);
    StoredFile entry;
    if (index >= 0)
        entry = {(*recent)[index].name, (*recent)[index].data, (*recent)[index].identity};
    // The reference opens as the file shown would: its header, the settings stored while they
    // fit, or the dialog.
    const OpenPlan plan = PlanFileOpen(path, nullptr, index >= 0 ? &entry : nullptr, true, false);
    RawSettings settings = plan.settings;
    QString error;
    if (plan.source == OpenSource::Refuse) {
        QString reason = QString::fromStdString(plan.reason);
        if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
        return report(OpenFailureReason(path, reason));
    }
    if (plan.source == OpenSource::Ask) {
        CRawSettingsDlg dialog(window_);
        if (entry.HasSettings()) {
            QString reason = QString::fromStdString(plan.reason);
            if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
            dialog.SetOpenReason(reason + QLatin1Char('.'));
        }
        const int result = dialog.RunForFile(path, plan.settings, error, 0);
        if (result == CRawSettingsDlg::kResultCancel) return false;
        if (result != CRawSettingsDlg::kResultOk) return report(OpenFailureReason(path, error));
        settings = dialog.Settings();
    }
    if (!view_->OpenReference(&settings, path, error))
        return report(OpenFailureReason(path, error));
    recent->Add(path, kRawSettingsSize, &settings);
    recent->SetIdentity(path, IdentityOfFile(path));
    referenceName_ = QFileInfo(path).fileName();
    ++generation_;
    host_.UpdateWindowState();
    return true;
}

void CompareTools::CloseReference() {
    referenceName_.clear();
    view_->CloseReference();
    ++generation_;
    host_.UpdateWindowState();
}

}  // namespace kavlo
