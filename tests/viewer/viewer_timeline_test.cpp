// The severity timeline strip in a shown window: its counts follow appended rows, filters and
// the time zone; a drag sets the filter's exact time range, which Filter › Advanced then
// shows and its "Whole log" clears, as does a double click; a click on a bar brings the
// bucket's first row to the top of the list; View › Timeline is remembered.

#include "shown_window.h"
#include "viewer_environment.h"

#include "logmodel/severity.h"
#include "logmodel/time_histogram.h"
#include "platform/tz.h"
#include "resources/ids.h"
#include "ui/log_filter_dlg.h"
#include "ui/timeline_strip.h"
#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QSettings>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <map>
#include <vector>

namespace korv::test {
namespace {

struct Row {
    const char* time;  // UTC
    const char* level;
};

// Seven records over six hours; times rise with the record number.
const Row kRows[] = {
    {"2026-12-08 10:00:30", "0x40000000"}, {"2026-12-08 11:10:00", "0x80000000"},
    {"2026-12-08 11:12:00", "0xA0000000"}, {"2026-12-08 12:20:10", "0x40000000"},
    {"2026-12-08 13:30:00", "0x10000000"}, {"2026-12-08 14:45:00", "0x01000000"},
    {"2026-12-08 16:00:00", "0x40000000"},
};

std::string JsonOf(const Row& row, int user) {
    return std::string("{\"type\": \"0x00010002\", \"time\": \"") + row.time + "\", \"rows\": [{\"level\": \"" +
           row.level + "\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 53}, {\"text\": \"u" +
           std::to_string(user) + "\"}]}]}\n";
}

std::int64_t Utc(const char* text) {
    std::tm t{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &t);
    return std::int64_t(timegm(&t));
}

// The strip's counts, and the same worked out row by row from the log's visible rows.
using Counts = std::map<std::int64_t, std::vector<std::uint32_t>>;
Counts StripCounts(const TimelineStrip& strip) {
    Counts counts;
    for (const TimeBucket& b : strip.Histogram().Buckets()) counts[b.start].assign(b.counts.begin(), b.counts.end());
    return counts;
}
Counts RowByRowCounts(CLogViewerDlg& dlg, const TimelineStrip& strip) {
    Counts counts;
    const CLog& log = dlg.GetLog();
    for (int p = 0; p < log.GetVisibleCount(); ++p) {
        const REC_INFO_BASE* row = log.GetRow(p);
        const BucketRange range = BucketAt(strip.Histogram().Zone(), strip.Histogram().Size(), UnixSecondsOf(row->time));
        auto& c = counts[range.start];
        c.resize(kSeverityClassCount);
        ++c[std::size_t(SeverityClassIndex(row->level))];
    }
    return counts;
}

class ViewerTimeline : public ShownWindowTest {
protected:
    void TearDown() override {
        if (dlg_ != nullptr) {
            dlg_->ApplyUtcOffset(0);  // the zone is the process's: the next test starts at UTC
        }
    }
    void OpenRows(int count) {
        path_ = FreshDir("timeline") + "/warnlog.dat";
        std::string json;
        for (int i = 0; i < count; ++i) json += JsonOf(kRows[i], i);
        ASSERT_TRUE(RunWriter("append-json " + path_, json));
        dlg_ = StartShownWindow(QString::fromStdString(path_));
        dlg_->resize(900, 500);
        ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, count); }));
        strip_ = dlg_->GetTimeline();
        ASSERT_NE(strip_, nullptr);
        ASSERT_TRUE(WaitFor([&] { return strip_->Histogram().CountedRows() == std::uint64_t(count); }));
    }
    // The x in the middle of the bucket that holds `utc`.
    int XOf(const char* utc) {
        const BucketRange range = BucketAt(strip_->Histogram().Zone(), strip_->Histogram().Size(), Utc(utc));
        return (strip_->XOfTime(range.start) + strip_->XOfTime(range.end)) / 2;
    }
    int Y() const { return strip_->height() / 3; }

    std::string path_;
    std::unique_ptr<CLogViewerDlg> dlg_;
    TimelineStrip* strip_ = nullptr;
};

