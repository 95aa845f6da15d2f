#pragma once
// The background loader of one viewer window: reads the new records of the window's
// CLog (or lists its directory again) into pending arrays of its own and tells the
// window, which moves them into the log with Apply on its own thread. The worker waits
// on events only; the window's one-second timer asks the log whether it changed and
// calls RequestUpdate.
//
// Threads: every public operation is for the window's (user-interface) thread only;
// the worker is the one thread this object starts. The worker never changes the rows
// the user interface reads: the hand-over is Apply, under m_lock, on the window's
// thread. Pause() guarantees that the worker is idle before the window exchanges,
// closes or re-filters its log.
//
// Newest first. A whole log in view mode 1 opened with its index to be built later
// (CLog::SetIndexLater) is loaded from the top of the list down. The walk that builds the
// index starts at once; when it is not done within the page grace, the newest page, found
// backwards from the data end without the index, is handed over as provisional rows (the
// log says so: CLog::RowsProvisional) until the walk confirms that page or, where they
// disagree, its rows replace it. Then the older records fill in behind, handed over in
// growing batches that go in front of the rows it has, so that the rows the user sees keep
// their positions. The worker joins such a batch to a copy of the log's rows itself, with
// their visible list, whenever nothing else waits to be applied, so that Apply only swaps
// them in: a million rows moved on the window's thread would freeze it. Where the load stands
// is the log's CLogLoadState alone.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_notify.h"
#include "logmodel/rec_info.h"
#include "platform/event.h"

class CLog;

// What one hand-over (Apply) did to the log's rows, so that whatever keeps counts or places
// by row (the strip, the selection, the marks) can follow it without recounting.
struct LogApplyResult {
  bool applied = false;        // results were moved into the log and its visible list rebuilt
  bool replaced = false;       // the rows were replaced or emptied: keep nothing by row index
  std::size_t prepended = 0;   // rows inserted before the rows the log had (older records)
  std::size_t appended = 0;    // rows added after them (newer records)
  // The provisional rows (the newest page) were confirmed by the walk: the same rows, now
  // the log's records; whatever held back from them (counts, marks, copy) may act now.
  bool confirmed = false;
};

class CLogUpdaterThread {
 public:
  CLogUpdaterThread();
  // Stop(): the worker has left before the arrays go.
  virtual ~CLogUpdaterThread();
  CLogUpdaterThread(const CLogUpdaterThread&) = delete;
  CLogUpdaterThread& operator=(const CLogUpdaterThread&) = delete;

  // Starts the worker unless one runs; true when one runs afterwards.
  bool Start();
  // Makes a running pass end without posting anything more and returns once the worker
  // is idle; clears an outstanding request. Nothing when no worker runs or no log is set.
  void Pause();
  // Pause(), then the log the worker loads (null for none; not owned, must stay alive
  // and open/closed only while paused) with both pending arrays emptied.
  void SetLog(CLog* log);
  // The receiver of WM_LOG_NOTIFY (null for none). Posts go to it while m_lock is held.
  void SetWindow(ILogNotifySink* window);
  // Asks for a pass; merged into one already asked for and not yet started.
  // Nothing without a log.
  void RequestUpdate();
  // Pause(), empty the pending arrays, make the next pass reload everything when a
  // text search is active, and ask for it. For a changed language, filter or time zone.
  void Rescan();
  // Pause(), make the worker leave and wait for it; clears the log and the pending
  // arrays. Nothing when no worker runs.
  void Stop();
  // On WM_LOG_NOTIFY lParam 0: moves the pending results into the log and rebuilds its
  // visible list. False (results stay pending) without a log, without results, or while
  // the log is being exported. `replaced` (if given) tells whether the log's rows were
  // replaced by a reload rather than extended.
  bool Apply(bool* replaced = nullptr);
  // Apply, saying what changed.
  LogApplyResult ApplyResults();

  // Passes that ended since the log was last set: tells the end of a pass over the log
  // now set from one over a log set before, whose notification may still be queued.
  int PassesCompleted() const;
  // After the filter changed while paused: sets the visibility of the rows handed over
  // and not yet applied by the log's new filter, as its rows were. Rows loaded for a
  // text criterion are re-read instead (Rescan), so only criteria without text count.
  void ReevaluatePending();

  // How long a newest-first load waits for the walk before it shows the provisional page;
  // 0 shows the page before the walk starts. For tests; the default suits a window.
  static constexpr std::chrono::milliseconds kPageGrace{100};
  void SetPageGrace(std::chrono::milliseconds grace) { m_pageGraceMs = int(grace.count()); }

  bool IsRunning() const { return m_worker.joinable(); }
  // A pass is running (the window's progress timer shows the log's progress then).
  bool IsBusy() const;
  CLog* GetLog() const;

