// Reading decoded-record blocks: the layout, and every way a block can point outside itself.
#include <gtest/gtest.h>

#include "block_builder.h"
#include "logmodel/decoded_record.h"

namespace {

TEST(DecodedRecord, ReadsRowsLevelsAndCells) {
  const auto b = BuildBlock({{0x10000000, {u"one", u"\u017elu\u0165"}}, {0xA0000000, {u"", u"x"}}}, 2, 0x55);
  EXPECT_EQ(BlockRowFlags(b), 0x55u);
  EXPECT_EQ(RowCount(b), 2u);
  EXPECT_EQ(CellCount(b), 2u);
  EXPECT_EQ(RowLevel(b, 0), 0x10000000u);
  EXPECT_EQ(RowLevel(b, 1), 0xA0000000u);
  std::u16string text;
  const struct {
    std::uint32_t row, cell;
    bool ok;
    std::u16string text;
  } cases[] = {{0, 0, true, u"one"}, {0, 1, true, u"\u017elu\u0165"}, {1, 0, true, u""},
               {1, 1, true, u"x"},   {0, 2, false, u""},               {2, 0, false, u""}};
  for (const auto& c : cases) {
    EXPECT_EQ(CellText(b, c.row, c.cell, text), c.ok) << c.row << "," << c.cell;
    EXPECT_EQ(text, c.text) << c.row << "," << c.cell;
  }
}

TEST(DecodedRecord, UnalignedTextIsRead) {
  auto b = BuildBlock({{1, {u"ab"}}}, 1);
  // Move the text one byte on: cell offset odd, bytes shifted.
  const std::uint32_t row_at = 20;
  const std::size_t text_at = row_at + 8;
  b.insert(b.begin() + std::ptrdiff_t(text_at), 0xEE);
  PutU32(b, row_at + 4, 9);
  std::u16string text;
  ASSERT_TRUE(CellText(b, 0, 0, text));
  EXPECT_EQ(text, u"ab");
}

// Texts of every length around the eight-unit steps of the NUL scan, at even
// and odd offsets, and with a zero byte pair that straddles two units.
TEST(DecodedRecord, TextLengthsAroundTheScanStepsAndShiftedBytes) {
  std::u16string text;
  for (std::size_t length = 0; length <= 34; ++length) {
    std::u16string expected;
    for (std::size_t i = 0; i < length; ++i) expected += char16_t(i % 2 ? 0x4100 : u'A');  // 41 00 | 00 41
    for (int shift = 0; shift < 2; ++shift) {
      auto b = BuildBlock({{1, {expected}}}, 1);
      if (shift) {
        b.insert(b.begin() + 28, 0xEE);
        PutU32(b, 24, 9);
      }
      ASSERT_TRUE(CellText(b, 0, 0, text)) << length << "/" << shift;
      EXPECT_EQ(text, expected) << length << "/" << shift;
      // The same cell without its NUL, cut at the block's end: no text.
      const std::size_t end = 28 + std::size_t(shift) + 2 * length;
      b.resize(end);
      EXPECT_FALSE(CellText(b, 0, 0, text)) << length << "/" << shift;
      EXPECT_TRUE(text.empty());
    }
  }
}

// The views of one row's selected cells are the cells' texts, whatever the rows read before
// left in the shared buffer: longer texts that make it grow (the views made earlier in the row
// must follow), two cells on one text, an odd offset, a cell outside the block.
TEST(DecodedRecord, CellViewsAreTheTextsThroughOneBufferForEveryRow) {
  const auto u32 = [](const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
  };
  const std::u16string long_text(300, u'L');
  const auto small = BuildBlock({{1, {u"ab", u"", u"cd"}}, {2, {u"x", u"yz", u"w"}}}, 3);
  const auto large = BuildBlock({{3, {long_text, u"mid", long_text + u"!"}}}, 3);
  // Row 1's cell 1 on its cell 0's text.
  auto twice = BuildBlock({{4, {u"a", u"b", u"c"}}, {5, {u"same", u"other", u"c"}}}, 3);
  const std::uint32_t row1 = u32(twice, 20);
  PutU32(twice, row1 + 8, u32(twice, row1 + 4));
  // The text one byte on, at an odd offset (one row of one cell: the row at 20, its text at 28).
  auto odd = BuildBlock({{6, {u"odd"}}}, 1);
  odd.insert(odd.begin() + 28, 0xEE);
  PutU32(odd, 24, 9);
  auto outside = BuildBlock({{7, {u"in", u"out"}}}, 2);
  PutU32(outside, 20 + 8, 0x7FFFFFF0);

  const struct {
    const char* name;
    const std::vector<std::uint8_t>* block;
    std::uint32_t row, wanted;
  } reads[] = {{"small row 0", &small, 0, 0x7},  {"large", &large, 0, 0x7},   {"small row 1", &small, 1, 0x5},
               {"one text twice", &twice, 1, 0x7}, {"odd offset", &odd, 0, 0x1}, {"outside", &outside, 0, 0x3},
               {"large again", &large, 0, 0x5},  {"no such row", &small, 5, 0x7}};
  std::u16string copies;
  std::u16string text;
  for (const auto& r : reads) {
    std::u16string_view views[3];
    RowCellViews(*r.block, r.row, r.wanted, views, copies);
    for (std::uint32_t cell = 0; cell < 3; ++cell) {
      const bool wanted = (r.wanted >> cell) & 1;
      const bool read = CellText(*r.block, r.row, cell, text);
      EXPECT_EQ(std::u16string(views[cell]), wanted && read ? text : u"") << r.name << ", cell " << cell;
    }
  }
}

// Damage applied to a valid block of one row with two cells "ab" and "cd".
struct Damage {
  const char* name;
  void (*apply)(std::vector<std::uint8_t>&);
  std::uint32_t rows;     // RowCount after damage
  bool level_readable;    // row 0
  bool cell0, cell1;      // CellText(0, 0) and (0, 1) succeed
};

TEST(DecodedRecord, DamagedBlocksNeverReadOutside) {
  const Damage cases[] = {
      {"intact", [](std::vector<std::uint8_t>&) {}, 1, true, true, true},
      {"row offset past end", [](std::vector<std::uint8_t>& b) { PutU32(b, 16, 0xFFFFFFF0u); }, 1, false, false, false},
      {"row offset at last 3 bytes", [](std::vector<std::uint8_t>& b) { PutU32(b, 16, std::uint32_t(b.size() - 3)); }, 1, false, false, false},
      {"cell offset past end", [](std::vector<std::uint8_t>& b) { PutU32(b, 28, 0x7FFFFFFFu); }, 1, true, true, false},
      {"cell offset wraps 32 bits", [](std::vector<std::uint8_t>& b) { PutU32(b, 28, 0xFFFFFFFFu); }, 1, true, true, false},
      {"missing NUL", [](std::vector<std::uint8_t>& b) { b.pop_back(); b.pop_back(); }, 1, true, true, false},
      {"huge cell count", [](std::vector<std::uint8_t>& b) { PutU32(b, 8, 0xFFFFFFFFu); }, 1, true, true, true},
      // Limited to the 7 row offsets that fit in the 44-byte block.
      {"huge row count", [](std::vector<std::uint8_t>& b) { PutU32(b, 12, 0xFFFFFFFFu); }, 7, true, true, true},
      {"cell table cut off", [](std::vector<std::uint8_t>& b) { b.resize(26); }, 1, true, false, false},
      {"shorter than the fixed part", [](std::vector<std::uint8_t>& b) { b.resize(15); }, 0, false, false, false},
  };
  ASSERT_EQ(BuildBlock({{7, {u"ab", u"cd"}}}, 2).size(), 44u);  // the sizes above rely on it
  for (const auto& c : cases) {
    auto b = BuildBlock({{7, {u"ab", u"cd"}}}, 2);
    c.apply(b);
    // A copy of exactly the damaged size, so that ASan sees any read past it.
    const std::vector<std::uint8_t> exact(b.begin(), b.end());
    EXPECT_EQ(RowCount(exact), c.rows) << c.name;
    EXPECT_EQ(RowIsReadable(exact, 0), c.level_readable) << c.name;
    EXPECT_EQ(RowLevel(exact, 0), c.level_readable ? 7u : 0u) << c.name;
    std::u16string text = u"stale";
    EXPECT_EQ(CellText(exact, 0, 0, text), c.cell0) << c.name;
    EXPECT_EQ(text, c.cell0 ? u"ab" : u"") << c.name;
    EXPECT_EQ(CellText(exact, 0, 1, text), c.cell1) << c.name;
    EXPECT_EQ(text, c.cell1 ? u"cd" : u"") << c.name;
    // The whole row at once reads the same cells, and nothing for a cell the block lacks.
    std::vector<std::u16string> row = {u"stale", u"stale", u"stale"};
    RowCellTexts(exact, 0, row);
    EXPECT_EQ(row, (std::vector<std::u16string>{c.cell0 ? u"ab" : u"", c.cell1 ? u"cd" : u"", u""})) << c.name;
    // Rows past the first read the block's own bytes as offsets; under ASan this shows that
    // following them stays inside the block.
    for (std::uint32_t r = 1; r < RowCount(exact); ++r)
      for (std::uint32_t cell = 0; cell < 3; ++cell) {
        const bool read = CellText(exact, r, cell, text);
        RowCellTexts(exact, r, row);
        EXPECT_EQ(row[cell], read ? text : u"") << c.name << " row " << r;
      }
  }
}

TEST(DecodedRecord, EmptyBlock) {
  const std::vector<std::uint8_t> empty;
  std::u16string text;
  EXPECT_EQ(RowCount(empty), 0u);
  EXPECT_EQ(CellCount(empty), 0u);
  EXPECT_EQ(BlockRowFlags(empty), 0u);
  EXPECT_FALSE(CellText(empty, 0, 0, text));
}

}  // namespace
