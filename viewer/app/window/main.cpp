// Kavlo: a viewer for raw, headerless video files.
#include "app/window/TerminalStart.h"
#include "app/window/ViewerApp.h"

#include <QApplication>

#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The arguments as given, before the toolkit takes its own options out of them.
    const std::vector<std::string> arguments(argv, argv + argc);
    // The usage and the version asked for, and a start without a display, end here: the toolkit
    // would need a display first, and abort without one.
    if (const std::optional<int> code = kavlo::AnswerBeforeToolkit(arguments)) return *code;
    CTNViewerApp viewer;  // initialises the core before any window exists
    QApplication application(argc, argv);
    viewer.InitInstance(arguments);
    return viewer.ExitInstance();
}
