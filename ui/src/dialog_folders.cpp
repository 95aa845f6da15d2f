#include "ui/dialog_folders.h"

#include "logmodel/log_type.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace korv {
namespace {

QString Key(DialogFolder kind) {
    switch (kind) {
        case DialogFolder::kOpenFile: return QStringLiteral("Folders/OpenFile");
        case DialogFolder::kOpenDir: return QStringLiteral("Folders/OpenDir");
        case DialogFolder::kOpenTimeline: return QStringLiteral("Folders/OpenTimeline");
        case DialogFolder::kExport: return QStringLiteral("Folders/Export");
    }
    return {};
}

}  // namespace

QString StartFolder(DialogFolder kind) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    const QString remembered = settings.value(Key(kind)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) {
        return remembered;
    }
    if (kind == DialogFolder::kExport) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return QFileInfo(documents).isDir() ? documents : QDir::homePath();
    }
    // ResolveLogPath of an empty name is the Logs folder itself; empty without a product.
    const QString logs = QString::fromStdString(nsLog::ResolveLogPath(std::string()));
    return !logs.isEmpty() && QFileInfo(logs).isDir() ? QDir::cleanPath(logs) : QString();
}

void RememberFolder(DialogFolder kind, const QString& chosen) {
    if (chosen.isEmpty()) {
        return;
    }
    // A directory opened as a log is remembered by the folder holding it, so that the
    // next dialog shows it beside its siblings.
    const QString folder = QFileInfo(QDir::cleanPath(chosen)).absolutePath();
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    settings.setValue(Key(kind), folder);
}

}  // namespace korv
