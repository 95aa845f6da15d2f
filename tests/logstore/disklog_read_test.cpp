#include "log_fixture.h"

namespace korv::test {
namespace {

constexpr std::uint32_t kViewerFlags = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;

using DiskLogReadTest = LogTest;

TEST_F(DiskLogReadTest, ReadRecordBufferSizes) {
  const auto recs = make_log({0, 50, 70000});  // the last one is larger than one read-ahead
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  for (std::size_t i = 0; i < recs.size(); ++i) {
    SCOPED_TRACE(i);
    const std::uint32_t record_size = recs[i].header.record_size;
    const struct {
      std::uint32_t capacity;
      int result;
    } cases[] = {{0, 8}, {20, 8}, {36, record_size == 36 ? 0 : 8}, {record_size - 1, record_size == 36 ? 8 : 8},
                 {record_size, 0}, {record_size + 1000, 0}};
    for (const auto& c : cases) {
      if (c.capacity == record_size - 1 && record_size == 36) continue;  // covered by {20, 8}
      Bytes buffer(c.capacity + 1, 0xEE);
      std::uint32_t size = c.capacity;
      ASSERT_EQ(DiskLogReadRecord(log.get(), i, buffer.data(), size), c.result) << c.capacity;
      EXPECT_EQ(size, record_size);
      if (c.result != 0) continue;
      const _DISKLOG_RECORD_HEADER h = decode_record_header(buffer.data());
      EXPECT_EQ(h, recs[i].header);
      const Bytes expected = payload_of(record_size - 36, static_cast<unsigned>(i));
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin() + 36));
    }
  }
  std::uint32_t size = 100;
  Bytes buffer(100);
  EXPECT_EQ(DiskLogReadRecord(log.get(), 3, buffer.data(), size), kDiskLogNoRecord);
  DiskLogHandle plain = DiskLogOpen(path_, 0);
  EXPECT_EQ(DiskLogReadRecord(plain.get(), 0, buffer.data(), size), kDiskLogNotIndexed);
  EXPECT_EQ(DiskLogRecordCount(plain.get()), 0);
}

TEST_F(DiskLogReadTest, ReadRecordWithTruncatedPayload) {
  const auto recs = make_log({10, 500});
  // Cut the file inside the last payload but leave the chain walkable up to it.
  Bytes b = read_bytes(path_);
  b.resize(recs[1].offset + 100);
  write_bytes(path_, b);
  patch_u64(path_, 12, recs[1].offset + 40);
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  Bytes buffer(1000);
  std::uint32_t size = 1000;
  EXPECT_EQ(DiskLogReadRecord(log.get(), 1, buffer.data(), size), kDiskLogShortPayload);
}

TEST_F(DiskLogReadTest, StaleOffsetIsRetriedAfterARebuild) {
  const auto recs = make_log({10, 10, 10});
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  Bytes buffer(200);
  std::uint32_t size = 200;

  // Same place, new number: the rebuilt index agrees with the file, so the read succeeds.
  patch_u32(path_, recs[1].offset + 16, 2);  // below next record number: the walk goes on
  EXPECT_EQ(DiskLogReadRecord(log.get(), 1, buffer.data(), size), kDiskLogOk);
  EXPECT_EQ(decode_record_header(buffer.data()).record_number, 2u);
  _DISKLOG_INDEX_RECORD e;
  ASSERT_TRUE(DiskLogIndexEntry(log.get(), 1, e));
  EXPECT_EQ(e.record_number, 2u);

  // The file was rewritten with other record sizes: the stored offset now lands inside a record.
  make_log({3, 3, 3, 3, 3});
  size = 200;
  EXPECT_EQ(DiskLogReadRecord(log.get(), 2, buffer.data(), size), kDiskLogBadRecord);
}

TEST_F(DiskLogReadTest, SequentialReading) {
  const auto recs = make_log({3, 0, 12}, {0, kDiskLogRecordDeleted, 0});
  // Bytes after the last record (and a next record number that says stop) must not be read.
  Bytes b = read_bytes(path_);
  const Bytes extra = read_bytes(path_);
  b.insert(b.end(), extra.begin() + 56, extra.end());
  write_bytes(path_, b);
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);

  std::uint32_t type = 0, aux = 0, size = 0;
  std::uint64_t time = 0;
  // No payload argument: outputs filled, nothing advances.
  ASSERT_EQ(DiskLogReadNext(log.get(), &type, nullptr, nullptr, &time, &aux), kDiskLogOk);
  EXPECT_EQ(type, 0x00010000u);
  EXPECT_EQ(time, 1000u);
  // Too small: 8 with the payload length, still on the first record.
  Bytes buffer(64);
  size = 2;
  ASSERT_EQ(DiskLogReadNext(log.get(), &type, buffer.data(), &size, nullptr, nullptr), kDiskLogBufferTooSmall);
  EXPECT_EQ(size, 3u);
  size = 64;
  ASSERT_EQ(DiskLogReadNext(log.get(), &type, buffer.data(), &size, &time, &aux), kDiskLogOk);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), payload_of(3, 0));
  // The deleted one is returned too; skip steps over it.
  ASSERT_EQ(DiskLogReadNext(log.get(), &type, kDiskLogSkip, nullptr, &time, &aux), kDiskLogOk);
  EXPECT_EQ(type, 0x00010001u);
  EXPECT_EQ(aux, 7u);
  size = 64;
  ASSERT_EQ(DiskLogReadNext(log.get(), &type, buffer.data(), &size, &time, &aux), kDiskLogOk);
  EXPECT_EQ(type, 0x00010002u);
  EXPECT_EQ(time, 1002u);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(DiskLogReadNext(log.get(), &type, kDiskLogSkip, nullptr, nullptr, nullptr), kDiskLogNoRecord);
}

