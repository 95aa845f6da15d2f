#include "ui/window_geometry.h"

#include <QSettings>
#include <QWidget>

namespace korv {
namespace {

QString Key(const QString& kind) { return QStringLiteral("Windows/") + kind; }

}  // namespace

bool RestoreWindowGeometry(QWidget& window, const QString& kind) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    const QByteArray kept = settings.value(Key(kind)).toByteArray();
    // Qt's own record of a geometry also brings a window that was on a screen now gone
    // back onto one.
    return !kept.isEmpty() && window.restoreGeometry(kept);
}

void SaveWindowGeometry(const QWidget& window, const QString& kind) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    settings.setValue(Key(kind), window.saveGeometry());
}

}  // namespace korv
