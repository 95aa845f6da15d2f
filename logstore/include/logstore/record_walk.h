#pragma once
// The walk along the record chain: from a start offset, record after record,
// until the data end or a record whose number is not below the header's next
// record number. The index build, `korvlog info` and the stand-in writer all
// walk with this one routine so that they agree on where a chain breaks.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv {

enum class WalkStop {
  completed,           // reached the data end, or passed the record that ends the numbering
  read_failed,         // the system call failed
  short_header,        // fewer than 36 bytes at the offset (end of file inside the chain)
  bad_magic,
  size_too_small,      // a record that does not cover its own header
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

namespace walk_detail {

// Serves 36-byte record headers out of one buffered stretch of the file.
class ChunkReader {
 public:
  explicit ChunkReader(const platform::File& file);
  // The 36 bytes at offset, or nullptr with stop set.
  //
  // The walk reads one line of each record, too sparse for the processor's own prefetcher:
  // every header waited for memory. The four lines a kilobyte ahead (a typical record's
  // worth) are asked for at each record. (Written here, not in a function of its own: a
  // function that only prefetches has no effect the compiler keeps, and its call goes.)
  const unsigned char* header_at(std::uint64_t offset, WalkStop& stop) {
    constexpr std::size_t kAhead = 1024;
    constexpr std::size_t kLine = 64;
    if (offset >= begin_ && offset - begin_ <= length_ && length_ - (offset - begin_) >= kDiskLogRecordHeaderSize) {
      const std::size_t at = std::size_t(offset - begin_);
      if (length_ - at >= kAhead + 4 * kLine) {
        const unsigned char* ahead = buffer_.data() + at + kAhead;
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + kLine);
        __builtin_prefetch(ahead + 2 * kLine);
        __builtin_prefetch(ahead + 3 * kLine);
      }
      return buffer_.data() + at;
    }
    return refill(offset, stop);
  }

 private:
  const unsigned char* refill(std::uint64_t offset, WalkStop& stop);

  const platform::File& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t begin_ = 0;   // file offset of buffer_[0]
  std::size_t length_ = 0;    // valid bytes in buffer_
};

WalkStop stop_for(RecordCheck check);

}  // namespace walk_detail

// The same walk with the visitor called directly rather than through a std::function, for
// a walk of a million records whose visitor does little (korvlog info, the index build).
template <typename Visit>
  requires std::invocable<Visit&, std::uint64_t, const _DISKLOG_RECORD_HEADER&>
WalkResult walk_records_with(const platform::File& file, const _DISKLOG_HEADER& header,
                             std::uint64_t start, Visit&& visit) {
  walk_detail::ChunkReader reader(file);
  std::uint64_t offset = start;
  std::uint32_t last_number = 0;
  while (offset < header.data_end && last_number < header.next_record_number) {
    WalkStop stop = WalkStop::completed;
    const unsigned char* bytes = reader.header_at(offset, stop);
    if (bytes == nullptr) return {stop, offset};
    const _DISKLOG_RECORD_HEADER record = decode_record_header(bytes);
    const RecordCheck check = check_record_chain(record);
    if (check != RecordCheck::ok) return {walk_detail::stop_for(check), offset};
    last_number = record.record_number;
    visit(offset, record);
    // The header was read at offset, so offset fits off_t and adding a u32 cannot wrap.
    offset += record.record_size;
  }
  return {WalkStop::completed, offset};
}

}  // namespace korv
