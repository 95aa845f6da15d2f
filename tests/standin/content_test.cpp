// Generated content: every kind's payloads decode, fit the kind's columns and
// spread over the severity classes.
#include <gtest/gtest.h>

#include <set>

#include "content.h"
#include "standin/columns.h"

namespace korv::standin {
namespace {

int severity_class(uint32_t level) {
  if (level < 0x10000000) return 0;
  if (level < 0x40000000) return 1;
  if (level < 0x80000000) return 2;
  if (level < 0xA0000000) return 3;
  return 4;
}

TEST(Content, EveryKindDecodesAndFitsItsColumns) {
  for (const StandinLogKind& kind : standin_log_kinds()) {
    ContentGenerator gen(kind, 7);
    const size_t columns = data_columns(kind.type_id, kind.scan ? kViewRecord : kViewList).size();
    for (int i = 0; i < 200; ++i) {
      std::vector<RowView> rows;
      ASSERT_EQ(decode_payload(gen.next(133000000000000000ull + i), &rows), PayloadResult::Ok) << kind.key;
      for (const RowView& row : rows) {
        // Every data column is filled: no trailing empties by accident, nothing dropped.
        EXPECT_EQ(row.fields.size(), columns) << kind.key;
      }
    }
  }
}

TEST(Content, ScanSummaryFitsTheListColumns) {
  ContentGenerator gen(*find_log_kind("escan"), 3);
  std::vector<RowView> rows;
  ASSERT_EQ(decode_payload(gen.scan_summary(133000000000000000ull, 4), &rows), PayloadResult::Ok);
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].fields.size(), data_columns(3, kViewList).size());
  EXPECT_EQ(rows[0].fields[1].kind, FieldKind::Time);
  EXPECT_EQ(field_uint(rows[0].fields[3]), 4u);
}

TEST(Content, LevelsCoverEveryClassAndAuditHasSeveralRows) {
  std::set<int> classes;
  size_t max_rows = 0;
  for (const char* key : {"virlog", "warnlog", "epfwlog", "audit"}) {
    ContentGenerator gen(*find_log_kind(key), 11);
    for (int i = 0; i < 2000; ++i) {
      std::vector<RowView> rows;
      ASSERT_EQ(decode_payload(gen.next(1), &rows), PayloadResult::Ok);
      max_rows = std::max(max_rows, rows.size());
      for (const RowView& r : rows) classes.insert(severity_class(r.level));
    }
  }
  EXPECT_EQ(classes.size(), 5u);
  EXPECT_GE(max_rows, 2u);
}

TEST(Content, SameSeedSamePayloads) {
  const StandinLogKind& kind = *find_log_kind("epfwlog");
  ContentGenerator a(kind, 42), b(kind, 42), c(kind, 43);
  bool differs = false;
  for (int i = 0; i < 50; ++i) {
    const auto pa = a.next(5);
    const std::vector<uint8_t> copy(pa.begin(), pa.end());
    const auto pb = b.next(5);
    EXPECT_EQ(copy, std::vector<uint8_t>(pb.begin(), pb.end()));
    const auto pc = c.next(5);
    differs = differs || copy != std::vector<uint8_t>(pc.begin(), pc.end());
  }
  EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace korv::standin
