// The raw video settings dialog on a live preview: guesses, settings that fit no frame, typed,
// stepped and chosen values, refused text, the layout fallback order, preset matching, and what
// the dialog hands back.
#include "app/open/RawSettingsDlg.h"

#include "ShellTestSupport.h"
#include "image/FrameMemory.h"
#include "view/file/LocalFileName.h"
#include "view/VideoBuffer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

RawSettings NoSettings() {
    RawSettings r;
    std::memset(&r, 0, sizeof r);
    return r;
}

template <class W>
W* Control(CRawSettingsDlg& dlg, int id) {
    return dlg.findChild<W*>(QStringLiteral("Control%1").arg(id));
}

// Opens the dialog's preview and window the way RunForFile does, without the modal loop.
class SettingsDialog : public ::testing::Test {
protected:
    int Start(const QString& path, const RawSettings& settings, int64_t frame = 0) {
        const int result = dlg.Prepare(path, settings, error, frame);
        if (result == 0) {
            dlg.show();
            dlg.activateWindow();
            (void)QTest::qWaitForWindowExposed(&dlg);
        }
        return result;
    }
    void TypeInto(int id, const QString& text, int key = Qt::Key_Return) {
        auto* edit = Control<QLineEdit>(dlg, id);
        ASSERT_NE(edit, nullptr);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key(key));
    }
    void Choose(int id, int index) {
        auto* combo = Control<QComboBox>(dlg, id);
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
    }
    void Step(int id, bool up) {
        auto* spin = Control<CUpDown>(dlg, id);
        QTest::mouseClick(up ? spin->UpButton() : spin->DownButton(), Qt::LeftButton);
    }
    const RawVideoFormat& Format() const { return dlg.Settings().rawFormat; }
    QPushButton* Ok() { return dlg.findChild<QPushButton*>(QStringLiteral("Control1")); }
    QString Info() { return Control<QLabel>(dlg, CRawSettingsDlg::kIdInfo)->text(); }
    // The preview shows the file and OK hands the settings back, or neither.
    void ExpectFit(bool fits) {
        EXPECT_EQ(dlg.SettingsFit(), fits);
        EXPECT_EQ(dlg.Preview()->isVisible(), fits);
        EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("FitMessage"))->isVisible(), !fits);
        EXPECT_EQ(Ok()->isEnabled(), fits);
        EXPECT_EQ(Control<QSlider>(dlg, CRawSettingsDlg::kIdFrameSlider)->isEnabled(), fits);
    }

    CRawSettingsDlg dlg;
    QString error;
};

TEST_F(SettingsDialog, GuessesTheCommonReadingThatFitsTheFile) {
    const QString path =
        shelltest::Clip(QStringLiteral("guess-uyvy.raw"), kLayoutUYVY, 720, 576, 1);
    ASSERT_EQ(Start(path, NoSettings()), 0) << error.toStdString();
    EXPECT_EQ(Format().code, kLayoutUYVY);
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(Format().height, 576);
    EXPECT_EQ(Info(), QStringLiteral("Total Frames: 1   File size: 829440   Rest Bytes: 0"));
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset)->currentText(),
              QStringLiteral("720x576 D1 (625)"));
    EXPECT_TRUE(Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout)
                    ->currentText()
                    .startsWith(QStringLiteral("UYVY - ")));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("RAW Video Settings (%1) - Kavlo").arg(path));
    EXPECT_TRUE(dlg.Preview()->FitMode());
    ExpectFit(true);
}

// Five PAL I420 frames are as many bytes as one HD I420 frame: the file's first bytes decide,
// read by the name's bytes when it is not UTF-8.
TEST_F(SettingsDialog, GuessReadsTheFileStartByTheNamesBytes) {
    const QString made = shelltest::Clip(QStringLiteral("pal-made.yuv"), kLayoutI420, 720, 576, 5);
    ASSERT_FALSE(made.isEmpty());
    const QByteArray from = QFile::encodeName(made);
    const QByteArray bytes = from.left(from.lastIndexOf('/') + 1) + "pal-caf\xE9.yuv";
    ASSERT_EQ(std::rename(from.constData(), bytes.constData()), 0);
    ASSERT_EQ(Start(kavlo::FileNameFromBytes(bytes), NoSettings()), 0) << error.toStdString();
    EXPECT_EQ(Format().code, kLayoutI420);
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(Format().height, 576);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 5);
    std::remove(bytes.constData());
}

