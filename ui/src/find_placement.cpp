#include "ui/find_placement.h"

#include <algorithm>

namespace korv {
namespace {

constexpr int kGap = 8;  // between the find window and what it keeps clear of

// `r` moved (not resized) to lie on `screen` as far as it fits.
QRect KeepOnScreen(QRect r, const QRect& screen) {
    r.moveLeft(std::max(screen.left(), std::min(r.left(), screen.right() + 1 - r.width())));
    r.moveTop(std::max(screen.top(), std::min(r.top(), screen.bottom() + 1 - r.height())));
    return r;
}

}  // namespace

QRect PlaceFindWindow(const QRect& owner, const QSize& size, const QRect& screen) {
    QRect r(QPoint(owner.right() + 1 + kGap, owner.top()), size);
    if (r.right() > screen.right()) {
        r.moveRight(owner.left() - 1 - kGap);
        if (r.left() < screen.left()) {
            r.moveTopRight(QPoint(owner.right() - kGap, owner.top() + kGap));
        }
    }
    return KeepOnScreen(r, screen);
}

QRect PlaceRecordWindow(const QRect& owner, const QSize& size, int listHeight, int rowsHeight, const QRect& screen) {
    QSize wanted = size;
    if (rowsHeight > listHeight) {
        wanted.setHeight(size.height() + rowsHeight - listHeight);
    }
    wanted = wanted.boundedTo(screen.size());
    return PlaceFindWindow(owner, wanted, screen);
}

QRect MoveOffRow(const QRect& window, const QRect& row, const QRect& screen) {
    if (!window.intersects(row)) {
        return window;
    }
    QRect below = window;
    below.moveTop(row.bottom() + 1 + kGap);
    if (below.bottom() <= screen.bottom()) {
        return KeepOnScreen(below, screen);
    }
    QRect above = window;
    above.moveBottom(row.top() - 1 - kGap);
    if (above.top() >= screen.top()) {
        return KeepOnScreen(above, screen);
    }
    // Too tall for either side: the side with more room, as far as the screen lets it.
    return KeepOnScreen(row.top() - screen.top() > screen.bottom() - row.bottom() ? above : below, screen);
}

}  // namespace korv
