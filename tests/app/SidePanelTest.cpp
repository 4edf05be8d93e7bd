// The window's strip of side panels with more than one panel docked, and the analysis views'
// list reaching the menus, the key table and the commands.
#include "app/analysis/AnalysisTools.h"
#include "app/analysis/AnalysisViews.h"
#include "app/common/Commands.h"
#include "app/window/ViewerDlg.h"
#include "image/PixelLayout.h"
#include "ShellTestSupport.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <set>
#include <utility>

namespace {

class WindowWithClip : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
    }
    void TearDown() override { dlg.reset(); }
    void OpenClip() {
        const QString path = shelltest::Clip(QStringLiteral("panels.raw"), kLayoutGRAY, 64, 48, 4);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
        QString error;
        ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
        dlg->AfterOpen(path, s);
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    QRect ViewRect() const { return dlg->View()->geometry(); }

    std::unique_ptr<CTNViewerDlg> dlg;
};

// ---- Two panels docked at once ----------------------------------------------------------------

// The histogram and a narrower panel of the test's own, handed to the window as a module hands
// its panels, shown and closed in a window of the given width (at the window's minimum the
// picture is narrower than the strip until the window has widened); the histogram closes first
// or last.
struct PanelCase {
    const char* name;
    int windowWidth;  // 0: the window's minimum
    bool histogramClosesFirst;
};

void PrintTo(const PanelCase& c, std::ostream* os) { *os << c.name; }

class SidePanels : public WindowWithClip, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(SidePanels, ShareTheStripAndGiveTheWidthBack) {
    OpenClip();
    auto* other = new QDockWidget(QStringLiteral("Other"), dlg->ClientArea());
    other->hide();
    dlg->AddSidePanel(other, 300);
    dlg->resize(std::max(dlg->minimumWidth(), GetParam().windowWidth), dlg->height());
    dlg->move(0, 0);
    QCoreApplication::processEvents();
    const int width = dlg->width();
    const QRect view = ViewRect();
    QWidget* histogram = dlg->Analysis()->Panel(CmdHistogram);

    dlg->OnCommand(CmdHistogram);
    other->show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(histogram->isVisible() && !histogram->isWindow());
    ASSERT_TRUE(other->isVisible() && !other->isWindow());
    const QRect v = ViewRect();
    const QRect h = histogram->geometry();
    const QRect o = other->geometry();
    EXPECT_GT(h.left(), v.right()) << "beside the picture, covering none of it";
    EXPECT_GT(o.left(), h.right()) << "side by side, in the order they were added";
    // The view gave the strip up: it ends where the view ended, plus what the window grew by.
    EXPECT_EQ(o.right(), view.right() + dlg->width() - width);
    for (const QRect& panel : {h, o}) {
        EXPECT_EQ(panel.top(), v.top());
        EXPECT_EQ(panel.height(), v.height());
    }

    // One made a window of its own leaves the strip to the other; docked again, it is back in
    // its place.
    other->setFloating(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(histogram->geometry().left() - ViewRect().right(), h.left() - v.right());
    EXPECT_EQ(histogram->geometry().width(), h.width());
    other->setFloating(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(other->geometry(), o);
    EXPECT_EQ(histogram->geometry(), h);

    QWidget* first = GetParam().histogramClosesFirst ? histogram : other;
    QWidget* second = GetParam().histogramClosesFirst ? other : histogram;
    first->close();
    QCoreApplication::processEvents();
    EXPECT_GT(second->geometry().left(), ViewRect().right());
    EXPECT_LT(second->geometry().left() - ViewRect().right(), 8) << "next to the picture";
    second->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg->width(), width);
    EXPECT_EQ(ViewRect(), view);
}

INSTANTIATE_TEST_SUITE_P(Windows, SidePanels,
                         ::testing::Values(PanelCase{"HistogramFirst", 460, true},
                                           PanelCase{"OtherFirst", 460, false},
                                           PanelCase{"NarrowWindow", 0, true}),
                         [](const ::testing::TestParamInfo<PanelCase>& param) {
                             return param.param.name;
                         });

// ---- The analysis views' list -----------------------------------------------------------------

class AnalysisViewRows : public WindowWithClip, public ::testing::WithParamInterface<size_t> {
protected:
    const kavlo::AnalysisView& View() const { return kavlo::AnalysisViews()[GetParam()]; }
};

// The view's commands are its own numbers of the analysis block, and its rows are rows of the
// window's key table (whose tests check every row's key, menu and help).
TEST_P(AnalysisViewRows, CommandsAndKeysReachTheWindow) {
    const kavlo::AnalysisView& view = View();
    std::multiset<int> taken = {CmdSaveFrameAs, CmdCopyFrame, CmdExportFrames, CmdHexValues,
                                CmdShowValues};
    for (const kavlo::AnalysisView& v : kavlo::AnalysisViews())
        taken.insert({v.showCommand, v.windowCommand});
    for (int command : {view.showCommand, view.windowCommand}) {
        EXPECT_GE(command, CmdAnalysisBlockFirst);
        EXPECT_LE(command, CmdAnalysisBlockLast);
        EXPECT_EQ(taken.count(command), 1u) << command;
    }
    ASSERT_FALSE(view.keys.empty());
    for (const kavlo::KeyRow& row : view.keys) {
        EXPECT_TRUE(row.command == view.showCommand || row.command == view.windowCommand);
        const auto& table = CTNViewerDlg::KeyTable();
        EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&row](const kavlo::KeyRow& r) {
            return r.key == row.key && r.command == row.command && r.flags == row.flags;
        })) << kavlo::KeyName(row.key).toStdString();
    }
    for (auto [command, label] : {std::pair{view.showCommand, view.showLabel},
                                  std::pair{view.windowCommand, view.windowLabel}}) {
        QAction* action = dlg->Action(command);
        ASSERT_NE(action, nullptr) << label;
        EXPECT_EQ(action->text(), kavlo::MenuText(label, command, CTNViewerDlg::KeyTable()));
        EXPECT_TRUE(action->isCheckable());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryView, AnalysisViewRows,
                         ::testing::Range<size_t>(0, kavlo::AnalysisViews().size()),
                         [](const ::testing::TestParamInfo<size_t>& param) {
                             QString name =
                                 QString::fromUtf8(kavlo::AnalysisViews()[param.param].showLabel);
                             name.remove(QLatin1Char('&'));
                             for (QChar& c : name)
                                 if (!c.isLetterOrNumber()) c = QLatin1Char('_');
                             return name.toStdString();
                         });

}  // namespace