TEST_F(SettingsDialog, BelowTheCommonSizesTheHalvingYuyvGuessStays) {
    const QString path = shelltest::FileOfSize(QStringLiteral("guess12000.raw"), 12000);
    ASSERT_EQ(Start(path, NoSettings()), 0);
    EXPECT_EQ(Format().code, kLayoutYUYV);
    EXPECT_EQ(Format().width, 90);
    EXPECT_EQ(Format().height, 60);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 1);
}

TEST_F(SettingsDialog, CannotBeShownForMissingEmptyOrSpecialFiles) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe.raw"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path :
         {QStringLiteral("/nonexistent/file.raw"),
          shelltest::FileOfSize(QStringLiteral("empty.raw"), 0), dir.path(), pipe}) {
        error.clear();
        EXPECT_EQ(dlg.RunForFile(path, NoSettings(), error, 0), 3) << path.toStdString();
        EXPECT_EQ(error, QStringLiteral("Error: Couldn't open file or file too small"));
    }
}

// Settings that hold no frame of the file open the dialog all the same: the preview's place says
// why and OK waits; every value is taken until a frame fits, and then the file shows.
TEST_F(SettingsDialog, OpensWhenNoFrameFitsAndShowsTheFileOnceOneDoes) {
    const QString path = shelltest::Clip(QStringLiteral("gray64x48.raw"), kLayoutGRAY, 64, 48, 2);
    ASSERT_EQ(QFileInfo(path).size(), 6144);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0) << error.toStdString();
    ExpectFit(false);
    EXPECT_EQ(
        dlg.FitMessage(),
        QStringLiteral("one 720\u00D7480 YUYV frame needs 691,200 bytes; the file has 6,144"));
    EXPECT_EQ(Info(), QStringLiteral("Total Frames: 0   File size: 6144   Rest Bytes: 6144"));

    Choose(CRawSettingsDlg::kIdLayout, *LayoutIndex(kLayoutGRAY));
    EXPECT_EQ(Format().code, kLayoutGRAY);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("64"));
    EXPECT_EQ(Format().width, 64);  // taken, though 64 x 480 holds no frame either
    ExpectFit(false);
    EXPECT_EQ(dlg.FitMessage(),
              QStringLiteral("one 64\u00D7480 GRAY frame needs 30,720 bytes; the file has 6,144"));
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("48"));
    ExpectFit(true);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 2);
    EXPECT_EQ(Info(), QStringLiteral("Total Frames: 2   File size: 6144   Rest Bytes: 0"));
    EXPECT_EQ(Control<QSlider>(dlg, CRawSettingsDlg::kIdFrameSlider)->maximum(), 1);

    // From now on a value that leaves no frame is refused, and the reason shows.
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("100"));
    EXPECT_EQ(Format().height, 48);
    ExpectFit(true);
    EXPECT_EQ(dlg.Note(), QStringLiteral("Height 100 refused: one 64\u00D7100 GRAY frame needs "
                                         "6,400 bytes; the file has 6,144"));
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("96"));
    EXPECT_EQ(Format().height, 96);
    EXPECT_TRUE(dlg.Note().isEmpty());
}

// Without stored settings a small clip is read by the small sizes that divide it, its picture
// deciding; a file below every size opens on a guess that holds no frame (GRAY half the file by
// the rest), with the frame slider at 0, instead of failing.
TEST_F(SettingsDialog, SmallFileWithoutSettingsOpensOnTheGuess) {
    const QString path = shelltest::Clip(QStringLiteral("gray-small.raw"), kLayoutGRAY, 64, 48, 2);
    ASSERT_EQ(Start(path, NoSettings()), 0) << error.toStdString();
    EXPECT_EQ(Format().code, kLayoutGRAY);
    EXPECT_EQ(Format().width, 64);
    EXPECT_EQ(Format().height, 48);
    ExpectFit(true);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 2);

    CRawSettingsDlg tiny;
    ASSERT_EQ(tiny.Prepare(shelltest::FileOfSize(QStringLiteral("tiny.raw"), 200), NoSettings(),
                           error, 0),
              0);
    EXPECT_FALSE(tiny.SettingsFit());
    EXPECT_EQ(
        tiny.findChild<QLabel*>(QStringLiteral("Control%1").arg(CRawSettingsDlg::kIdFrameLabel))
            ->text(),
        QStringLiteral("0"));
    // A one-byte file is a single pixel.
    CRawSettingsDlg one;
    EXPECT_EQ(
        one.Prepare(shelltest::FileOfSize(QStringLiteral("one.raw"), 1), NoSettings(), error, 0),
        0);
    EXPECT_TRUE(one.SettingsFit());
}

