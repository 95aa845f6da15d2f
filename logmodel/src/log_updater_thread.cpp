// The updater's public operations, the worker loop and Apply. The passes themselves are
// in log_updater_pass.cpp.

#include "logmodel/log_updater_thread.h"

#include <array>

#include "logmodel/log.h"
#include "row_storage.h"

using korv::platform::Event;

CLogUpdaterThread::CLogUpdaterThread() = default;

CLogUpdaterThread::~CLogUpdaterThread() { Stop(); }

bool CLogUpdaterThread::Start() {
  if (m_worker.joinable()) return true;
  // A worker that left signalled acknowledge; start from clean events.
  m_evQuit.reset();
  m_evWork.reset();
  m_evAck.reset();
  m_evStop.reset();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStop = false;
    m_bBusy = false;
    // A request made before the start is kept: otherwise it would swallow every later one.
    if (m_bRequested) m_evWork.set();
  }
  m_worker = std::thread([this] { WorkerLoop(); });
  return m_worker.joinable();
}

void CLogUpdaterThread::Pause() {
  CLog* log;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    log = m_pLog;
    if (!m_worker.joinable() || !log) return;
    m_bStop = true;
    log->SetAbort(true);
    m_evStop.set();
  }
  // The worker acknowledges only once it is idle, so no pass runs past this wait.
  m_evAck.wait();
  m_evAck.reset();
  m_evStop.reset();
  std::lock_guard<std::mutex> guard(m_lock);
  m_bStop = false;
  log->SetAbort(false);
  m_bRequested = false;
}

void CLogUpdaterThread::SetLog(CLog* log) {
  Pause();
  std::lock_guard<std::mutex> guard(m_lock);
  DropPendingLocked();
  if (log != m_pLog) {
    m_pendingSource = PendingSource::kUnchanged;
    m_bClearRows = false;
  }
  m_pLog = log;
  m_pendingDir.clear();
  // Results of the old log must not be applied to the new one.
  m_bResultsReady = false;
  m_nPassesCompleted = 0;
}

int CLogUpdaterThread::PassesCompleted() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_nPassesCompleted;
}

void CLogUpdaterThread::ReevaluatePending() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_pLog || m_bBusy) return;
  CLog& log = *m_pLog;
  if (log.IsTextFilterActive()) return;
  // The joined copy of the log's rows has their old bits.
  UnjoinLocked();
  const CLogFilterData& filter = log.GetFilter();
  auto visit = [&](auto& rows) {
    for (auto& row : rows) {
      if (log.MatchRecord(filter, row, nullptr))
        row.flags |= ROW_FLAG_VISIBLE;
      else
        row.flags &= ~ROW_FLAG_VISIBLE;
    }
  };
  visit(m_pending);
  visit(m_pendingFront);
  visit(m_pendingDir);
}

void CLogUpdaterThread::SetWindow(ILogNotifySink* window) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pWindow = window;
}

void CLogUpdaterThread::RequestUpdate() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_pLog || m_bRequested) return;
  m_bRequested = true;
  m_evWork.set();
}

void CLogUpdaterThread::Rescan() {
  Pause();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    DropPendingLocked();
    m_pendingDir.clear();
    // A confirmation of the rows still goes over, rows or not.
    m_bResultsReady = m_pendingSource == PendingSource::kIndex || m_bClearRows;
    m_bFull = true;
  }
  RequestUpdate();
}

void CLogUpdaterThread::Stop() {
  if (!m_worker.joinable()) return;
  Pause();
  m_evQuit.set();
  m_evAck.wait();
  m_worker.join();
  m_evQuit.reset();
  m_evWork.reset();
  m_evAck.reset();
  m_evStop.reset();
  std::lock_guard<std::mutex> guard(m_lock);
  DropPendingLocked();
  m_pLog = nullptr;
  m_pendingSource = PendingSource::kUnchanged;
  m_bClearRows = false;
  m_pendingDir.clear();
  m_bResultsReady = false;
  m_bRequested = false;
}

bool CLogUpdaterThread::IsBusy() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_bBusy;
}

CLog* CLogUpdaterThread::GetLog() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_pLog;
}

void CLogUpdaterThread::DropPendingLocked() {
  if (m_pLog != nullptr) {
    CLogLoadState& state = m_pLog->LoadState();
    const bool replacing = !m_pending.empty() && (m_pending.front().flags & ROW_FLAG_REPLACE) != 0;
    if (m_pendingSource == PendingSource::kTailPage) {
      // The page goes before the window saw it: the next pass starts the load afresh.
      state.Emptied();
      m_pendingSource = PendingSource::kUnchanged;
    } else if (replacing) {
      // The rows that would have replaced the log's are gone: load everything again.
      state.MustReload();
    } else {
      // Older and newer rows not applied are read again by the next pass.
      state.Undone(FrontPendingLocked() ? m_frontEnd : state.First(),
                   m_pending.empty() ? state.Next() : m_pending.front().record);
    }
  }
  m_pending.clear();
  ClearFrontLocked();
}

void CLogUpdaterThread::UnjoinLocked() {
  if (m_joined.front == 0) return;
  m_joined.rows.resize(m_joined.front);
  if (!m_pendingFront.empty()) korv::PrependRows(m_joined.rows, m_pendingFront);
  m_pendingFront.swap(m_joined.rows);
  m_joined = JoinedRows{};
}