TEST_F(ViewerTimeline, CountsFollowAppendsFiltersAndTheZone) {
    OpenRows(4);
    EXPECT_EQ(strip_->Histogram().Size(), BucketSize::kMinute);  // two and a third hours fit 200-odd columns
    EXPECT_EQ(StripCounts(*strip_), RowByRowCounts(*dlg_, *strip_));

    // Appended rows grow the strip without a recount from scratch, and the span outgrows
    // minute buckets on the way.
    std::string json;
    for (int i = 4; i < 7; ++i) json += JsonOf(kRows[i], i);
    ASSERT_TRUE(RunWriter("append-json " + path_, json));
    ASSERT_TRUE(WaitFor([&] { return strip_->Histogram().CountedRows() == 7; }));
    EXPECT_EQ(strip_->Histogram().Size(), BucketSize::kFiveMinutes);
    EXPECT_EQ(StripCounts(*strip_), RowByRowCounts(*dlg_, *strip_));

    dlg_->OnCommand(cmd::kFilterWarning);  // the three Warning rows go
    EXPECT_EQ(strip_->Histogram().CountedRows(), 4u);
    EXPECT_EQ(StripCounts(*strip_), RowByRowCounts(*dlg_, *strip_));

    // Five hours east and hour buckets: a 90 minute-wide strip still shows five-minute ones,
    // so make it narrow enough for hours and check that buckets start on the new local hour.
    dlg_->ApplyUtcOffset(5);
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 4); }));
    strip_->resize(60, strip_->height());
    ASSERT_TRUE(WaitFor([&] { return strip_->Histogram().CountedRows() == 4; }));
    EXPECT_EQ(strip_->Histogram().Zone().OffsetAt(0), 5 * 3600);
    EXPECT_EQ(StripCounts(*strip_), RowByRowCounts(*dlg_, *strip_));
}

TEST_F(ViewerTimeline, DragSetsTheExactRangeWhichTheDialogShowsAndClears) {
    OpenRows(7);
    ASSERT_EQ(strip_->Histogram().Size(), BucketSize::kFiveMinutes);
    // From the 11:10 bucket to the 12:20 one: 11:10:00 .. 12:24:59 inclusive.
    QTest::mousePress(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf("2026-12-08 11:10:00"), Y()));
    QTest::mouseMove(strip_, QPoint(XOf("2026-12-08 11:50:00"), Y()));
    QTest::mouseRelease(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf("2026-12-08 12:20:10"), Y()));
    const CLogFilterData& filter = dlg_->GetLog().GetFilter();
    EXPECT_EQ(filter.Period(), FILTER_PERIOD_RANGE);
    EXPECT_EQ(filter.m_timeFrom, Utc("2026-12-08 11:10:00"));
    EXPECT_EQ(filter.m_timeTo, Utc("2026-12-08 12:24:59"));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 3); }));
    EXPECT_EQ(strip_->Histogram().CountedRows(), 3u);

    // Filter › Advanced shows the range, and its "Whole log" clears it.
    QString shownFrom, shownTo;
    int shownPeriod = -1;
    QTimer::singleShot(50, [&] {
        auto* advanced = qobject_cast<CLogFilterExDlg*>(QApplication::activeModalWidget());
        if (advanced == nullptr) {
            return;
        }
        auto* period = FindControl<QComboBox>(advanced, ctrl::kFilterPeriod);
        shownPeriod = period->currentIndex();
        shownFrom = FindControl<QDateEdit>(advanced, ctrl::kFilterFromDate)->date().toString(Qt::ISODate) + ' ' +
                    FindControl<QTimeEdit>(advanced, ctrl::kFilterFromTime)->time().toString(Qt::ISODate);
        shownTo = FindControl<QDateEdit>(advanced, ctrl::kFilterToDate)->date().toString(Qt::ISODate) + ' ' +
                  FindControl<QTimeEdit>(advanced, ctrl::kFilterToTime)->time().toString(Qt::ISODate);
        period->setCurrentIndex(0);
        advanced->ReadControls();
        advanced->accept();
    });
    dlg_->OnCommand(cmd::kFilterAdvanced);
    EXPECT_EQ(shownPeriod, 4);
    EXPECT_EQ(shownFrom, "2026-12-08 11:10:00");
    EXPECT_EQ(shownTo, "2026-12-08 12:24:59");
    EXPECT_EQ(dlg_->GetLog().GetFilter().Period(), FILTER_PERIOD_WHOLE);
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 7); }));

    // A drag and then a double click: the whole log again.
    QTest::mousePress(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf("2026-12-08 13:30:00"), Y()));
    QTest::mouseRelease(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf("2026-12-08 16:00:00"), Y()));
    EXPECT_EQ(dlg_->GetLog().GetFilter().m_timeFrom, Utc("2026-12-08 13:30:00"));
    EXPECT_EQ(dlg_->GetLog().GetFilter().m_timeTo, Utc("2026-12-08 16:04:59"));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 3); }));
    QTest::mouseDClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(strip_->width() / 2, Y()));
    EXPECT_EQ(dlg_->GetLog().GetFilter().Period(), FILTER_PERIOD_WHOLE);
    EXPECT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 7); }));
}

