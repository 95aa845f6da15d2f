// The log store over arbitrary file bytes: open, full walk, reading by index
// and in file order, refresh after the bytes change underneath, and the
// repair of a copy, which may only turn zero gaps into placeholders.
//
// Input: one control byte, a u16 length n, n bytes of the file as first
// opened, then the bytes it is rewritten with (none: no rewrite).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "logstore/disklog.h"

using korv::fuzz::InputReader;

namespace {

constexpr std::uint8_t kWithDeleted = 0x01;
constexpr std::uint8_t kAppendBuffer = 0x02;
constexpr std::uint8_t kNoIndex = 0x04;
constexpr std::uint8_t kNoRepair = 0x08;

// Bounds the loops over what the header claims, which may be billions.
constexpr std::size_t kMaxSteps = 2048;

std::uint32_t load32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

void read_by_index(DiskLogFile* log, std::uint64_t file_size) {
  if (!(DiskLogOpenFlags(log) & DISKLOG_OPEN_INDEX)) {
    std::uint32_t size = 0;
    KORV_FUZZ_CHECK(DiskLogReadRecord(log, 0, nullptr, size) == kDiskLogNotIndexed);
    KORV_FUZZ_CHECK(DiskLogIndexCount(log) == 0);
    return;
  }
  const std::size_t count = DiskLogIndexCount(log);
  for (std::size_t i = 0; i < count && i < kMaxSteps; ++i) {
    _DISKLOG_INDEX_RECORD entry;
    if (!DiskLogIndexEntry(log, i, entry)) break;  // a rebuild below may shrink the index
    // The walk only indexes record headers it could read whole.
    KORV_FUZZ_CHECK(entry.file_offset + kDiskLogRecordHeaderSize <= file_size);

    std::uint32_t size = 0;
    int rc = DiskLogReadRecord(log, i, nullptr, size);
    if (rc != kDiskLogBufferTooSmall) {
      KORV_FUZZ_CHECK(rc == kDiskLogBadRecord || rc == kDiskLogNoRecord);
      continue;
    }
    KORV_FUZZ_CHECK(size >= kDiskLogRecordHeaderSize);
    // A record can carry no more payload than the file holds; a larger
    // claim must fail the read, so a bigger buffer is never needed.
    const std::uint32_t capacity = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, file_size + 64));
    std::vector<std::uint8_t> buffer(capacity);
    std::uint32_t got = capacity;
    rc = DiskLogReadRecord(log, i, buffer.data(), got);
    if (rc == kDiskLogOk) {
      KORV_FUZZ_CHECK(got <= capacity && got >= kDiskLogRecordHeaderSize);
      const _DISKLOG_RECORD_HEADER header = korv::decode_record_header(buffer.data());
      KORV_FUZZ_CHECK(header.magic == kDiskLogRecordMagic);
      KORV_FUZZ_CHECK(got == kDiskLogRecordHeaderSize + (header.record_size - header.payload_offset));
    }
  }
  std::uint32_t size = 0;
  const std::size_t now = DiskLogIndexCount(log);
  KORV_FUZZ_CHECK(DiskLogReadRecord(log, now, nullptr, size) == kDiskLogNoRecord);
}

void read_in_order(DiskLogFile* log, std::uint64_t file_size) {
  std::vector<std::uint8_t> payload(static_cast<std::size_t>(std::clamp<std::uint64_t>(file_size, 1, 4096)));
  for (std::size_t step = 0; step < kMaxSteps; ++step) {
    std::uint32_t type = 0, aux = 0, size = static_cast<std::uint32_t>(payload.size());
    std::uint64_t time = 0;
    // Alternate between stepping over records and reading them.
    void* into = (step % 2 == 0) ? kDiskLogSkip : payload.data();
    int rc = DiskLogReadNext(log, &type, into, &size, &time, &aux);
    if (rc == kDiskLogBufferTooSmall) {
      KORV_FUZZ_CHECK(size > payload.size());
      rc = DiskLogReadNext(log, &type, kDiskLogSkip, nullptr, &time, &aux);
    } else if (rc == kDiskLogOk && into != kDiskLogSkip) {
      KORV_FUZZ_CHECK(size <= payload.size());
    }
    if (rc != kDiskLogOk) break;
  }
}

void exercise(DiskLogFile* log, std::uint64_t file_size) {
  read_by_index(log, file_size);
  read_in_order(log, file_size);
}

// Repairs a copy and checks that it changed nothing but zero bytes (now
// placeholder headers) and the header's two counters.
void repair_copy(const std::vector<std::uint8_t>& original) {
  if (original.size() < 4 || load32(original, 0) != kDiskLogMagic) return;  // the open would recreate it
  const std::string path = korv::fuzz::ScratchDir::get().file("repair.dat");
  korv::fuzz::write_file(path, original);
  {
    DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
    KORV_FUZZ_CHECK(log != nullptr);
    DiskLogRepair(log.get());
  }
  const std::vector<std::uint8_t> repaired = korv::fuzz::read_file(path);
  KORV_FUZZ_CHECK(repaired.size() == original.size());

  const std::uint32_t header_size = original.size() >= 8 ? load32(original, 4) : 0;
  const std::size_t written = std::min<std::uint32_t>(header_size, kDiskLogHeaderSize);
  for (std::size_t i = 0; i < original.size(); ++i) {
    if (repaired[i] == original[i]) continue;
    const bool counter = i < written && ((i >= 8 && i < 12) || (i >= 44 && i < 48));
    const bool gap = i >= header_size && original[i] == 0;
    KORV_FUZZ_CHECK(counter || gap);
  }
  // Each placeholder uses one record number and one gap count.
  if (header_size >= 48 && original.size() >= 48) {
    const std::uint32_t numbers = load32(repaired, 8) - load32(original, 8);
    const std::uint32_t gaps = load32(repaired, 44) - load32(original, 44);
    KORV_FUZZ_CHECK(numbers == gaps);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader in(data, size);
  const std::uint8_t control = in.u8();
  const std::uint16_t first_length = in.u16();
  const auto first_span = in.bytes(first_length);
  const auto second_span = in.rest();
  const std::vector<std::uint8_t> first(first_span.begin(), first_span.end());
  const std::vector<std::uint8_t> second(second_span.begin(), second_span.end());

  std::uint32_t flags = 0;
  if (!(control & kNoIndex)) flags |= DISKLOG_OPEN_INDEX;
  if (control & kWithDeleted) flags |= DISKLOG_OPEN_DELETED;
  if (control & kAppendBuffer) flags |= DISKLOG_OPEN_APPEND_BUFFER;

  const std::string path = korv::fuzz::ScratchDir::get().file("log.dat");
  korv::fuzz::write_file(path, first);
  if (DiskLogHandle log = DiskLogOpen(path, flags)) {
    exercise(log.get(), first.size());
    if (!second.empty()) {
      korv::fuzz::write_file(path, second);
      const std::uint64_t longest = std::max(first.size(), second.size());
      DiskLogRefresh(log.get());
      const int count = DiskLogRecordCount(log.get());
      KORV_FUZZ_CHECK(count >= 0);
      if (!(flags & DISKLOG_OPEN_INDEX)) KORV_FUZZ_CHECK(count == 0);
      exercise(log.get(), longest);
    }
  }
  if (!(control & kNoRepair)) repair_copy(second.empty() ? first : second);
  return 0;
}
