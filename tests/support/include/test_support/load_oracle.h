#pragma once
// The truth oracle of a loaded log. At any step of a scenario, what a CLog shows (its rows:
// records and order; its counters: visible, total, deleted, corrupted; the severity histogram
// of its visible rows) is compared with a fresh plain load of the same file under the same
// filter. A load still filling in older records behind the newest ones may show only the
// newest records, but those exactly; rows the walk has not confirmed must say so
// (CLog::RowsProvisional) and are not compared, since nothing may take them as the file's.
//
// ApplyFollower checks the other half: that every hand-over says truly what it did to the
// rows (LogApplyResult), so that whatever follows the rows by it (a strip counting rows as
// they come, a selection, marks) ends where a recount would.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "logmodel/time_histogram.h"
#include "logmodel/time_zone_rules.h"
#include "logmodel/timeline_rows.h"

namespace korv::test {

// How much of the file the rows must cover at the check.
enum class LoadScope {
  kWhole,           // the load is done: every record's rows, none provisional
  kNewestRecords,   // a load under way: the rows of the newest records (from the oldest record
                    // shown on), or provisional rows
};

namespace oracle_detail {

inline std::shared_ptr<const TimeZoneRules> Utc() { return std::make_shared<FixedOffsetZone>(0); }

// Minute buckets whatever the span, so that two histograms compare bucket by bucket.
inline TimeHistogram MinuteHistogram() {
  TimeHistogram h(Utc(), 1);
  h.FixSize(BucketSize::kMinute);
  return h;
}

inline bool SameRow(const REC_INFO_BASE& a, const REC_INFO_BASE& b) {
  return a.record == b.record && a.row == b.row && a.auxiliary == b.auxiliary && a.level == b.level &&
         a.flags == b.flags && a.time == b.time;
}

inline std::string Describe(const REC_INFO_BASE& r) {
  std::ostringstream out;
  out << "{record " << r.record << ", row " << r.row << ", flags 0x" << std::hex << r.flags << "}";
  return out.str();
}

inline ::testing::AssertionResult SameHistogram(const TimeHistogram& got, const TimeHistogram& want) {
  if (got.UntimedCount() != want.UntimedCount() || got.CountedRows() != want.CountedRows())
    return ::testing::AssertionFailure() << "histogram counts " << got.CountedRows() << " rows, the fresh load "
                                         << want.CountedRows();
  const auto& a = got.Buckets();
  const auto& b = want.Buckets();
  if (a.size() != b.size())
    return ::testing::AssertionFailure() << "histogram has " << a.size() << " buckets, the fresh load " << b.size();
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].start != b[i].start || a[i].counts != b[i].counts)
      return ::testing::AssertionFailure() << "histogram bucket " << i << " (from " << b[i].start
                                           << ") differs: " << a[i].Total() << " rows vs " << b[i].Total();
  return ::testing::AssertionSuccess();
}

}  // namespace oracle_detail

