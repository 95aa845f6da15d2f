// korv-logviewer [--screenshot FILE --quit-after MS] [--measure-first-rows] [PATH[:N]]

#include "ui/command_line.h"
#include "ui/log_viewer_app.h"

#include <QApplication>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    // Options that need no window are answered before Qt looks for a display.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    korv::ViewerOptions options = korv::ParseViewerCommandLine(args);
    options.started = started;
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "korv-logviewer: %s\n%s", qPrintable(options.error), qPrintable(korv::ViewerUsage()));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(korv::ViewerUsage()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("korv-logviewer %s\n", KORV_VERSION_TEXT);
        return 0;
    }
    QApplication app(argc, argv);
    CLogViewerApp viewer;
    return viewer.InitInstance(options);
}
