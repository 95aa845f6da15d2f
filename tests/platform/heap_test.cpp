#include "platform/heap.h"

#include <gtest/gtest.h>

#include <cstdlib>

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace korv::platform {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KORV_SANITIZED_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORV_SANITIZED_HEAP 1
#endif

#if defined(__GLIBC__) && !defined(KORV_SANITIZED_HEAP)

// glibc alone: a sanitizer's allocator answers mallinfo2 with nothing.
TEST(Heap, BlocksAfterALargerFreedOneStillGetMappingsOfTheirOwn) {
  ASSERT_TRUE(ReturnLargeBlocksToSystem());
  // Without the setting, freeing a mapped 4 MiB block lifts the threshold past 300 KiB and
  // the next such block would come from the heap.
  void* large = std::malloc(4 << 20);
  ASSERT_NE(large, nullptr);
  std::free(large);
  const std::size_t mapped = mallinfo2().hblks;
  void* block = std::malloc(300 << 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(mallinfo2().hblks, mapped + 1);
  std::free(block);
  EXPECT_EQ(mallinfo2().hblks, mapped);
}

#endif

}  // namespace
}  // namespace korv::platform
