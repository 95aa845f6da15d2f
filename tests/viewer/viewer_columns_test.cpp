// The list's columns on a first open: titles and record times show whole,
// and the view starts at its left edge.

#include "shown_window.h"

#include "resources/ids.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

namespace korv::test {
namespace {

// The last column shown, in display order.
int LastShownColumn(const QHeaderView& header) {
    for (int visual = header.count() - 1; visual >= 0; --visual) {
        if (header.sectionSize(header.logicalIndex(visual)) > 0) return header.logicalIndex(visual);
    }
    return -1;
}

// The last column takes the width the others leave free, gives it back when the window
// narrows, follows a column shown or moved, and keeps a width the user gives it.
TEST_F(ShownWindowTest, LastColumnFillsTheFreeWidthUntilTheUserSizesIt) {
    const std::string dir = FreshDir("fill");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 3)));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 3); }));
    CLogListCtrl* list = dlg->GetList();
    QHeaderView* header = list->horizontalHeader();
    const auto rightEdge = [&] {
        const int last = LastShownColumn(*header);
        return header->sectionViewportPosition(last) + header->sectionSize(last);
    };
    const auto fills = [&] { return rightEdge() == list->viewport()->width(); };

    dlg->resize(1200, 700);
    ASSERT_TRUE(WaitFor(fills)) << rightEdge() << " of " << list->viewport()->width();
    const int last = LastShownColumn(*header);
    const int own = list->GetColumnWidth(last);
    EXPECT_GT(header->sectionSize(last), own) << "1200 px leave width free";
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);

    // Narrower than the columns: the last is its own width again, and the list scrolls.
    dlg->resize(300, 700);
    ASSERT_TRUE(WaitFor([&] { return list->viewport()->width() < rightEdge(); }));
    EXPECT_EQ(header->sectionSize(last), own);
    dlg->resize(1200, 700);
    ASSERT_TRUE(WaitFor(fills));

    // No. shown first, a middle column widened: the last still ends at the edge.
    dlg->OnCommand(cmd::kViewNumber);
    ASSERT_TRUE(list->IsColumnVisible(CLogListCtrl::kExtraNumber));
    EXPECT_TRUE(fills()) << rightEdge() << " of " << list->viewport()->width();
    header->resizeSection(0, header->sectionSize(0) + 40);
    EXPECT_TRUE(fills());
    EXPECT_EQ(list->GetColumnWidth(last), own);

    // Another column moved to the end fills instead; the former last is its own width.
    const int moved = header->logicalIndex(header->count() - 2);
    header->moveSection(header->visualIndex(moved), header->count() - 1);
    EXPECT_EQ(LastShownColumn(*header), moved);
    EXPECT_TRUE(fills());
    EXPECT_EQ(header->sectionSize(last), own);

    // The user sizes the last column: it keeps that width whatever the window does.
    header->resizeSection(moved, 90);
    dlg->resize(1300, 700);
    ASSERT_TRUE(WaitFor([&] { return list->viewport()->width() > 1200; }));
    EXPECT_EQ(header->sectionSize(moved), 90);
    EXPECT_LT(rightEdge(), list->viewport()->width());
}

// On a first open every column shows its title whole and the time column a
// record time whole; nothing starts scrolled sideways.
TEST_F(ShownWindowTest, ColumnsStartWideEnoughForTitlesAndTimes) {
    const std::string dir = FreshDir("columns");
    const std::string log = dir + "/virlog.dat";
    ASSERT_TRUE(RunWriter("append " + log + " --kind virlog --count 40 --seed 5"));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 40); }));
    QTest::qWait(50);
    CLogListCtrl* list = dlg->GetList();
    QHeaderView* header = list->horizontalHeader();
    const int margin = list->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    int shown = 0;
    for (int column = 0; column < header->count(); ++column) {
        const int width = header->sectionSize(column);
        if (width == 0) {
            continue;  // No. starts hidden
        }
        ++shown;
        const QString title = list->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(width, header->fontMetrics().horizontalAdvance(title) + 2 * margin)
            << title.toStdString() << " is cut";
    }
    EXPECT_EQ(shown, header->count() - 1);
    // Column 0 is the record time: wide enough for every loaded time.
    const QString time = list->GetItemText(0, 0);
    ASSERT_TRUE(time.startsWith(QStringLiteral("20"))) << time.toStdString();
    const QAbstractItemView* view = list;  // the hint is public there
    EXPECT_GE(header->sectionSize(0), view->sizeHintForColumn(0)) << time.toStdString();

    // Selecting as a search does keeps the view at the left edge.
    EXPECT_EQ(list->horizontalScrollBar()->value(), 0);
    list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->scrollTo(list->model()->index(0, 0));
    EXPECT_EQ(list->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(header->visualIndex(list->GetExtraColumn(CLogListCtrl::kExtraFlags)), 1);
    EXPECT_EQ(header->sectionViewportPosition(list->GetExtraColumn(CLogListCtrl::kExtraFlags)), 0)
        << "Flags is the first column shown and starts at the left edge";
}

}  // namespace
}  // namespace korv::test
