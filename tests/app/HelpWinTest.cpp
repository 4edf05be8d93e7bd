// The usage and error window: its text, the tab rule and the scrolling keys.
#include "app/window/HelpWin.h"

#include "image/PixelLayout.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const QString& text) { return text.split(QStringLiteral("\r\n")); }

TEST(HelpText, ListsEveryLayoutInCatalogueOrderBetweenTheLAndWLines) {
    const QString text =
        CHelpWin::BuildUsageText(QStringLiteral("Kavlo"), [](const QString&) { return false; });
    EXPECT_TRUE(text.startsWith(QStringLiteral("Usage: Kavlo [Settings] [Filename]\r\n\t\t\r\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("-mv\t\tmirror the output vertically\r\n\t\t\r\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("-matrix\t\tY'CbCr colour matrix: 601 (default), 709, 2020 or auto\r\n")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("-range\t\tY'CbCr sample range: limited (default) or full\r\n")));
    const QStringList lines = Lines(text);
    const int l = int(lines.indexOf(QStringLiteral("-l\t\tone of the pixel layouts:")));
    const int w = int(lines.indexOf(QStringLiteral("-w\t\tthe image file's width")));
    ASSERT_GE(l, 0);
    ASSERT_GT(w - l - 2, kLayoutCount);  // the rows, the other names, the blank line before -w
    for (int i = 0; i < kLayoutCount; ++i) {
        const PixelLayoutInfo& row = LayoutCatalogue()[i];
        EXPECT_EQ(lines[l + 1 + i],
                  QStringLiteral("\t\t%1\t\t- %2")
                      .arg(QLatin1String(row.name), QLatin1String(row.description)));
    }
}

// After the rows: the other names of each layout that has some, between the rows and -w.
TEST(HelpText, OtherNamesFollowTheRows) {
    const QString text =
        CHelpWin::BuildUsageText(QStringLiteral("Kavlo"), [](const QString&) { return false; });
    const QStringList lines = Lines(text);
    const int l = int(lines.indexOf(QStringLiteral("-l\t\tone of the pixel layouts:")));
    const int w = int(lines.indexOf(QStringLiteral("-w\t\tthe image file's width")));
    for (const char* line :
         {"\t\tI420\t- yuv420p", "\t\tI420LE10\t- yuv420p10le", "\t\tBGR3\t- bgr24 (top-down)",
          "\t\tRGB4\t- RGB0 (top-down)", "\t\tARGB\t- 0RGB", "\t\tY410\t- xv30le",
          "\t\tBGR161616\t- rgb48le"}) {
        const int at = int(lines.indexOf(QString::fromLatin1(line)));
        EXPECT_GT(at, l + kLayoutCount) << line;
        EXPECT_LT(at, w) << line;
    }
}

TEST(HelpText, WideNamesGetOneTabNarrowOnesTwo) {
    const QString text = CHelpWin::BuildUsageText(
        QStringLiteral("Kavlo"), [](const QString& name) { return name.size() > 4; });
    EXPECT_TRUE(text.contains(QStringLiteral("\r\n\t\tGRAY\t\t- ")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r\n\t\tBGRA16161616\t- ")));
}

TEST(HelpText, KeysSectionNamesTheTableKeysAndTheWindowKeys) {
    const QStringList lines = Lines(CHelpWin::BuildKeysText());
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("Keys:"));
    for (const char* line : {
             "0\t\t- show all: fit, and every display switch off",
             "Ctrl+0\t\t- actual size (zoom 100%)",
             "7\t\t- Y' channel alone",
             "D\t\t- deinterlace on or off",
             "M\t\t- Bayer mosaic samples as grey on or off",
             "Shift+F\t\t- fields stored separately, inverted",
             "Shift+1\t\t- deinterlacing method: top field",
             "Shift+4\t\t- deinterlacing method: low-pass filter",
             "Keypad +\t- zoom in",
             "Left, Right\t- previous, next frame",
             "PgUp, PgDn\t- ten frames on, back",
             "Home, End\t- first, last frame",
             "Ctrl+wheel\t- zoom about the pointer",
             "C\t\t- colour matrix: BT.601, BT.709, BT.2020, automatic (View > Colour)",
             "R\t\t- full-range Y'CbCr on or off (View > Colour)",
             "A\t\t- show A or B, the other at once (Compare menu)",
             "Shift+Y\t\t- signed difference 128+k(A-B)",
         }) {
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
    }
    // Keys without a meaning in the table are not listed.
    // (A compares with a reference now: N stands for the free letters.)
    for (const char* absent : {"4\t", "5\t", "N\t", "Shift+5", "Shift+D"}) {
        EXPECT_FALSE(
            CHelpWin::BuildKeysText().contains(QStringLiteral("\n") + QLatin1String(absent)))
            << absent;
    }
}

TEST(HelpWindow, ShowsTheKeysAfterTheUsage) {
    CHelpWin help;
    ASSERT_TRUE(help.OnInitDialog());
    const QString shown = help.UsageControl()->toPlainText();
    const qsizetype usageEnd = shown.indexOf(QStringLiteral("-mv\t\tmirror the output vertically"));
    const qsizetype keys = shown.indexOf(QStringLiteral("\nKeys:\n"));
    ASSERT_GE(usageEnd, 0);
    EXPECT_GT(keys, usageEnd);
    EXPECT_TRUE(shown.contains(QStringLiteral("\nHome, End\t- first, last frame\n")));
    // What names and YUV4MPEG2 headers supply, between the usage and the keys.
    const qsizetype opening = shown.indexOf(QStringLiteral("\nFiles without settings:\n"));
    EXPECT_GT(opening, usageEnd);
    EXPECT_LT(opening, keys);
    EXPECT_GT(shown.indexOf(QStringLiteral("YUV4MPEG2"), opening), opening);
    // The command-line tool is named after the keys.
    EXPECT_GT(shown.indexOf(QStringLiteral("\nkavlo-tool ")), keys);
}

TEST(HelpWindow, MeasuresNamesWithTheUsageControlsFont) {
    CHelpWin help;
    help.SetErrorText(QStringLiteral("Error: Unknown pixel layout."));
    ASSERT_TRUE(help.OnInitDialog());
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Kavlo"));
    EXPECT_EQ(help.ErrorControl()->text(), QStringLiteral("Error: Unknown pixel layout."));
    const QString shown = help.UsageControl()->toPlainText();
    const QFontMetrics metrics(help.UsageControl()->font());
    int wide = 0, narrow = 0;
    for (int i = 0; i < kLayoutCount; ++i) {
        const QString name = QLatin1String(LayoutCatalogue()[i].name);
        const bool isWide = metrics.horizontalAdvance(name) >= 60;
        (isWide ? wide : narrow)++;
        const QString expected = QStringLiteral("\n\t\t") + name +
                                 (isWide ? QStringLiteral("\t- ") : QStringLiteral("\t\t- "));
        EXPECT_TRUE(shown.contains(expected)) << name.toStdString();
    }
    EXPECT_GT(wide, 0);
    EXPECT_GT(narrow, 0);
}

// An error window shows the error first and the usage collapsed under a toggle; the usage asked
// for is shown at once, without the toggle.
TEST(HelpWindow, ErrorComesFirstWithTheUsageCollapsed) {
    CHelpWin error;
    error.SetErrorText(QStringLiteral("Error: 'abc' is not a number (-w abc)."));
    error.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&error));
    QPushButton* toggle = error.UsageToggle();
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isVisible());
    EXPECT_EQ(toggle->text(), QStringLiteral("Show usage"));
    EXPECT_FALSE(error.UsageControl()->isVisible());
    EXPECT_TRUE(error.ErrorControl()->isVisible());
    EXPECT_LT(error.ErrorControl()->geometry().bottom(), toggle->geometry().top());
    // The collapsed window is no taller than the error needs.
    EXPECT_LT(error.height(), 570);
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_TRUE(error.UsageControl()->isVisible());
    EXPECT_EQ(toggle->text(), QStringLiteral("Hide usage"));
    EXPECT_LT(error.ErrorControl()->geometry().bottom(), error.UsageControl()->geometry().top());
    EXPECT_TRUE(error.UsageControl()->toPlainText().startsWith(QStringLiteral("Usage: Kavlo")));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_FALSE(error.UsageControl()->isVisible());
    // The toggle is no default button: Enter still closes the window.
    EXPECT_FALSE(toggle->isDefault());

    CHelpWin usage;
    usage.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&usage));
    EXPECT_TRUE(usage.UsageControl()->isVisible());
    EXPECT_FALSE(usage.UsageToggle()->isVisible());
}

TEST(HelpWindow, ScrollingKeysReachTheUsageTextWhateverHasTheFocus) {
    CHelpWin help;
    help.SetErrorText(QString());
    help.resize(400, 300);
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    EXPECT_EQ(help.ErrorControl()->text(), QString());
    auto* ok = help.findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    ok->setFocus();
    QScrollBar* bar = help.UsageControl()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(ok, Qt::Key_PageDown);
    const int afterPage = bar->value();
    EXPECT_GT(afterPage, 0);
    QTest::keyClick(ok, Qt::Key_Right);
    QTest::keyClick(ok, Qt::Key_Left);
    EXPECT_EQ(bar->value(), afterPage);
    QTest::keyClick(ok, Qt::Key_End);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::keyClick(ok, Qt::Key_Up);
    EXPECT_LT(bar->value(), bar->maximum());
    QTest::keyClick(ok, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(help.isVisible());
}

}  // namespace
