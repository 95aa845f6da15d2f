#include "ui/command_line.h"

namespace korv {

ViewerOptions ParseViewerCommandLine(const QStringList& args) {
    ViewerOptions options;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1String("--"))) {
            if (arg == QLatin1String("--help")) {
                options.help = true;
            } else if (arg == QLatin1String("--version")) {
                options.version = true;
            } else if (arg == QLatin1String("--measure-first-rows")) {
                options.measureFirstRows = true;
            } else if (arg == QLatin1String("--command")) {
                const QString value = i + 1 < args.size() ? args[++i] : QString();
                const QStringList parts = value.split(QLatin1Char('@'));
                bool idOk = false, msOk = false;
                const int id = parts.size() == 2 ? parts[0].toInt(&idOk) : 0;
                const int ms = parts.size() == 2 ? parts[1].toInt(&msOk) : 0;
                if (!idOk || !msOk || id <= 0 || id > 0xFFFF || ms < 0) {
                    options.error = QStringLiteral("--command needs ID@MS, not \"%1\"").arg(value);
                    return options;
                }
                options.commands.push_back({id, ms});
            } else if (arg == QLatin1String("--timeline")) {
                if (i + 1 >= args.size()) {
                    options.error = QStringLiteral("--timeline needs a log path");
                    return options;
                }
                options.timeline << args[++i];
            } else if (arg == QLatin1String("--screenshot") || arg == QLatin1String("--quit-after")) {
                if (i + 1 >= args.size()) {
                    options.error = QStringLiteral("%1 needs a value").arg(arg);
                    return options;
                }
                const QString value = args[++i];
                if (arg == QLatin1String("--screenshot")) {
                    options.screenshotFile = value;
                } else {
                    bool ok = false;
                    const int ms = value.toInt(&ok);
                    if (!ok || ms < 0) {
                        options.error = QStringLiteral("--quit-after needs milliseconds, not \"%1\"").arg(value);
                        return options;
                    }
                    options.quitAfterMs = ms;
                }
            } else {
                options.error = QStringLiteral("unknown option %1").arg(arg);
                return options;
            }
            continue;
        }
        if (options.request.m_nShellCommand == CCommandLineInfo::FileOpen) {
            options.error = QStringLiteral("only one path may be given");
            return options;
        }
        options.request.m_nShellCommand = CCommandLineInfo::FileOpen;
        options.request.m_strFileName = arg;
    }
    if (options.error.isEmpty() && !options.screenshotFile.isEmpty() && options.quitAfterMs < 0) {
        options.error = QStringLiteral("--screenshot needs --quit-after");
    }
    return options;
}

QString ViewerUsage() {
    return QStringLiteral(
        "Usage: korv-logviewer [OPTIONS] [PATH[:N]]\n"
        "\n"
        "Shows a log file, a directory of scan logs, or record N of a log file.\n"
        "\n"
        "Options:\n"
        "  --screenshot FILE   save the window as a PNG image when --quit-after ends it\n"
        "  --quit-after MS     close the window after MS milliseconds\n"
        "  --command ID@MS     run menu command ID (a number) MS milliseconds after start\n"
        "  --timeline PATH     open a timeline window on PATH (repeat for each log)\n"
        "  --measure-first-rows\n"
        "                      print the milliseconds from start-up to the first\n"
        "                      painted rows of the list, then close the window\n"
        "  --help              show this text and exit\n"
        "  --version           show the version and exit\n");
}

}  // namespace korv
