// The main window's key table: how a row matches a key press, that no two rows claim one press,
// that the menus and the help window show what the rows say, and that a text field keeps the
// table's keys while it has the focus.
#include "app/common/Commands.h"
#include "app/common/KeyTable.h"
#include "app/play/Playback.h"
#include "app/window/HelpWin.h"
#include "app/window/ViewerDlg.h"
#include "image/PixelLayout.h"
#include "ShellTestSupport.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

using kavlo::KeyRow;

const std::vector<KeyRow>& Table() { return CTNViewerDlg::KeyTable(); }

std::string Describe(const KeyRow& row) {
    return kavlo::KeyName(row.key).toStdString() + " (command " + std::to_string(row.command) + ")";
}

// ---- Matching ---------------------------------------------------------------------------------

struct MatchCase {
    const char* name;
    KeyRow row;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class KeyRowMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(KeyRowMatching, PressAgainstRow) {
    const MatchCase& c = GetParam();
    const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
    EXPECT_EQ(kavlo::KeyMatches(c.row, kavlo::PressedKey(event)), c.matches);
}

constexpr KeyRow kSeven{Qt::Key_7, CmdShowY, kavlo::kKeyInMenu | kavlo::kKeyAnyAlt, "seven"};
constexpr KeyRow kPlus{Qt::Key_Plus, CmdZoomIn, kavlo::kKeyAnyShift | kavlo::kKeyAnyAlt, "plus"};
constexpr KeyRow kPadPlus{Qt::KeypadModifier | Qt::Key_Plus, CmdZoomIn, kavlo::kKeyAnyModifier,
                          "pad"};
constexpr KeyRow kShiftOne{Qt::SHIFT | Qt::Key_1, CmdMethodTop, kavlo::kKeyInMenu, "method"};
constexpr KeyRow kRight{Qt::Key_Right, CmdStepForward, kavlo::kKeyNotInText, "right"};
constexpr KeyRow kCtrlG{Qt::CTRL | Qt::Key_G, CmdGoToFrameField,
                        kavlo::kKeyAnyShift | kavlo::kKeyAnyAlt, "field"};

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyRowMatching,
    ::testing::Values(
        MatchCase{"Seven", kSeven, Qt::Key_7, Qt::NoModifier, true},
        MatchCase{"AltSeven", kSeven, Qt::Key_7, Qt::AltModifier, true},
        MatchCase{"ShiftSevenIsNotSeven", kSeven, Qt::Key_7, Qt::ShiftModifier, false},
        MatchCase{"CtrlSevenIsTheViews", kSeven, Qt::Key_7, Qt::ControlModifier, false},
        MatchCase{"PadSevenIsNoDigit", kSeven, Qt::Key_7, Qt::KeypadModifier, false},
        MatchCase{"Plus", kPlus, Qt::Key_Plus, Qt::NoModifier, true},
        MatchCase{"ShiftPlus", kPlus, Qt::Key_Plus, Qt::ShiftModifier, true},
        MatchCase{"CtrlPlusIsNotZoom", kPlus, Qt::Key_Plus, Qt::ControlModifier, false},
        MatchCase{"PadPlusIsNotMainPlus", kPlus, Qt::Key_Plus, Qt::KeypadModifier, false},
        MatchCase{"PadPlus", kPadPlus, Qt::Key_Plus, Qt::KeypadModifier, true},
        MatchCase{"CtrlPadPlus", kPadPlus, Qt::Key_Plus, Qt::KeypadModifier | Qt::ControlModifier,
                  true},
        MatchCase{"MainPlusIsNotPadPlus", kPadPlus, Qt::Key_Plus, Qt::NoModifier, false},
        // Shift+1 arrives as "!" on a US layout: the physical key decides.
        MatchCase{"ShiftOneAsExclam", kShiftOne, Qt::Key_Exclam, Qt::ShiftModifier, true},
        MatchCase{"ShiftOne", kShiftOne, Qt::Key_1, Qt::ShiftModifier, true},
        MatchCase{"OneAloneIsNotShiftOne", kShiftOne, Qt::Key_1, Qt::NoModifier, false},
        MatchCase{"CtrlShiftOne", kShiftOne, Qt::Key_Exclam,
                  Qt::ShiftModifier | Qt::ControlModifier, false},
        // The pad's arrows are the arrows.
        MatchCase{"PadRight", kRight, Qt::Key_Right, Qt::KeypadModifier, true},
        MatchCase{"ShiftRight", kRight, Qt::Key_Right, Qt::ShiftModifier, false},
        MatchCase{"CtrlShiftG", kCtrlG, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier, true},
        MatchCase{"GAloneIsNotCtrlG", kCtrlG, Qt::Key_G, Qt::NoModifier, false}),
    [](const ::testing::TestParamInfo<MatchCase>& param) { return param.param.name; });

