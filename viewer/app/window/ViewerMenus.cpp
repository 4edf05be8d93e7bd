// The main window's menus: their items, their state and check marks, and the commands they run.
#include "app/window/ViewerDlg.h"

#include "app/analysis/AnalysisTools.h"
#include "app/analysis/HistogramDock.h"
#include "app/common/AppInfo.h"
#include "app/compare/CompareTools.h"
#include "app/common/Platform.h"
#include "app/open/RecentFileList.h"
#include "view/picture/FieldRender.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QActionGroup>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QDockWidget>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

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

// The View menu in order. The channel items are labelled with the keys that select them (7, 8, 9).
constexpr CommandRow kViewCommands[] = {
    {CmdShowAll, "Show A&ll\t0", true},
    {CmdShowY, "Show &Y' Only\t7", true},
    {CmdShowCb, "Show C&b' Only\t8", true},
    {CmdShowCr, "Show C&r' Only\t9", true},
    {CmdMosaicGrey, "Show Bayer Mosaic as &Grey\tM", true},
    {kSeparator, nullptr, false},
    {CmdZoomIn, "Zoom &In\t+", false},
    {CmdZoomOut, "Zoom &Out\t-", false},
    {CmdActualSize, "&Actual Size\tCtrl+0", false},
    {CmdFitToWindow, "&Fit to Window\tW", true},
    {kSeparator, nullptr, false},
    {CmdFlip, "Flip &Vertically\tV", true},
    {kSeparator, nullptr, false},
    {CmdDeinterlace, "&Deinterlace\tD", true},
    {kMethodPopup, "Deinterlacing &Method", false},
    {kSeparator, nullptr, false},
    {CmdToggleFieldOrder, "&Toggle Field Order\tT", true},
    {CmdToggleInterlaced, "Toggle Interla&ced\tI", true},
    {CmdSplitFields, "&Split Fields\tF", true},
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
    {CmdMethodTop, kavlo::kDeinterlaceTopField, "Top Field\tShift+1"},
    {CmdMethodBottom, kavlo::kDeinterlaceBottomField, "Bottom Field\tShift+2"},
    {CmdMethodBlend, kavlo::kDeinterlaceBlendFields, "Blend Fields\tShift+3"},
    {CmdMethodLowPass, kavlo::kDeinterlaceLowPass, "Low-Pass Filter\tShift+4"},
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

// The platform's keys for a standard command, with the key every desktop knows it by added when
// the platform's scheme lacks it (the Windows scheme has no key for Quit, for one).
QList<QKeySequence> StandardKeys(QKeySequence::StandardKey command, QKeyCombination usual) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(command);
    if (!keys.contains(QKeySequence(usual))) keys.prepend(QKeySequence(usual));
    return keys;
}

}  // namespace

void CTNViewerDlg::BuildMenus() {
    auto add = [](QMenu* menu, int id, const QString& text, bool checkable) {
        QAction* a = menu->addAction(text);
        a->setData(id);
        a->setCheckable(checkable);
        return a;
    };
    fileMenu_ = menuBar_->addMenu(QStringLiteral("&File"));
    // Ctrl+O, Ctrl+W and Ctrl+Q: none is a key of the window or the view, apart from Ctrl+Q,
    // which the view's table read as Q (its letters ignore Ctrl); Q alone keeps that meaning.
    add(fileMenu_, CmdOpen, QStringLiteral("&Open"), false)
        ->setShortcuts(StandardKeys(QKeySequence::Open, Qt::CTRL | Qt::Key_O));
    QAction* close = add(fileMenu_, CmdClose, QStringLiteral("&Close"), false);
    close->setShortcuts(StandardKeys(QKeySequence::Close, Qt::CTRL | Qt::Key_W));
    close->setEnabled(false);
    fileMenu_->addSeparator();
    recentMenu_ = fileMenu_->addMenu(QStringLiteral("Recent Files"));
    add(recentMenu_, CmdRecentFirst, QStringLiteral("Dummy"), false);
    fileMenu_->addSeparator();
    add(fileMenu_, CmdProperties, QStringLiteral("&Properties"), false);
    fileMenu_->addSeparator();
    add(fileMenu_, CmdExit, QStringLiteral("&Exit"), false)
        ->setShortcuts(StandardKeys(QKeySequence::Quit, Qt::CTRL | Qt::Key_Q));

    viewMenu_ = menuBar_->addMenu(QStringLiteral("&View"));
    for (const CommandRow& c : kViewCommands) {
        if (c.id == kSeparator) {
            viewMenu_->addSeparator();
        } else if (c.id == kMethodPopup) {
            QMenu* methods = viewMenu_->addMenu(QString::fromUtf8(c.text));
            for (const MethodRow& m : kMethodCommands)
                add(methods, m.id, QString::fromUtf8(m.text), true);
        } else if (c.id == kColourPopup) {
            QMenu* colour = viewMenu_->addMenu(QString::fromUtf8(c.text));
            auto* matrices = new QActionGroup(colour);
            for (const MatrixRow& m : kMatrixCommands)
                matrices->addAction(add(colour, m.id, QString::fromUtf8(m.text), true));
            colour->addSeparator();
            add(colour, CmdFullRange, QStringLiteral("&Full Range\tR"), true);
        } else {
            add(viewMenu_, c.id, QString::fromUtf8(c.text), c.checkable);
        }
    }

    analysis_ = new kavlo::AnalysisTools(this, view_);
    analysis_->AddMenuItems(menuBar_, fileMenu_, viewMenu_);
    // The histogram docks at the right of the picture while it is shown and not a window.
    QDockWidget* panel = analysis_->Histogram();
    sidePanel_ = panel;
    connect(panel, &QDockWidget::visibilityChanged, this, [this, panel](bool visible) {
        ArrangeSidePanel();
        // A panel that closes, floating or docked, gives the keys back to the picture.
        if (!visible && isVisible() &&
            (!QApplication::focusWidget() || panel->isAncestorOf(QApplication::focusWidget()) ||
             panel->isWindow())) {
            activateWindow();
            view_->setFocus();
        }
    });
    connect(panel, &QDockWidget::topLevelChanged, this, [this] { ArrangeSidePanel(); });
    compare_ = new kavlo::CompareTools(this, view_);
    compare_->AddMenuItems(fileMenu_);

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    add(help, CmdWebsite, QStringLiteral("&Visit product website..."), false);
    help->addSeparator();
    add(help, CmdAbout, QStringLiteral("&About"), false);

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
    UpdatePlayMenu();
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

void CTNViewerDlg::SetMethod(uint32_t method) {
    view_->SetDeinterlacingMethod(method);
    UpdateMenuState();
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
    default: break;
    }
    // The View menu: every action re-renders through the view and updates the menus.
    if (!view_->IsOpen()) return;
    if (OnPlayCommand(id)) return;
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