// 8K frames (up to 8192 x 4320) are in reach of the typed size.
TEST_F(SettingsDialog, EightKFramesOpenFromTheDialog) {
    const QString path = shelltest::SparseFile(QStringLiteral("8k.raw"), 8192LL * 4320);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutGRAY, 720, 480)), 0) << error.toStdString();
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("8192"));
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("4320"));
    EXPECT_EQ(Format().width, 8192);
    EXPECT_EQ(Format().height, 4320);
    EXPECT_EQ(dlg.Preview()->FrameWidth(), 8192);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 1);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("7680"));
    EXPECT_EQ(dlg.Preview()->FrameWidth(), 7680);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit)->text(),
              QStringLiteral("7680"));
}

// Text that is not a number is refused where it stands: the field keeps it, marked, the reason
// shows, and OK waits until the field shows a value again.
TEST_F(SettingsDialog, TextThatIsNoNumberIsRefusedVisibly) {
    const QString path = shelltest::FileOfSize(QStringLiteral("text.raw"), 3 * 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    auto* height = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdHeightEdit);
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("abc"));
    EXPECT_EQ(Format().height, 480);
    EXPECT_EQ(height->text(), QStringLiteral("abc"));
    EXPECT_TRUE(height->property("refused").toBool());
    EXPECT_EQ(dlg.Note(), QStringLiteral("Height: \"abc\" is not a whole number"));
    EXPECT_FALSE(Ok()->isEnabled());
    QTest::keyClick(height, Qt::Key_Escape);
    EXPECT_EQ(height->text(), QStringLiteral("480"));
    EXPECT_FALSE(height->property("refused").toBool());
    EXPECT_TRUE(dlg.Note().isEmpty());
    EXPECT_TRUE(Ok()->isEnabled());

    // Digits followed by letters are no number either; a number typed over it is taken.
    auto* prefix = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFilePrefix);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("12abc"));
    EXPECT_EQ(dlg.Settings().filePrefix, 0);
    EXPECT_TRUE(prefix->property("refused").toBool());
    EXPECT_FALSE(Ok()->isEnabled());
    Step(CRawSettingsDlg::kIdFilePrefixSpin, true);  // steps from the value in force
    EXPECT_EQ(dlg.Settings().filePrefix, 1);
    EXPECT_FALSE(prefix->property("refused").toBool());
    EXPECT_TRUE(Ok()->isEnabled());
}

TEST_F(SettingsDialog, TypedValuesAreValidatedAndEnterNeverCloses) {
    const QString path = shelltest::FileOfSize(QStringLiteral("typed.raw"), 3 * 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("353"));
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit)->text(),
              QStringLiteral("352"));
    EXPECT_EQ(Control<QSlider>(dlg, CRawSettingsDlg::kIdWidthSlider)->value(), 352);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset)->currentIndex(),
              0);  // 352 x 480: Custom

    // Too wide for the file: the previous width is shown again.
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("4000"));
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit)->text(),
              QStringLiteral("352"));

    EXPECT_EQ(
        dlg.Note(),
        QStringLiteral("Width 4000 refused: one 4000\u00D7480 YUYV frame needs 3,840,000 bytes; "
                       "the file has 2,073,600"));
    // The note has a row of its own: it covers neither the preview nor another control.
    auto* note = dlg.findChild<QLabel*>(QStringLiteral("Note"));
    ASSERT_TRUE(note->isVisible());
    for (QWidget* other : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other == note || !other->isVisible()) continue;
        EXPECT_FALSE(note->geometry().intersects(other->geometry()))
            << other->objectName().toStdString();
    }
    EXPECT_TRUE(dlg.rect().contains(note->geometry()));

    // Zero is a number: the range limit makes 2 of it.
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("0"));
    EXPECT_EQ(Format().height, 2);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdHeightEdit)->text(), QStringLiteral("2"));

    // A file prefix beyond the old 65535 is taken when a frame still fits behind it.
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("70000"));
    EXPECT_EQ(dlg.Settings().filePrefix, 70000);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("99999999"));
    EXPECT_EQ(dlg.Settings().filePrefix, 70000);

    // Escape shows the value in force again and keeps the dialog open.
    auto* edit = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFramePostfix);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("77"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    EXPECT_TRUE(dlg.isVisible());
}

