// Reading through the read-ahead window gives the bytes a read per record
// gives, and a refresh after the file changed shows the change.
#include "log_fixture.h"

namespace korv::test {
namespace {

constexpr std::uint32_t kViewerFlags = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED;

using DiskLogReadAheadTest = LogTest;

// Every record by index, as bytes, or an empty entry for a failed read; read newest first
// when `backwards`, as the list shows them.
std::vector<Bytes> ReadAll(DiskLogFile* log, bool backwards = false) {
  std::vector<Bytes> out(DiskLogIndexCount(log));
  for (std::size_t k = 0; k < out.size(); ++k) {
    const std::size_t i = backwards ? out.size() - 1 - k : k;
    Bytes buffer(64);
    std::uint32_t size = 64;
    int r = DiskLogReadRecord(log, i, buffer.data(), size);
    if (r == kDiskLogBufferTooSmall) {
      buffer.resize(size);
      r = DiskLogReadRecord(log, i, buffer.data(), size);
    }
    if (r == kDiskLogOk) out[i].assign(buffer.begin(), buffer.begin() + size);
  }
  return out;
}

// Every payload in file order with DiskLogReadNext.
std::vector<Bytes> ReadInOrder(DiskLogFile* log) {
  std::vector<Bytes> out;
  Bytes buffer(1024 * 1024);  // once: a fresh megabyte per record is slow under the sanitizers
  for (;;) {
    std::uint32_t size = std::uint32_t(buffer.size());
    if (DiskLogReadNext(log, nullptr, buffer.data(), &size, nullptr, nullptr) != kDiskLogOk) break;
    out.emplace_back(buffer.begin(), buffer.begin() + size);
  }
  return out;
}

TEST_F(DiskLogReadAheadTest, SameBytesAsOneReadPerRecord) {
  std::vector<std::size_t> many(9000, 200);  // about 2 MB: several windows, records across their edges
  const struct {
    const char* name;
    std::vector<std::size_t> lengths;
  } cases[] = {
      {"small records over several windows", many},
      {"a record larger than half the window between small ones", {10, 700000, 10, 20, 0}},
      {"records near the window's size", {400000, 600000, 300000, 1}},
      {"one empty payload", {0}},
  };
  for (const auto& c : cases) {
    make_log(c.lengths);
    DiskLogHandle plain = DiskLogOpen(path_, kViewerFlags);
    DiskLogHandle ahead = DiskLogOpen(path_, kViewerFlags);
    ASSERT_TRUE(plain && ahead) << c.name;
    const std::vector<Bytes> expected = ReadAll(plain.get());
    ASSERT_EQ(expected.size(), c.lengths.size()) << c.name;
    for (const Bytes& b : expected) ASSERT_FALSE(b.empty()) << c.name;
    {
      const DiskLogReadAheadScope scope(ahead.get());
      const DiskLogReadAheadScope nested(ahead.get());
      EXPECT_EQ(ReadAll(ahead.get()), expected) << c.name;
      EXPECT_EQ(ReadAll(ahead.get(), true), expected) << c.name;
      EXPECT_EQ(ReadAll(ahead.get()), expected) << c.name;  // and forwards again
      EXPECT_EQ(ReadInOrder(ahead.get()), ReadInOrder(plain.get())) << c.name;
    }
    // After the scopes the handle reads the file directly again.
    EXPECT_EQ(ReadAll(ahead.get()), expected) << c.name;
  }
}

class DiskLogReadAheadChangeTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    make_log({100, 100, 100});
    ASSERT_EQ(writer_.open(path_), platform::FileError::ok);
  }
  standin::LogFileWriter writer_;
};

TEST_F(DiskLogReadAheadChangeTest, RefreshShowsAppendsAndDeletions) {
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  const DiskLogReadAheadScope scope(log.get());
  ASSERT_EQ(ReadAll(log.get()).size(), 3u);  // the window now ends at the file's end

  // Appended records: the window, short at the old end, is not asked for them.
  for (unsigned i = 0; i < 3; ++i) {
    const Bytes p = payload_of(150, 10 + i);
    standin::NewRecord r;
    r.type = 0x00020000u + i;
    r.payload = p;
    ASSERT_EQ(writer_.append(r), platform::FileError::ok);
  }
  ASSERT_EQ(writer_.flush(), platform::FileError::ok);
  DiskLogRefresh(log.get());
  const std::vector<Bytes> grown = ReadAll(log.get());
  ASSERT_EQ(grown.size(), 6u);
  for (unsigned i = 0; i < 3; ++i) {
    ASSERT_EQ(grown[3 + i].size(), 36u + 150u) << i;
    EXPECT_EQ(Bytes(grown[3 + i].begin() + 36, grown[3 + i].end()), payload_of(150, 10 + i)) << i;
  }

  // A deletion rewrites a record in place: after the refresh its flags are read anew.
  ASSERT_EQ(writer_.mark_deleted(1), platform::FileError::ok);
  EXPECT_TRUE(DiskLogRefresh(log.get()));
  const std::vector<Bytes> after = ReadAll(log.get());
  ASSERT_EQ(after.size(), 6u);
  EXPECT_NE(decode_record_header(after[1].data()).record_flags & kDiskLogRecordDeleted, 0u);
  EXPECT_EQ(decode_record_header(after[0].data()).record_flags & kDiskLogRecordDeleted, 0u);
}

// The file written anew under the handle: after the refresh every record is read from
// the new file, the first one at the very offset the dropped window started at.
TEST_F(DiskLogReadAheadTest, RewrittenFileIsReadAnewAfterTheRefresh) {
  make_log({100, 200, 300});
  DiskLogHandle log = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(log);
  const DiskLogReadAheadScope scope(log.get());
  ASSERT_EQ(ReadAll(log.get()).size(), 3u);
  make_log({50, 60, 70, 80});
  DiskLogRefresh(log.get());
  DiskLogHandle plain = DiskLogOpen(path_, kViewerFlags);
  ASSERT_TRUE(plain);
  const std::vector<Bytes> expected = ReadAll(plain.get());
  ASSERT_EQ(expected.size(), 4u);
  EXPECT_EQ(ReadAll(log.get()), expected);
}

}  // namespace
}  // namespace korv::test
