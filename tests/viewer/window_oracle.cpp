#include "window_oracle.h"

#include "logmodel/log.h"
#include "logmodel/time_histogram.h"
#include "logmodel/time_zone_rules.h"
#include "logmodel/timeline_rows.h"
#include "platform/tz.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/status_bar.h"
#include "ui/timeline_strip.h"

#include <QString>

#include <algorithm>
#include <memory>
#include <sstream>

#include "viewer_environment.h"

namespace korv::test {
namespace {

QString Pane(CLogViewerDlg& dlg, int pane) { return dlg.GetStatusBar()->PaneText(pane); }

// A fresh log of the window's file, kind and view, with the window's filter, every record
// loaded. Null when it does not open.
std::unique_ptr<CLog> FreshLoad(const CLog& shown) {
    auto fresh = std::make_unique<CLog>();
    fresh->SetViewMode(shown.GetViewMode());
    fresh->SetFixedRecord(shown.GetFixedRecord());
    if (!fresh->Open(shown.GetDisplayPath(false), shown.GetServiceValue(), shown.GetTypeId(), shown.GetFlags(),
                     shown.GetSettingsKey())) {
        return nullptr;
    }
    fresh->SetFilter(shown.GetFilter());
    if (fresh->IsDirectory()) {
        std::vector<REC_INFO_DIR> rows;
        fresh->LoadDirectory(rows, {});
        // A directory's rows are its files in the order of their times, as the updater lists them.
        std::stable_sort(rows.begin(), rows.end(),
                         [](const REC_INFO_DIR& a, const REC_INFO_DIR& b) { return a.time < b.time; });
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].record = std::int32_t(i);
        }
        fresh->DirectoryRows() = std::move(rows);
    } else {
        std::vector<REC_INFO_BASE> rows;
        fresh->LoadRecords(rows, 0, -1);
        fresh->Rows() = std::move(rows);
    }
    fresh->RebuildVisible(false);
    return fresh;
}

// Keeps the fresh rows of records lo..hi alone; false when the file has none past `hi`
// and none before `lo` (the window holds every record).
bool KeepRecordRun(CLog& fresh, std::int32_t lo, std::int32_t hi) {
    std::vector<REC_INFO_BASE>& rows = fresh.Rows();
    const bool whole = rows.empty() || (rows.front().record >= lo && rows.back().record <= hi);
    std::erase_if(rows, [&](const REC_INFO_BASE& r) { return r.record < lo || r.record > hi; });
    fresh.RebuildVisible(false);
    return !whole;
}

std::string KeyText(const RowKey& k) {
    std::ostringstream out;
    if (!k.file.empty()) {
        out << "file " << QString::fromStdU16String(k.file).toStdString();
    } else {
        out << "record " << k.record << " row " << k.row << " aux " << k.auxiliary;
    }
    return out.str();
}

}  // namespace

