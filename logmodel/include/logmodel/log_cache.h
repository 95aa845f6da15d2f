#pragma once
// The decoded records of the rows on screen or about to be, so that a record is decoded
// once for all its rows and cells. Replacement is strictly round-robin in claim order: a
// cache of n slots holds the last n records claimed.
//
// Locking: the user-interface thread and the cache thread both find, claim and fill slots,
// and the updater clears them. m_lock guards next slot, the slot array and every slot's key
// and block. Every member below except Lock() must be called with m_lock held, and a slot
// pointer or reference stays valid only while it is held: hold it from Find or ClaimNext
// through decoding into the slot, setting its key and reading its block, so that no two
// threads fill one slot and no reader sees a slot being refilled. Lookup() does all that.

#include <cstdint>
#include <mutex>
#include <vector>

class CLogCache {
 public:
  struct CACHE_REC {
    std::int32_t key = -1;              // record index held; -1 empty or being filled
    std::vector<std::uint8_t> decoded;  // the decoded record; valid only while key != -1
  };

  CLogCache();
  virtual ~CLogCache() = default;
  CLogCache(const CLogCache&) = delete;
  CLogCache& operator=(const CLogCache&) = delete;

  std::mutex& Lock() { return m_lock; }

  // First slot, in slot order, holding `key`; null when none. A key of -1 finds nothing.
  CACHE_REC* Find(std::int32_t key);
  // The slot at next slot, its key set to -1; next slot advances modulo the slot count.
  // The caller decodes into the block and then sets the key; a failed decode leaves -1.
  CACHE_REC& ClaimNext();
  // Sets the slot count (at least 1). New slots are empty, existing ones keep key and
  // block; next slot becomes 0 when it is no longer below the count.
  void Resize(int count);
  // Every key becomes -1 and next slot 0; the blocks' memory is kept for reuse.
  void Clear();

  int SlotCount() const { return int(m_slots.size()); }
  int NextSlot() const { return m_nNext; }

  // Takes the lock; on a miss claims the next slot and calls fill(block) -> bool, setting
  // the key when it succeeds; then, when the slot holds the record, calls use(block).
  // Answers whether use ran.
  template <class Fill, class Use>
  bool Lookup(std::int32_t key, Fill&& fill, Use&& use) {
    std::lock_guard<std::mutex> guard(m_lock);
    CACHE_REC* slot = Find(key);
    if (!slot) {
      CACHE_REC& claimed = ClaimNext();
      claimed.decoded.clear();
      if (!fill(claimed.decoded)) return false;
      claimed.key = key;
      slot = &claimed;
    }
    use(static_cast<const std::vector<std::uint8_t>&>(slot->decoded));
    return true;
  }

 private:
  std::mutex m_lock;
  int m_nNext = 0;
  std::vector<CACHE_REC> m_slots;
};
