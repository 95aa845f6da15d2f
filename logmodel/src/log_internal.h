#pragma once
// Pieces of CLog shared by its source files.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "logmodel/decoded_record.h"
#include "logmodel/log.h"

// One record as read from the file: the header values the rows take and the payload, which
// points into the buffer it was read into.
struct CLog::RecordRead {
  std::uint32_t type = 0;
  korv::platform::FileTime time = 0;
  std::uint32_t aux = 0;
  bool deleted = false;
  std::span<const std::uint8_t> payload;
};

// Working buffers of one load call, so that a load shares nothing with the other paths.
struct CLog::LoadScratch {
  std::vector<std::uint8_t> record;  // the record as read
  std::vector<std::uint8_t> block;   // its decoded record
  std::vector<std::u16string> texts; // column texts for the text criterion
};

namespace korv {

// The decoded record's own row flags as a row may carry them. Bits 28-31 are the log's
// (corrupted, deleted, the updater's replace marker, visible): a module that set them would
// make rows count as corrupted or deleted, or make the updater drop rows it has pending.
inline std::uint32_t ModuleRowFlags(DecodedBlock block) { return BlockRowFlags(block) & 0x0FFFFFFF; }

// Column texts of row `row` of a decoded block as the list shows them: in view mode 1 the
// record time first, then the cells; `columns` texts in all, missing cells empty.
void MakeRowTexts(std::span<const std::uint8_t> block, std::uint32_t row, int viewMode,
                  std::size_t columns, platform::FileTime time, std::vector<std::u16string>& out);

}  // namespace korv
