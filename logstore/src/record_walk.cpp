#include "logstore/record_walk.h"

#include <vector>

namespace korv {
namespace {

// Few system calls for a chain of small records, and small enough that the stretch just
// copied is still in the processor's cache when its headers are decoded: with 1 MiB the
// walk of a 260 MB log cost 1.4 times what it does with 256 KiB (korvlog info, task clock).
constexpr std::size_t kWalkChunk = 1 << 18;

// Serves 36-byte record headers out of one buffered stretch of the file.
class ChunkReader {
 public:
  explicit ChunkReader(const platform::File& file) : file_(file), buffer_(kWalkChunk) {}

  // The 36 bytes at offset, or nullptr with stop set.
  const unsigned char* header_at(std::uint64_t offset, WalkStop& stop) {
    if (offset < begin_ || offset - begin_ > length_ || length_ - (offset - begin_) < kDiskLogRecordHeaderSize) {
      std::size_t got = 0;
      if (file_.read_at(offset, buffer_.data(), buffer_.size(), got) != platform::FileError::ok) {
        length_ = 0;
        stop = WalkStop::read_failed;
        return nullptr;
      }
      begin_ = offset;
      length_ = got;
      if (got < kDiskLogRecordHeaderSize) {
        stop = WalkStop::short_header;
        return nullptr;
      }
    }
    return buffer_.data() + (offset - begin_);
  }

 private:
  const platform::File& file_;
  std::vector<unsigned char> buffer_;
  std::uint64_t begin_ = 0;   // file offset of buffer_[0]
  std::size_t length_ = 0;    // valid bytes in buffer_
};

WalkStop stop_for(RecordCheck check) {
  switch (check) {
    case RecordCheck::ok: return WalkStop::completed;
    case RecordCheck::bad_magic: return WalkStop::bad_magic;
    case RecordCheck::size_too_small: return WalkStop::size_too_small;
    case RecordCheck::bad_payload_offset: return WalkStop::bad_payload_offset;
  }
  return WalkStop::bad_magic;
}

}  // namespace

const char* walk_stop_text(WalkStop stop) {
  switch (stop) {
    case WalkStop::completed: return "walks cleanly";
    case WalkStop::read_failed: return "read failed";
    case WalkStop::short_header: return "end of file inside a record header";
    case WalkStop::bad_magic: return "wrong record magic";
    case WalkStop::size_too_small: return "record size below 36";
    case WalkStop::bad_payload_offset: return "payload offset outside the record";
  }
  return "broken";
}

WalkResult walk_records(const platform::File& file, const _DISKLOG_HEADER& header,
                        std::uint64_t start, const RecordVisitor& visit) {
  ChunkReader reader(file);
  std::uint64_t offset = start;
  std::uint32_t last_number = 0;
  while (offset < header.data_end && last_number < header.next_record_number) {
    WalkStop stop = WalkStop::completed;
    const unsigned char* bytes = reader.header_at(offset, stop);
    if (bytes == nullptr) return {stop, offset};
    const _DISKLOG_RECORD_HEADER record = decode_record_header(bytes);
    const RecordCheck check = check_record_header(record);
    if (check != RecordCheck::ok) return {stop_for(check), offset};
    last_number = record.record_number;
    visit(offset, record);
    // The header was read at offset, so offset fits off_t and adding a u32 cannot wrap.
    offset += record.record_size;
  }
  return {WalkStop::completed, offset};
}

}  // namespace korv
