// The newest records found backwards from the data end: on sound logs they are exactly the
// last records of the walk; on damaged or hostile tails fewer (never another record).

#include <gtest/gtest.h>

#include <functional>

#include "log_fixture.h"
#include "logstore/record_walk.h"
#include "logstore/tail_scan.h"

namespace korv::test {
namespace {

using Locations = std::vector<standin::RecordLocation>;

// Writes a record header that "fits" at `at` inside the file: a forgery in a payload.
void forge_header(const std::string& path, std::uint64_t at, std::uint32_t size, std::uint32_t number) {
  _DISKLOG_RECORD_HEADER h;
  h.magic = kDiskLogRecordMagic;
  h.record_size = size;
  h.payload_offset = kDiskLogRecordHeaderSize;
  h.record_type = 0x00010000;
  h.record_number = number;
  unsigned char bytes[kDiskLogRecordHeaderSize];
  encode_record_header(h, bytes);
  Bytes b = read_bytes(path);
  ASSERT_LE(at + sizeof bytes, b.size());
  std::memcpy(b.data() + at, bytes, sizeof bytes);
  write_bytes(path, b);
}

std::uint64_t end_of(const standin::RecordLocation& r) { return r.offset + r.header.record_size; }

struct TailCase {
  const char* name;
  std::vector<std::size_t> payloads;
  std::size_t max_records;
  // Damages the written log; gets the records as written.
  std::function<void(const std::string& path, const Locations& records)> damage;
  std::size_t expected;  // how many of the newest records are found
};

class TailScanTest : public LogTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(TailScanTest, FindsOnlyTheNewestRecordsOfTheChain) {
  const TailCase& c = GetParam();
  const Locations written = make_log(c.payloads);
  if (c.damage) c.damage(path_, written);

  platform::File file;
  ASSERT_EQ(file.open(path_, platform::FileMode::read), platform::FileError::ok);
  DiskLogHandle log = DiskLogOpen(path_, 0);
  ASSERT_NE(log, nullptr);
  const _DISKLOG_HEADER header = DiskLogHeader(log.get());

  // What the forward walk (the truth) holds, to compare against.
  std::vector<standin::RecordLocation> walked;
  const WalkResult walk = walk_records(file, header, header.header_size,
               [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& r) { walked.push_back({offset, r}); });

  const std::vector<TailRecord> tail = scan_tail(file, header, c.max_records);
  ASSERT_EQ(tail.size(), c.expected);
  // A broken chain has no newest records to compare with: the walk fails the load there.
  if (!walk.ok()) return;
  // Whatever is found is the walk's last records, in order, with their very headers.
  ASSERT_LE(tail.size(), walked.size());
  const std::size_t skip = walked.size() - tail.size();
  for (std::size_t i = 0; i < tail.size(); ++i) {
    EXPECT_EQ(tail[i].offset, walked[skip + i].offset) << i;
    EXPECT_EQ(tail[i].header, walked[skip + i].header) << i;
  }
}

const std::vector<std::size_t> kTen{40, 10, 300, 0, 64, 5, 1000, 12, 90, 33};

INSTANTIATE_TEST_SUITE_P(
    Tails, TailScanTest,
    ::testing::Values(
        TailCase{"SoundPage", kTen, 4, nullptr, 4},
        TailCase{"SoundWholeLog", kTen, 100, nullptr, 10},
        TailCase{"OneRecord", {20}, 8, nullptr, 1},
        TailCase{"ForgedHeaderInNewestPayloadThatFits",
                 {40, 10, 300, 0, 64, 5, 1000, 12, 33, 90}, 8,
                 [](const std::string& p, const Locations& r) {
                   const std::uint64_t at = r[9].offset + 36 + 2;
                   forge_header(p, at, std::uint32_t(end_of(r[9]) - at), 9);
                 },
                 0},
        TailCase{"ForgedHeaderInOlderPayloadStopsThere",
                 kTen, 8,
                 [](const std::string& p, const Locations& r) {
                   const std::uint64_t at = r[6].offset + 36 + 100;
                   forge_header(p, at, std::uint32_t(r[7].offset - at), 6);
                 },
                 3},
        TailCase{"NewestSizeZero", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u32(p, r[9].offset + 4, 0); }, 0},
        TailCase{"NewestSizeHuge", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u32(p, r[9].offset + 4, 0xFFFFFFFFu); }, 0},
        TailCase{"OlderSizeOneShort", kTen, 8,
                 [](const std::string& p, const Locations& r) {
                   patch_u32(p, r[5].offset + 4, r[5].header.record_size - 1);
                 },
                 4},
        TailCase{"TruncatedLastRecord", kTen, 8,
                 [](const std::string& p, const Locations& r) {
                   Bytes b = read_bytes(p);
                   b.resize(std::size_t(end_of(r[9]) - 10));
                   write_bytes(p, b);
                 },
                 0},
        TailCase{"DataEndInsideTheLastRecord", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u64(p, 12, end_of(r[9]) - 4); }, 0},
        TailCase{"DataEndPastTheFile", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u64(p, 12, end_of(r[9]) + 4096); }, 0},
        TailCase{"GarbageAfterTheDataEnd", kTen, 8,
                 [](const std::string& p, const Locations& r) {
                   Bytes b = read_bytes(p);
                   b.resize(b.size() + 200, 0xAB);
                   write_bytes(p, b);
                   forge_header(p, end_of(r[9]) + 20, 100, 10);
                 },
                 8},
        TailCase{"NumberOutOfSequence", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u32(p, r[7].offset + 16, 3); }, 2},
        // A record numbered at or past the header's count ends the walk: what follows it is
        // not part of the log at all.
        TailCase{"NumberThatEndsTheWalk", kTen, 8,
                 [](const std::string& p, const Locations& r) { patch_u32(p, r[7].offset + 16, 55); }, 0},
        TailCase{"NewestNumberNotLast", kTen, 8,
                 [](const std::string& p, const Locations&) { patch_u32(p, 8, 11); }, 0},
        TailCase{"HeaderSizePastTheDataEnd", kTen, 100,
                 [](const std::string& p, const Locations& r) { patch_u32(p, 4, std::uint32_t(end_of(r[9]))); },
                 0},
        TailCase{"ZeroedNewestRecord", kTen, 8,
                 [](const std::string& p, const Locations& r) {
                   fill_range(p, r[9].offset, r[9].header.record_size);
                 },
                 0},
        // Records larger than the bytes read: the scan ends where it cannot see a start.
        TailCase{"RecordsLargerThanTheScan",
                 {300000, 300000, 300000, 300000, 300000, 300000}, 8, nullptr, 3}),
    [](const ::testing::TestParamInfo<TailCase>& info) { return info.param.name; });

}  // namespace
}  // namespace korv::test
