// The test programs without widgets need an application object for the program's folder, where
// the real plug-in lies (plugins/quern.dll); nothing in them paints.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
