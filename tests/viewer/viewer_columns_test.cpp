// The list's columns on a first open: titles and record times show whole,
// and the view starts at its left edge.

#include "shown_window.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

namespace korv::test {
namespace {

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
