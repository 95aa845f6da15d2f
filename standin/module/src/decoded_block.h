// Turns decoded payload rows into the decoded record block the viewer reads:
// u32 length, row flags, cell count, row count, row offsets; each row a
// level and cell-text offsets from the row's start; NUL-terminated UTF-16.
#pragma once

#include <cstdint>
#include <vector>

#include "host_bridge.h"
#include "standin/cell_text.h"
#include "standin/payload.h"

namespace lvmod {

// Every row gets `cellCount` cells: missing fields are empty, extra ones dropped.
Bytes BuildDecodedBlock(const std::vector<korv::standin::RowView>& rows, size_t cellCount,
                                       uint16_t language, const korv::standin::TimeTextFn& timeText);

}  // namespace lvmod
