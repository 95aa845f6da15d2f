#include "ui/commands.h"

#include "logmodel/filter_data.h"
#include "resources/ids.h"

namespace korv {

std::optional<bool> EditItemEnabled(int id, const EditMenuFacts& f) {
    const bool rows = f.itemCount > 0;
    switch (id) {
        case cmd::kCopy: return f.selection;
        case cmd::kDelete: return f.selection && f.product;
        case cmd::kCopyAll: return rows;
        case cmd::kCopyCell: return f.clickedCell;
        case cmd::kDeleteAll: return rows && f.product;
        case cmd::kSelectAll: return rows;
        case cmd::kTimeZone: return rows;
        case cmd::kFind:
        case cmd::kFindNext:
        case cmd::kFindPrev: return rows && f.searchable;
        case cmd::kExport: return rows;
        case cmd::kToggleMark: return f.selection && f.markable;
        case cmd::kNextMark:
        case cmd::kPrevMark: return rows && f.markable;
        case cmd::kClearMarks: return f.marks > 0;
        case cmd::kCopyMarked:
        case cmd::kExportMarked: return rows && f.marks > 0;
        default: return std::nullopt;
    }
}

std::uint32_t FilterCommandBit(int id) {
    switch (id) {
        case cmd::kFilterCritical: return 0x10;
        case cmd::kFilterError: return 0x08;
        case cmd::kFilterWarning: return 0x04;
        case cmd::kFilterInformation: return 0x02;
        case cmd::kFilterDiagnostic: return 0x01;
        case cmd::kFilterDeleted: return FILTER_SHOW_DELETED;
        default: return 0;
    }
}

std::uint32_t FilterMaskAfterCommand(std::uint32_t mask, int id) {
    if (id == cmd::kFilterSelectAll) {
        return mask | kAllTypeBits;
    }
    if (id == cmd::kFilterSelectNone) {
        return mask & ~kAllTypeBits;
    }
    return mask ^ FilterCommandBit(id);
}

bool FilterItemChecked(int id, std::uint32_t mask) {
    if (id == cmd::kFilterSelectAll) {
        return (mask & kAllTypeBits) == kAllTypeBits;
    }
    if (id == cmd::kFilterSelectNone) {
        return (mask & kAllTypeBits) == 0;
    }
    const std::uint32_t bit = FilterCommandBit(id);
    return bit != 0 && (mask & bit) != 0;
}

}  // namespace korv
