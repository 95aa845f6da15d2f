#include "logmodel/decoded_record.h"

#include <cstring>

namespace {

constexpr std::size_t kFixedPart = 16;

// Reads a u32 at `offset` when all four bytes lie inside the block.
bool ReadU32(DecodedBlock block, std::uint64_t offset, std::uint32_t& out) {
  if (offset > block.size() || block.size() - offset < 4) return false;
  const std::uint8_t* p = block.data() + offset;
  out = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
        std::uint32_t(p[3]) << 24;
  return true;
}

// Offset of row `row` in the block, when the row's entry in the row table exists.
bool RowOffset(DecodedBlock block, std::uint32_t row, std::uint32_t& offset) {
  if (row >= RowCount(block)) return false;
  return ReadU32(block, kFixedPart + std::uint64_t(row) * 4, offset);
}

}  // namespace

std::uint32_t BlockRowFlags(DecodedBlock block) {
  std::uint32_t v = 0;
  if (block.size() < kFixedPart) return 0;
  ReadU32(block, 4, v);
  return v;
}

std::uint32_t CellCount(DecodedBlock block) {
  std::uint32_t v = 0;
  if (block.size() < kFixedPart) return 0;
  ReadU32(block, 8, v);
  return v;
}

std::uint32_t RowCount(DecodedBlock block) {
  std::uint32_t declared = 0;
  if (block.size() < kFixedPart || !ReadU32(block, 12, declared)) return 0;
  const std::uint64_t fit = (block.size() - kFixedPart) / 4;
  return declared < fit ? declared : std::uint32_t(fit);
}

bool RowIsReadable(DecodedBlock block, std::uint32_t row) {
  std::uint32_t offset = 0;
  std::uint32_t level = 0;
  return RowOffset(block, row, offset) && ReadU32(block, offset, level);
}

std::uint32_t RowLevel(DecodedBlock block, std::uint32_t row) {
  std::uint32_t offset = 0;
  std::uint32_t level = 0;
  if (!RowOffset(block, row, offset) || !ReadU32(block, offset, level)) return 0;
  return level;
}

bool CellText(DecodedBlock block, std::uint32_t row, std::uint32_t cell, std::u16string& out) {
  out.clear();
  std::uint32_t row_offset = 0;
  std::uint32_t level = 0;
  if (!RowOffset(block, row, row_offset) || !ReadU32(block, row_offset, level)) return false;
  if (cell >= CellCount(block)) return false;
  // 64-bit sums: row offset + 4 + 4*cell and row offset + cell offset cannot overflow.
  std::uint32_t cell_offset = 0;
  if (!ReadU32(block, std::uint64_t(row_offset) + 4 + std::uint64_t(cell) * 4, cell_offset))
    return false;
  const std::uint64_t start = std::uint64_t(row_offset) + cell_offset;
  if (start > block.size()) return false;
  // Scan for the NUL unit; the block need not be aligned for char16_t, so read bytes.
  const std::uint8_t* p = block.data() + start;
  const std::size_t units = (block.size() - start) / 2;
  for (std::size_t i = 0; i < units; ++i) {
    if (p[2 * i] == 0 && p[2 * i + 1] == 0) {
      out.resize(i);
      std::memcpy(out.data(), p, i * 2);  // little-endian host, as the block
      return true;
    }
  }
  return false;  // no NUL inside the block: no text
}
