// The main window's menus: their items, their state and check marks, and the commands they run;
// the opening of files: by name, from the recent list with stored settings or through the
// settings dialog, and what follows an open (title, controls, recent entry).
#include "app/window/ViewerDlg.h"

#include "app/analysis/AnalysisTools.h"
#include "app/common/AppInfo.h"
#include "app/compare/CompareTools.h"
#include "app/common/Platform.h"
#include "app/open/RecentFileList.h"
#include "app/play/PlayControls.h"
#include "app/window/HelpWin.h"
#include "view/picture/FieldRender.h"
#include "view/VideoBuffer.h"
#include "app/open/FileCheck.h"
#include "app/window/FrameNumberValidator.h"
#include "app/open/RawSettingsDlg.h"
#include "app/open/RawSettingsRules.h"
#include "app/open/OpenFileDialog.h"
#include "app/play/Playback.h"
#include "view/file/LocalFileName.h"
#include "view/file/StoredSettings.h"
#include "TNDebug.h"
#include "view/KeyInput.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QLayout>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QWindow>
#include <climits>
#include <cstring>
#include <limits>

namespace {

struct CommandRow {
    int id;
    const char* text;
    bool checkable;
};

// Stand-ins for a command in the View menu's table.
constexpr int kSeparator = 0;
constexpr int kMethodPopup = -1;
constexpr int kColourPopup = -2;

// The View menu in order; the key table adds the keys to the labels (the channel items are
// labelled with the keys that select them: 7, 8, 9).
constexpr CommandRow kViewCommands[] = {
    {CmdShowAll, "Show A&ll", true},
    {CmdShowY, "Show &Y' Only", true},
    {CmdShowCb, "Show C&b' Only", true},
    {CmdShowCr, "Show C&r' Only", true},
    {CmdMosaicGrey, "Show Bayer Mosaic as &Grey", true},
    {kSeparator, nullptr, false},
    {CmdZoomIn, "Zoom &In", false},
    {CmdZoomOut, "Zoom &Out", false},
    {CmdActualSize, "&Actual Size", false},
    {CmdFitToWindow, "&Fit to Window", true},
    {kSeparator, nullptr, false},
    {CmdFlip, "Flip &Vertically", true},
    {kSeparator, nullptr, false},
    {CmdDeinterlace, "&Deinterlace", true},
    {kMethodPopup, "Deinterlacing &Method", false},
    {kSeparator, nullptr, false},
    {CmdToggleFieldOrder, "&Toggle Field Order", true},
    {CmdToggleInterlaced, "Toggle Interla&ced", true},
    {CmdSplitFields, "&Split Fields", true},
    {kSeparator, nullptr, false},
    {kColourPopup, "Co&lour", false},
};

// The Deinterlacing Method popup in order, each item with the method it selects.
struct MethodRow {
    Cmd id;
    kavlo::DeinterlaceMethod method;
    const char* text;
};
constexpr MethodRow kMethodCommands[] = {
    {CmdMethodTop, kavlo::kDeinterlaceTopField, "Top Field"},
    {CmdMethodBottom, kavlo::kDeinterlaceBottomField, "Bottom Field"},
    {CmdMethodBlend, kavlo::kDeinterlaceBlendFields, "Blend Fields"},
    {CmdMethodLowPass, kavlo::kDeinterlaceLowPass, "Low-Pass Filter"},
};

// The Colour popup's matrix items in order, each with the choice it selects (C cycles them).
struct MatrixRow {
    Cmd id;
    kavlo::MatrixChoice matrix;
    const char* text;
};
constexpr MatrixRow kMatrixCommands[] = {
    {CmdMatrix601, kavlo::MatrixChoice::BT601, "BT.&601"},
    {CmdMatrix709, kavlo::MatrixChoice::BT709, "BT.&709"},
    {CmdMatrix2020, kavlo::MatrixChoice::BT2020, "BT.&2020"},
    {CmdMatrixAuto, kavlo::MatrixChoice::Automatic, "&Automatic"},
};

// A view key that the window runs as its menu command, so that the menus follow it; Alt and
// Meta make no difference, a Shift or Ctrl the row does not name leaves the key to the view.
constexpr unsigned kViewCommandKey = kavlo::kKeyInMenu | kavlo::kKeyAnyAlt;
// The main keyboard's zoom keys, with or without Shift (= and + share a key, as - and _ do).
constexpr unsigned kZoomKey = kavlo::kKeyAnyShift | kavlo::kKeyAnyAlt;

}  // namespace