// A value typed into a field counts when the field is left by Tab or a click, and when OK is
// pressed while the field still has the focus; one that is refused keeps the dialog open.
TEST_F(SettingsDialog, TypedValuesCountWithoutReturn) {
    const QString path = shelltest::FileOfSize(QStringLiteral("left.raw"), 3 * 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("640"), Qt::Key_Tab);
    EXPECT_EQ(Format().width, 640);
    auto* prefix = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFilePrefix);
    prefix->setFocus();
    prefix->selectAll();
    QTest::keyClicks(prefix, QStringLiteral("512"));
    QTest::mouseClick(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFramePrefix), Qt::LeftButton);
    EXPECT_EQ(dlg.Settings().filePrefix, 512);

    // Typed and OK clicked straight away: the value is in the record that OK hands back.
    auto* framePrefix = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFramePrefix);
    framePrefix->setFocus();
    framePrefix->selectAll();
    QTest::keyClicks(framePrefix, QStringLiteral("64"));
    dlg.accept();
    EXPECT_EQ(dlg.Settings().framePrefix, 64);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(SettingsDialog, RefusedTypedValueKeepsTheDialogOpenOnOk) {
    const QString path = shelltest::FileOfSize(QStringLiteral("refuse.raw"), 3 * 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    auto* width = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit);
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("4000"));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Format().width, 720);
    EXPECT_TRUE(dlg.Note().startsWith(QStringLiteral("Width 4000 refused")));
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("abc"));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Note(), QStringLiteral("Width: \"abc\" is not a whole number"));
}

// A padded buffer: the line pitch is typed, counts in the frame arithmetic, stays through size
// changes while a line fits in it, and "auto" gives the layout's own pitch back.
TEST_F(SettingsDialog, LinePitchIsTypedCheckedAndKept) {
    const QString path = shelltest::FileOfSize(QStringLiteral("padded.raw"), 128 * 50 * 2);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutGRAY, 100, 50)), 0);
    auto* pitch = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdLinePitch);
    ASSERT_NE(pitch, nullptr);
    EXPECT_EQ(pitch->text(), QStringLiteral("auto"));
    EXPECT_EQ(Info(), QStringLiteral("Total Frames: 2   File size: 12800   Rest Bytes: 2800"));
    TypeInto(CRawSettingsDlg::kIdLinePitch, QStringLiteral("128"), Qt::Key_Tab);
    EXPECT_EQ(Format().lineBytes, 128);
    EXPECT_EQ(Info(), QStringLiteral("Total Frames: 2   File size: 12800   Rest Bytes: 0"));

    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("120"));
    EXPECT_EQ(Format().width, 120);
    EXPECT_EQ(Format().lineBytes, 128);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("200"));
    EXPECT_EQ(Format().width, 120);
    EXPECT_EQ(dlg.Note(), QStringLiteral("Refused for the line pitch: a 200\u00D750 GRAY frame "
                                         "needs a line pitch of at least 200 bytes"));
    TypeInto(CRawSettingsDlg::kIdLinePitch, QStringLiteral("64"));
    EXPECT_EQ(Format().lineBytes, 128);
    EXPECT_EQ(pitch->text(), QStringLiteral("128"));
    EXPECT_EQ(dlg.Note(), QStringLiteral("Line pitch 64 refused: a 120\u00D750 GRAY frame needs a "
                                         "line pitch of at least 120 bytes"));
    TypeInto(CRawSettingsDlg::kIdLinePitch, QStringLiteral("auto"));
    EXPECT_EQ(Format().lineBytes, 120);
    EXPECT_EQ(pitch->text(), QStringLiteral("auto"));

    // A record that holds a pitch of its own shows it and keeps it.
    CRawSettingsDlg again;
    RawSettings padded = shelltest::SettingsFor(kLayoutGRAY, 100, 50);
    padded.rawFormat.lineBytes = 128;
    ASSERT_EQ(again.Prepare(path, padded, error, 0), 0);
    EXPECT_EQ(
        again.findChild<QLineEdit*>(QStringLiteral("Control%1").arg(CRawSettingsDlg::kIdLinePitch))
            ->text(),
        QStringLiteral("128"));
    EXPECT_EQ(again.Settings().rawFormat.lineBytes, 128);
}

