#pragma once
// A record shown raw, as a decoded-record block of one row made by the viewer itself, so that
// the cache, the cells, the filter, find, copy and every export read it as they read what
// the module decodes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filetime.h"

namespace korv {

struct RawRecord {
  std::int32_t record = 0;         // index in the file
  std::uint32_t type = 0;          // record type
  std::u16string_view kindName;    // the kind of that record type; empty when none is known
  platform::FileTime time = 0;
  bool damaged = false;            // the payload cannot be found: no texts
};

// The columns of a log shown raw: the record time, Record, Kind, Size, Texts.
std::u16string RawHeaderText();

// The block of a raw record's one row, level 0. In a log shown raw (`rawLog`) its cells are
// the raw columns (view mode 1 leaves the time to the list's own time column); in a decoded
// log the first data column holds it all, kind, size and texts, and the other `dataColumns`
// are empty cells, as a decoded row's would be.
void MakeRawBlock(const RawRecord& r, std::span<const std::uint8_t> payload, bool rawLog, int viewMode,
                  std::size_t dataColumns, std::vector<std::uint8_t>& block);

// The Kind text: the record type in hexadecimal and the kind's name.
void AppendKindText(std::uint32_t type, std::u16string_view kindName, std::u16string& out);

}  // namespace korv