const std::vector<kavlo::KeyRow>& CTNViewerDlg::OwnKeys() {
    using namespace kavlo;
    // Ctrl+O, Ctrl+W and Ctrl+Q: none is a key of the window or the view, apart from Ctrl+Q,
    // which the view's table read as Q (its letters ignore Ctrl); Q alone keeps that meaning.
    static const std::vector<KeyRow> rows = {
        {Qt::Key_0, CmdShowAll, kViewCommandKey, "show all: fit, and every display switch off"},
        {Qt::CTRL | Qt::Key_0, CmdActualSize, kKeyWindowShortcut, "actual size (zoom 100%)"},
        {Qt::Key_7, CmdShowY, kViewCommandKey, "Y' channel alone"},
        {Qt::Key_8, CmdShowCb, kViewCommandKey, "Cb channel alone"},
        {Qt::Key_9, CmdShowCr, kViewCommandKey, "Cr channel alone"},
        {Qt::Key_M, CmdMosaicGrey, kViewCommandKey, "Bayer mosaic samples as grey on or off"},
        {Qt::Key_Plus, CmdZoomIn, kKeyInMenu | kZoomKey, "zoom in"},
        {Qt::Key_Equal, CmdZoomIn, kZoomKey, nullptr},
        {Qt::KeypadModifier | Qt::Key_Plus, CmdZoomIn, kKeyAnyModifier, "zoom in"},
        {Qt::Key_Minus, CmdZoomOut, kKeyInMenu | kZoomKey, "zoom out"},
        {Qt::Key_Underscore, CmdZoomOut, kZoomKey, nullptr},
        {Qt::KeypadModifier | Qt::Key_Minus, CmdZoomOut, kKeyAnyModifier, "zoom out"},
        {Qt::Key_V, CmdFlip, kViewCommandKey, "flip vertically"},
        {Qt::Key_D, CmdDeinterlace, kViewCommandKey, "deinterlace on or off"},
        {Qt::SHIFT | Qt::Key_1, CmdMethodTop, kViewCommandKey, "deinterlacing method: top field"},
        {Qt::SHIFT | Qt::Key_2, CmdMethodBottom, kViewCommandKey,
         "deinterlacing method: bottom field"},
        {Qt::SHIFT | Qt::Key_3, CmdMethodBlend, kViewCommandKey,
         "deinterlacing method: blend fields"},
        {Qt::SHIFT | Qt::Key_4, CmdMethodLowPass, kViewCommandKey,
         "deinterlacing method: low-pass filter"},
        {Qt::Key_T, CmdToggleFieldOrder, kViewCommandKey, "toggle field order"},
        {Qt::Key_I, CmdToggleInterlaced, kViewCommandKey, "interlaced, inverted"},
        {Qt::Key_F, CmdSplitFields, kViewCommandKey, "split fields on or off"},
        {Qt::Key_C, CmdMatrixCycle, kKeyAnyAlt,
         "colour matrix: BT.601, BT.709, BT.2020, automatic (View > Colour)"},
        {Qt::Key_R, CmdFullRange, kViewCommandKey, "full-range Y'CbCr on or off (View > Colour)"},
        {Qt::CTRL | Qt::Key_G, CmdGoToFrameField, kKeyAnyShift | kKeyAnyAlt,
         "go to the frame field"},
        {Qt::CTRL | Qt::Key_O, CmdOpen, kKeyActionShortcut, "open a file", QKeySequence::Open},
        {Qt::CTRL | Qt::Key_W, CmdClose, kKeyActionShortcut, "close the file", QKeySequence::Close},
        {Qt::CTRL | Qt::Key_Q, CmdExit, kKeyActionShortcut, "exit", QKeySequence::Quit},
        {Qt::Key_F1, CmdKeyboardShortcuts, kKeyActionShortcut,
         "this list of keys (Help > Keyboard Shortcuts)"},
    };
    return rows;
}

const std::vector<kavlo::KeyRow>& CTNViewerDlg::KeyTable() {
    static const std::vector<kavlo::KeyRow> table = [] {
        std::vector<kavlo::KeyRow> rows = OwnKeys();
        for (const std::vector<kavlo::KeyRow>* part :
             {&kavlo::PlayControls::Keys(), &kavlo::AnalysisTools::Keys(),
              &kavlo::CompareTools::Keys()})
            rows.insert(rows.end(), part->begin(), part->end());
        return rows;
    }();
    return table;
}