TEST_F(SettingsDialog, PrefixLargerThanTheFileKeepsThePreviousOne) {
    const QString path = shelltest::FileOfSize(QStringLiteral("prefix.raw"), 691200 + 100);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("60"));
    EXPECT_EQ(dlg.Settings().filePrefix, 60);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("5000"));
    EXPECT_EQ(dlg.Settings().filePrefix, 60);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFilePrefix)->text(),
              QStringLiteral("60"));
}

TEST_F(SettingsDialog, SpinArrowsStepByTheMultiples) {
    const QString path = shelltest::FileOfSize(QStringLiteral("spin.raw"), 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    Step(CRawSettingsDlg::kIdWidthSpin, true);  // 722 x 480 needs more than the file
    EXPECT_EQ(Format().width, 720);
    Step(CRawSettingsDlg::kIdWidthSpin, false);
    EXPECT_EQ(Format().width, 718);
    Step(CRawSettingsDlg::kIdHeightSpin, false);
    EXPECT_EQ(Format().height, 479);
    Step(CRawSettingsDlg::kIdFramePostfixSpin, true);
    EXPECT_EQ(dlg.Settings().framePostfix, 1u);
    Step(CRawSettingsDlg::kIdFramePostfixSpin, false);
    Step(CRawSettingsDlg::kIdFramePostfixSpin, false);
    EXPECT_EQ(dlg.Settings().framePostfix, 0u);
}

struct FallbackCase {
    const char* name;
    uint32_t startCode;
    int chosen;
    uint32_t expectedCode;
};

TEST_F(SettingsDialog, LayoutFallsBackInTheDirectionOfTheChoice) {
    // The file holds exactly one 720 x 480 frame of 2 bytes per pixel.
    const QString path = shelltest::FileOfSize(QStringLiteral("fallback.raw"), 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    auto* layout = Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout);
    const auto indexOf = [](uint32_t code) { return *LayoutIndex(code); };

    // Down the list from YUYV: Y210 .. AYUV need more bytes, R555 (2 bytes per pixel) fits.
    Choose(CRawSettingsDlg::kIdLayout, indexOf(kLayoutY210));
    EXPECT_EQ(Format().code, kLayoutR555);
    EXPECT_EQ(layout->currentIndex(), indexOf(kLayoutR555));

    // Up the list from R555: I420BE16 and I420LE16 need more, I420 (1.5 bytes per pixel) fits.
    Choose(CRawSettingsDlg::kIdLayout, indexOf(kLayoutI420BE16));
    EXPECT_EQ(Format().code, kLayoutI420);
    EXPECT_EQ(layout->currentIndex(), indexOf(kLayoutI420));
}

// The list holds every row of the catalogue, the rows after the stored 40 too, and a record
// of such a layout opens on its row; a layout of the same frame size can be chosen.
TEST_F(SettingsDialog, ListsEveryLayoutAndOpensOnTheNewerRows) {
    const QString path = shelltest::FileOfSize(QStringLiteral("nv12.raw"), 518400);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutNV12, 720, 480)), 0);
    auto* layout = Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout);
    EXPECT_EQ(layout->count(), kLayoutCount);
    // A row's other names show on hover.
    EXPECT_EQ(layout->itemData(*LayoutIndex(kLayoutI420LE10), Qt::ToolTipRole).toString(),
              QStringLiteral("Also named: yuv420p10le"));
    EXPECT_EQ(layout->currentIndex(), *LayoutIndex(kLayoutNV12));
    EXPECT_TRUE(layout->currentText().startsWith(QStringLiteral("NV12 - ")))
        << layout->currentText().toStdString();
    Choose(CRawSettingsDlg::kIdLayout, *LayoutIndex(kLayoutNV21));
    EXPECT_EQ(Format().code, kLayoutNV21);
    ExpectFit(true);
}

