#pragma once
// The walk along the record chain: from a start offset, record after record,
// until the data end or a record whose number is not below the header's next
// record number. The index build, `korvlog info` and the stand-in writer all
// walk with this one routine so that they agree on where a chain breaks.

#include <cstdint>
#include <functional>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv {

enum class WalkStop {
  completed,           // reached the data end, or passed the record that ends the numbering
  read_failed,         // the system call failed
  short_header,        // fewer than 36 bytes at the offset (end of file inside the chain)
  bad_magic,
  size_too_small,      // a record that does not cover its own header
  bad_payload_offset,  // a payload that starts inside the header or past the record
};

const char* walk_stop_text(WalkStop stop);

struct WalkResult {
  WalkStop stop = WalkStop::completed;
  // On success where the next walk resumes; on failure the offset of the
  // record header that broke the chain.
  std::uint64_t offset = 0;
  bool ok() const { return stop == WalkStop::completed; }
};

// Called for every record the walk passes, deleted ones included.
using RecordVisitor = std::function<void(std::uint64_t offset, const _DISKLOG_RECORD_HEADER& record)>;

// Walks from start against header's data end and next record number. The
// "last record number read" starts at 0 for every walk, so a log with next
// record number 0 yields nothing without reading. Reads through a large
// buffer; the visitor sees exactly what 36-byte reads at each offset would.
WalkResult walk_records(const platform::File& file, const _DISKLOG_HEADER& header,
                        std::uint64_t start, const RecordVisitor& visit);

}  // namespace korv