::testing::AssertionResult WindowShowsTheTruth(CLogViewerDlg& dlg, WindowPhase phase) {
    CLog& shown = dlg.GetLog();
    CLogListCtrl& list = *dlg.GetList();
    if (!shown.IsOpen()) {
        if (list.GetItemCount() != 0 || Pane(dlg, 1) != QStringLiteral("Cnt: 0 of 0")) {
            return ::testing::AssertionFailure() << "no log open, yet the list or pane 1 shows rows";
        }
        return ::testing::AssertionSuccess();
    }
    if (shown.RowsProvisional()) {
        if (phase == WindowPhase::kComplete) {
            return ::testing::AssertionFailure() << "the rows are still unconfirmed";
        }
        return ::testing::AssertionSuccess() << "unconfirmed";
    }
    std::unique_ptr<CLog> fresh = FreshLoad(shown);
    if (!fresh) {
        return ::testing::AssertionFailure() << "a fresh open of " << shown.GetDisplayPath(false) << " fails";
    }
    bool partial = false;
    const std::size_t fileRows = fresh->Rows().size();
    if (!shown.IsDirectory()) {
        const auto& rows = shown.Rows();
        if (rows.empty()) {
            partial = fileRows != 0;
            fresh->Rows().clear();
            fresh->RebuildVisible(false);
        } else {
            partial = KeepRecordRun(*fresh, rows.front().record, rows.back().record);
        }
    }
    if (partial && phase == WindowPhase::kComplete) {
        return ::testing::AssertionFailure() << "the window holds " << shown.Rows().size() << " rows of "
                                             << fileRows;
    }

    // The list, position by position, as the list itself keys its rows.
    const int count = fresh->GetVisibleCount();
    if (list.GetItemCount() != count || list.model()->rowCount() != count) {
        return ::testing::AssertionFailure()
               << "the list shows " << list.GetItemCount() << " rows (of " << shown.Rows().size() << " rows, records "
               << (shown.Rows().empty() ? -1 : shown.Rows().front().record) << ".."
               << (shown.Rows().empty() ? -1 : shown.Rows().back().record) << ", " << shown.GetVisibleCount()
               << " visible), a fresh load " << count << " (of " << fileRows << " rows)";
    }
    for (int p = 0; p < count; ++p) {
        const RowKey got = list.KeyOfRow(p);
        RowKey want;
        if (fresh->IsDirectory()) {
            want.file = fresh->GetDirectoryRowFile(p);
            want.valid = !want.file.empty();
        } else if (const REC_INFO_BASE* r = fresh->GetRow(p)) {
            want = {true, r->record, r->row, r->auxiliary, {}};
        }
        if (!(got == want)) {
            return ::testing::AssertionFailure() << "position " << p << " shows " << KeyText(got)
                                                 << ", a fresh load " << KeyText(want);
        }
        const REC_INFO_BASE* a = shown.GetRow(p);
        const REC_INFO_BASE* b = fresh->GetRow(p);
        if (a != nullptr && b != nullptr && (a->flags != b->flags || a->level != b->level || a->time != b->time)) {
            return ::testing::AssertionFailure() << "position " << p << " (" << KeyText(got)
                                                 << ") differs in flags, level or time";
        }
    }

    // The status bar's counts.
    const QString cnt = QStringLiteral("Cnt: %1 of %2").arg(count).arg(fresh->GetTotalCount());
    const QString del = QStringLiteral("Del: %1").arg(fresh->GetDeletedCount());
    const QString corr = QStringLiteral("Corr: %1").arg(fresh->GetCorruptedCount());
    if (Pane(dlg, 1) != cnt || Pane(dlg, 3) != del || Pane(dlg, 4) != corr) {
        return ::testing::AssertionFailure() << "panes \"" << Pane(dlg, 1).toStdString() << "\", \""
                                             << Pane(dlg, 3).toStdString() << "\", \"" << Pane(dlg, 4).toStdString()
                                             << "\"; a fresh load \"" << cnt.toStdString() << "\", \""
                                             << del.toStdString() << "\", \"" << corr.toStdString() << "\"";
    }

    // The strip's buckets, counted afresh in the shown zone over the strip's width.
    const TimelineStrip* strip = dlg.GetTimeline();
    if (strip != nullptr && !strip->isHidden() && TimelineStrip::Applies(&shown)) {
        TimeHistogram truth(std::make_shared<FixedOffsetZone>(std::int32_t(-platform::process_time_zone_offset())),
                            strip->Columns());
        CountVisibleRows(*fresh, truth);
        const auto& a = strip->Histogram().Buckets();
        const auto& b = truth.Buckets();
        if (a.size() != b.size() || strip->Histogram().UntimedCount() != truth.UntimedCount()) {
            return ::testing::AssertionFailure() << "the strip has " << a.size() << " buckets, a fresh count "
                                                 << b.size();
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i].start != b[i].start || a[i].end != b[i].end || a[i].counts != b[i].counts) {
                return ::testing::AssertionFailure() << "bucket " << i << " from " << a[i].start << " counts "
                                                     << a[i].Total() << ", a fresh count from " << b[i].start
                                                     << " counts " << b[i].Total();
            }
        }
    }
    return ::testing::AssertionSuccess() << (partial ? "partial" : "complete");
}

::testing::AssertionResult WaitForTruth(CLogViewerDlg& dlg, int ms, bool onTheWay) {
    ::testing::AssertionResult last = ::testing::AssertionFailure() << "never checked";
    const bool done = WaitFor(
        [&] {
            if (dlg.GetUpdater().IsBusy()) {
                if (!onTheWay) {
                    return false;
                }
                // Between hand-overs the window must still tell a part of the truth.
                if (auto any = WindowShowsTheTruth(dlg, WindowPhase::kAny); !any) {
                    last = any;
                    return true;
                }
                return false;
            }
            last = WindowShowsTheTruth(dlg, WindowPhase::kComplete);
            return static_cast<bool>(last);
        },
        ms);
    if (!done && last) {
        return ::testing::AssertionFailure() << "the window did not finish loading";
    }
    return last;
}

}  // namespace korv::test