TEST_F(SettingsDialog, LayoutThatNothingBelowCanHoldKeepsThePrevious) {
    const QString path = shelltest::FileOfSize(QStringLiteral("gray.raw"), 345600);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutGRAY, 720, 480)), 0);
    // The rows from `tail` to the end of the catalogue all need more than the file holds.
    int tail = kLayoutCount;
    while (tail > 0 && MinFrameBytes(LayoutCatalogue()[tail - 1].code, 720, 480) > 345600) --tail;
    ASSERT_LT(tail, kLayoutCount);
    Choose(CRawSettingsDlg::kIdLayout, tail);
    EXPECT_EQ(Format().code, kLayoutGRAY);
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout)->currentIndex(),
              *LayoutIndex(kLayoutGRAY));
}

TEST_F(SettingsDialog, PresetsApplyOrFallBackToTheMatchingEntry) {
    const QString path = shelltest::FileOfSize(QStringLiteral("preset.raw"), 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    auto* preset = Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset);
    Choose(CRawSettingsDlg::kIdPreset, rawsettings::PresetFor(1920, 1080));  // does not fit
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(preset->currentIndex(), rawsettings::PresetFor(720, 480));
    Choose(CRawSettingsDlg::kIdPreset, 0);  // Custom never applies
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(preset->currentIndex(), rawsettings::PresetFor(720, 480));
    Choose(CRawSettingsDlg::kIdPreset, rawsettings::PresetFor(352, 288));
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Format().height, 288);
    EXPECT_EQ(preset->currentIndex(), rawsettings::PresetFor(352, 288));
    EXPECT_EQ(dlg.Preview()->FrameCount(), 3);
}

TEST_F(SettingsDialog, InterlaceEventsAndTheRememberedDeinterlaceValues) {
    const QString path = shelltest::Clip(QStringLiteral("inter.raw"), kLayoutYUYV, 64, 32, 4);
    ASSERT_FALSE(path.isEmpty());
    RawSettings start = shelltest::SettingsFor(kLayoutYUYV, 64, 32);
    start.deinterlace = 0;
    start.deinterlaceMethod = 3;
    ASSERT_EQ(Start(path, start), 0);
    QTest::mouseClick(Control<QRadioButton>(dlg, CRawSettingsDlg::kIdInterlaced), Qt::LeftButton);
    EXPECT_EQ(Format().fieldCount, 2);
    EXPECT_EQ(Format().fieldDetail, 9);
    EXPECT_TRUE(Format().extensionFlags & kExtFieldInfo);
    EXPECT_EQ(dlg.Settings().deinterlace, 1);
    EXPECT_FALSE(Control<QRadioButton>(dlg, CRawSettingsDlg::kIdProgressive)->isChecked());
    Choose(CRawSettingsDlg::kIdFieldArrangement, 3);
    EXPECT_EQ(Format().fieldDetail, 6);
    EXPECT_EQ(dlg.Preview()->StoredFlags().fieldsSeparated, 1);
    QTest::mouseClick(Control<QRadioButton>(dlg, CRawSettingsDlg::kIdProgressive), Qt::LeftButton);
    EXPECT_EQ(Format().fieldCount, 1);
    EXPECT_EQ(Format().fieldDetail, 0);
    EXPECT_FALSE(Control<QComboBox>(dlg, CRawSettingsDlg::kIdFieldArrangement)->isEnabled());
    dlg.done(QDialog::Accepted);
    dlg.FinishRun();
    EXPECT_EQ(dlg.Settings().deinterlace, 0);
    EXPECT_EQ(dlg.Settings().deinterlaceMethod, 3u);
}

TEST_F(SettingsDialog, FlipFollowsTheBoxAndTheVKey) {
    const QString path = shelltest::Clip(QStringLiteral("flip.raw"), kLayoutGRAY, 32, 16, 3);
    RawSettings start = shelltest::SettingsFor(kLayoutGRAY, 32, 16);
    start.mirrorVertical = 1;
    ASSERT_EQ(Start(path, start), 0);
    auto* flip = Control<QCheckBox>(dlg, CRawSettingsDlg::kIdFlip);
    EXPECT_TRUE(flip->isChecked());
    QTest::mouseClick(flip, Qt::LeftButton);
    EXPECT_EQ(dlg.Settings().mirrorVertical, 0);
    // Opened with the stored flip on: the toggle undoes it so that the picture matches the box.
    EXPECT_EQ(dlg.Preview()->Switches().flipToggle, 1);
    auto* slider = Control<QSlider>(dlg, CRawSettingsDlg::kIdFrameSlider);
    slider->setFocus();
    Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset)->setFocus();
    QTest::keyClick(Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset), Qt::Key_V);
    EXPECT_EQ(dlg.Settings().mirrorVertical, 1);
    EXPECT_TRUE(flip->isChecked());
    EXPECT_EQ(dlg.Preview()->Switches().flipToggle, 0);
}

