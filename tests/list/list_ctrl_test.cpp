// The list control over a real log: columns and their order, toggling the
// own columns, the selection across new rows, and the cache-miss path.

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include "list_test_support.h"
#include "ui/column_widths.h"

namespace korv::test {
namespace {

class ListCtrl : public ListFixture {
protected:
    std::vector<int> Selected() const { return list_->GetSelectedPositions(); }
    void Select(std::initializer_list<int> rows) {
        list_->clearSelection();
        for (int row : rows) {
            list_->selectionModel()->select(list_->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // The auxiliary values of the selected rows.
    std::vector<std::uint32_t> SelectedKeys() const {
        std::vector<std::uint32_t> keys;
        for (int row : Selected()) {
            keys.push_back(log_->GetRow(row)->auxiliary);
        }
        return keys;
    }
    QString Title(int column) const {
        return list_->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }

    std::string path_ = dir_.Path("warnlog.dat");
};

TEST_F(ListCtrl, SetLogBuildsColumnsInDisplayOrderWithNumberHidden) {
    AppendEvents(path_, {}, true);
    CLog& log = OpenLoaded(path_);
    ASSERT_EQ(log.GetColumnCount(), 4);  // Time, Module, Event, User
    list_->SetLog(&log);

    EXPECT_EQ(list_->GetItemCount(), 0) << "a log with no rows gives an empty list";
    ASSERT_EQ(list_->GetColumnCount(), 7);
    EXPECT_EQ(list_->GetColumnOrderArray(), (std::vector<int>{4, 5, 6, 0, 1, 2, 3}));
    const char* titles[] = {"Time", "Module", "Event", "User", "No.", "Flags", "Type"};
    // Pixels of the original dialog font, scaled to the list's; none narrower than its title.
    const int original[] = {100, 100, 100, 100, 0, 30, 70};
    const int margin = list_->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, list_->horizontalHeader());
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(Title(c), titles[c]) << c;
        const int width = list_->GetColumnWidth(c);
        if (original[c] == 0) {
            EXPECT_EQ(width, 0) << c;
            continue;
        }
        EXPECT_GE(width, ScaleDialogPixels(original[c], list_->fontMetrics())) << c;
        EXPECT_GE(width, list_->horizontalHeader()->fontMetrics().horizontalAdvance(Title(c)) + 2 * margin) << c;
    }
    EXPECT_GE(list_->GetColumnWidth(0), CellWidthFor(*list_, WidestRecordTimeSample())) << "a record time fits";
    EXPECT_FALSE(list_->IsColumnVisible(CLogListCtrl::kExtraNumber));
    EXPECT_TRUE(list_->IsColumnVisible(CLogListCtrl::kExtraFlags));
    EXPECT_TRUE(list_->IsColumnVisible(CLogListCtrl::kExtraType));

    // A moved column goes back into place when the log is attached again.
    list_->horizontalHeader()->moveSection(6, 0);
    list_->SetLog(&log);
    EXPECT_EQ(list_->GetColumnOrderArray(), (std::vector<int>{4, 5, 6, 0, 1, 2, 3}));

    list_->SetLog(nullptr);
    EXPECT_EQ(list_->GetColumnCount(), 0);
    EXPECT_EQ(list_->GetItemCount(), 0);
    for (int extra = 0; extra < 3; ++extra) {
        EXPECT_FALSE(list_->IsColumnVisible(extra)) << extra;
        EXPECT_EQ(list_->GetExtraColumn(extra), -1) << extra;
        list_->ToggleColumn(extra);  // nothing to toggle
        EXPECT_FALSE(list_->IsColumnVisible(extra)) << extra;
    }
}

TEST_F(ListCtrl, ToggleAndShowOwnColumns) {
    AppendEvents(path_, NumberedRecords(0, 3), true);
    CLog& log = OpenLoaded(path_);
    list_->SetLog(&log);
    // Shown again, a column gets the width it started with (No.: 50 px of
    // the original font, scaled).
    const int started[] = {-1, list_->GetColumnWidth(list_->GetExtraColumn(CLogListCtrl::kExtraFlags)),
                           list_->GetColumnWidth(list_->GetExtraColumn(CLogListCtrl::kExtraType))};
    const int numberColumn = list_->GetExtraColumn(CLogListCtrl::kExtraNumber);
    const int number = std::max(ScaleDialogPixels(50, list_->fontMetrics()),
                                list_->horizontalHeader()->sectionSizeHint(numberColumn));
    const int flags = started[CLogListCtrl::kExtraFlags], type = started[CLogListCtrl::kExtraType];
    struct Step {
        int extra;
        int action;  // 0 toggle, 1 show, 2 hide
        bool visible;
        int width;
    };
    const Step steps[] = {
        {CLogListCtrl::kExtraNumber, 0, true, number},  {CLogListCtrl::kExtraNumber, 0, false, 0},
        {CLogListCtrl::kExtraNumber, 1, true, number},  {CLogListCtrl::kExtraNumber, 2, false, 0},
        {CLogListCtrl::kExtraFlags, 0, false, 0},       {CLogListCtrl::kExtraFlags, 0, true, flags},
        {CLogListCtrl::kExtraType, 2, false, 0},        {CLogListCtrl::kExtraType, 0, true, type},
        {CLogListCtrl::kExtraType, 1, true, type},
    };
    int i = 0;
    for (const Step& s : steps) {
        if (s.action == 0) {
            list_->ToggleColumn(s.extra);
        } else {
            list_->ShowColumn(s.extra, s.action == 1);
        }
        EXPECT_EQ(list_->IsColumnVisible(s.extra), s.visible) << "step " << i;
        EXPECT_EQ(list_->GetColumnWidth(list_->GetExtraColumn(s.extra)), s.width) << "step " << i;
        ++i;
    }
    // A width the user dragged counts as shown: toggling hides it.
    list_->SetColumnWidth(list_->GetExtraColumn(CLogListCtrl::kExtraFlags), 12);
    list_->ToggleColumn(CLogListCtrl::kExtraFlags);
    EXPECT_FALSE(list_->IsColumnVisible(CLogListCtrl::kExtraFlags));
    list_->ToggleColumn(99);  // out of range: ignored
}

TEST_F(ListCtrl, HasSelectionIsFirstSelectedPlusOne) {
    AppendEvents(path_, NumberedRecords(0, 20), true);
    list_->SetLog(&OpenLoaded(path_));
    EXPECT_EQ(list_->HasSelection(), 0);
    Select({7, 3, 12});
    EXPECT_EQ(list_->HasSelection(), 4);
    EXPECT_EQ(Selected(), (std::vector<int>{3, 7, 12}));
    list_->SelectAll();
    EXPECT_EQ(list_->HasSelection(), 1);
    EXPECT_EQ(Selected().size(), 20u);
}

// New records arrive in list view (newest first): the window saves the
// selection, applies the rows, sets the count and restores it. The record at
// the top stays there, unless auto scroll is on and the user was at the top.
TEST_F(ListCtrl, SelectionAndTopRecordKeptWhileRowsAreAdded) {
    const struct {
        bool autoScroll;
        int scrolledTo;
        int topAfter;
    } cases[] = {{false, 20, 30}, {true, 20, 30}, {false, 0, 10}, {true, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "auto scroll " << c.autoScroll << " at " << c.scrolledTo);
        AppendEvents(path_, NumberedRecords(0, 100), true);
        Attach(OpenLoaded(path_));
        list_->m_bAutoScroll = c.autoScroll;
        ASSERT_GT(list_->GetCountPerPage(), 2);
        Select({5, 6, 40});
        list_->selectionModel()->setCurrentIndex(list_->model()->index(6, 1), QItemSelectionModel::NoUpdate);
        list_->verticalScrollBar()->setValue(c.scrolledTo);
        ASSERT_EQ(list_->GetTopIndex(), c.scrolledTo);
        const std::vector<std::uint32_t> keys = SelectedKeys();
        const std::uint32_t topKey = log_->GetRow(c.scrolledTo)->auxiliary;

        AppendEvents(path_, NumberedRecords(100, 10), false);
        list_->SaveSelection();
        LoadAppended();
        list_->SetItemCount(log_->GetVisibleCount());
        list_->RestoreSelection();

        ASSERT_EQ(list_->GetItemCount(), 110);
        EXPECT_EQ(Selected(), (std::vector<int>{15, 16, 50}));
        EXPECT_EQ(SelectedKeys(), keys);
        EXPECT_EQ(list_->currentIndex().row(), 16) << "the focus row follows its record";
        EXPECT_EQ(list_->GetTopIndex(), c.topAfter);
        if (c.topAfter != 0) {
            EXPECT_EQ(log_->GetRow(list_->GetTopIndex())->auxiliary, topKey);
        }
        list_->SetLog(nullptr);
    }
}

// Rows that share an auxiliary value (one record's rows; a writer that does
// not vary it) are still told apart: only the rows selected come back.
TEST_F(ListCtrl, RowsSharingAnAuxiliaryValueAreSelectedOneByOne) {
    std::vector<Record> records = NumberedRecords(0, 30);
    for (Record& r : records) {
        r.aux = 3;
    }
    AppendEvents(path_, records, true);
    Attach(OpenLoaded(path_));
    Select({4, 9});
    const std::int32_t first = log_->GetRow(4)->record, second = log_->GetRow(9)->record;
    std::vector<Record> more = NumberedRecords(30, 6);
    for (Record& r : more) {
        r.aux = 3;
    }
    AppendEvents(path_, more, false);
    list_->SaveSelection();
    LoadAppended();
    list_->SetItemCount(log_->GetVisibleCount());
    list_->RestoreSelection();
    ASSERT_EQ(Selected(), (std::vector<int>{10, 15}));
    EXPECT_EQ(log_->GetRow(10)->record, first);
    EXPECT_EQ(log_->GetRow(15)->record, second);
    EXPECT_EQ(list_->PositionOfKey(list_->KeyOfRow(15)), 15);
    EXPECT_EQ(list_->PositionOfKey({}), -1);
}

TEST_F(ListCtrl, ItemCountChangesKeepTheSelectionOfRowsThatStay) {
    AppendEvents(path_, NumberedRecords(0, 10), true);
    list_->SetLog(&OpenLoaded(path_, LOG_VIEW_RECORD));
    Select({2, 3, 9});
    AppendEvents(path_, NumberedRecords(10, 5), false);
    LoadAppended();
    list_->SetItemCount(log_->GetVisibleCount());
    EXPECT_EQ(list_->GetItemCount(), 15);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3, 9})) << "file order: appended rows come last";
    list_->SetItemCount(5);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
    list_->SetItemCount(-4);
    EXPECT_EQ(list_->GetItemCount(), 0);
    EXPECT_EQ(list_->HasSelection(), 0);
}

