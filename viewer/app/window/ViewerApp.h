// The application object: initialises the core at program load, runs the command line, the
// usage window or the main window, and closes the core at exit.
#pragma once

#include "settings/ColourChoice.h"
#include "settings/CommandLine.h"
#include "settings/RawSettings.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

class CTNViewerDlg;
class QDialog;

class CTNViewerApp {
public:
    // Initialises the core (the plug-in scan runs here, before any window exists).
    CTNViewerApp();
    ~CTNViewerApp();

    CTNViewerApp(const CTNViewerApp&) = delete;
    CTNViewerApp& operator=(const CTNViewerApp&) = delete;

    // The whole start-up, from the argument list (the program's own path first). Always
    // returns false: the program ends when the main window (or the usage window) closes. An
    // error at start-up makes the exit code 1; under -play it goes to standard error instead
    // of a window, and the usage asked for goes to standard output.
    bool InitInstance(const std::vector<std::string>& arguments);
    // Deletes the main window object if one is still held, closes the core, returns the exit code:
    // the code of a toolkit exit request (QCoreApplication::exit) that ended the run, else 0.
    int ExitInstance();

    CTNViewerDlg* MainWindow() const { return mainWindow_.get(); }
    // The error text the usage window showed (or -play printed); empty when none was shown.
    const QString& ShownError() const { return shownError_; }
    // Tests replace the modal runs: the usage window and the main window are then only built.
    void SetModalRuns(bool on) { modalRuns_ = on; }
    // Whether start-up errors go to standard error as well as the usage window (a start from a
    // terminal); the constructor asks the standard streams.
    void SetFromTerminal(bool on) { fromTerminal_ = on; }
    bool PlayRequested() const { return play_; }

    // Applies a stored "Debug Level" (a 32-bit number) to the core's log; returns whether one
    // was found. Info and Debug lines reach standard error only with a level of 3 or more;
    // without one, errors and warnings alone.
    static bool ApplyStoredDebugLevel();

private:
    void ShowUsage(const QString& error);
    // Shows or prints a start-up error; the program then ends with exit code 1.
    void ReportStartError(const QString& error);
    // Opens the named file in the main window's view with `settings`; the error text, if any,
    // with `remark` after the reason.
    QString OpenAtStart(const QString& path, RawSettings settings,
                        const QString& remark = QString());
    // A file named on the command line, opened as the open plan says: its YUV4MPEG2 header,
    // the settings given (`parsed`, may be null), the settings stored for it while they fit,
    // else the settings dialog (or, under -play, an error); the error text, if any.
    QString OpenPlanned(const QString& path, const CommandLine* parsed);
    // Shows `window` modally until it is closed or the toolkit is asked to exit.
    void RunModal(QDialog& window);

    std::unique_ptr<CTNViewerDlg> mainWindow_;
    QString shownError_;
    bool modalRuns_ = true;
    bool fromTerminal_ = false;
    bool play_ = false;
    // The command line's -matrix and -range, for a file opened with its stored settings.
    struct {
        kavlo::MatrixChoice matrix = kavlo::MatrixChoice::BT601;
        bool fullRange = false;
        bool colourGiven = false;
    } colour_;
    double playFps_ = 0.0;  // -fps
    bool coreOpen_ = false;
    int exitCode_ = 0;
};
