// A handle whose index is built after the open: by DiskLogBuildIndex or by the first read
// that needs it, the index equals the one an eager open builds; records are read by offset
// meanwhile.

#include <gtest/gtest.h>

#include "log_fixture.h"

namespace korv::test {
namespace {

class IndexLaterTest : public LogTest {
 protected:
  static constexpr std::uint32_t kLater = DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED | DISKLOG_OPEN_INDEX_LATER;
  std::vector<_DISKLOG_INDEX_RECORD> eager_index() {
    DiskLogHandle eager = DiskLogOpen(path_, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    EXPECT_NE(eager, nullptr);
    return eager ? index_of(eager.get()) : std::vector<_DISKLOG_INDEX_RECORD>{};
  }
};

TEST_F(IndexLaterTest, EveryWayOfBuildingGivesTheEagerIndex) {
  make_log({10, 200, 0, 70, 33}, {0, 1, 0, 1, 0});
  const auto expected = eager_index();
  ASSERT_EQ(expected.size(), 5u);
  struct Way {
    const char* name;
    std::function<void(DiskLogFile*)> build;
  };
  const std::vector<Way> ways{
      {"build", [](DiskLogFile* f) { EXPECT_TRUE(DiskLogBuildIndex(f)); }},
      {"refresh", [](DiskLogFile* f) { DiskLogRefresh(f); }},
      {"count", [](DiskLogFile* f) { EXPECT_EQ(DiskLogRecordCount(f), 5); }},
      {"read", [](DiskLogFile* f) {
         _DISKLOG_RECORD_HEADER h;
         EXPECT_EQ(DiskLogReadRecordHeader(f, 4, h), kDiskLogOk);
       }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    DiskLogHandle log = DiskLogOpen(path_, kLater);
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(DiskLogIndexPending(log.get()));
    EXPECT_EQ(DiskLogIndexCount(log.get()), 0u);
    way.build(log.get());
    EXPECT_FALSE(DiskLogIndexPending(log.get()));
    EXPECT_EQ(index_of(log.get()), expected);
    EXPECT_TRUE(DiskLogBuildIndex(log.get()));  // a second build keeps the index
    EXPECT_EQ(index_of(log.get()), expected);
  }
}

TEST_F(IndexLaterTest, BrokenChainOpensAndFailsTheBuild) {
  const auto records = make_log({10, 20, 30});
  patch_u32(path_, records[1].offset, 0x12345678);  // wrong magic in the middle
  EXPECT_EQ(DiskLogOpen(path_, DISKLOG_OPEN_INDEX), nullptr);
  DiskLogHandle log = DiskLogOpen(path_, kLater);
  ASSERT_NE(log, nullptr);
  EXPECT_FALSE(DiskLogBuildIndex(log.get()));
  EXPECT_FALSE(DiskLogBuildIndex(log.get()));  // and says so again
  EXPECT_EQ(DiskLogIndexCount(log.get()), 1u);  // the records before the break
}

TEST_F(IndexLaterTest, ReadByOffsetChecksTheHeaderThere) {
  const auto records = make_log({10, 3000, 30});
  DiskLogHandle log = DiskLogOpen(path_, kLater);
  ASSERT_NE(log, nullptr);
  struct Case {
    const char* name;
    std::uint64_t offset;
    std::uint32_t number;
    std::uint32_t capacity;
    int result;
  };
  const std::vector<Case> cases{
      {"record", records[2].offset, 2, 4096, kDiskLogOk},
      {"large record", records[1].offset, 1, 4096, kDiskLogOk},
      {"too small", records[1].offset, 1, 100, kDiskLogBufferTooSmall},
      {"other number", records[2].offset, 1, 4096, kDiskLogBadRecord},
      {"inside a record", records[1].offset + 4, 1, 4096, kDiskLogBadRecord},
      {"past the file", records[2].offset + 1000000, 2, 4096, kDiskLogBadRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> buffer(c.capacity);
    std::uint32_t size = c.capacity;
    EXPECT_EQ(DiskLogReadRecordAt(log.get(), c.offset, c.number, buffer.data(), size), c.result);
    if (c.result == kDiskLogOk) {
      EXPECT_EQ(decode_record_header(buffer.data()), records[c.number].header);
      EXPECT_EQ(size, records[c.number].header.record_size);
    }
  }
  EXPECT_TRUE(DiskLogIndexPending(log.get()));  // reading by offset needs no index
}

}  // namespace
}  // namespace korv::test
