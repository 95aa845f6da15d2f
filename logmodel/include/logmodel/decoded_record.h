#pragma once
// Bounds-checked reading of a decoded record, the block the product module returns for one
// log record. All integers are u32 little-endian, all offsets are from the block's start:
//   0 block length, 4 row flags, 8 cell count, 12 row count, 16 + 4*i offset of row i.
// A row: 0 level, 4 + 4*c offset of cell c's text from the start of the row. A cell text is
// NUL-terminated UTF-16.
//
// The module is outside this program, so nothing in the block is trusted: every offset is
// checked before it is followed, and a row or cell that does not lie wholly inside the block
// reads as absent. Nothing here reads outside `block`.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

using DecodedBlock = std::span<const std::uint8_t>;

// Row flags of the record (offset 4); 0 for a block shorter than 16 bytes.
std::uint32_t BlockRowFlags(DecodedBlock block);

// Number of rows the block declares, limited to the row offsets that lie inside the block,
// so that a damaged count can never make more rows than the block can describe. 0 for a
// block shorter than 16 bytes.
std::uint32_t RowCount(DecodedBlock block);

// Cell count as the block declares it (offset 8); each cell is checked when it is read.
std::uint32_t CellCount(DecodedBlock block);

// True when row `row` exists and its level lies inside the block.
bool RowIsReadable(DecodedBlock block, std::uint32_t row);

// Level of row `row`; 0 for a row that is not readable.
std::uint32_t RowLevel(DecodedBlock block, std::uint32_t row);

// Text of cell `cell` of row `row` into `out`. False (and `out` empty) when the row or the
// cell does not exist, any offset points outside the block, or the text has no NUL within
// the block.
bool CellText(DecodedBlock block, std::uint32_t row, std::uint32_t cell, std::u16string& out);

// CellText of cells 0, 1, ... of one row into out[0], out[1], ...: the row is located once.
// A cell that CellText would not read is left empty.
void RowCellTexts(DecodedBlock block, std::uint32_t row, std::span<std::u16string> out);

// The texts of the cells of one row that `wanted` selects (bit c: cell c, cells 0-31), so that
// a text test allocates nothing: copied out of the block into `copies`, which only grows and
// is kept from row to row, and viewed there. The block is bytes and is read as bytes; a
// char16_t view of them would read objects that are not there. The views are valid until
// `copies` is next changed. Cells that CellText would not read, and cells not selected, are
// empty views. out is indexed by cell.
void RowCellViews(DecodedBlock block, std::uint32_t row, std::uint32_t wanted,
                  std::span<std::u16string_view> out, std::u16string& copies);