TEST_F(ViewerTimeline, ClickOnABarSelectsTheBucketsFirstRowInListOrder) {
    OpenRows(7);
    // Newest first: 16:00 is position 0, 11:12 position 4, 11:10 position 5.
    const struct {
        const char* bar;
        int position;
    } cases[] = {{"2026-12-08 11:10:00", 4}, {"2026-12-08 16:00:00", 0}, {"2026-12-08 10:00:30", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bar);
        QTest::mouseClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf(c.bar), Y()));
        // A click acts once the double-click time is over (a double click clears the period).
        EXPECT_TRUE(WaitFor([&] { return dlg_->GetList()->currentIndex().row() == c.position; }, 3000));
        EXPECT_EQ(dlg_->GetList()->GetSelectedPositions(), std::vector<int>{c.position});
    }
    // A click where no row is changes nothing.
    QTest::mouseClick(strip_, Qt::LeftButton, Qt::NoModifier, QPoint(XOf("2026-12-08 15:30:00"), Y()));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(dlg_->GetList()->currentIndex().row(), 6);
    EXPECT_EQ(dlg_->GetLog().GetFilter().Period(), FILTER_PERIOD_WHOLE);
}

TEST_F(ViewerTimeline, HoverNamesTheRangeAndTheCountPerSeverity) {
    OpenRows(7);
    const QString text = strip_->ToolTipAt(XOf("2026-12-08 11:12:00"));
    EXPECT_EQ(text, QStringLiteral("2026-12-08 11:10 – 11:15\nCritical: 1\nError: 1\nWarning: 0\n"
                                   "Information: 0\nDiagnostic: 0"));
    EXPECT_EQ(strip_->ToolTipAt(XOf("2026-12-08 15:30:00")), QString());
}

TEST_F(ViewerTimeline, ViewTimelineIsRememberedForTheNextWindow) {
    OpenRows(3);
    EXPECT_FALSE(strip_->isHidden());  // on by default
    dlg_->OnCommand(cmd::kViewTimeline);
    EXPECT_TRUE(strip_->isHidden());
    auto second = StartShownWindow(QString::fromStdString(path_));
    ASSERT_NE(second->GetTimeline(), nullptr);
    EXPECT_TRUE(second->GetTimeline()->isHidden());
    second->OnCommand(cmd::kViewTimeline);
    EXPECT_FALSE(second->GetTimeline()->isHidden());
    EXPECT_TRUE(WaitFor([&] { return second->GetTimeline()->Histogram().CountedRows() == 3; }));
    EXPECT_TRUE(QSettings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer")).value("Timeline").toInt() == 1);
}

}  // namespace
}  // namespace korv::test