TEST_F(DiskLogReadTest, SequentialReadingStopsAtDamage) {
  const auto recs = make_log({3, 3});
  flip_byte(path_, recs[1].offset + 1);
  DiskLogHandle log = DiskLogOpen(path_, 0);
  ASSERT_TRUE(log);
  EXPECT_EQ(DiskLogReadNext(log.get(), nullptr, kDiskLogSkip, nullptr, nullptr, nullptr), kDiskLogOk);
  EXPECT_EQ(DiskLogReadNext(log.get(), nullptr, kDiskLogSkip, nullptr, nullptr, nullptr), kDiskLogBadRecord);
}

// The reader follows a log that another process keeps writing.
class DiskLogChangeTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    make_log({5, 6, 7});
    ASSERT_EQ(writer_.open(path_), platform::FileError::ok);
  }
  void append(std::uint32_t flags = 0) {
    const Bytes p = payload_of(9, 3);
    standin::NewRecord r;
    r.type = 0x00010003;
    r.flags = flags;
    r.payload = p;
    ASSERT_EQ(writer_.append(r), platform::FileError::ok);
  }
  standin::LogFileWriter writer_;
};

TEST_F(DiskLogChangeTest, AppendIsSeenAsAppend) {
  const struct {
    std::uint32_t flags;
    int grows;
  } cases[] = {{kViewerFlags, 3}, {DISKLOG_OPEN_INDEX, 2}};
  for (const auto& c : cases) {
    DiskLogHandle log = DiskLogOpen(path_, c.flags);
    ASSERT_TRUE(log);
    const int before = DiskLogRecordCount(log.get());
    const auto first = index_of(log.get());
    const std::uint64_t scan = DiskLogScanPosition(log.get());
    {
      DiskLogLockGuard guard(log.get());
      EXPECT_FALSE(DiskLogHasChanged(log.get(), nullptr));
    }
    append();
    append(kDiskLogRecordDeleted);
    append();
    ASSERT_EQ(writer_.flush(), platform::FileError::ok);
    {
      DiskLogLockGuard guard(log.get());
      bool rewritten = true;
      EXPECT_TRUE(DiskLogHasChanged(log.get(), &rewritten));
      EXPECT_FALSE(rewritten);
    }
    EXPECT_FALSE(DiskLogRefresh(log.get()));
    EXPECT_EQ(DiskLogRecordCount(log.get()), before + c.grows);
    EXPECT_EQ(DiskLogHeader(log.get()).data_end, writer_.header().data_end);
    EXPECT_EQ(DiskLogScanPosition(log.get()), writer_.header().data_end);
    EXPECT_GT(DiskLogScanPosition(log.get()), scan);
    const auto after = index_of(log.get());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), after.begin()));  // extended, not rebuilt
    EXPECT_FALSE(DiskLogRefresh(log.get()));  // nothing new
  }
}

TEST_F(DiskLogChangeTest, DeletionIsSeenAsRewrite) {
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX);
  ASSERT_TRUE(log);
  ASSERT_EQ(DiskLogRecordCount(log.get()), 3);
  ASSERT_EQ(writer_.mark_deleted(1), platform::FileError::ok);
  EXPECT_TRUE(DiskLogRefresh(log.get()));
  const auto index = index_of(log.get());
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[1].record_number, 2u);
  EXPECT_FALSE(DiskLogRefresh(log.get()));
}

TEST_F(DiskLogChangeTest, FailedIncrementalWalkRebuilds) {
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  // An append whose header update hides that the end of the old chain moved.
  const std::uint64_t old_end = writer_.header().data_end;
  append();
  ASSERT_EQ(writer_.flush(), platform::FileError::ok);
  fill_range(path_, old_end, 4, 0x55);  // the new record's magic is gone
  EXPECT_FALSE(DiskLogRefresh(log.get()));
  // The fallback rebuild fails at the same place and keeps what it could walk.
  EXPECT_EQ(DiskLogIndexCount(log.get()), 3u);
}

TEST_F(DiskLogChangeTest, FlushOnReadOnlyHandle) {
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  const Bytes before = read_bytes(path_);
  EXPECT_EQ(DiskLogFlush(log.get(), false), kDiskLogOk);  // nothing pending: nothing written
  EXPECT_EQ(DiskLogFlush(log.get(), true), kDiskLogWriteFailed);
  EXPECT_EQ(read_bytes(path_), before);
}

}  // namespace
}  // namespace korv::test
