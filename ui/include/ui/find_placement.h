#pragma once
// Where the modeless find window goes: beside its window's list when it first opens, and
// out of the way of a row it found.

#include <QRect>
#include <QSize>

namespace korv {

// The find window of `size` beside `owner` (the window's frame): right of it where the
// screen has room, else left, else over its top-right corner; always on `screen`.
QRect PlaceFindWindow(const QRect& owner, const QSize& size, const QRect& screen);

// A record window beside `owner`: the size it was given (kept from the last record
// window), made tall enough for `rowsHeight` more pixels of rows than its list shows now
// (`listHeight`), no larger than `screen`, and placed as the find window is.
QRect PlaceRecordWindow(const QRect& owner, const QSize& size, int listHeight, int rowsHeight, const QRect& screen);

// `window` moved just below or above `row` (both in screen coordinates) when it covers
// the row, below where the screen has room; unchanged when it does not cover it.
QRect MoveOffRow(const QRect& window, const QRect& row, const QRect& screen);

}  // namespace korv
