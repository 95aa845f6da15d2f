#include "logmodel/log_cache.h"

CLogCache::CLogCache() : m_slots(1) {}

CLogCache::CACHE_REC* CLogCache::Find(std::int32_t key) {
  if (key == -1) return nullptr;  // a slot being filled must never be found
  for (CACHE_REC& slot : m_slots)
    if (slot.key == key) return &slot;
  return nullptr;
}

CLogCache::CACHE_REC& CLogCache::ClaimNext() {
  CACHE_REC& slot = m_slots[std::size_t(m_nNext)];
  slot.key = -1;
  m_nNext = (m_nNext + 1) % int(m_slots.size());
  return slot;
}

void CLogCache::Resize(int count) {
  if (count < 1) count = 1;  // next slot must stay below the slot count
  m_slots.resize(std::size_t(count));
  if (m_nNext >= count) m_nNext = 0;
}

void CLogCache::Clear() {
  for (CACHE_REC& slot : m_slots) slot.key = -1;
  m_nNext = 0;
}
