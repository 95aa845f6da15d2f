#pragma once
// Builds decoded-record blocks for the tests, in the module's layout, with hooks to damage
// them afterwards.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TestRow {
  std::uint32_t level = 0;
  std::vector<std::u16string> cells;
};

inline void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

// Rows follow the row table; each row is its level, its cell table, then its texts.
inline std::vector<std::uint8_t> BuildBlock(const std::vector<TestRow>& rows, std::uint32_t cells,
                                            std::uint32_t row_flags = 0) {
  std::vector<std::uint8_t> b;
  PutU32(b, 4, row_flags);
  PutU32(b, 8, cells);
  PutU32(b, 12, std::uint32_t(rows.size()));
  std::size_t at = 16 + 4 * rows.size();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    PutU32(b, 16 + 4 * r, std::uint32_t(at));
    const std::size_t row_at = at;
    PutU32(b, row_at, rows[r].level);
    std::size_t text_at = row_at + 4 + 4 * cells;
    b.resize(text_at);
    for (std::uint32_t c = 0; c < cells; ++c) {
      const std::u16string text = c < rows[r].cells.size() ? rows[r].cells[c] : u"";
      PutU32(b, row_at + 4 + 4 * c, std::uint32_t(text_at - row_at));
      b.resize(text_at + 2 * (text.size() + 1));
      std::memcpy(b.data() + text_at, text.data(), 2 * text.size());
      text_at += 2 * (text.size() + 1);
    }
    at = text_at;
  }
  PutU32(b, 0, std::uint32_t(b.size()));
  return b;
}
