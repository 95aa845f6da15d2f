#include "logmodel/decoded_record.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Index of the first NUL unit among `units` UTF-16 units at p, or `units`. The
// block need not be aligned for char16_t, so the loads are unaligned. Every
// cell of every decoded row is scanned, so eight units are tested at a time.
std::size_t FindNulUnit(const std::uint8_t* p, std::size_t units) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= units; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
    if (mask != 0) return i + std::size_t(__builtin_ctz(unsigned(mask))) / 2;
  }
#endif
  for (; i < units; ++i)
    if (p[2 * i] == 0 && p[2 * i + 1] == 0) return i;
  return units;
}

// Makes room in `copies` for `units` more units from `at` on, and a step's eight past them.
void Reserve(std::u16string& copies, std::size_t at, std::size_t units) {
  const std::size_t need = at + units + 8;
  if (copies.size() < need) copies.resize(need > 2 * copies.size() ? need : 2 * copies.size());
}

// Copies the UTF-16 units at p, up to the first NUL among `units`, into copies from `at` on,
// and answers how many there were; -1 (and nothing copied that counts) when no NUL is among
// them. The copy rides on the NUL scan, eight units a step, so that it costs next to nothing
// over the scan; `copies` grows as the text turns out longer.
std::size_t CopyToNul(const std::uint8_t* p, std::size_t units, std::u16string& copies, std::size_t at) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= units; i += 8) {
    Reserve(copies, at + i, 0);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(copies.data() + at + i), v);
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero));
    if (mask != 0) return i + std::size_t(__builtin_ctz(unsigned(mask))) / 2;
  }
#endif
  Reserve(copies, at + i, units - i);
  for (; i < units; ++i) {
    if (p[2 * i] == 0 && p[2 * i + 1] == 0) return i;
    copies[at + i] = char16_t(p[2 * i] | p[2 * i + 1] << 8);
  }
  return std::size_t(-1);
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

namespace {

// The text of cell `cell` of the row at `row_offset`, when its offset and its NUL lie inside
// the block. 64-bit sums: row offset + 4 + 4*cell and row offset + cell offset cannot overflow.
bool CellAt(DecodedBlock block, std::uint64_t row_offset, std::uint64_t cell, std::u16string& out) {
  std::uint32_t cell_offset = 0;
  if (!ReadU32(block, row_offset + 4 + cell * 4, cell_offset)) return false;
  const std::uint64_t start = row_offset + cell_offset;
  if (start > block.size()) return false;
  const std::uint8_t* p = block.data() + start;
  const std::size_t units = (block.size() - start) / 2;
  const std::size_t nul = FindNulUnit(p, units);
  if (nul == units) return false;  // no NUL inside the block: no text
  out.resize(nul);
  std::memcpy(out.data(), p, nul * 2);  // little-endian host, as the block
  return true;
}

}  // namespace

bool CellText(DecodedBlock block, std::uint32_t row, std::uint32_t cell, std::u16string& out) {
  out.clear();
  std::uint32_t row_offset = 0;
  std::uint32_t level = 0;
  if (!RowOffset(block, row, row_offset) || !ReadU32(block, row_offset, level)) return false;
  if (cell >= CellCount(block)) return false;
  if (CellAt(block, row_offset, cell, out)) return true;
  out.clear();
  return false;
}

void RowCellTexts(DecodedBlock block, std::uint32_t row, std::span<std::u16string> out) {
  std::uint32_t row_offset = 0;
  std::uint32_t level = 0;
  const bool readable = RowOffset(block, row, row_offset) && ReadU32(block, row_offset, level);
  const std::uint64_t cells = readable ? CellCount(block) : 0;
  for (std::size_t cell = 0; cell < out.size(); ++cell) {
    if (cell >= cells || !CellAt(block, row_offset, cell, out[cell])) out[cell].clear();
  }
}

void RowCellViews(DecodedBlock block, std::uint32_t row, std::uint32_t wanted,
                  std::span<std::u16string_view> out, std::u16string& copies) {
  std::uint32_t row_offset = 0;
  std::uint32_t level = 0;
  const bool readable = RowOffset(block, row, row_offset) && ReadU32(block, row_offset, level);
  const std::uint64_t cells = readable ? CellCount(block) : 0;
  // Where each selected cell's text starts in `copies` and how long it is; the views are made
  // once every text is copied, as `copies` may move while it grows.
  struct Copied {
    std::size_t at;
    std::size_t units;
  };
  Copied copied[32];
  std::size_t used = 0;
  const std::size_t n = out.size() < 32 ? out.size() : 32;
  for (std::size_t cell = 0; cell < out.size(); ++cell) out[cell] = {};
  for (std::size_t cell = 0; cell < n; ++cell) {
    copied[cell] = {0, std::size_t(-1)};
    if (!(wanted & (std::uint32_t(1) << cell)) || cell >= cells) continue;
    std::uint32_t cell_offset = 0;
    if (!ReadU32(block, row_offset + 4 + std::uint64_t(cell) * 4, cell_offset)) continue;
    const std::uint64_t start = std::uint64_t(row_offset) + cell_offset;
    if (start > block.size()) continue;
    const std::size_t nul = CopyToNul(block.data() + start, (block.size() - start) / 2, copies, used);
    if (nul == std::size_t(-1)) continue;  // no NUL inside the block: no text
    copied[cell] = {used, nul};
    // The next text starts on a 16-byte step of its own: the steps of two texts never share
    // bytes, so the search's loads take their bytes from the copy's stores whole.
    used = (used + nul + 8) & ~std::size_t(7);
  }
  for (std::size_t cell = 0; cell < n; ++cell)
    if (copied[cell].units != std::size_t(-1))
      out[cell] = std::u16string_view(copies.data() + copied[cell].at, copied[cell].units);
}
