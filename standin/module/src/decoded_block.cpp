#include "decoded_block.h"

#include <cstring>

namespace lvmod {
namespace {

void PutU32(Bytes& out, size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, sizeof v); }

void Align4(Bytes& out) { out.resize((out.size() + 3) & ~size_t{3}, 0); }

}  // namespace

Bytes BuildDecodedBlock(const std::vector<korv::standin::RowView>& rows, size_t cellCount,
                                       uint16_t language, const korv::standin::TimeTextFn& timeText) {
    Bytes out(16 + 4 * rows.size(), 0);
    PutU32(out, 4, 0);  // row flags
    PutU32(out, 8, static_cast<uint32_t>(cellCount));
    PutU32(out, 12, static_cast<uint32_t>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        Align4(out);
        const size_t rowAt = out.size();
        PutU32(out, 16 + 4 * r, static_cast<uint32_t>(rowAt));
        out.resize(rowAt + 4 + 4 * cellCount, 0);
        PutU32(out, rowAt, rows[r].level);
        for (size_t c = 0; c < cellCount; ++c) {
            std::u16string text;
            if (c < rows[r].fields.size()) text = korv::standin::format_cell(rows[r].fields[c], language, timeText);
            PutU32(out, rowAt + 4 + 4 * c, static_cast<uint32_t>(out.size() - rowAt));
            const size_t at = out.size();
            out.resize(at + (text.size() + 1) * sizeof(char16_t), 0);
            std::memcpy(out.data() + at, text.data(), text.size() * sizeof(char16_t));
        }
    }
    Align4(out);
    PutU32(out, 0, static_cast<uint32_t>(out.size()));
    return out;
}

}  // namespace lvmod
