// Where the find window goes: beside its window, on the screen, and off a row it found.

#include "ui/find_placement.h"

#include <gtest/gtest.h>

namespace korv {
namespace {

const QRect kScreen(0, 0, 1920, 1080);

TEST(FindPlacement, BesideTheWindowWhereTheScreenHasRoomAlwaysOnIt) {
    const QSize size(400, 300);
    struct Case {
        const char* what;
        QRect owner;
    } cases[] = {
        {"room on the right", QRect(100, 80, 1200, 700)},
        {"room on the left only", QRect(600, 80, 1300, 700)},
        {"no room on either side", QRect(0, 0, 1920, 1080)},
        {"window partly off the screen", QRect(-200, 900, 1000, 700)},
    };
    for (const Case& c : cases) {
        const QRect r = PlaceFindWindow(c.owner, size, kScreen);
        EXPECT_EQ(r.size(), size) << c.what;
        EXPECT_TRUE(kScreen.contains(r)) << c.what;
        const bool room = c.owner.left() - kScreen.left() >= size.width() || kScreen.right() - c.owner.right() >= size.width();
        if (room && kScreen.contains(c.owner)) EXPECT_FALSE(r.intersects(c.owner)) << c.what;
    }
    EXPECT_GT(PlaceFindWindow(cases[0].owner, size, kScreen).left(), cases[0].owner.right()) << "the right is tried first";
    EXPECT_LT(PlaceFindWindow(cases[1].owner, size, kScreen).right(), cases[1].owner.left());
}

TEST(FindPlacement, OffTheFoundRowBelowWhereThereIsRoom) {
    const QRect window(700, 300, 400, 300);
    struct Case {
        const char* what;
        QRect row;
        bool moves, below;
    } cases[] = {
        {"row clear of it", QRect(0, 100, 1920, 20), false, false},
        {"row under its top", QRect(0, 310, 1920, 20), true, true},
        {"row under its bottom", QRect(0, 590, 1920, 20), true, true},
        {"row near the screen's foot", QRect(0, 900, 1920, 20), false, false},
        {"row across its middle", QRect(0, 450, 1920, 20), true, true},
    };
    for (const Case& c : cases) {
        const QRect r = MoveOffRow(window, c.row, kScreen);
        EXPECT_EQ(r != window, c.moves) << c.what;
        EXPECT_FALSE(r.intersects(c.row)) << c.what;
        EXPECT_TRUE(kScreen.contains(r)) << c.what;
        EXPECT_EQ(r.size(), window.size()) << c.what;
        EXPECT_EQ(r.left(), window.left()) << c.what;
        if (c.moves) EXPECT_EQ(r.top() > c.row.bottom(), c.below) << c.what;
    }
    // No room below: above it.
    const QRect low(700, 700, 400, 300);
    const QRect r = MoveOffRow(low, QRect(0, 800, 1920, 20), kScreen);
    EXPECT_LT(r.bottom(), 800);
    EXPECT_FALSE(r.intersects(QRect(0, 800, 1920, 20)));
}

TEST(FindPlacement, RecordWindowGrowsForItsRowsAndStaysOnTheScreen) {
    const QRect owner(100, 80, 900, 600);
    struct Case {
        const char* what;
        QSize size;
        int listHeight, rowsHeight;
        QSize expected;
    } cases[] = {
        {"rows fit the list: the kept size", QSize(600, 400), 300, 120, QSize(600, 400)},
        {"more rows than the list shows: taller by the difference", QSize(600, 400), 300, 500, QSize(600, 600)},
        {"never taller than the screen", QSize(600, 400), 300, 5000, QSize(600, 1080)},
        {"never wider than the screen", QSize(3000, 400), 300, 100, QSize(1920, 400)},
    };
    for (const Case& c : cases) {
        const QRect r = PlaceRecordWindow(owner, c.size, c.listHeight, c.rowsHeight, kScreen);
        EXPECT_EQ(r.size(), c.expected) << c.what;
        EXPECT_TRUE(kScreen.contains(r)) << c.what;
    }
    EXPECT_FALSE(PlaceRecordWindow(owner, QSize(600, 400), 300, 100, kScreen).intersects(owner)) << "beside its owner";
}

}  // namespace
}  // namespace korv
