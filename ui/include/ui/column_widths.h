#pragma once
// The list's starting column widths. The widths the list is given (its own
// 50/30/70 and 100 for a log column, and a module's proposal) are pixels of
// the original platform's 8-point dialog font, whose letters average 6 px.
// Here they are scaled by the average letter width of the font in use, and a
// column is never narrower than its title, nor the record time column than a
// record time, so that both show whole on a first open.

#include <QString>

class QAbstractItemView;
class QFontMetrics;

namespace korv {

// Average letter width of the original dialog font, in pixels.
inline constexpr double kDialogFontLetterWidth = 6.0;

// `pixels` of the original dialog font in pixels of `metrics`' font: scaled
// by the average width of the 52 Latin letters against 6 px.
int ScaleDialogPixels(int pixels, const QFontMetrics& metrics);

// The width a cell of `view` needs to show `text` without eliding it.
int CellWidthFor(const QAbstractItemView& view, const QString& text);

// A record time as wide as record times get in the current locale (a
// two-digit day and month, an afternoon hour), for sizing the time column.
QString WidestRecordTimeSample();

}  // namespace korv