// The Colour and Range boxes show the record's choice, set its bytes, and the preview follows;
// a value from elsewhere in the record shows as the default.
TEST_F(SettingsDialog, ColourAndRangeBoxesSetTheRecordAndThePreview) {
    const QString path = shelltest::Clip(QStringLiteral("colour.raw"), kLayoutUYVY, 32, 16, 3);
    RawSettings start = shelltest::SettingsFor(kLayoutUYVY, 32, 16);
    start.reserved202[0] = 9;  // no choice of this program
    ASSERT_EQ(Start(path, start), 0);
    auto* matrix = Control<QComboBox>(dlg, CRawSettingsDlg::kIdColourMatrix);
    auto* range = Control<QComboBox>(dlg, CRawSettingsDlg::kIdSampleRange);
    ASSERT_NE(matrix, nullptr);
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(matrix->currentText(), QStringLiteral("BT.601"));
    EXPECT_EQ(range->currentText(), QStringLiteral("Limited"));
    EXPECT_EQ(matrix->count(), 4);
    Choose(CRawSettingsDlg::kIdColourMatrix, 1);
    Choose(CRawSettingsDlg::kIdSampleRange, 1);
    EXPECT_EQ(dlg.Settings().reserved202[0], 1);
    EXPECT_EQ(dlg.Settings().reserved202[1], 1);
    EXPECT_EQ(dlg.Preview()->ColourText(), QStringLiteral("BT.709 full"));
    // A change of the format keeps the choice (the preview opens the file again).
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("8"));
    EXPECT_EQ(Format().height, 8);
    EXPECT_EQ(dlg.Preview()->ColourText(), QStringLiteral("BT.709 full"));
    Choose(CRawSettingsDlg::kIdColourMatrix, 3);
    EXPECT_EQ(dlg.Settings().reserved202[0], 3);
    EXPECT_EQ(matrix->currentText(), QStringLiteral("Automatic"));
}