void CTNViewerDlg::BuildMenus() {
    auto add = [](QMenu* menu, int id, const char* text, bool checkable) {
        QAction* a = menu->addAction(kavlo::MenuText(text, id, KeyTable()));
        a->setData(id);
        a->setCheckable(checkable);
        return a;
    };
    fileMenu_ = menuBar_->addMenu(QStringLiteral("&File"));
    add(fileMenu_, CmdOpen, "&Open", false);
    QAction* close = add(fileMenu_, CmdClose, "&Close", false);
    close->setEnabled(false);
    fileMenu_->addSeparator();
    recentMenu_ = fileMenu_->addMenu(QStringLiteral("Recent Files"));
    add(recentMenu_, CmdRecentFirst, "Dummy", false);
    fileMenu_->addSeparator();
    add(fileMenu_, CmdProperties, "&Properties", false);
    fileMenu_->addSeparator();
    add(fileMenu_, CmdExit, "&Exit", false);

    viewMenu_ = menuBar_->addMenu(QStringLiteral("&View"));
    for (const CommandRow& c : kViewCommands) {
        if (c.id == kSeparator) {
            viewMenu_->addSeparator();
        } else if (c.id == kMethodPopup) {
            QMenu* methods = viewMenu_->addMenu(QString::fromUtf8(c.text));
            for (const MethodRow& m : kMethodCommands) add(methods, m.id, m.text, true);
        } else if (c.id == kColourPopup) {
            QMenu* colour = viewMenu_->addMenu(QString::fromUtf8(c.text));
            auto* matrices = new QActionGroup(colour);
            for (const MatrixRow& m : kMatrixCommands)
                matrices->addAction(add(colour, m.id, m.text, true));
            colour->addSeparator();
            add(colour, CmdFullRange, "&Full Range", true);
        } else {
            add(viewMenu_, c.id, c.text, c.checkable);
        }
    }

    analysis_ = new kavlo::AnalysisTools(*this);
    analysis_->AddMenuItems();
    compare_ = new kavlo::CompareTools(*this);
    compare_->AddMenuItems();

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    add(help, CmdKeyboardShortcuts, "&Keyboard Shortcuts", false);
    add(help, CmdWebsite, "&Visit product website...", false);
    help->addSeparator();
    add(help, CmdAbout, "&About", false);

    // Playback last: its menu goes before the third menu of the bar as it stands now.
    play_ = new kavlo::PlayControls(*this);
    play_->AddMenuItems();
    modules_ = {play_, analysis_, compare_};
    // The shortcuts of every menu's actions, from the key table.
    kavlo::ApplyShortcuts(menuBar_, KeyTable());

    // Every item of every menu, submenus included, reaches the menu bar's signal once.
    connect(menuBar_, &QMenuBar::triggered, this, [this](QAction* a) {
        bool ok = false;
        const int id = a->data().toInt(&ok);
        if (ok && id != 0) OnCommand(id);
    });
}

QAction* CTNViewerDlg::Action(int id) const {
    const QList<QAction*> all = menuBar_->findChildren<QAction*>();
    for (QAction* a : all)
        if (a->data().toInt() == id && !a->menu()) return a;
    return nullptr;
}

void CTNViewerDlg::UpdateMenuState() {
    const bool open = view_->IsOpen();
    Action(CmdOpen)->setEnabled(true);
    Action(CmdClose)->setEnabled(open);
    Action(CmdProperties)->setEnabled(open);
    for (QAction* a : viewMenu_->actions()) a->setEnabled(open);
    UpdateCheckMarks();
    analysis_->UpdateMenuState();
    compare_->UpdateMenuState();

    for (QAction* a : fileMenu_->actions()) {
        QMenu* popup = a->menu();
        if (!popup) continue;
        recent_->UpdateMenu(popup);
        for (QAction* item : popup->actions()) {
            // The stand-in of an empty list stays disabled.
            const bool emptyListItem =
                recent_->GetSize() == 0 && item->data().toInt() == CmdRecentFirst;
            item->setEnabled(!emptyListItem);
        }
    }
    menuBar_->update();
}

