#pragma once
// The viewer's command line: one optional path (which may end in ":N"), and
// the options of the testing aids (--screenshot FILE --quit-after MS,
// --measure-first-rows) and of every program (--help, --version).

#include <QString>
#include <QStringList>

#include <chrono>
#include <vector>

// The start-up request a viewer window opens in its initialisation. Owned
// by whoever creates the window; it is read only while the window starts.
struct CCommandLineInfo {
    static constexpr int FileNothing = 0;
    static constexpr int FileOpen = 1;

    int m_nShellCommand = FileNothing;
    QString m_strFileName;
};

namespace korv {

struct ViewerOptions {
    CCommandLineInfo request;
    QString screenshotFile;  // empty: no screenshot
    int quitAfterMs = -1;    // -1: run until the user closes the window
    // Print the milliseconds from `started` to the first complete paint of
    // the main list's rows, then close the window.
    bool measureFirstRows = false;
    // --command ID@MS: run menu command ID at MS milliseconds after start, as
    // if the user chose it (pictures of the dialogs for the user guide).
    struct TimedCommand {
        int id = 0;
        int atMs = 0;
    };
    std::vector<TimedCommand> commands;
    // --timeline PATH (repeated): open a timeline window on these logs at start;
    // the screenshot is then of that window.
    QStringList timeline;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool help = false;
    bool version = false;
    QString error;           // non-empty when the command line is wrong
};

// `args` without the program name. The first argument that is not an option
// is the path; a second one is an error. "--" ends the options.
ViewerOptions ParseViewerCommandLine(const QStringList& args);

// The --help text.
QString ViewerUsage();

}  // namespace korv
