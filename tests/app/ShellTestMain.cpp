// Runs the shell tests inside one QApplication on the offscreen platform, with the per-user
// settings store in a temporary folder and the core initialised for the whole run.
#include "ShellTestSupport.h"

#include "TNCore.h"

#include "../common/WidgetTestIsolation.h"

#include <QApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TNCoreInitialize(nullptr);
    int result = 0;
    {
        QApplication app(argc, argv);
        shelltest::RedirectSettings();
        widgettest::InstallIsolation();
        result = RUN_ALL_TESTS();
    }
    TNCoreClose();
    return result;
}
