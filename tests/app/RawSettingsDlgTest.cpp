// The raw video settings dialog on a live preview: guesses, typed, stepped and chosen values,
// the layout fallback order, preset matching, and what the dialog hands back.
#include "app/RawSettingsDlg.h"

#include "ShellTestSupport.h"
#include "view/VideoBuffer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

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

    CRawSettingsDlg dlg;
    QString error;
};

TEST_F(SettingsDialog, GuessesYuyv720x480For700000Bytes) {
    const QString path = shelltest::FileOfSize(QStringLiteral("guess700000.raw"), 700000);
    ASSERT_EQ(Start(path, NoSettings()), 0) << error.toStdString();
    EXPECT_EQ(Format().code, kLayoutYUYV);
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(Format().height, 480);
    EXPECT_EQ(Control<QLabel>(dlg, CRawSettingsDlg::kIdInfo)->text(),
              QStringLiteral("Total Frames: 1   File size: 700000   Rest Bytes: 8800"));
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset)->currentText(), QStringLiteral("720x480 D1 (525)"));
    EXPECT_TRUE(Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout)->currentText().startsWith(QStringLiteral("YUYV - ")));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("RAW Video Settings (%1) - Kavlo").arg(path));
    EXPECT_TRUE(dlg.Preview()->FitMode());
}

TEST_F(SettingsDialog, GuessesSmallerSizesForSmallerFiles) {
    const QString path = shelltest::FileOfSize(QStringLiteral("guess100000.raw"), 100000);
    ASSERT_EQ(Start(path, NoSettings()), 0);
    EXPECT_EQ(Format().width, 180);
    EXPECT_EQ(Format().height, 120);
    EXPECT_EQ(dlg.Preview()->FrameCount(), 2);
}

TEST_F(SettingsDialog, CannotBeShownForTinyOrFramelessFiles) {
    const QString tiny = shelltest::FileOfSize(QStringLiteral("tiny.raw"), 1);
    EXPECT_EQ(dlg.RunForFile(tiny, NoSettings(), error, 0), 3);
    EXPECT_EQ(error, QStringLiteral("Error: Couldn't open file or file too small"));
    error.clear();
    EXPECT_EQ(dlg.RunForFile(QStringLiteral("/nonexistent/file.raw"), NoSettings(), error, 0), 3);
    EXPECT_EQ(error, QStringLiteral("Error: Couldn't open file or file too small"));
    // 5000 bytes: GRAY 2500 x 2500 holds no frame, so the preview cannot load a first frame.
    const QString small = shelltest::FileOfSize(QStringLiteral("small5000.raw"), 5000);
    error.clear();
    EXPECT_EQ(dlg.RunForFile(small, NoSettings(), error, 0), 3);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(dlg.Settings().rawFormat.code, kLayoutGRAY);
    EXPECT_EQ(dlg.Settings().rawFormat.width, 2500);
}

TEST_F(SettingsDialog, TypedValuesAreValidatedAndEnterNeverCloses) {
    const QString path = shelltest::FileOfSize(QStringLiteral("typed.raw"), 3 * 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("353"));
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit)->text(), QStringLiteral("352"));
    EXPECT_EQ(Control<QSlider>(dlg, CRawSettingsDlg::kIdWidthSlider)->value(), 352);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset)->currentIndex(), 0);  // 352 x 480: Custom

    // Too wide for the file: the previous width is shown again.
    TypeInto(CRawSettingsDlg::kIdWidthEdit, QStringLiteral("4000"));
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdWidthEdit)->text(), QStringLiteral("352"));

    // Letters read as 0; the range limit makes 2 of it.
    TypeInto(CRawSettingsDlg::kIdHeightEdit, QStringLiteral("abc"));
    EXPECT_EQ(Format().height, 2);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdHeightEdit)->text(), QStringLiteral("2"));

    // A file prefix above 65535 is limited, and taken because a frame still fits behind it.
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("70000"));
    EXPECT_EQ(dlg.Settings().filePrefix, 65535);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("99999999"));
    EXPECT_EQ(dlg.Settings().filePrefix, 65535);

    // Escape shows the value in force again and keeps the dialog open.
    auto* edit = Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFramePostfix);
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("77"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(SettingsDialog, PrefixLargerThanTheFileKeepsThePreviousOne) {
    const QString path = shelltest::FileOfSize(QStringLiteral("prefix.raw"), 691200 + 100);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("60"));
    EXPECT_EQ(dlg.Settings().filePrefix, 60);
    TypeInto(CRawSettingsDlg::kIdFilePrefix, QStringLiteral("5000"));
    EXPECT_EQ(dlg.Settings().filePrefix, 60);
    EXPECT_EQ(Control<QLineEdit>(dlg, CRawSettingsDlg::kIdFilePrefix)->text(), QStringLiteral("60"));
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

TEST_F(SettingsDialog, LayoutThatNothingBelowCanHoldKeepsThePrevious) {
    const QString path = shelltest::FileOfSize(QStringLiteral("gray.raw"), 345600);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutGRAY, 720, 480)), 0);
    Choose(CRawSettingsDlg::kIdLayout, *LayoutIndex(kLayoutGRAYLE16));
    EXPECT_EQ(Format().code, kLayoutGRAY);
    EXPECT_EQ(Control<QComboBox>(dlg, CRawSettingsDlg::kIdLayout)->currentIndex(), *LayoutIndex(kLayoutGRAY));
}

TEST_F(SettingsDialog, PresetsApplyOrFallBackToTheMatchingEntry) {
    const QString path = shelltest::FileOfSize(QStringLiteral("preset.raw"), 691200);
    ASSERT_EQ(Start(path, shelltest::SettingsFor(kLayoutYUYV, 720, 480)), 0);
    auto* preset = Control<QComboBox>(dlg, CRawSettingsDlg::kIdPreset);
    Choose(CRawSettingsDlg::kIdPreset, 3);  // 1920 x 1080 does not fit
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(preset->currentIndex(), 12);
    Choose(CRawSettingsDlg::kIdPreset, 0);  // Custom never applies
    EXPECT_EQ(Format().width, 720);
    EXPECT_EQ(preset->currentIndex(), 12);
    Choose(CRawSettingsDlg::kIdPreset, 16);
    EXPECT_EQ(Format().width, 352);
    EXPECT_EQ(Format().height, 288);
    EXPECT_EQ(preset->currentIndex(), 16);
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

}  // namespace
