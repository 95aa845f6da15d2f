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

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
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
                                   "Information: 0\nDiagnostic: 0\nBar height: square root of the rows"));
    EXPECT_EQ(strip_->ToolTipAt(XOf("2026-12-08 15:30:00")), QString());
    // A period that crosses midnight (a dragged one too) shows the end's date.
    EXPECT_EQ(strip_->RangeText(Utc("2026-11-29 22:00:00"), Utc("2026-11-30 02:00:00")),
              QStringLiteral("2026-11-29 22:00 – 2026-11-30 02:00"));
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

// The strip counts the rows korvlog's histogram counts: times 0, before 1970 and past 9999
// among ordinary ones, in two zones; rows without a time are named in the tooltip.
TEST_F(ViewerTimeline, AgreesWithKorvlogsHistogramOnEveryTimeTheLogHolds) {
    path_ = FreshDir("timeline-odd") + "/warnlog.dat";
    std::string json;
    for (int i = 0; i < 7; ++i) json += JsonOf(kRows[i], i);
    for (const char* time : {"0", "\"1965-03-01 12:00:00\"", "2650467744000000000", "9223372036854775808",
                             "\"9999-12-31 22:00:00\""}) {
        json += std::string("{\"type\": \"0x00010002\", \"time\": ") + time +
                ", \"rows\": [{\"level\": \"0x80000000\", \"fields\": [{\"text\": \"odd\"}, {\"msg\": 1}, {\"text\": \"x\"}]}]}\n";
    }
    ASSERT_TRUE(RunWriter("append-json " + path_, json));
    dlg_ = StartShownWindow(QString::fromStdString(path_));
    dlg_->resize(900, 500);
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 12); }));
    strip_ = dlg_->GetTimeline();
    ASSERT_NE(strip_, nullptr);
    for (const int offset : {0, 3}) {
        SCOPED_TRACE(offset);
        dlg_->ApplyUtcOffset(offset);
        ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg_, 12); }));
        strip_->Sync();
        const TimeHistogram& h = strip_->Histogram();
        ASSERT_EQ(h.CountedRows() + h.UntimedCount(), 12u);
        // korvlog's day buckets, gathered into the strip's (weeks: the span is sixty years).
        ASSERT_GE(h.Size(), BucketSize::kDay);
        FILE* pipe = ::popen((std::string(KORV_BIN_DIR) + "/korvlog export --histogram -f csv --bucket day --utc-offset " +
                              std::to_string(offset) + " '" + path_ + "' 2>/dev/null")
                                 .c_str(),
                             "r");
        ASSERT_NE(pipe, nullptr);
        std::string csv;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) csv.append(buffer, n);
        ASSERT_EQ(::pclose(pipe), 0) << csv;
        Counts gathered;
        std::uint64_t untimed = 0;
        std::istringstream lines(csv.substr(csv.find('\n') + 1));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::uint32_t> counts;
            std::istringstream fields(line.substr(line.find(',', line.find(',') + 1) + 1));
            for (std::string field; std::getline(fields, field, ',');) counts.push_back(std::uint32_t(std::stoul(field)));
            ASSERT_EQ(counts.size(), 6u) << line;
            if (line.starts_with(",,")) {
                untimed = counts[5];
                continue;
            }
            const int index = h.BucketIndexAt(Utc(line.substr(0, 19).c_str()) - offset * 3600);
            ASSERT_GE(index, 0) << line;
            auto& c = gathered[h.Buckets()[std::size_t(index)].start];
            c.resize(kSeverityClassCount);
            for (int k = 0; k < kSeverityClassCount; ++k) c[std::size_t(k)] += counts[std::size_t(4 - k)];  // critical first
        }
        EXPECT_EQ(gathered, StripCounts(*strip_)) << csv;
        EXPECT_EQ(untimed, h.UntimedCount()) << csv;
        EXPECT_GE(untimed, 3u) << "0, 10000-01-01 and 2^63 at least";
        // Wherever the mouse is, the tooltip says how many rows have no bar.
        for (const int x : {0, strip_->width() / 2, strip_->width() - 1}) {
            const QString tip = strip_->ToolTipAt(x);
            EXPECT_TRUE(tip.endsWith(QStringLiteral("Rows without a time (no bar): %1").arg(untimed))) << tip.toStdString();
        }
    }
}

}  // namespace
}  // namespace korv::test
