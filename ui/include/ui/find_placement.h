#pragma once
// Where the modeless find window goes: beside its window's list when it first opens, and
// out of the way of a row it found.

#include <QRect>
#include <QSize>

namespace korv {

// The find window of `size` beside `owner` (the window's frame): right of it where the
// screen has room, else left, else over its top-right corner; always on `screen`.
QRect PlaceFindWindow(const QRect& owner, const QSize& size, const QRect& screen);

// `window` moved just below or above `row` (both in screen coordinates) when it covers
// the row, below where the screen has room; unchanged when it does not cover it.
QRect MoveOffRow(const QRect& window, const QRect& row, const QRect& screen);

}  // namespace korv
