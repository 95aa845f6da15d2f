#pragma once
// Finding the newest records without walking the chain: from the header's data end
// backwards, each record is the one record header whose size reaches exactly the start of
// the record found after it. The chain is only ever proven by the forward walk; what this
// finds is a guess the walk confirms, so it gives up (answers fewer records) wherever the
// bytes leave any doubt rather than guess wrongly.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv {

struct TailRecord {
  std::uint64_t offset = 0;
  _DISKLOG_RECORD_HEADER header;
};

// How far back the scan reads: the newest records of any ordinary log fit, and reading it
// costs well under a millisecond from the page cache.
inline constexpr std::size_t kTailScanBytes = 1024 * 1024;

// Up to max_records of the newest records, oldest first. A record is taken only when
//  - its header passes check_record_header and lies at or behind the header size,
//  - its size reaches exactly the start of the record after it (the first: the data end),
//  - no other record header in the bytes read also reaches that boundary,
//  - its record number is one below the next one's (the newest: one below the header's
//    next record number), so that the numbers give the records' index positions on a log
//    without repaired gaps.
// A record numbered at or past the header's count (which ends the walk) seen behind the
// records found makes the answer empty: they lie past the end of the chain.
// Empty when the data end lies inside a record, past the end of the file, or the newest
// record fails these tests. Reads at most kTailScanBytes, all inside the file.
std::vector<TailRecord> scan_tail(const platform::File& file, const _DISKLOG_HEADER& header,
                                  std::size_t max_records);

}  // namespace korv