// The "fps" field reads and writes the record's frameDuration / timeScale: a record without a
// rate (0) keeps it untouched, typed rates become exact fractions, and rates that are no rate
// are refused with the reason while OK waits for a mended value.
TEST_F(SettingsDialog, TheFrameRateFieldKeepsTheRateInTheRecord) {
    const QString path = shelltest::Clip(QStringLiteral("rate.raw"), kLayoutUYVY, 32, 16, 3);
    RawSettings start = shelltest::SettingsFor(kLayoutUYVY, 32, 16);
    start.frameDuration = 0;
    start.timeScale = 0;
    ASSERT_EQ(Start(path, start), 0);
    auto* rate = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFrameRate);
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->text(), QString());
    EXPECT_EQ(rate->placeholderText(), QStringLiteral("25"));
    // Enter on the empty field and a change of another field leave the zero rate as it was.
    TypeInto(CRawSettingsDlg::kIdFrameRate, QString());
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("8"));
    EXPECT_EQ(dlg.Settings().frameDuration, 0u);
    EXPECT_EQ(dlg.Settings().timeScale, 0u);

    struct Typed {
        const char* text;
        uint32_t duration, scale;
    };
    for (const Typed& t : {Typed{"29.97", 1001, 30000}, Typed{"50", 1, 50}, Typed{"12.5", 2, 25},
                           Typed{"59.94", 1001, 60000}, Typed{"23.976", 1001, 24000},
                           Typed{"0.1", 10, 1}, Typed{"1000", 1, 1000}}) {
        TypeInto(CRawSettingsDlg::kIdFrameRate, QString::fromLatin1(t.text));
        EXPECT_EQ(dlg.Settings().frameDuration, t.duration) << t.text;
        EXPECT_EQ(dlg.Settings().timeScale, t.scale) << t.text;
        EXPECT_EQ(rate->text(), QString::fromLatin1(t.text));
        EXPECT_TRUE(Ok()->isEnabled());
    }
    TypeInto(CRawSettingsDlg::kIdFrameRate, QStringLiteral("29.97"));
    for (const char* bad : {"nan", "abc", "0", "-5", "0.05", "1000.5"}) {
        TypeInto(CRawSettingsDlg::kIdFrameRate, QString::fromLatin1(bad));
        EXPECT_FALSE(Ok()->isEnabled()) << bad;
        EXPECT_TRUE(dlg.Note().startsWith(QStringLiteral("Frame rate: "))) << bad;
        EXPECT_EQ(dlg.Settings().frameDuration, 1001u) << bad << " leaves the rate in force";
        EXPECT_EQ(dlg.Settings().timeScale, 30000u) << bad;
        EXPECT_EQ(rate->text(), QString::fromLatin1(bad)) << "kept for the user to mend";
    }
    EXPECT_TRUE(dlg.Note().contains(QStringLiteral("between 0.1 and 1000")));
    // Escape shows the rate in force again; the same text again keeps the exact fraction.
    QTest::keyClick(rate, Qt::Key_Escape);
    EXPECT_EQ(rate->text(), QStringLiteral("29.97"));
    EXPECT_TRUE(Ok()->isEnabled());
    TypeInto(CRawSettingsDlg::kIdFrameRate, QStringLiteral("29.97"));
    EXPECT_EQ(dlg.Settings().timeScale, 30000u);
    // Emptied: the record has no rate again.
    rate->setFocus();
    rate->selectAll();
    QTest::keyClick(rate, Qt::Key_Backspace);
    QTest::keyClick(rate, Qt::Key_Return);
    EXPECT_EQ(rate->text(), QString());
    EXPECT_EQ(dlg.Settings().frameDuration, 0u);
    EXPECT_EQ(dlg.Settings().timeScale, 0u);
}

TEST_F(SettingsDialog, FrameKeysMoveThePreviewAndTheResultFrameIsItsPosition) {
    const QString path = shelltest::Clip(QStringLiteral("frames.raw"), kLayoutGRAY, 32, 16, 5);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutGRAY, 32, 16), 1), 0);
    auto* slider = Control<QSlider>(dlg, CRawSettingsDlg::kIdFrameSlider);
    EXPECT_EQ(slider->maximum(), 4);
    EXPECT_EQ(slider->value(), 1);
    auto* flip = Control<QCheckBox>(dlg, CRawSettingsDlg::kIdFlip);
    flip->setFocus();
    QTest::keyClick(flip, Qt::Key_End);
    EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(dlg.Preview()->CurrentPosition(), 4);
    EXPECT_EQ(Control<QLabel>(dlg, CRawSettingsDlg::kIdFrameLabel)->text(), QStringLiteral("4"));
    QTest::keyClick(flip, Qt::Key_Left);
    EXPECT_EQ(dlg.Preview()->CurrentPosition(), 3);
    // A change of settings reloads the frame that was shown.
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("16"));
    EXPECT_EQ(dlg.Preview()->CurrentPosition(), 3);
    dlg.done(QDialog::Accepted);
    EXPECT_EQ(dlg.ResultFrame(), 3);
}

// The first proposal for a file without settings takes the file's name: its size and layout
// (five HD UYVY frames are also 25 PAL ones, which the name decides) and its frame rate, and
// the note says so.
TEST_F(SettingsDialog, FirstProposalFollowsTheFileName) {
    const QString path = shelltest::FileOfSize(QStringLiteral("capture_720x576_uyvy_50fps.raw"),
                                               5 * 1920 * 1080 * 2);
    ASSERT_EQ(Start(path, NoSettings()), 0) << error.toStdString();
    const RawSettings r = dlg.Settings();
    EXPECT_EQ(r.rawFormat.width, 720);
    EXPECT_EQ(r.rawFormat.height, 576);
    EXPECT_EQ(r.rawFormat.code, uint32_t{kLayoutUYVY});
    EXPECT_EQ(r.timeScale, 50u);
    EXPECT_EQ(r.frameDuration, 1u);
    EXPECT_TRUE(dlg.Note().startsWith(QStringLiteral("From the file name: 720\u00D7576")))
        << dlg.Note().toStdString();
}

}  // namespace
