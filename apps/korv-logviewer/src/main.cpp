// korv-logviewer [--screenshot FILE --quit-after MS] [PATH[:N]]

#include "ui/command_line.h"
#include "ui/log_viewer_app.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Options that need no window are answered before Qt looks for a display.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const korv::ViewerOptions options = korv::ParseViewerCommandLine(args);
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