TEST_F(ListCtrl, RestoreWithoutSaveLeavesTheSelection) {
    AppendEvents(path_, NumberedRecords(0, 10), true);
    list_->SetLog(&OpenLoaded(path_));
    Select({4});
    list_->RestoreSelection();
    EXPECT_EQ(Selected(), (std::vector<int>{4}));
    // A snapshot of nothing selected clears the selection on restore.
    list_->clearSelection();
    list_->SaveSelection();
    Select({1, 2});
    list_->RestoreSelection();
    EXPECT_TRUE(Selected().empty());
}

// Counts the cache thread's notifications that reach the list.
class NotifyCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == LogNotifyEvent::kType) {
            ++count;
            lParam = static_cast<LogNotifyEvent*>(event)->LParam();
        }
        return false;
    }
    int count = 0;
    std::intptr_t lParam = -1;
};

// Rows the log cannot answer (here: the list is ahead of the log's rows) go
// to the cache thread once; its answer repaints the list, and a page that
// still misses is not queued again until the view moves.
TEST_F(ListCtrl, CacheMissQueuesThePageOnceAndRepaintsOnTheAnswer) {
    AppendEvents(path_, NumberedRecords(0, 5), true);
    list_->SetLog(&OpenLoaded(path_));
    NotifyCounter counter;
    list_->installEventFilter(&counter);
    list_->SetItemCount(200);

    list_->grab();
    ASSERT_TRUE(PumpUntil([&] { return counter.count == 1; })) << "one answer for the page";
    EXPECT_EQ(counter.lParam, 2);
    for (int i = 0; i < 3; ++i) {
        list_->grab();
        PumpUntil([] { return false; }, 100);
    }
    EXPECT_EQ(counter.count, 1) << "an unanswerable page is not queued again";

    list_->verticalScrollBar()->setValue(50);
    list_->grab();
    EXPECT_TRUE(PumpUntil([&] { return counter.count == 2; })) << "another page is queued";
    list_->removeEventFilter(&counter);
}

}  // namespace
}  // namespace korv::test