TEST(KeyTable, RowsCollideExactlyWhenOnePressMatchesBoth) {
    EXPECT_TRUE(kavlo::KeysCollide(kPlus, KeyRow{Qt::SHIFT | Qt::Key_Plus, CmdZoomOut, 0, "x"}));
    EXPECT_TRUE(kavlo::KeysCollide(kCtrlG, KeyRow{Qt::CTRL | Qt::Key_G, CmdNextGain, 0, "x"}));
    EXPECT_FALSE(kavlo::KeysCollide(kCtrlG, KeyRow{Qt::Key_G, CmdNextGain, 0, "x"}));
    EXPECT_FALSE(kavlo::KeysCollide(kPlus, kPadPlus));
    EXPECT_FALSE(kavlo::KeysCollide(kSeven, KeyRow{Qt::SHIFT | Qt::Key_7, CmdShowCb, 0, "x"}));
}

// ---- The window's table -----------------------------------------------------------------------

TEST(KeyTable, NoTwoRowsClaimOnePress) {
    const std::vector<KeyRow>& rows = Table();
    ASSERT_GT(rows.size(), 40u);
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = i + 1; j < rows.size(); ++j) {
            EXPECT_FALSE(kavlo::KeysCollide(rows[i], rows[j]))
                << Describe(rows[i]) << " and " << Describe(rows[j]);
        }
    }
}

class KeyTableWindow : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
    }
    void TearDown() override { dlg.reset(); }
    void OpenClip() {
        path = shelltest::Clip(QStringLiteral("keys.raw"), kLayoutGRAY, 64, 48, 40);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
        QString error;
        ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
        dlg->AfterOpen(path, s);
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }

    std::unique_ptr<CTNViewerDlg> dlg;
    QString path;
};

// A row the menu shows names its key after the tab of the command's item, or as a shortcut of
// the item's action; every key a label names after its tab is a row of that command.
TEST_F(KeyTableWindow, EveryCommandWithAKeyShowsItInItsMenu) {
    for (const KeyRow& row : Table()) {
        QAction* action = dlg->Action(row.command);
        const QString name = kavlo::KeyName(row.key);
        if (row.flags & (kavlo::kKeyInMenu | kavlo::kKeyWindowShortcut)) {
            ASSERT_NE(action, nullptr) << Describe(row);
            EXPECT_EQ(action->text().section(QLatin1Char('\t'), 1), name) << Describe(row);
        }
        if (row.flags & kavlo::kKeyActionShortcut) {
            ASSERT_NE(action, nullptr) << Describe(row);
            EXPECT_TRUE(action->shortcuts().contains(QKeySequence(row.key))) << Describe(row);
        }
    }
    for (QAction* action : dlg->MenuBar()->findChildren<QAction*>()) {
        const QString shown = action->text().section(QLatin1Char('\t'), 1);
        if (shown.isEmpty()) continue;
        const int command = action->data().toInt();
        const bool known = std::any_of(Table().begin(), Table().end(), [&](const KeyRow& row) {
            return row.command == command && kavlo::KeyName(row.key) == shown;
        });
        EXPECT_TRUE(known) << action->text().toStdString();
    }
}

