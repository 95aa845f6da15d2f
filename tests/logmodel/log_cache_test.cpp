// The record cache: round-robin claims, resize, clear, failed fills, and two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "logmodel/log_cache.h"

namespace {

// Claims a slot for `key` and fills it with one byte holding the key, as a decode would.
void Fill(CLogCache& cache, int key) {
  CLogCache::CACHE_REC& slot = cache.ClaimNext();
  slot.decoded.assign(1, std::uint8_t(key));
  slot.key = key;
}

// The byte that Fill stored for `key`, or -1 when the key is not cached.
int CachedByte(CLogCache& cache, int key) {
  CLogCache::CACHE_REC* slot = cache.Find(key);
  if (!slot) return -1;
  return slot->decoded.empty() ? -2 : slot->decoded[0];
}

TEST(LogCache, OneSlotHoldsOnlyTheLastRecord) {
  CLogCache cache;
  std::lock_guard<std::mutex> lock(cache.Lock());
  EXPECT_EQ(cache.SlotCount(), 1);
  CLogCache::CACHE_REC* first = &cache.ClaimNext();
  first->key = 4;
  EXPECT_EQ(&cache.ClaimNext(), first);  // slot 0 every time, its key reset
  EXPECT_EQ(first->key, -1);
  EXPECT_EQ(cache.Find(4), nullptr);
  Fill(cache, 5);
  EXPECT_NE(cache.Find(5), nullptr);
  Fill(cache, 6);
  EXPECT_EQ(cache.Find(5), nullptr);
  EXPECT_NE(cache.Find(6), nullptr);
}

TEST(LogCache, ClaimsAreRoundRobinAfterGrowing) {
  CLogCache cache;
  std::lock_guard<std::mutex> lock(cache.Lock());
  cache.Resize(200);
  std::vector<CLogCache::CACHE_REC*> order;
  for (int i = 0; i < 201; ++i) order.push_back(&cache.ClaimNext());
  for (int i = 1; i < 200; ++i) EXPECT_EQ(order[std::size_t(i)], order[0] + i) << i;
  EXPECT_EQ(order[200], order[0]);  // 0, 1, ... 199, 0
}

TEST(LogCache, ResizeKeepsCachedRecords) {
  CLogCache cache;
  std::lock_guard<std::mutex> lock(cache.Lock());
  cache.Resize(3);
  for (int key : {10, 11, 12}) Fill(cache, key);
  cache.Resize(8);
  for (int key : {10, 11, 12}) EXPECT_EQ(CachedByte(cache, key), key);
  EXPECT_EQ(cache.NextSlot(), 0);  // 3 claims on 3 slots wrapped to 0, still below 8
  // Shrinking below next slot resets it.
  Fill(cache, 20);
  Fill(cache, 21);
  Fill(cache, 22);
  EXPECT_EQ(cache.NextSlot(), 3);
  cache.Resize(2);
  EXPECT_EQ(cache.NextSlot(), 0);
  cache.Resize(0);  // never fewer than one slot
  EXPECT_EQ(cache.SlotCount(), 1);
}

TEST(LogCache, ClearEmptiesKeysAndKeepsMemory) {
  CLogCache cache;
  std::lock_guard<std::mutex> lock(cache.Lock());
  cache.Resize(4);
  for (int key : {1, 2, 3}) Fill(cache, key);
  cache.Clear();
  for (int key : {1, 2, 3, -1}) EXPECT_EQ(cache.Find(key), nullptr) << key;
  EXPECT_EQ(cache.NextSlot(), 0);
  EXPECT_GE(cache.ClaimNext().decoded.capacity(), 1u);  // block kept for reuse
}

TEST(LogCache, FailedFillLeavesSlotEmptyUntilItsTurn) {
  CLogCache cache;
  {
    std::lock_guard<std::mutex> lock(cache.Lock());
    cache.Resize(3);
  }
  const auto fail = [](std::vector<std::uint8_t>&) { return false; };
  const auto ok = [](std::vector<std::uint8_t>& b) { b.assign({9}); return true; };
  int used = 0;
  EXPECT_FALSE(cache.Lookup(7, fail, [&](const std::vector<std::uint8_t>&) { ++used; }));
  EXPECT_EQ(used, 0);
  {
    std::lock_guard<std::mutex> lock(cache.Lock());
    EXPECT_EQ(cache.Find(7), nullptr);
    EXPECT_EQ(cache.NextSlot(), 1);  // slot 0 was claimed and stays empty
  }
  EXPECT_TRUE(cache.Lookup(7, ok, [&](const std::vector<std::uint8_t>& b) { used += b[0]; }));
  // A hit does not fill again.
  EXPECT_TRUE(cache.Lookup(7, fail, [&](const std::vector<std::uint8_t>& b) { used += b[0]; }));
  EXPECT_EQ(used, 18);
}

TEST(LogCache, TwoThreadsNeverSeeAnotherRecordsBlock) {
  CLogCache cache;
  {
    std::lock_guard<std::mutex> lock(cache.Lock());
    cache.Resize(5);
  }
  std::atomic<int> wrong{0};
  auto worker = [&](int offset) {
    for (int i = 0; i < 20000; ++i) {
      const int key = (i * 7 + offset) % 13;
      cache.Lookup(
          key,
          [key](std::vector<std::uint8_t>& b) {
            b.assign(64, std::uint8_t(key));
            return true;
          },
          [&](const std::vector<std::uint8_t>& b) {
            for (std::uint8_t v : b)
              if (v != key) ++wrong;
          });
    }
  };
  std::thread a(worker, 0), b(worker, 5);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
