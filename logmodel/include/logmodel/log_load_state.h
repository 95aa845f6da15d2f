#pragma once
// How far the load of a file log has come: one state machine, kept by the log and changed
// only by its updater (the worker during a pass, the window's thread while the worker is
// paused), through the named transitions below. A pass looks at the phase alone to decide
// what to read; nothing else remembers where the load stands.
//
//   never loaded --PageShown--> provisional page --IndexBuilt(holds)--> filling behind
//        |                            |                                      |  FilledBehind
//        |                            +--IndexBuilt(refused)--> reloading    v  (record 0)
//        +--Replaced-------------------------------------------------> appending
//   never loaded / reloading --NewestShown--> filling behind (the index's newest records);
//   reloading --Replaced--> appending;  any loaded phase --MustReload--> reloading;
//   any phase --Emptied--> never loaded.
// Appended moves the end of the rows on in filling behind and appending alike.

#include <atomic>
#include <cstdint>

#include "platform/filetime.h"

class CLogLoadState {
 public:
  enum class Phase : std::uint8_t {
    kNeverLoaded,      // nothing handed over since the open, or the rows were emptied
    kProvisionalPage,  // the newest page, found without the index, is handed over unconfirmed
    kFillingBehind,    // the index is built; the rows cover First()..Next()-1, older ones to come
    kAppending,        // the rows cover every record before Next(); only new records are read
    kReloading,        // the rows handed over no longer stand: the next pass replaces them
  };

  Phase GetPhase() const { return m_phase.load(); }
  // The rows handed over cover the records First() .. Next() - 1.
  std::int32_t First() const { return m_first; }
  std::int32_t Next() const { return m_next; }
  // The header's rewrite and modification times, and the index generation, the rows were
  // read under; a pass that finds others knows the file changed.
  korv::platform::FileTime RewriteTime() const { return m_rewrite; }
  korv::platform::FileTime ModificationTime() const { return m_modification; }
  std::uint64_t IndexGeneration() const { return m_generation; }
  // Older records remain to be read behind the rows (a pause or an unreadable record ended
  // the fill): the window's poll asks for another pass. Any thread.
  bool FillPending() const { return m_phase.load() == Phase::kFillingBehind; }

  // never loaded -> provisional page: records first .. next - 1 handed over from the tail page,
  // read while the header's rewrite time was `rewrite`.
  void PageShown(std::int32_t first, std::int32_t next, korv::platform::FileTime rewrite);
  // provisional page -> filling behind (or appending when the page starts at record 0) when
  // the walk's index `holds` the page; -> reloading otherwise.
  void IndexBuilt(bool holds, std::uint64_t generation);
  // never loaded / reloading -> filling behind: the rows were replaced by the index's newest
  // records first .. next - 1, confirmed; the older ones fill in behind.
  void NewestShown(std::int32_t first, std::int32_t next, korv::platform::FileTime rewrite,
                   std::uint64_t generation);
  // never loaded / reloading / any -> appending: the rows were replaced by records 0 .. next - 1.
  void Replaced(std::int32_t next, korv::platform::FileTime rewrite, std::uint64_t generation);
  // Newer records up to next - 1 were added after the rows; the phase stays.
  void Appended(std::int32_t next);
  // filling behind: older records from `first` on were put in front; at record 0 the load
  // is whole (appending).
  void FilledBehind(std::int32_t first);
  // The header's modification time the rows are now current with.
  void ModificationSeen(korv::platform::FileTime modification) { m_modification = modification; }
  // A loaded phase -> reloading: the file was rewritten, its index rebuilt, a reload for a
  // text search asked for, or rows that would have replaced the log's were dropped.
  void MustReload();
  // any -> never loaded: the rows were emptied (an empty file, a broken chain, a closed log),
  // or the page not yet applied was dropped.
  void Emptied();
  // A pause dropped rows not yet applied: the load goes back to what the log has, rows
  // from `first` (older ones dropped) up to `next` (newer ones dropped).
  void Undone(std::int32_t first, std::int32_t next);

 private:
  std::atomic<Phase> m_phase{Phase::kNeverLoaded};  // read by the window's poll
  std::int32_t m_first = 0;
  std::int32_t m_next = 0;
  korv::platform::FileTime m_rewrite = 0;
  korv::platform::FileTime m_modification = 0;
  std::uint64_t m_generation = 0;
};
