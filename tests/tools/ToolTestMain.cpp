// The kavlo-tool tests compare with the view widget: an application object comes first, on Qt's
// offscreen platform unless another one is asked for. The tool reads the viewer's per-user store:
// the run gives it a private, empty one.
#include "../common/WidgetTestIsolation.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    if (config.isValid()) qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    widgettest::InstallIsolation();
    return RUN_ALL_TESTS();
}
