// The timeline of several logs: the merge against a stable sort of the union, equal times,
// logs out of time order, and over opened logs the rows and texts against each log's export.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "log_test_support.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"
#include "logmodel/timeline_merge.h"
#include "logmodel/timeline_text.h"

namespace korv::test {
namespace {

// A log of given row times, newest first.
class Times : public TimelineSource {
 public:
  explicit Times(std::vector<platform::FileTime> times) : times_(std::move(times)) {}
  std::int32_t Count() const override { return std::int32_t(times_.size()); }
  platform::FileTime TimeAt(std::int32_t index) const override { return times_.at(std::size_t(index)); }

 private:
  std::vector<platform::FileTime> times_;
};

std::vector<const TimelineSource*> Pointers(const std::vector<Times>& logs) {
  std::vector<const TimelineSource*> out;
  for (const Times& t : logs) out.push_back(&t);
  return out;
}

// What the merge must give: the union, stably sorted newest first, where the union lists
// the logs in the order given and each log in its own order.
std::vector<TimelineRef> SortedUnion(const std::vector<Times>& logs) {
  std::vector<TimelineRef> all;
  for (std::uint32_t l = 0; l < logs.size(); ++l)
    for (std::int32_t i = 0; i < logs[l].Count(); ++i) all.push_back({l, i});
  std::stable_sort(all.begin(), all.end(), [&](const TimelineRef& a, const TimelineRef& b) {
    return logs[a.log].TimeAt(a.position) > logs[b.log].TimeAt(b.position);
  });
  return all;
}

std::vector<TimelineRef> Walk(const std::vector<const TimelineSource*>& sources) {
  TimelineMerge merge(sources);
  std::vector<TimelineRef> out;
  TimelineRef ref;
  std::int64_t remaining = merge.Remaining();
  while (merge.Next(ref)) {
    out.push_back(ref);
    EXPECT_EQ(merge.Remaining(), --remaining);
  }
  EXPECT_EQ(remaining, 0);
  EXPECT_FALSE(merge.Next(ref)) << "a used-up merge stays used up";
  return out;
}

TEST(TimelineMerge, LogsInTimeOrderGiveTheirSortedUnion) {
  struct Case {
    const char* name;
    std::vector<Times> logs;
  };
  const Case cases[] = {
      {"no logs", {}},
      {"one log", {Times({9, 7, 7, 3})}},
      {"two interleaved", {Times({10, 8, 6, 4}), Times({9, 7, 5, 3, 1})}},
      {"one after the other", {Times({4, 3}), Times({9, 8})}},
      {"equal times across logs: the log given first first", {Times({5, 5, 2}), Times({5, 3}), Times({5, 5})}},
      {"every time equal", {Times({1, 1}), Times({1, 1, 1}), Times({1})}},
      {"empty logs among others", {Times({}), Times({6, 2}), Times({}), Times({4})}},
      {"ten logs", {Times({50, 40}), Times({49}), Times({48, 1}), Times({47}), Times({46, 46}), Times({45}),
                    Times({60}), Times({0}), Times({45, 45}), Times({44})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto sources = Pointers(c.logs);
    const std::vector<TimelineRef> expected = SortedUnion(c.logs);
    EXPECT_EQ(Walk(sources), expected);
    EXPECT_EQ(MergeTimeline(sources), expected);
  }
}

TEST(TimelineMerge, LogsOutOfTimeOrderGiveTheSortedUnionToo) {
  // A clock set back in one log, a log running backwards, and random logs of which some are
  // in order and some not, with many equal times: always the stable sort of the union.
  std::vector<std::vector<Times>> cases = {
      {Times({8, 7, 9, 2}), Times({10, 6, 3})},
      {Times({1, 2, 3}), Times({2})},
      {Times({5, 9, 5, 9}), Times({9, 5}), Times({7, 7, 9})},
  };
  std::uint32_t seed = 25;
  auto next = [&seed](std::uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  for (int round = 0; round < 40; ++round) {
    std::vector<Times> logs;
    const std::uint32_t count = 1 + next(5);
    for (std::uint32_t l = 0; l < count; ++l) {
      std::vector<platform::FileTime> times(next(30));
      for (platform::FileTime& t : times) t = next(12);
      if (next(2) == 0) std::sort(times.rbegin(), times.rend());  // this one in time order
      logs.emplace_back(std::move(times));
    }
    cases.push_back(std::move(logs));
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const auto sources = Pointers(cases[i]);
    const std::vector<TimelineRef> expected = SortedUnion(cases[i]);
    EXPECT_EQ(Walk(sources), expected);
    EXPECT_EQ(MergeTimeline(sources), expected);
  }
}

TEST(TimelineMerge, FirstOutOfTimeOrder) {
  struct Case {
    std::vector<platform::FileTime> times;  // newest first
    std::int32_t expected;
  };
  const Case cases[] = {
      {{}, -1}, {{5}, -1}, {{5, 5, 5}, -1}, {{9, 7, 7, 1}, -1},
      {{7, 9}, 1}, {{9, 8, 3, 4, 1}, 3}, {{9, 8, 7, 6, 10}, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstOutOfTimeOrder(Times(c.times)), c.expected) << ::testing::PrintToString(c.times);
}

TEST(TimelineText, SummaryJoinsCellsInOrderKeepingInnerEmptyOnes) {
  struct Case {
    std::vector<std::u16string> cells;
    std::size_t first;
    std::u16string expected;
  };
  const Case cases[] = {
      {{u"12:00", u"Kernel", u"Started", u"SYSTEM"}, 1, u"Kernel | Started | SYSTEM"},
      {{u"a", u"", u"c"}, 0, u"a |  | c"},
      {{u"t", u"a", u"", u"c", u"", u""}, 1, u"a |  | c"},
      {{u"t", u"", u""}, 1, u""},
      {{u"only"}, 0, u"only"},
      {{u"time"}, 1, u""},
      {{}, 0, u""},
  };
  for (const Case& c : cases) {
    std::u16string out = u"kept:";
    AppendSummary(c.cells, c.first, out);
    EXPECT_EQ(out, u"kept:" + c.expected);
  }
  struct Level {
    std::uint32_t level;
    std::u16string_view name;
  };
  for (const Level& l : {Level{0x00000005, u"Diagnostic"}, Level{0x10000000, u"Information"},
                         Level{0x40000002, u"Warning"}, Level{0x80000001, u"Error"},
                         Level{0xA0000000, u"Critical"}, Level{0xFFFFFFFF, u"Critical"}})
    EXPECT_EQ(SeverityName(LevelClass(l.level)), l.name) << std::hex << l.level;
}

// Two opened Events logs with several rows a record, times shared between them and within
// each, deleted and corrupted records.
class OpenedTimeline : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    const std::uint32_t levels[] = {0x00000005, 0x10000000, 0x40000002, 0x80000001, 0xA0000000};
    for (int l = 0; l < 2; ++l) {
      std::vector<EventRecord> records;
      for (std::uint32_t n = 0; n < 60; ++n) {
        EventRecord r;
        // The first log steps a minute a record, the second two, so that many times are found
        // in both; records 10-14 of each share one time as well.
        const int minute = (n >= 10 && n < 15 ? 10 : int(n)) * (l + 1);
        r.time = Ft(2026, 5, 1, 8 + minute / 60, minute % 60, 0);
        r.deleted = n % 9 == 4;
        if (n % 13 == 6) r.type = 0;
        for (std::uint32_t k = 0; k < 1 + (n + std::uint32_t(l)) % 3; ++k)
          r.rows.push_back({levels[(n + k + std::uint32_t(l)) % 5],
                            (l == 0 ? u"alpha " : u"beta ") + std::u16string(1, char16_t(u'a' + n % 26)) +
                                (n % 4 == 0 ? u" needle" : u""),
                            1 + k % 3, k % 2 ? u"CORP\\admin" : u"SYSTEM"});
        records.push_back(std::move(r));
      }
      paths_[l] = dir_.Path(l == 0 ? "first.dat" : "second.dat");
      WriteEventLog(paths_[l], records);
    }
  }

  static CLogFilterData Criteria(std::uint32_t types, std::u16string text = {}) {
    CLogFilterData f(0);
    f.m_nTypeMask = types;
    f.m_strText = std::move(text);
    return f;
  }

  std::array<std::string, 2> paths_;
};

struct Row {
  std::uint32_t log;
  platform::FileTime time;
  std::vector<std::u16string> cells;  // empty for a corrupted record's row
  friend bool operator==(const Row&, const Row&) = default;
};

TEST_F(OpenedTimeline, EqualsTheStablySortedUnionOfTheExportsWithEachLogsFilter) {
  struct Case {
    const char* name;
    CLogFilterData first, second;
  };
  const Case cases[] = {
      {"everything in both", Criteria(0x7FFFFFFF), Criteria(0x7FFFFFFF)},
      {"deleted hidden in the first only", Criteria(31), Criteria(0x7FFFFFFF)},
      {"errors of one, warnings of the other", Criteria(FILTER_TYPE_ERROR | FILTER_TYPE_CRITICAL),
       Criteria(FILTER_TYPE_WARNING)},
      {"text in one log", Criteria(0x7FFFFFFF, u"needle"), Criteria(31)},
      {"nothing of the first", Criteria(0), Criteria(0x7FFFFFFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each log's export, in list order, as korvlog export writes it.
    std::vector<Row> expected;
    for (std::uint32_t l = 0; l < 2; ++l) {
      auto log = OpenEvents(paths_[l]);
      log->SetFilter(l == 0 ? c.first : c.second);
      log->ExportPass(
          [&](const REC_INFO_BASE& row, const std::vector<std::u16string>* cells) {
            expected.push_back({l, row.time, cells ? *cells : std::vector<std::u16string>{}});
            return true;
          },
          {});
    }
    std::stable_sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) { return a.time > b.time; });

    std::array<std::unique_ptr<CLog>, 2> logs;
    std::vector<LogTimelineSource> sources;
    for (std::uint32_t l = 0; l < 2; ++l) {
      logs[l] = OpenEvents(paths_[l]);
      logs[l]->SetFilter(l == 0 ? c.first : c.second);
      logs[l]->LoadRecords(logs[l]->Rows(), 0, -1);
      logs[l]->RebuildVisible(false);
    }
    for (auto& log : logs) sources.emplace_back(*log);
    const std::vector<const TimelineSource*> pointers = {&sources[0], &sources[1]};
    std::vector<Row> merged;
    std::vector<std::u16string> cells;
    for (const TimelineRef& ref : MergeTimeline(pointers)) {
      CLog& log = *logs[ref.log];
      const int position = sources[ref.log].ListPosition(ref.position);
      const REC_INFO_BASE* row = log.GetRow(position);
      ASSERT_NE(row, nullptr);
      cells.clear();
      if ((row->flags & ROW_FLAG_CORRUPTED) == 0) {
        ASSERT_TRUE(log.GetRowCells(position, cells));
      }
      merged.push_back({ref.log, row->time, cells});
    }
    ASSERT_EQ(merged.size(), expected.size());
    for (std::size_t i = 0; i < merged.size(); ++i) ASSERT_EQ(merged[i], expected[i]) << "row " << i;
    if (std::string(c.name) == "everything in both") {
      EXPECT_GT(merged.size(), 200u) << "the logs are meant to give many rows";
    }
  }
}

TEST_F(OpenedTimeline, TextsNameTheRowsKindSeverityAndCellsInEitherViewMode) {
  for (const int view : {LOG_VIEW_LIST, LOG_VIEW_RECORD}) {
    SCOPED_TRACE(view == LOG_VIEW_LIST ? "newest first" : "file order");
    auto log = OpenEvents(paths_[0], view);
    log->LoadRecords(log->Rows(), 0, -1);
    log->RebuildVisible(false);
    const LogTimelineSource source(*log);
    ASSERT_EQ(source.Count(), log->GetVisibleCount());
    std::vector<std::u16string> scratch, cells;
    std::array<std::u16string, kTimelineColumns> texts;
    platform::FileTime previous = ~platform::FileTime{0};
    for (std::int32_t i = 0; i < source.Count(); ++i) {
      const int position = source.ListPosition(i);
      const REC_INFO_BASE* row = log->GetRow(position);
      ASSERT_NE(row, nullptr);
      EXPECT_LE(source.TimeAt(i), previous) << "newest first at " << i;
      previous = source.TimeAt(i);
      ASSERT_TRUE(MakeTimelineTexts(*log, position, u"Events", scratch, texts));
      EXPECT_EQ(texts[0], FormatRecordTime(row->time));
      EXPECT_EQ(texts[1], SeverityName(LevelClass(row->level)));
      EXPECT_EQ(texts[2], u"Events");
      if ((row->flags & ROW_FLAG_CORRUPTED) != 0) {
        EXPECT_EQ(texts[3], u"");
        continue;
      }
      ASSERT_TRUE(log->GetRowCells(position, cells));
      // The module's cells (module, message, user) without the list's time column.
      const std::size_t first = view == LOG_VIEW_LIST ? 1 : 0;
      ASSERT_GT(cells.size(), first + 1);
      std::size_t end = cells.size();
      while (end > first + 1 && cells[end - 1].empty()) --end;
      std::u16string expected = cells[first];
      for (std::size_t k = first + 1; k < end; ++k) expected += u" | " + cells[k];
      EXPECT_EQ(texts[3], expected);
    }
    EXPECT_FALSE(MakeTimelineTexts(*log, log->GetVisibleCount(), u"Events", scratch, texts));
  }
}

}  // namespace
}  // namespace korv::test
