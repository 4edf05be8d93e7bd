// Kavlo: a viewer for raw, headerless video files.
#include "app/window/ViewerApp.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    CTNViewerApp viewer;  // initialises the core before any window exists
    // The arguments as given, before the toolkit takes its own options out of them.
    const std::vector<std::string> arguments(argv, argv + argc);
    QApplication application(argc, argv);
    viewer.InitInstance(arguments);
    return viewer.ExitInstance();
}