 private:
  void WorkerLoop();
  // One pass over the log set at its start; full reloads a file log when a text
  // search is active.
  void RunPass(CLog* log, bool full);
  void FilePass(CLog& log, bool full);
  // The walk that builds the index of a log opened with it to be built later, and the
  // newest page (when `page`) if the walk takes longer than the grace; false when the pass
  // ends there (a pause, or a broken chain).
  bool BuildIndex(CLog& log, bool page);
  // The newest page handed over ahead of the walk; false when a pause ended the pass.
  bool NewestPage(CLog& log);
  // The newest records read through the index replace the rows, confirmed, for the older
  // ones to fill in behind; false when a pause ended the pass.
  bool NewestFromIndex(CLog& log, std::uint32_t total, std::uint64_t rewrite, std::uint64_t generation);
  // The walk's index against the page handed over; false when a pause ended the pass.
  bool ConfirmPage(CLog& log, std::uint64_t rewrite, std::uint64_t generation);
  // The records before the first one handed over, newest first, as one run of records up
  // to the rows: a record that cannot be read stops the fill above it until a later pass.
  // False on a pause.
  bool FillBehind(CLog& log, std::uint32_t total);
  // The walk found the chain broken: the rows go, the log says so.
  void ChainBroken(CLog& log);
  // Empties the pending rows and sets the load state back so that the next pass loads
  // them again. m_lock held.
  void DropPendingLocked();
  // Keeps only the older rows of m_joined, after m_pendingFront's (they are newer), and
  // forgets its copy of the log's rows and its visible list. m_lock held.
  void UnjoinLocked();
  // Forgets the older rows waiting to go in front (m_pendingFront and m_joined). m_lock held.
  void ClearFrontLocked();
  // Whether older rows wait to go in front. m_lock held.
  bool FrontPendingLocked() const { return !m_pendingFront.empty() || m_joined.front > 0; }
  void DirectoryPass(CLog& log);
  // Post to the window unless a pause is in progress. m_lock held.
  void PostLocked(std::intptr_t lParam);

  std::thread m_worker;  // owned; not joinable while no worker runs

  // Manual-reset events, reset by Start.
  korv::platform::Event m_evQuit{korv::platform::EventReset::manual};  // worker must leave
  korv::platform::Event m_evWork{korv::platform::EventReset::manual};  // a pass is asked for
  korv::platform::Event m_evAck{korv::platform::EventReset::manual};   // worker left or saw m_evStop
  korv::platform::Event m_evStop{korv::platform::EventReset::manual};  // an idle worker must acknowledge

  // Guards every member below, and is held while posting so that no post follows a
  // Pause() once it has set m_bStop. Never held while the file is read or decoded.
  mutable std::mutex m_lock;
  CLog* m_pLog = nullptr;                 // not owned; changed only while the worker is idle
  ILogNotifySink* m_pWindow = nullptr;    // not owned
  bool m_bFull = false;                   // the next pass reloads for a text search
  bool m_bRequested = false;              // a pass is asked for and not yet started
  bool m_bResultsReady = false;           // pending results wait for Apply
  bool m_bStop = false;                   // a pause is in progress: end the pass, post nothing
  bool m_bBusy = false;                   // a pass is running
  int m_nPassesCompleted = 0;             // passes ended since SetLog
  std::vector<REC_INFO_BASE> m_pending;   // rows of a file log not yet applied
  std::vector<REC_INFO_BASE> m_pendingFront;  // older rows, to go before the log's rows
  std::int32_t m_frontEnd = 0;            // the record after the last older row pending
  // Older rows joined by the worker in front of a copy of the log's rows, read while no
  // hand-over was pending (so while only the worker could make the log's rows change).
  // Newer pending rows go after them and m_pendingFront (older still) before them.
  struct JoinedRows {
    std::vector<REC_INFO_BASE> rows;  // the older rows, then the log's rows as they were
    std::size_t front = 0;            // how many of `rows` are the older rows
    std::size_t base = 0;             // how many rows the log had when they were copied
    CLog::VisibleList visible;        // VisibleOf(rows), made on the worker
  };
  JoinedRows m_joined;
  // Whether the rows are provisional after the next Apply: as they are, the tail page's
  // (provisional), or the log's records read through the index.
  enum class PendingSource : std::uint8_t { kUnchanged, kTailPage, kIndex };
  PendingSource m_pendingSource = PendingSource::kUnchanged;
  bool m_bClearRows = false;              // the log has no records: Apply empties its rows
  std::vector<REC_INFO_DIR> m_pendingDir; // latest directory listing; kept as the previous one
  std::atomic<int> m_pageGraceMs{int(kPageGrace.count())};  // set while idle, read by passes
};
