// The decoded-record block as a module might return it, damaged in any way:
// every accessor must stay inside the block, and its answers must agree with
// a plain reading of the layout done here with 64-bit arithmetic.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "logmodel/decoded_record.h"

namespace {

constexpr std::uint32_t kMaxRows = 64;
constexpr std::uint32_t kMaxCells = 64;

std::optional<std::uint32_t> u32_at(const std::vector<std::uint8_t>& b, std::uint64_t at) {
  if (at > b.size() || b.size() - at < 4) return std::nullopt;
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The row's offset, when the row is declared and its level can be read.
std::optional<std::uint32_t> expected_row(const std::vector<std::uint8_t>& b, std::uint32_t row) {
  const auto declared = u32_at(b, 12);
  if (b.size() < 16 || !declared || row >= *declared) return std::nullopt;
  const auto offset = u32_at(b, 16 + std::uint64_t(row) * 4);
  if (!offset || !u32_at(b, *offset)) return std::nullopt;
  return offset;
}

std::optional<std::u16string> expected_cell(const std::vector<std::uint8_t>& b, std::uint32_t row,
                                            std::uint32_t cell) {
  const auto row_offset = expected_row(b, row);
  if (!row_offset) return std::nullopt;
  const auto cells = u32_at(b, 8);
  if (!cells || cell >= *cells) return std::nullopt;
  const auto cell_offset = u32_at(b, std::uint64_t(*row_offset) + 4 + std::uint64_t(cell) * 4);
  if (!cell_offset) return std::nullopt;
  std::u16string text;
  for (std::uint64_t at = std::uint64_t(*row_offset) + *cell_offset; at + 2 <= b.size(); at += 2) {
    const char16_t unit = static_cast<char16_t>(b[at] | b[at + 1] << 8);
    if (unit == 0) return text;
    text.push_back(unit);
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read past the block's end is a sanitizer report.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const DecodedBlock block(bytes.data(), bytes.size());

  const std::uint32_t rows = RowCount(block);
  KORV_FUZZ_CHECK(size < 16 ? rows == 0 : rows <= (size - 16) / 4);
  KORV_FUZZ_CHECK(BlockRowFlags(block) == (size < 16 ? 0 : u32_at(bytes, 4).value()));
  KORV_FUZZ_CHECK(CellCount(block) == (size < 16 ? 0 : u32_at(bytes, 8).value()));

  // One past the declared rows and cells too: those must read as absent.
  const std::uint32_t cells = CellCount(block);
  for (std::uint32_t row = 0; row <= rows && row < kMaxRows; ++row) {
    const auto row_offset = expected_row(bytes, row);
    KORV_FUZZ_CHECK(RowIsReadable(block, row) == row_offset.has_value());
    KORV_FUZZ_CHECK(RowLevel(block, row) == (row_offset ? u32_at(bytes, *row_offset).value() : 0));
    for (std::uint32_t cell = 0; cell <= cells && cell < kMaxCells; ++cell) {
      std::u16string text = u"stale";
      const bool ok = CellText(block, row, cell, text);
      const auto expected = expected_cell(bytes, row, cell);
      KORV_FUZZ_CHECK(ok == expected.has_value());
      KORV_FUZZ_CHECK(ok ? text == *expected : text.empty());
    }
  }
  return 0;
}
