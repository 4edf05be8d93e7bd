// The view tests need an application object before any widget exists; they run on Qt's
// offscreen platform unless another one is asked for.
#include "../common/WidgetTestIsolation.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    widgettest::InstallIsolation();
    return RUN_ALL_TESTS();
}