void CLogUpdaterThread::ClearFrontLocked() {
  korv::ReleaseRows(m_pendingFront);
  m_joined = JoinedRows{};
}

void CLogUpdaterThread::PostLocked(std::intptr_t lParam) {
  if (m_pWindow && !m_bStop) m_pWindow->PostLogNotify(lParam);
}

void CLogUpdaterThread::WorkerLoop() {
  // The order matters: with work and stop both set the work event is taken (and dropped,
  // as stop is set) first, so an acknowledged pause leaves no stale request behind.
  const std::array<Event*, 3> events{&m_evQuit, &m_evWork, &m_evStop};
  for (;;) {
    const std::size_t index = korv::platform::wait_any(events);
    if (index == 0) break;
    if (index == 1) {
      CLog* log;
      bool full;
      {
        std::lock_guard<std::mutex> guard(m_lock);
        m_evWork.reset();
        if (m_bStop) continue;
        m_bBusy = true;
        m_bRequested = false;
        log = m_pLog;
        full = m_bFull;
        m_bFull = false;
        if (log) log->SetAbort(false);
      }
      if (log) RunPass(log, full);
      std::lock_guard<std::mutex> guard(m_lock);
      m_bBusy = false;
      if (log == m_pLog) ++m_nPassesCompleted;
      PostLocked(LOG_NOTIFY_PASS_END);
    } else if (index == 2) {
      m_evStop.reset();
      m_evAck.set();
    }
  }
  m_evAck.set();
}

bool CLogUpdaterThread::Apply(bool* replaced) {
  const LogApplyResult result = ApplyResults();
  if (replaced) *replaced = result.replaced;
  return result.applied;
}

namespace {

// The rows the log will hold once the fill behind ends, when `rows` rows cover the records
// the load has read so far: the records still to read at the rows per record seen. Room for
// them is made once, so that the later fills prepend in place.
std::size_t RowsToCome(CLog& log, std::size_t rows) {
  const CLogLoadState& state = log.LoadState();
  const std::int64_t read = std::int64_t(state.Next()) - state.First();
  if (!state.FillPending() || read <= 0 || state.First() <= 0) return rows;
  return rows + std::size_t(double(state.First()) * double(rows) / double(read) + 1.0);
}

}  // namespace

LogApplyResult CLogUpdaterThread::ApplyResults() {
  LogApplyResult result;
  CLog* log;
  CLog::VisibleList visible;
  bool adopt = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    log = m_pLog;
    if (!log || !m_bResultsReady || log->IsExporting()) return result;
    m_bResultsReady = false;
    if (log->IsOpen() && !log->IsDirectory()) {
      std::vector<REC_INFO_BASE>& rows = log->Rows();
      const bool replace = !m_pending.empty() && (m_pending.front().flags & ROW_FLAG_REPLACE) != 0;
      if (replace || m_bClearRows) {
        // Cached records of the old rows may stand for other records now.
        std::lock_guard<std::mutex> cacheGuard(log->GetCache().Lock());
        log->GetCache().Clear();
        result.replaced = true;
      }
      bool swapped = false;  // the rows the worker joined are the log's rows now
      if (replace) {
        m_pending.front().flags &= ~ROW_FLAG_REPLACE;
        rows.swap(m_pending);
      } else {
        // Emptied (the file emptied, or a reload read no row), then whatever came after.
        if (m_bClearRows) rows.clear();
        if (m_joined.front > 0 && !m_bClearRows && rows.size() == m_joined.base) {
          rows.swap(m_joined.rows);
          swapped = true;
        }
        korv::AppendRows(rows, m_pending);
        if (!result.replaced) result.appended = m_pending.size();
      }
      // Older records go in front; the rows shown newest first keep their positions.
      // The log's rows changed after the worker copied them: only its older rows go over.
      if (!swapped) UnjoinLocked();
      const std::size_t front = (swapped ? m_joined.front : 0) + m_pendingFront.size();
      if (!m_pendingFront.empty())
        korv::PrependRows(rows, m_pendingFront, RowsToCome(*log, rows.size() + m_pendingFront.size()));
      if (!result.replaced) result.prepended = front;
      // The worker's visible list holds when nothing joined the rows after it was made.
      if (swapped && m_pending.empty() && m_pendingFront.empty()) {
        visible = std::move(m_joined.visible);
        adopt = true;
      }
      if (m_pendingSource != PendingSource::kUnchanged) {
        const bool provisional = m_pendingSource == PendingSource::kTailPage;
        result.confirmed = log->RowsProvisional() && !provisional && !result.replaced;
        log->SetRowsProvisional(provisional);
      }
      m_pendingSource = PendingSource::kUnchanged;
      m_bClearRows = false;
      // Not kept for the next batch: after a reload m_pending holds the old rows, and after a
      // fill the front held up to half of them (or, swapped, all the log's old rows).
      korv::ReleaseRows(m_pending);
      ClearFrontLocked();
    } else {
      {
        std::lock_guard<std::mutex> cacheGuard(log->GetCache().Lock());
        log->GetCache().Clear();
      }
      log->DirectoryRows() = m_pendingDir;
      result.replaced = true;
    }
  }
  if (adopt)
    log->AdoptVisible(std::move(visible));
  else
    log->RebuildVisible(false);
  result.applied = true;
  return result;
}