// `fresh` is a log opened by the caller on the same file, kind and view mode as `shown`, with
// no rows; the oracle gives it `shown`'s filter and loads it plainly, from record 0.
inline ::testing::AssertionResult MatchesFreshLoad(CLog& shown, std::unique_ptr<CLog> fresh, LoadScope scope) {
  using namespace oracle_detail;
  if (!fresh || !fresh->IsOpen()) return ::testing::AssertionFailure() << "the fresh log did not open";
  if (shown.RowsProvisional()) {
    if (scope == LoadScope::kWhole)
      return ::testing::AssertionFailure() << "the load is done but its rows are still provisional";
    // Unconfirmed rows may be anything the tail scan took for records; only their mark counts.
    return ::testing::AssertionSuccess() << "provisional";
  }
  fresh->SetFilter(shown.GetFilter());
  fresh->LoadRecords(fresh->Rows(), 0, -1);
  fresh->RebuildVisible(true);

  const std::vector<REC_INFO_BASE>& want = fresh->Rows();
  const std::vector<REC_INFO_BASE>& got = shown.Rows();
  std::size_t begin = 0;
  if (scope == LoadScope::kNewestRecords) {
    // The newest records from the oldest one shown on; nothing shown is nothing loaded yet.
    if (got.empty()) return ::testing::AssertionSuccess();
    begin = want.size();
    for (std::size_t i = 0; i < want.size(); ++i)
      if (want[i].record >= got.front().record) {
        begin = i;
        break;
      }
  }
  if (got.size() != want.size() - begin)
    return ::testing::AssertionFailure() << "shows " << got.size() << " rows, the fresh load "
                                         << want.size() - begin << " (of " << want.size() << ") from record "
                                         << (got.empty() ? 0 : got.front().record);
  for (std::size_t i = 0; i < got.size(); ++i)
    if (!SameRow(got[i], want[begin + i]))
      return ::testing::AssertionFailure() << "row " << i << " is " << Describe(got[i]) << ", the fresh load's "
                                           << Describe(want[begin + i]);

  int visible = 0, deleted = 0, corrupted = 0;
  for (std::size_t i = begin; i < want.size(); ++i) {
    visible += (want[i].flags & ROW_FLAG_VISIBLE) != 0;
    deleted += (want[i].flags & ROW_FLAG_DELETED) != 0;
    corrupted += (want[i].flags & ROW_FLAG_CORRUPTED) != 0;
  }
  if (shown.GetVisibleCount() != visible || shown.GetTotalCount() != int(got.size()) ||
      shown.GetDeletedCount() != deleted || shown.GetCorruptedCount() != corrupted)
    return ::testing::AssertionFailure() << "counters visible/total/deleted/corrupted " << shown.GetVisibleCount()
                                         << "/" << shown.GetTotalCount() << "/" << shown.GetDeletedCount() << "/"
                                         << shown.GetCorruptedCount() << ", the fresh load " << visible << "/"
                                         << got.size() << "/" << deleted << "/" << corrupted;
  // The list positions: every row with the visible bit, in row order, and nothing else.
  const std::vector<std::int32_t>& positions = shown.Visible();
  std::size_t next = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if ((got[i].flags & ROW_FLAG_VISIBLE) == 0) continue;
    if (next >= positions.size() || positions[next] != std::int32_t(i))
      return ::testing::AssertionFailure() << "visible entry " << next << " is not row " << i;
    ++next;
  }
  if (scope == LoadScope::kWhole &&
      (visible != fresh->GetVisibleCount() || deleted != fresh->GetDeletedCount() ||
       corrupted != fresh->GetCorruptedCount()))
    return ::testing::AssertionFailure() << "the fresh load's counters disagree with its rows";

  TimeHistogram shownCounts = MinuteHistogram();
  CountVisibleRows(shown, shownCounts);
  TimeHistogram freshCounts = MinuteHistogram();
  CountRowRange(*fresh, begin, want.size(), freshCounts);
  return SameHistogram(shownCounts, freshCounts);
}

// Follows a log through its hand-overs as a strip, a selection or marks would: by what each
// Apply says it did. Follow after every ApplyResults.
class ApplyFollower {
 public:
  explicit ApplyFollower(const CLog& log)
      : m_log(log), m_rows(log.Rows()), m_provisional(log.RowsProvisional()),
        m_counted(oracle_detail::MinuteHistogram()) {
    if (!m_provisional) CountVisibleRows(log, m_counted);
  }

  ::testing::AssertionResult Follow(const LogApplyResult& result) {
    using namespace oracle_detail;
    const std::vector<REC_INFO_BASE>& now = m_log.Rows();
    const bool provisional = m_log.RowsProvisional();
    if (!result.applied) {
      if (now.size() != m_rows.size()) return ::testing::AssertionFailure() << "rows changed without an Apply";
    } else if (!result.replaced) {
      if (now.size() != m_rows.size() + result.prepended + result.appended)
        return ::testing::AssertionFailure() << "Apply said +" << result.prepended << " in front, +"
                                             << result.appended << " at the end, but the rows went from "
                                             << m_rows.size() << " to " << now.size();
      for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (!SameRow(now[result.prepended + i], m_rows[i]))
          return ::testing::AssertionFailure() << "a row kept by the Apply changed: " << Describe(m_rows[i])
                                               << " became " << Describe(now[result.prepended + i]);
      if (result.confirmed != (m_provisional && !provisional))
        return ::testing::AssertionFailure() << "Apply said confirmed " << result.confirmed << " but the rows went "
                                             << (m_provisional ? "provisional" : "confirmed") << " -> "
                                             << (provisional ? "provisional" : "confirmed");
    }
    // Counted as a strip counts: nothing while provisional, everything at a replacement or a
    // confirmation, else only the rows put in front and appended.
    if (provisional) {
      m_counted.Clear();
    } else if (result.replaced || result.confirmed || m_provisional) {
      CountVisibleRows(m_log, m_counted);
    } else if (result.applied) {
      CountRowRange(m_log, 0, result.prepended, m_counted);
      CountRowRange(m_log, now.size() - result.appended, now.size(), m_counted);
    }
    m_rows = now;
    m_provisional = provisional;
    TimeHistogram recount = MinuteHistogram();
    if (!provisional) CountVisibleRows(m_log, recount);
    return SameHistogram(m_counted, recount);
  }

 private:
  const CLog& m_log;
  std::vector<REC_INFO_BASE> m_rows;  // the rows after the last Apply followed
  bool m_provisional;
  TimeHistogram m_counted;
};

}  // namespace korv::test