void CTNViewerDlg::UpdateCheckMarks() {
    const ViewSwitches& s = view_->Switches();
    Action(CmdShowAll)->setChecked(!s.lumaOnly && !s.cbOnly && !s.crOnly);
    Action(CmdShowY)->setChecked(s.lumaOnly);
    Action(CmdShowCb)->setChecked(s.cbOnly);
    Action(CmdShowCr)->setChecked(s.crOnly);
    Action(CmdFlip)->setChecked(s.flipToggle);
    Action(CmdMosaicGrey)->setChecked(s.mosaicGrey);
    Action(CmdDeinterlace)->setChecked(s.deinterlace);
    Action(CmdToggleFieldOrder)->setChecked(s.swappedFieldOrder);
    Action(CmdToggleInterlaced)->setChecked(s.interlaceToggle);
    Action(CmdSplitFields)->setChecked(s.splitFields);
    play_->UpdateMenuState();
    // A method number of no item leaves the marks as they are.
    const bool knownMethod =
        std::any_of(std::begin(kMethodCommands), std::end(kMethodCommands),
                    [&s](const MethodRow& m) { return m.method == s.deinterlaceMethod; });
    if (knownMethod)
        for (const MethodRow& m : kMethodCommands)
            Action(m.id)->setChecked(m.method == s.deinterlaceMethod);
    for (const MatrixRow& m : kMatrixCommands)
        Action(m.id)->setChecked(view_->IsOpen() && m.matrix == view_->ColourMatrixChoice());
    Action(CmdFullRange)->setChecked(view_->IsOpen() && view_->FullRange());
    // The status bar names the same switches.
    statusModes_->setText(view_->IsOpen() ? ModesText() : QString());
}

void CTNViewerDlg::SetColour(kavlo::MatrixChoice matrix, bool fullRange) {
    if (!view_->IsOpen()) return;
    view_->SetColour(matrix, fullRange);
    // Remembered with the file, as the settings dialog's OK remembers its record.
    recent_->Update(view_->FileName(), kRawSettingsSize, &view_->Settings());
    UpdateStatusBar();
}

