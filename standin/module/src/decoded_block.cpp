#include "decoded_block.h"

#include <cstring>

namespace lvmod {
namespace {

void PutU32(Bytes& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, sizeof v); }

size_t Align4(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

Bytes BuildDecodedBlock(const std::vector<korv::standin::RowView>& rows, size_t cellCount,
                                       uint16_t language, const korv::standin::TimeTextFn& timeText) {
    // The cell texts are gathered first, so that the block is allocated once
    // at its final size: growing it through the host's heap cost more than
    // formatting the cells.
    std::u16string texts;
    texts.reserve(64 * cellCount * rows.size());
    std::vector<size_t> ends;  // end of each cell in `texts`, row by row
    ends.reserve(cellCount * rows.size());
    size_t size = 16 + 4 * rows.size();
    for (const korv::standin::RowView& row : rows) {
        const size_t rowStart = texts.size();
        for (size_t c = 0; c < cellCount; ++c) {
            if (c < row.fields.size()) korv::standin::append_cell(row.fields[c], language, timeText, texts);
            ends.push_back(texts.size());
        }
        size = Align4(size) + 4 + 4 * cellCount + (texts.size() - rowStart + cellCount) * sizeof(char16_t);
    }
    size = Align4(size);

    Bytes out(size, 0);
    PutU32(out, 0, static_cast<uint32_t>(size));
    // Row flags: bit 0 says the record has a record view, which every record
    // of a file log has; a directory row opens its file instead and never reads it.
    PutU32(out, 4, 1);
    PutU32(out, 8, static_cast<uint32_t>(cellCount));
    PutU32(out, 12, static_cast<uint32_t>(rows.size()));
    size_t at = 16 + 4 * rows.size();
    size_t cell = 0;
    size_t from = 0;  // start of the next cell in `texts`
    for (size_t r = 0; r < rows.size(); ++r) {
        at = Align4(at);
        const size_t rowAt = at;
        PutU32(out, 16 + 4 * r, static_cast<uint32_t>(rowAt));
        PutU32(out, rowAt, rows[r].level);
        at = rowAt + 4 + 4 * cellCount;
        for (size_t c = 0; c < cellCount; ++c, ++cell) {
            const size_t units = ends[cell] - from;
            PutU32(out, rowAt + 4 + 4 * c, static_cast<uint32_t>(at - rowAt));
            std::memcpy(out.data() + at, texts.data() + from, units * sizeof(char16_t));
            at += (units + 1) * sizeof(char16_t);  // the NUL is the block's zero fill
            from = ends[cell];
        }
    }
    return out;
}

}  // namespace lvmod
