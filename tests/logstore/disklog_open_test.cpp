#include <functional>
#include <thread>

#include "log_fixture.h"
#include "logstore/record_walk.h"

namespace korv::test {
namespace {

constexpr std::uint32_t kViewerFlags = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;

TEST(DiskLogFormat, ShortHeaderReadsAsZeroAndWritesBackItsOwnLength) {
  _DISKLOG_HEADER h;
  h.magic = kDiskLogMagic;
  h.header_size = 40;
  h.next_record_number = 3;
  h.data_end = 500;
  h.rewrite_time = 0x1111111122222222ULL;
  h.gap_counter = 9;
  h.reserved = 77;
  unsigned char bytes[kDiskLogHeaderSize];
  encode_disklog_header(h, bytes);
  const _DISKLOG_HEADER d = decode_disklog_header(bytes);
  EXPECT_EQ(d.header_size, 40u);
  EXPECT_EQ(d.data_end, 500u);
  EXPECT_EQ(d.rewrite_time, 0x22222222ULL);  // only the low half lies inside 40 bytes
  EXPECT_EQ(d.gap_counter, 0u);
  EXPECT_EQ(d.reserved, 0u);
  EXPECT_EQ(disklog_header_write_size(d), 40u);
  h.header_size = 56;
  EXPECT_EQ(decode_disklog_header((encode_disklog_header(h, bytes), bytes)), h);
  h.header_size = 4096;
  EXPECT_EQ(disklog_header_write_size(h), 56u);
}

TEST(DiskLogFormat, RecordHeaderChecks) {
  const struct {
    std::uint32_t magic, size, payload_offset;
    RecordCheck expected;
  } cases[] = {
      {kDiskLogRecordMagic, 36, 36, RecordCheck::ok},
      {kDiskLogRecordMagic, 100, 36, RecordCheck::ok},
      {kDiskLogRecordMagic, 100, 100, RecordCheck::ok},
      {kDiskLogRecordMagic ^ 1, 100, 36, RecordCheck::bad_magic},
      {kDiskLogRecordMagic, 35, 35, RecordCheck::size_too_small},
      {kDiskLogRecordMagic, 0, 36, RecordCheck::size_too_small},
      {kDiskLogRecordMagic, 100, 35, RecordCheck::bad_payload_offset},
      {kDiskLogRecordMagic, 100, 101, RecordCheck::bad_payload_offset},
      {kDiskLogRecordMagic, 100, UINT32_MAX, RecordCheck::bad_payload_offset},
  };
  for (const auto& c : cases) {
    _DISKLOG_RECORD_HEADER r;
    r.magic = c.magic;
    r.record_size = c.size;
    r.payload_offset = c.payload_offset;
    EXPECT_EQ(check_record_header(r), c.expected) << c.size << "/" << c.payload_offset;
  }
}

using DiskLogOpenTest = LogTest;

TEST_F(DiskLogOpenTest, EmptyLog) {
  make_log({});
  EXPECT_EQ(read_bytes(path_).size(), 56u);
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  EXPECT_EQ(DiskLogRecordCount(log.get()), 0);
  EXPECT_EQ(DiskLogScanPosition(log.get()), 56u);
  std::uint32_t type = 0;
  EXPECT_EQ(DiskLogReadNext(log.get(), &type, nullptr, nullptr, nullptr, nullptr), kDiskLogNoRecord);
}

TEST_F(DiskLogOpenTest, WriteOpenCreatesMissingFileAsEmptyLog) {
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_WRITE);
  ASSERT_TRUE(log);
  const _DISKLOG_HEADER h = DiskLogHeader(log.get());
  EXPECT_EQ(h.magic, kDiskLogMagic);
  EXPECT_EQ(h.header_size, 56u);
  EXPECT_EQ(h.data_end, 56u);
  EXPECT_EQ(h.next_record_number, 0u);
  EXPECT_NE(h.creation_time, 0u);
  EXPECT_EQ(h.creation_time, h.modification_time);
  EXPECT_EQ(h.creation_time, h.rewrite_time);
  DiskLogClose(log);
  EXPECT_FALSE(log);
  const Bytes b = read_bytes(path_);
  ASSERT_EQ(b.size(), 56u);
  EXPECT_TRUE(std::all_of(b.begin() + 44, b.end(), [](unsigned char c) { return c == 0; }));
}

TEST_F(DiskLogOpenTest, HeaderlessFile) {
  write_bytes(path_, Bytes(300, 0x41));
  EXPECT_FALSE(DiskLogOpen(path_, 0));
  EXPECT_FALSE(DiskLogOpen(path_, kViewerFlags));
  EXPECT_EQ(read_bytes(path_).size(), 300u);  // a read-only open writes nothing
  ASSERT_TRUE(DiskLogOpen(path_, DISKLOG_OPEN_WRITE));
  EXPECT_EQ(read_bytes(path_).size(), 56u);
  EXPECT_FALSE(DiskLogOpen((dir_ / "missing.dat").string(), 0));
}

TEST_F(DiskLogOpenTest, HeaderSize40) {
  // Build a log, then slide its records down to offset 40 behind a 40-byte header.
  const auto recs = make_log({10, 20});
  Bytes b = read_bytes(path_);
  Bytes moved(b.begin(), b.begin() + 40);
  moved.insert(moved.end(), b.begin() + 56, b.end());
  write_bytes(path_, moved);
  patch_u32(path_, 4, 40);
  patch_u64(path_, 12, moved.size());

  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags | DISKLOG_OPEN_WRITE);
  ASSERT_TRUE(log);
  const auto index = index_of(log.get());
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[0].file_offset, 40u);
  EXPECT_EQ(index[1].file_offset, 40u + recs[0].header.record_size);
  EXPECT_EQ(DiskLogHeader(log.get()).gap_counter, 0u);  // bytes 40..55 are the first record

  const Bytes before = read_bytes(path_);
  ASSERT_EQ(DiskLogFlush(log.get(), true), kDiskLogOk);
  EXPECT_EQ(read_bytes(path_), before);  // exactly 40 bytes written back, the same ones
}

