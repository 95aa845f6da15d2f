#include "logstore/tail_scan.h"

#include <algorithm>
#include <cstring>

namespace korv {
namespace {

struct Candidate {
  std::uint64_t end = 0;  // offset + record size
  std::uint64_t offset = 0;
  _DISKLOG_RECORD_HEADER header;
};

std::uint32_t load_u32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

std::vector<TailRecord> scan_tail(const platform::File& file, const _DISKLOG_HEADER& header,
                                  std::size_t max_records) {
  std::vector<TailRecord> out;
  std::uint64_t file_size = 0;
  if (max_records == 0 || header.next_record_number == 0) return out;
  if (file.size(file_size) != platform::FileError::ok) return out;
  const std::uint64_t first = header.header_size;
  const std::uint64_t end = header.data_end;
  // A data end past the file's end leaves the newest record unreadable: no guess.
  if (end > file_size || end <= first || end - first < kDiskLogRecordHeaderSize) return out;

  const std::uint64_t begin = end - std::min<std::uint64_t>(end - first, kTailScanBytes);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(end - begin));
  std::size_t got = 0;
  if (file.read_at(begin, bytes.data(), bytes.size(), got) != platform::FileError::ok || got != bytes.size())
    return out;

  // Every valid record header in the bytes read, by where it ends.
  std::vector<Candidate> candidates;
  unsigned char magic[4];
  for (int i = 0; i < 4; ++i) magic[i] = static_cast<unsigned char>(kDiskLogRecordMagic >> (8 * i));
  const std::size_t last = bytes.size() - kDiskLogRecordHeaderSize;  // last start with a whole header
  for (std::size_t at = 0; at <= last;) {
    const void* hit = std::memchr(bytes.data() + at, magic[0], last + 1 - at);
    if (hit == nullptr) break;
    at = std::size_t(static_cast<const unsigned char*>(hit) - bytes.data());
    if (load_u32(bytes.data() + at) == kDiskLogRecordMagic) {
      const _DISKLOG_RECORD_HEADER h = decode_record_header(bytes.data() + at);
      const std::uint64_t offset = begin + at;
      if (check_record_header(h) == RecordCheck::ok && end - offset >= h.record_size)
        candidates.push_back({offset + h.record_size, offset, h});
    }
    ++at;
  }
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.end < b.end; });

  std::uint64_t boundary = end;
  std::uint64_t expected = std::uint64_t(header.next_record_number) - 1;
  while (out.size() < max_records) {
    const auto match = std::equal_range(candidates.begin(), candidates.end(), Candidate{boundary, 0, {}},
                                        [](const Candidate& a, const Candidate& b) { return a.end < b.end; });
    // None: the record starts before the bytes read. Several: a payload holds something
    // that looks like a record header, and which one is real only the walk can tell.
    if (match.second - match.first != 1) break;
    const Candidate& c = *match.first;
    // A record numbered at or past the count ends the walk, so what was found behind it
    // is not in the log.
    if (c.header.record_number >= header.next_record_number) {
      out.clear();
      break;
    }
    if (c.header.record_number != expected) break;
    out.push_back({c.offset, c.header});
    if (expected == 0 || c.offset == first) break;
    boundary = c.offset;
    --expected;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

}  // namespace korv