void CTNViewerDlg::ShowAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("AboutBox"));
    about.setWindowTitle(QStringLiteral("About %1").arg(kavlo::AppName()));
    auto* icon = new QLabel(&about);
    icon->setPixmap(windowIcon().pixmap(32, 32));
    auto* texts = new QLabel(QStringLiteral("%1, %2\n%3")
                                 .arg(kavlo::AppName(), kavlo::VersionText(), kavlo::MakerLine()),
                             &about);
    auto* license = new QTextBrowser(&about);
    license->setObjectName(QStringLiteral("License"));
    license->setProperty("controlId", kIdLicense);
    license->setOpenExternalLinks(true);
    QFile file(kavlo::ProgramDirectory() + QStringLiteral("/license.html"));
    if (file.open(QIODevice::ReadOnly)) license->setHtml(QString::fromUtf8(file.readAll()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(texts, 1);
    auto* layout = new QVBoxLayout(&about);
    layout->addLayout(top);
    layout->addWidget(license, 1);
    layout->addWidget(buttons);
    about.resize(480, 360);
    about.exec();
}

void CTNViewerDlg::ShowKeys() {
    // One window of the keys, raised again when it is open already.
    auto* keys = findChild<QDialog*>(QStringLiteral("KeysWindow"));
    if (!keys) keys = CHelpWin::CreateKeysWindow(this);
    keys->show();
    keys->raise();
    keys->activateWindow();
}

void CTNViewerDlg::OnCommand(int id) {
    if (id >= CmdRecentFirst && id <= CmdRecentLast) {
        OpenRecent(id - CmdRecentFirst);
        return;
    }
    if (analysis_->OnCommand(id)) return;
    if (compare_->OnCommand(id)) return;
    switch (id) {
    case CmdOpen: OnOpenCommand(); return;
    case CmdClose:
        compare_->CloseReference();
        view_->CloseFile();
        UpdateWindowState();
        return;
    case CmdProperties: OnProperties(); return;
    case CmdExit: done(QDialog::Rejected); return;
    case CmdAbout:
    case CmdAboutSystem: ShowAbout(); return;
    case CmdWebsite: kavlo::OpenWebPage(kavlo::ProductWebPage()); return;
    case CmdKeyboardShortcuts: ShowKeys(); return;
    default: break;
    }
    // The View menu: every action re-renders through the view and updates the menus.
    if (!view_->IsOpen()) return;
    if (play_->OnCommand(id)) return;
    switch (id) {
    case CmdShowAll: view_->ShowAll(); break;
    case CmdShowY: view_->ShowChannel(CVideoBuffer::ChannelY); break;
    case CmdShowCb: view_->ShowChannel(CVideoBuffer::ChannelCb); break;
    case CmdShowCr: view_->ShowChannel(CVideoBuffer::ChannelCr); break;
    case CmdZoomIn: view_->ZoomIn(); break;
    case CmdZoomOut: view_->ZoomOut(); break;
    case CmdActualSize: view_->ActualSize(); break;
    case CmdFlip: view_->ToggleFlip(); break;
    case CmdMosaicGrey: view_->ToggleMosaicGrey(); break;
    case CmdDeinterlace: view_->ToggleDeinterlace(); break;
    case CmdToggleFieldOrder: view_->ToggleFieldOrder(); break;
    case CmdToggleInterlaced: view_->ToggleInterlace(); break;
    case CmdSplitFields: view_->ToggleSplitFields(); break;
    case CmdFullRange: SetColour(view_->ColourMatrixChoice(), !view_->FullRange()); break;
    case CmdMatrixCycle:
        SetColour(
            static_cast<kavlo::MatrixChoice>((static_cast<int>(view_->ColourMatrixChoice()) + 1) %
                                             kavlo::kMatrixChoiceCount),
            view_->FullRange());
        break;
    default: {
        const auto* matrix = std::find_if(std::begin(kMatrixCommands), std::end(kMatrixCommands),
                                          [id](const MatrixRow& m) { return m.id == id; });
        if (matrix != std::end(kMatrixCommands)) {
            SetColour(matrix->matrix, view_->FullRange());
            break;
        }
        const auto* row = std::find_if(std::begin(kMethodCommands), std::end(kMethodCommands),
                                       [id](const MethodRow& m) { return m.id == id; });
        if (row == std::end(kMethodCommands)) return;
        view_->SetDeinterlacingMethod(row->method);
        break;
    }
    }
    UpdateMenuState();
}

// ---- Opening ----------------------------------------------------------------------------------

namespace {

// Message box text: the stored messages end their lines with \r.
QString ForMessageBox(QString text) { return text.replace(QLatin1Char('\r'), QLatin1Char('\n')); }

}  // namespace

void CTNViewerDlg::AfterOpen(const QString& path, const RawSettings& settings) {
    recent_->Add(path, kRawSettingsSize, &settings);
    // What the file is now, so that a later open can tell whether the record still fits it.
    recent_->SetIdentity(path, kavlo::IdentityOfFile(path));
    kavlo::AddToRecentDocuments(path);
    UpdateWindowState();
    FitWindowToVideo();
    // A frame larger than the screen opens fitted to the window (not under -play, which shows
    // every frame at 100% as it always did).
    if (!fitLargeFrames_) return;
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize room = s ? s->availableGeometry().size() * s->devicePixelRatio() : QSize();
    if (room.isValid() &&
        (view_->FrameWidth() > room.width() || view_->FrameHeight() > room.height())) {
        view_->ZoomToFit();
        UpdateWindowState();
    }
}

void CTNViewerDlg::ShowLoadError(const QString& path, const QString& reason) {
    QMessageBox::critical(this, kavlo::AppName(), ForMessageBox(LoadErrorText(path, reason)));
}

void CTNViewerDlg::OfferRemoval(int index, const QString& path, const QString& reason) {
    const auto answer = QMessageBox::critical(this, kavlo::AppName(),
                                              ForMessageBox(LoadErrorRemoveText(path, reason)),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
    recent_->Remove(index);
    UpdateMenuState();
}

namespace {

// The open plan's reason as a sentence of its own.
QString Sentence(const std::string& reason) {
    QString text = QString::fromStdString(reason);
    if (text.isEmpty()) return text;
    text[0] = text[0].toUpper();
    if (!text.endsWith(QLatin1Char('.'))) text += QLatin1Char('.');
    return text;
}

}  // namespace

void CTNViewerDlg::FailOpen(const QString& path, int offerRemoval, const QString& reason) {
    view_->CloseFile();
    UpdateWindowState();
    if (offerRemoval >= 0)
        OfferRemoval(offerRemoval, path, reason);
    else
        ShowLoadError(path, reason);
}

void CTNViewerDlg::OpenPlanned(const QString& path, int index, int offerRemoval) {
    kavlo::StoredFile entry;
    const kavlo::StoredFile* stored = nullptr;
    if (index >= 0 && index < recent_->GetSize()) {
        const RecentFileEntry& e = (*recent_)[index];
        entry = {e.name, e.data, e.identity};
        stored = &entry;
    }
    const kavlo::OpenPlan plan = kavlo::PlanFileOpen(path, nullptr, stored, true, false);
    QString error;
    switch (plan.source) {
    case kavlo::OpenSource::Refuse: FailOpen(path, offerRemoval, Sentence(plan.reason)); return;
    case kavlo::OpenSource::Ask:
        // A file seen for the first time needs no explanation; stored settings asked for again
        // do.
        OpenWithDialog(path, offerRemoval, plan.settings,
                       stored && stored->HasSettings() ? Sentence(plan.reason) : QString());
        return;
    default: break;
    }
    // A YUV4MPEG2 header or settings stored that still fit the file: no dialog.
    RawSettings settings = plan.settings;
    if (view_->OpenFile(&settings, path, error, 0) != 0) {
        FailOpen(path, offerRemoval, kavlo::OpenFailureReason(path, error));
        return;
    }
    AfterOpen(path, settings);
    if (plan.source == kavlo::OpenSource::Y4m && !plan.reason.empty())
        statusBar_->showMessage(QString::fromStdString(plan.reason), 10000);
}

void CTNViewerDlg::OpenWithDialog(const QString& path, int offerRemoval, const RawSettings& start,
                                  const QString& reason) {
    QString error;
    CRawSettingsDlg dialog(this);
    dialog.SetOpenReason(reason);
    const int result = dialog.RunForFile(path, start, error, 0);
    if (result == CRawSettingsDlg::kResultCancel) return;
    bool opened = false;
    RawSettings settings = dialog.Settings();
    if (result == CRawSettingsDlg::kResultOk)
        opened = view_->OpenFile(&settings, path, error, 0) == 0;
    if (opened) {
        AfterOpen(path, settings);
        return;
    }
    // Also reached when the dialog could not be shown at all, so that the request never
    // ends without a word.
    const QString failure = kavlo::OpenFailureReason(path, error);
    if (offerRemoval >= 0) {
        FailOpen(path, offerRemoval, failure);
        return;
    }
    if (!view_->IsOpen()) UpdateWindowState();
    ShowLoadError(path, failure);
}

void CTNViewerDlg::OpenByName(const QString& name) {
    const QString path = kavlo::AbsoluteFileName(name);
    const int index = recent_->Find(path);
    // A failed open offers to drop the entry only when it held settings to open with.
    OpenPlanned(path, index, index >= 0 && recent_->HasSettings(index) ? index : -1);
}

void CTNViewerDlg::OpenRecent(int index) {
    if (index < 0 || index >= recent_->GetSize()) return;
    // An entry stored with a relative name opens while it leads to a file from here; it is
    // remembered by its absolute name from then on.
    OpenPlanned(kavlo::AbsoluteFileName((*recent_)[index].name), index, index);
}

void CTNViewerDlg::OnProperties() {
    if (!view_->IsOpen()) return;
    const QString path = view_->FileName();
    RawSettings copy = view_->Settings();
    QString error;
    CRawSettingsDlg dialog(this);
    const int result = dialog.RunForFile(path, copy, error, view_->CurrentPosition());
    if (result == CRawSettingsDlg::kResultCancel) return;
    if (result != CRawSettingsDlg::kResultOk) {
        // The file went away or shrank since it was opened: the dialog could not show it.
        ShowLoadError(path, kavlo::OpenFailureReason(path, error));
        return;
    }
    RawSettings settings = dialog.Settings();
    if (view_->OpenFile(&settings, path, error, dialog.ResultFrame()) != 0) {
        UpdateWindowState();
        ShowLoadError(path, kavlo::OpenFailureReason(path, error));
        return;
    }
    recent_->Update(path, kRawSettingsSize, &settings);
    recent_->SetIdentity(path, kavlo::IdentityOfFile(path));
    UpdateWindowState();
    FitWindowToVideo();
}

void CTNViewerDlg::OnOpenCommand() {
    CLosslessFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(
        {QStringLiteral(
             "RAW Video Files (*.raw *.bin *.dat *.yuv* *.rgb *.420 *.422 *.yv12 *.yv16 *.y4m)"),
         QStringLiteral("All Files (*)")});
    if (view_->IsOpen()) dialog.selectFile(view_->FileName());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        OpenByName(dialog.ChosenFile());
        return;
    }
    menuBar_->update();
}

// ---- Frame slider and frame field ----------------------------------------------------------
