#pragma once
// Reading one record of a log into a caller's buffer, for the rows, the cell texts and the
// cache thread alike. The buffer grows only to what the log store answers, which it has
// checked against the file, and never for a placeholder: its payload is the zeros of a
// lost stretch, up to 4 GiB, and nothing shows them.

#include <cstdint>
#include <span>
#include <vector>

#include "logstore/disklog.h"
#include "logstore/tail_scan.h"

namespace korv {

struct RecordBytes {
  _DISKLOG_RECORD_HEADER header;
  std::span<const std::uint8_t> payload;  // into the buffer; empty for a placeholder
  // The payload offset does not fit the record, or the record runs past the end of the
  // file: no payload, the record is damaged.
  bool damaged = false;
};

// Record `record` of the file's index. False on any failure.
bool ReadIndexedRecord(DiskLogFile* file, std::int32_t record, std::vector<std::uint8_t>& buffer,
                       RecordBytes& out);

// The record the tail scan found at `at`, read by its offset: for the newest rows shown
// before the index is built. False on any failure.
bool ReadRecordAt(DiskLogFile* file, const TailRecord& at, std::vector<std::uint8_t>& buffer,
                  RecordBytes& out);

// The first record in file order that is not a placeholder: the record that stands for a
// whole file (a directory row). The header's fields that sequential reading gives are set
// (type, time, auxiliary value); the payload points into the buffer. False when there is
// none or it cannot be read.
bool ReadFirstRecord(DiskLogFile* file, std::vector<std::uint8_t>& buffer, RecordBytes& out);

}  // namespace korv