// Every row is on a line of the keys section, in the help text and in the window that
// Help > Keyboard Shortcuts (F1) opens.
TEST_F(KeyTableWindow, EveryRowAppearsInTheHelpWindow) {
    OpenClip();
    dlg->View()->setFocus();
    QTest::keyClick(dlg->View(), Qt::Key_F1);
    auto* shown = dlg->findChild<QPlainTextEdit*>(QStringLiteral("KeysText"));
    ASSERT_NE(shown, nullptr) << "F1 opens the keys";
    EXPECT_TRUE(shown->window()->isVisible());
    const QStringList helpLines = CHelpWin::BuildKeysText().split(QStringLiteral("\r\n"));
    const QStringList windowLines = shown->toPlainText().split(QLatin1Char('\n'));
    QString text;
    for (const KeyRow& row : Table()) {
        if (row.help) text = QString::fromUtf8(row.help);
        const QString name = kavlo::KeyName(row.key);
        for (const QStringList* lines : {&helpLines, &windowLines}) {
            const bool listed = std::any_of(lines->begin(), lines->end(), [&](const QString& l) {
                const QString names = l.section(QLatin1Char('\t'), 0, 0);
                return names.split(QStringLiteral(", ")).contains(name) &&
                       l.endsWith(QStringLiteral("- ") + text);
            });
            EXPECT_TRUE(listed) << Describe(row);
        }
    }
    // The menu item names its key too.
    EXPECT_EQ(dlg->Action(CmdKeyboardShortcuts)->shortcuts().value(0), QKeySequence(Qt::Key_F1));
}

// A text field keeps every key of the table that it uses for itself (letters, digits, arrows,
// Home/End, PgUp/PgDn, +, -, F5...): nothing changes in the window while it has the focus.
class TextFieldKeys : public KeyTableWindow, public ::testing::WithParamInterface<size_t> {};

auto WindowState(CTNViewerDlg& dlg) {
    CVideoBuffer* v = dlg.View();
    const ViewSwitches& s = v->Switches();
    return std::make_tuple(v->CurrentPosition(), v->Zoom(), v->FitToWindow(), v->HexValues(),
                           v->FullRange(), static_cast<int>(v->ColourMatrixChoice()), s.lumaOnly,
                           s.cbOnly, s.crOnly, s.deinterlace, s.deinterlaceMethod, s.splitFields,
                           s.flipToggle, s.mosaicGrey, s.swappedFieldOrder, s.interlaceToggle,
                           s.filter1, dlg.Playback()->Playing(), dlg.Playback()->Loop(),
                           dlg.Action(CmdHistogram)->isChecked());
}

TEST_P(TextFieldKeys, RateFieldKeepsTheKey) {
    const KeyRow& row = Table()[GetParam()];
    OpenClip();
    dlg->OnCommand(CmdStepForward);  // not the first frame, so that Home would show
    QLineEdit* rate = dlg->RateField();
    rate->setFocus();
    ASSERT_TRUE(rate->hasFocus());
    const auto before = WindowState(*dlg);
    QTest::keyClick(rate, row.key.key(), row.key.keyboardModifiers());
    EXPECT_EQ(WindowState(*dlg), before) << Describe(row);
    EXPECT_TRUE(rate->hasFocus()) << Describe(row);
}

// The rows of keys a field uses: Ctrl keys are shortcuts even in a field, Esc gives the keys
// back to the picture and F1 opens the keys.
std::vector<size_t> FieldKeyRows() {
    std::vector<size_t> rows;
    for (size_t i = 0; i < Table().size(); ++i) {
        const QKeyCombination key = Table()[i].key;
        if (!(key.keyboardModifiers() & Qt::ControlModifier) && key.key() != Qt::Key_Escape &&
            key.key() != Qt::Key_F1)
            rows.push_back(i);
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, TextFieldKeys, ::testing::ValuesIn(FieldKeyRows()),
    [](const ::testing::TestParamInfo<size_t>& param) {
        QString name = kavlo::KeyName(Table()[param.param].key);
        for (QChar& c : name)
            if (!c.isLetterOrNumber()) c = QLatin1Char('_');
        return QStringLiteral("%1_%2").arg(param.param).arg(name).toStdString();
    });

}  // namespace
