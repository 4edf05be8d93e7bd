// The main window of the shell tests: a fresh window on an empty settings store for every test,
// a clip opened the way the command line opens it, and keys typed into the focused widget.
#pragma once

#include "app/window/ViewerDlg.h"

#include "ShellTestSupport.h"
#include "view/VideoBuffer.h"

#include <QAction>
#include <QApplication>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace shelltest {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        shelltest::ClearSettings();
        dlg = std::make_unique<CTNViewerDlg>();
    }
    void TearDown() override { dlg.reset(); }

    // Opens a 100-frame GRAY clip the way the command line does, then shows the window.
    void OpenClip(int frames = 100, const QString& name = QStringLiteral("main.raw")) {
        path = shelltest::Clip(name, kLayoutGRAY, 64, 48, frames);
        ASSERT_FALSE(path.isEmpty());
        RawSettings s = shelltest::SettingsFor(kLayoutGRAY, 64, 48);
        QString error;
        ASSERT_EQ(dlg->View()->OpenFile(&s, path, error, 0), 0) << error.toStdString();
        dlg->AfterOpen(path, s);
        Show();
    }
    void Show() {
        dlg->show();
        dlg->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->View()->setFocus();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dlg.get(),
                        Qt::Key(key), mods);
    }
    bool Checked(int id) const { return dlg->Action(id)->isChecked(); }

    std::unique_ptr<CTNViewerDlg> dlg;
    QString path;
};

}  // namespace shelltest
