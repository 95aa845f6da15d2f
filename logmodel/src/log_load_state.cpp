// The transitions of a file log's load.

#include "logmodel/log_load_state.h"

void CLogLoadState::PageShown(std::int32_t first, std::int32_t next, korv::platform::FileTime rewrite) {
  Emptied();
  m_first = first;
  m_next = next;
  m_rewrite = rewrite;
  m_phase = Phase::kProvisionalPage;
}

void CLogLoadState::IndexBuilt(bool holds, std::uint64_t generation) {
  if (m_phase != Phase::kProvisionalPage) return;
  if (!holds) {
    // Whatever was shown goes; the walk's records replace it from record 0.
    m_phase = Phase::kReloading;
    return;
  }
  m_generation = generation;
  m_phase = m_first > 0 ? Phase::kFillingBehind : Phase::kAppending;
}

void CLogLoadState::NewestShown(std::int32_t first, std::int32_t next, korv::platform::FileTime rewrite,
                                std::uint64_t generation) {
  Replaced(next, rewrite, generation);
  m_first = first;
  if (first > 0) m_phase = Phase::kFillingBehind;
}

void CLogLoadState::Replaced(std::int32_t next, korv::platform::FileTime rewrite, std::uint64_t generation) {
  m_first = 0;
  m_next = next;
  m_rewrite = rewrite;
  m_generation = generation;
  // The modification time is taken once the pass has read everything (ModificationSeen).
  m_modification = 0;
  m_phase = Phase::kAppending;
}

void CLogLoadState::Appended(std::int32_t next) {
  if (next > m_next) m_next = next;
}

void CLogLoadState::FilledBehind(std::int32_t first) {
  if (m_phase != Phase::kFillingBehind) return;
  m_first = first;
  if (first <= 0) m_phase = Phase::kAppending;
}

void CLogLoadState::MustReload() {
  if (m_phase == Phase::kNeverLoaded) return;
  m_phase = Phase::kReloading;
}

void CLogLoadState::Emptied() {
  m_first = 0;
  m_next = 0;
  m_rewrite = 0;
  m_modification = 0;
  m_generation = 0;
  m_phase = Phase::kNeverLoaded;
}

void CLogLoadState::Undone(std::int32_t first, std::int32_t next) {
  if (first > m_first) {
    m_first = first;
    if (m_phase == Phase::kAppending) m_phase = Phase::kFillingBehind;
  }
  if (next < m_next) m_next = next;
}
