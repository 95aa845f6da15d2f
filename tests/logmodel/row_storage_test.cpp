// The rows of a large log grow without a doubling's slack, and keep their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "row_storage.h"

namespace {

std::vector<REC_INFO_BASE> Records(std::int32_t first, std::int32_t count) {
  std::vector<REC_INFO_BASE> rows;
  for (std::int32_t r = first; r < first + count; ++r) rows.push_back(REC_INFO_BASE{r, 0, 0, 0, 0, 0});
  return rows;
}

bool Consecutive(const std::vector<REC_INFO_BASE>& rows, std::int32_t first) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].record != first + std::int32_t(i)) return false;
  return true;
}

// Each step starts from `have` rows (records from `first`) in storage for `room` more.
struct Step {
  const char* name;
  std::int32_t have, room, added;
};

TEST(RowStorage, PrependKeepsOrderAndSizesExactlyWhenTheRowsMove) {
  const Step steps[] = {{"fits in place", 100, 50, 50}, {"moves, fewer than held", 10000, 0, 6000},
                        {"moves, more than held", 256, 10, 20000}, {"nothing", 300, 0, 0}, {"into none", 0, 0, 70}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    std::vector<REC_INFO_BASE> rows = Records(s.added, s.have);
    rows.reserve(std::size_t(s.have + s.room));
    const std::size_t before = rows.capacity();
    korv::PrependRows(rows, Records(0, s.added));
    EXPECT_EQ(rows.size(), std::size_t(s.have + s.added));
    EXPECT_TRUE(Consecutive(rows, 0));
    EXPECT_EQ(rows.capacity(), std::max(before, rows.size()));
  }
}

// Room for the rows still to come, made when the rows first move: the next prepends stay in it.
TEST(RowStorage, PrependMakesTheRoomAskedForOnce) {
  std::vector<REC_INFO_BASE> rows = Records(9000, 1000);
  rows.shrink_to_fit();
  korv::PrependRows(rows, Records(6000, 3000), 10000);
  EXPECT_EQ(rows.capacity(), 10000u);
  const REC_INFO_BASE* storage = rows.data();
  korv::PrependRows(rows, Records(0, 6000), 20000);
  EXPECT_EQ(rows.data(), storage);
  EXPECT_EQ(rows.size(), 10000u);
  EXPECT_TRUE(Consecutive(rows, 0));
}

TEST(RowStorage, AppendKeepsOrderAndGrowsByAnEighth) {
  const Step steps[] = {{"fits in place", 100, 50, 50},   {"small log", 1000, 0, 3},
                        {"large log", 800000, 0, 3},       {"a large batch", 80000, 0, 50000},
                        {"nothing", 300, 0, 0}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    std::vector<REC_INFO_BASE> rows = Records(0, s.have);
    rows.shrink_to_fit();
    rows.reserve(std::size_t(s.have + s.room));
    const std::size_t before = rows.capacity();
    korv::AppendRows(rows, Records(s.have, s.added));
    EXPECT_EQ(rows.size(), std::size_t(s.have + s.added));
    EXPECT_TRUE(Consecutive(rows, 0));
    if (before - std::size_t(s.have) >= std::size_t(s.added)) {
      EXPECT_EQ(rows.capacity(), before);
    } else {
      // Never the doubling a vector makes by itself.
      const std::size_t growth = std::max<std::size_t>({std::size_t(s.added), std::size_t(s.have) / 8, 4096});
      EXPECT_LE(rows.capacity(), std::size_t(s.have) + growth);
    }
  }
}

}  // namespace
