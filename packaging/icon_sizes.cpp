// Writes the application icon in the sizes desktops look for:
//   korv-icon-sizes SOURCE.png OUTDIR SIZE...
// makes OUTDIR/SIZExSIZE/korv-logviewer.png for each SIZE.

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: korv-icon-sizes SOURCE.png OUTDIR SIZE...\n");
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "korv-icon-sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "korv-icon-sizes: bad size %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        const QImage scaled = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!QDir().mkpath(dir) || !scaled.save(dir + QStringLiteral("/korv-logviewer.png"), "PNG")) {
            std::fprintf(stderr, "korv-icon-sizes: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