// Damage and boundary cases of the walk, each applied to a fresh log of four records.
TEST_F(DiskLogOpenTest, WalkCases) {
  struct Case {
    const char* name;
    std::function<void(const std::string&, const std::vector<standin::RecordLocation>&)> mutate;
    bool opens;
    std::vector<std::uint32_t> numbers;  // record numbers in the index
  };
  const Case cases[] = {
      {"intact", [](auto&, auto&) {}, true, {0, 1, 2, 3}},
      {"data end inside the last record",
       [](auto& p, auto& r) { patch_u64(p, 12, r[3].offset + 10); }, true, {0, 1, 2, 3}},
      {"data end at the last record",
       [](auto& p, auto& r) { patch_u64(p, 12, r[3].offset); }, true, {0, 1, 2}},
      {"wrong magic in the middle", [](auto& p, auto& r) { flip_byte(p, r[2].offset); }, false, {}},
      {"duplicate record numbers", [](auto& p, auto& r) { patch_u32(p, r[2].offset + 16, 1); }, true,
       {0, 1, 1, 3}},
      {"next record number stops the walk",
       [](auto& p, auto&) { patch_u32(p, 8, 2); }, true, {0, 1, 2}},
      {"record number beyond next stops early",
       [](auto& p, auto& r) { patch_u32(p, r[1].offset + 16, 99); }, true, {0, 99}},
      {"record size below 36", [](auto& p, auto& r) { patch_u32(p, r[1].offset + 4, 20); }, false, {}},
      {"record size 0", [](auto& p, auto& r) { patch_u32(p, r[1].offset + 4, 0); }, false, {}},
      // The chain goes on by the record's size: the record alone is damaged (read as 11).
      {"payload offset below 36", [](auto& p, auto& r) { patch_u32(p, r[1].offset + 8, 12); }, true, {0, 1, 2, 3}},
      {"payload offset past the record",
       [](auto& p, auto& r) { patch_u32(p, r[1].offset + 8, r[1].header.record_size + 1); }, true, {0, 1, 2, 3}},
      {"data end past the end of file",
       [](auto& p, auto& r) { patch_u64(p, 12, r[3].offset + r[3].header.record_size + 100); }, false, {}},
      {"huge data end", [](auto& p, auto&) { patch_u64(p, 12, ~0ULL); }, false, {}},
      {"header size past the data end", [](auto& p, auto&) { patch_u32(p, 4, UINT32_MAX); }, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recs = make_log({5, 0, 40, 17});
    c.mutate(path_, recs);
    DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
    ASSERT_EQ(static_cast<bool>(log), c.opens);
    EXPECT_TRUE(DiskLogOpen(path_, 0)) << "a handle without index never walks";
    if (!log) continue;
    std::vector<std::uint32_t> numbers;
    for (const auto& e : index_of(log.get())) numbers.push_back(e.record_number);
    EXPECT_EQ(numbers, c.numbers);
  }
}

// A record whose payload offset does not fit it is read as its header alone, by index, by
// offset and in file order, and the records around it read as ever.
TEST_F(DiskLogOpenTest, APayloadThatDoesNotFitItsRecordIsReadAsDamaged) {
  for (const std::uint32_t bad : {0u, 35u, 42u, UINT32_MAX}) {
    SCOPED_TRACE(bad);
    const auto recs = make_log({5, 5, 17});
    patch_u32(path_, recs[1].offset + 8, bad);  // record 1 is 41 bytes long
    DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
    ASSERT_TRUE(log);
    Bytes buffer(256);
    for (int i = 0; i < 3; ++i) {
      std::uint32_t size = std::uint32_t(buffer.size());
      const int result = DiskLogReadRecord(log.get(), std::size_t(i), buffer.data(), size);
      if (i == 1) {
        EXPECT_EQ(result, kDiskLogDamagedPayload);
        EXPECT_EQ(size, kDiskLogRecordHeaderSize);
        EXPECT_EQ(decode_record_header(buffer.data()).record_number, 1u);
      } else {
        EXPECT_EQ(result, kDiskLogOk) << i;
        EXPECT_EQ(Bytes(buffer.begin() + 36, buffer.begin() + size), payload_of(i == 2 ? 17 : 5, unsigned(i)));
      }
    }
    std::uint32_t size = 20;
    EXPECT_EQ(DiskLogReadRecord(log.get(), 1, buffer.data(), size), kDiskLogBufferTooSmall);
    EXPECT_EQ(size, kDiskLogRecordHeaderSize) << "never sized by the bad offset";
    size = std::uint32_t(buffer.size());
    EXPECT_EQ(DiskLogReadRecordAt(log.get(), recs[1].offset, 1, buffer.data(), size), kDiskLogDamagedPayload);
    // In file order: stepped over, and the next record follows.
    std::uint32_t type = 0;
    for (int i = 0; i < 3; ++i) {
      size = std::uint32_t(buffer.size());
      const int result = DiskLogReadNext(log.get(), &type, buffer.data(), &size, nullptr, nullptr);
      EXPECT_EQ(result, i == 1 ? kDiskLogDamagedPayload : kDiskLogOk) << i;
      EXPECT_EQ(type, 0x00010000u + std::uint32_t(i));
    }
  }
}

TEST_F(DiskLogOpenTest, DeletedRecordsKeepTheirPlace) {
  make_log({1, 2, 3, 4}, {0, kDiskLogRecordDeleted, 0, kDiskLogRecordDeleted});
  const struct {
    std::uint32_t flags;
    std::vector<std::uint32_t> numbers;
  } cases[] = {{kViewerFlags, {0, 1, 2, 3}}, {DISKLOG_OPEN_INDEX, {0, 2}}};
  for (const auto& c : cases) {
    DiskLogHandle log = DiskLogOpen(path_, c.flags);
    ASSERT_TRUE(log);
    std::vector<std::uint32_t> numbers;
    for (const auto& e : index_of(log.get())) numbers.push_back(e.record_number);
    EXPECT_EQ(numbers, c.numbers);
    EXPECT_EQ(DiskLogRecordCount(log.get()), static_cast<int>(c.numbers.size()));
  }
}

TEST_F(DiskLogOpenTest, IndexGrowsAcrossManyRecords) {
  std::vector<std::size_t> lengths(5000, 3);
  const auto recs = make_log(lengths);
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  const auto index = index_of(log.get());
  ASSERT_EQ(index.size(), recs.size());
  for (std::size_t i = 0; i < index.size(); i += 997) {
    EXPECT_EQ(index[i].file_offset, recs[i].offset);
    EXPECT_EQ(index[i].record_type, recs[i].header.record_type);
  }
}

TEST_F(DiskLogOpenTest, WalkReportsWhereAndWhyItBroke) {
  const auto recs = make_log({8, 8, 8});
  patch_u32(path_, recs[2].offset + 4, 3);
  platform::File f;
  ASSERT_EQ(f.open(path_, platform::FileMode::read), platform::FileError::ok);
  _DISKLOG_HEADER h;
  unsigned char bytes[56];
  std::size_t got = 0;
  ASSERT_EQ(f.read_at(0, bytes, 56, got), platform::FileError::ok);
  h = decode_disklog_header(bytes);
  int seen = 0;
  const WalkResult r = walk_records(f, h, h.header_size, [&](auto, auto&) { ++seen; });
  EXPECT_EQ(r.stop, WalkStop::size_too_small);
  EXPECT_EQ(r.offset, recs[2].offset);
  EXPECT_EQ(seen, 2);
}

TEST_F(DiskLogOpenTest, SharingBetweenWriterAndReaders) {
  make_log({4});
  DiskLogHandle repair = DiskLogOpen(path_, DISKLOG_OPEN_WRITE);
  ASSERT_TRUE(repair);
  EXPECT_FALSE(DiskLogOpen(path_, DISKLOG_OPEN_WRITE));
  standin::LogFileWriter other;
  EXPECT_EQ(other.open(path_), platform::FileError::sharing_violation);
  EXPECT_TRUE(DiskLogOpen(path_, kViewerFlags));
  DiskLogClose(repair);
  EXPECT_EQ(other.open(path_), platform::FileError::ok);
}

TEST_F(DiskLogOpenTest, OpenWithRetryWaitsForTheFile) {
  platform::File f;
  EXPECT_EQ(open_with_retry(path_, platform::FileMode::read, 0, f), platform::FileError::not_found);
  std::thread creator([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    write_bytes(path_, Bytes(8, 1));
  });
  EXPECT_EQ(open_with_retry(path_, platform::FileMode::read, 5000, f), platform::FileError::ok);
  creator.join();

  platform::File holder;
  ASSERT_EQ(holder.open(path_, platform::FileMode::write), platform::FileError::ok);
  platform::File second;
  EXPECT_EQ(open_with_retry(path_, platform::FileMode::write, 0, second), platform::FileError::sharing_violation);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    holder.close();
  });
  EXPECT_EQ(open_with_retry(path_, platform::FileMode::write, 5000, second), platform::FileError::ok);
  releaser.join();
  EXPECT_EQ(open_with_retry((dir_ / "never").string(), platform::FileMode::read, 300, f),
            platform::FileError::not_found);
}

}  // namespace
}  // namespace korv::test
