// Sizes read from a file never size a buffer beyond what the file holds, and a refresh
// whose incremental walk fails reports the rebuilt index as a rewrite.

#include "log_fixture.h"

namespace korv::test {
namespace {

using DiskLogBoundsTest = LogTest;

TEST_F(DiskLogBoundsTest, SizeFieldBeyondTheFileIsNotAnsweredAsANeededSize) {
  const struct {
    const char* name;
    std::int64_t size_change;  // added to the last record's true size
    int by_index;              // DiskLogReadRecord with a 64-byte buffer
    int in_order;              // DiskLogReadNext with a 16-byte payload buffer
  } cases[] = {
      {"the true size", 0, kDiskLogBufferTooSmall, kDiskLogBufferTooSmall},
      {"one byte past the file", 1, kDiskLogShortPayload, kDiskLogShortPayload},
      {"4 GiB in a 600-byte file", 0xFFFFFFF0ll - (36 + 500), kDiskLogShortPayload, kDiskLogShortPayload},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recs = make_log({500});
    const std::uint32_t size = static_cast<std::uint32_t>(recs[0].header.record_size + c.size_change);
    patch_u32(path_, recs[0].offset + 4, size);
    const Bytes before = read_bytes(path_);

    DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX);
    ASSERT_TRUE(log) << "a last record may claim more than the data end: the walk ends there";
    Bytes buffer(64);
    std::uint32_t got = static_cast<std::uint32_t>(buffer.size());
    EXPECT_EQ(DiskLogReadRecord(log.get(), 0, buffer.data(), got), c.by_index);
    if (c.by_index == kDiskLogBufferTooSmall)
      EXPECT_EQ(got, size);
    else
      EXPECT_EQ(got, buffer.size()) << "no size is handed out for a record the file cannot hold";

    DiskLogHandle plain = DiskLogOpen(path_, 0);
    ASSERT_TRUE(plain);
    std::uint32_t payload = 16;
    EXPECT_EQ(DiskLogReadNext(plain.get(), nullptr, buffer.data(), &payload, nullptr, nullptr), c.in_order);
    if (c.in_order == kDiskLogBufferTooSmall)
      EXPECT_EQ(payload, size - 36);
    else
      EXPECT_EQ(payload, 16u);
    EXPECT_EQ(DiskLogReadNext(plain.get(), nullptr, kDiskLogSkip, nullptr, nullptr, nullptr), kDiskLogOk)
        << "stepping over it reads no payload";
    EXPECT_EQ(read_bytes(path_), before);
  }
}

TEST_F(DiskLogBoundsTest, RecordHeaderAloneIsReadAndChecked) {
  make_log({10, 2000});
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX);
  ASSERT_TRUE(log);
  _DISKLOG_RECORD_HEADER h;
  ASSERT_EQ(DiskLogReadRecordHeader(log.get(), 1, h), kDiskLogOk);
  EXPECT_EQ(h.record_size, 36u + 2000u);
  EXPECT_EQ(h.record_type, 0x00010001u);
  EXPECT_EQ(h.aux_value, 7u);
  EXPECT_EQ(DiskLogReadRecordHeader(log.get(), 2, h), kDiskLogNoRecord);

  DiskLogHandle plain = DiskLogOpen(path_, 0);
  EXPECT_EQ(DiskLogReadRecordHeader(plain.get(), 0, h), kDiskLogNotIndexed);

  // A record no longer where the index says, even after a rebuild: 7, as a full read answers.
  _DISKLOG_INDEX_RECORD entry;
  ASSERT_TRUE(DiskLogIndexEntry(log.get(), 1, entry));
  patch_u32(path_, entry.file_offset, 0x12345678);  // its record magic
  EXPECT_EQ(DiskLogReadRecordHeader(log.get(), 1, h), kDiskLogBadRecord);
  Bytes buffer(4096);
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  EXPECT_EQ(DiskLogReadRecord(log.get(), 1, buffer.data(), size), kDiskLogNoRecord)
      << "the rebuild made by the header read ends the index before the damage";
}

TEST_F(DiskLogBoundsTest, RefreshReportsARebuildAfterAFailedIncrementalWalk) {
  enum class Change { append, append_damaged, quiet_rewrite };
  const struct {
    const char* name;
    Change change;
    bool expect_rebuilt;  // positions taken before may name other records
    std::size_t expect_count;
  } cases[] = {
      {"appended", Change::append, false, 5},
      // The walk fails on the new record; the rebuilt index begins as the old one did.
      {"appended, the new record damaged", Change::append_damaged, false, 4},
      // Written anew under the old rewrite time: two long records, the old scan position
      // inside the first of them.
      {"written anew, rewrite time kept", Change::quiet_rewrite, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make_log({10, 10, 10, 10});
    DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX);
    ASSERT_TRUE(log);
    const std::uint64_t generation = DiskLogIndexGeneration(log.get());
    const _DISKLOG_HEADER old_header = DiskLogHeader(log.get());
    const std::uint64_t resume = DiskLogScanPosition(log.get());
    {
      standin::LogFileWriter w;
      if (c.change == Change::quiet_rewrite) {
        ASSERT_EQ(w.create(path_), platform::FileError::ok);
        for (unsigned i = 0; i < 2; ++i) {
          const Bytes p = payload_of(300, i);
          standin::NewRecord r;
          r.type = 0x00010002;
          r.payload = p;
          ASSERT_EQ(w.append(r), platform::FileError::ok);
        }
        ASSERT_EQ(w.flush(), platform::FileError::ok);
        _DISKLOG_HEADER h = w.header();
        ASSERT_GT(h.header_size + 336, resume);
        h.rewrite_time = old_header.rewrite_time;
        h.modification_time = old_header.modification_time + 1;
        ASSERT_EQ(w.set_header(h), platform::FileError::ok);
      } else {
        ASSERT_EQ(w.open(path_), platform::FileError::ok);
        const Bytes p = payload_of(10, 9);
        standin::NewRecord r;
        r.payload = p;
        ASSERT_EQ(w.append(r), platform::FileError::ok);
      }
      ASSERT_EQ(w.close(), platform::FileError::ok);
    }
    if (c.change == Change::append_damaged) patch_u32(path_, resume, 0x55555555);
    EXPECT_EQ(DiskLogRefresh(log.get()), c.expect_rebuilt);
    EXPECT_EQ(DiskLogIndexCount(log.get()), c.expect_count);
    EXPECT_EQ(DiskLogIndexGeneration(log.get()), generation + (c.expect_rebuilt ? 1 : 0));
  }
}

}  // namespace
}  // namespace korv::test
