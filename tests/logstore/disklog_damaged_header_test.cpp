// Headers whose fields claim what the file cannot be: the log store must
// neither lose the file nor believe the claim.
#include "log_fixture.h"

namespace korv::test {
namespace {

class DiskLogDamagedHeaderTest : public LogTest {};

// A header-size field below 8 does not even cover the magic; the magic must
// still count, so a write open keeps the file instead of recreating it.
TEST_F(DiskLogDamagedHeaderTest, TinyHeaderSizeNeverRecreatesTheLog) {
  for (std::uint32_t header_size : {0u, 3u, 7u}) {
    SCOPED_TRACE(header_size);
    make_log({40, 40});
    patch_u32(path_, 4, header_size);
    const Bytes before = read_bytes(path_);
    {
      DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_WRITE);
      ASSERT_NE(log, nullptr);
      EXPECT_EQ(DiskLogHeader(log.get()).magic, kDiskLogMagic);
      DiskLogRepair(log.get());
    }
    EXPECT_EQ(read_bytes(path_), before);
  }
}

// A record count far beyond what the file holds: the open stays cheap and
// reports the walk's truth.
TEST_F(DiskLogDamagedHeaderTest, HugeRecordCountOpensWithTheRecordsThatExist) {
  make_log({10, 20, 30});
  patch_u32(path_, 8, 0xFFFFFFF0u);
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(DiskLogIndexCount(log.get()), 3u);
}

}  // namespace
}  // namespace korv::test
