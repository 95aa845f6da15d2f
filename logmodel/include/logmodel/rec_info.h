#pragma once
// Rows of an opened log: one per row of a decoded record (file log) or one per log file
// (directory log).

#include <cstdint>
#include <string>

#include "platform/filetime.h"

// Row flag bits; the others are the decoded record's own row flags, not interpreted here.
// A row the viewer made from the record's bytes, not the module: the log is shown raw, or the
// module refused the record. It has no severity.
inline constexpr std::uint32_t ROW_FLAG_RAW = 0x08000000;
// Record type 0 (a placeholder), or a record whose payload does not fit it.
inline constexpr std::uint32_t ROW_FLAG_CORRUPTED = 0x10000000;
inline constexpr std::uint32_t ROW_FLAG_DELETED = 0x20000000;
inline constexpr std::uint32_t ROW_FLAG_REPLACE = 0x40000000;    // updater's marker only
inline constexpr std::uint32_t ROW_FLAG_VISIBLE = 0x80000000;    // passes the filter

struct REC_INFO_BASE {
  std::int32_t record = 0;     // position of the record in the file's index
  std::int32_t row = 0;        // row of the decoded record
  std::uint32_t auxiliary = 0; // the record's auxiliary value; 0 for a fixed record's rows
  std::uint32_t level = 0;     // the row's level; 0 for a corrupted record
  std::uint32_t flags = 0;     // ROW_FLAG_* and the decoded record's row flags
  korv::platform::FileTime time = 0;  // record time, UTC
};

struct REC_INFO_DIR : REC_INFO_BASE {
  korv::platform::FileTime lastWrite = 0;  // from the directory listing
  std::u16string fileName;                 // without directory
};
