#pragma once
// Size, place and maximised state of a kind of window, kept across runs.

#include <QString>

class QWidget;

namespace korv {

// Gives `window` the geometry kept for windows of `kind`, moved onto a screen where it
// would lie off every screen; false, changing nothing, when none is kept.
bool RestoreWindowGeometry(QWidget& window, const QString& kind);
// Keeps the geometry of `window` for the next window of `kind`.
void SaveWindowGeometry(const QWidget& window, const QString& kind);

}  // namespace korv
