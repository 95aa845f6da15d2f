// The updater's passes: the new records of a file log in batches, or a new listing of a
// directory log. Reading and decoding happen outside m_lock; only the hand-over of a
// batch or listing takes it.

#include <algorithm>

#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "logstore/disklog.h"

namespace {

// View mode 3 loads in batches so that progress can be shown and rows appear early.
constexpr std::int32_t kRecordViewBatch = 2000;

}  // namespace

void CLogUpdaterThread::RunPass(CLog* log, bool full) {
  // The answer does not matter here; for a directory log the call re-arms the notification.
  log->HasChanged();
  if (log->IsOpen() && !log->IsDirectory())
    FilePass(*log, full);
  else
    DirectoryPass(*log);
}

void CLogUpdaterThread::FilePass(CLog& log, bool full) {
  DiskLogFile* file = log.GetFile();
  CLog::UpdaterBookkeeping& saved = log.Bookkeeping();

  bool empty = !file || (DiskLogOpenFlags(file) & DISKLOG_OPEN_INDEX) == 0;
  if (!empty) {
    DiskLogRefresh(file);
    empty = DiskLogIndexCount(file) == 0;
  }
  if (empty) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStop) return;
    m_pending.clear();
    saved.nextRecord = 0;
    // Nothing is loaded now, so nothing has been seen: a log that comes back with its
    // former header times (a file restored in place) must load again from record 0.
    saved.rewriteTime = 0;
    saved.modificationTime = 0;
    saved.indexGeneration = 0;
    m_bResultsReady = true;
    PostLocked(LOG_NOTIFY_RESULTS);
    return;
  }

  // The index is bounded by the int record indices of the rows.
  const std::size_t count = DiskLogIndexCount(file);
  const std::uint32_t total = std::uint32_t(std::min<std::size_t>(count, INT32_MAX));
  const _DISKLOG_HEADER header = DiskLogHeader(file);
  const std::uint64_t modification = header.modification_time;
  const std::uint64_t rewrite = header.rewrite_time;
  // A rebuilt index (a failed incremental walk, seen by this pass or by another thread's
  // read) may be shorter than the rows loaded from the old one: reload as after a rewrite.
  const std::uint64_t generation = DiskLogIndexGeneration(file);

  const bool batches = log.GetViewMode() == LOG_VIEW_RECORD;
  const std::int32_t batch = batches ? kRecordViewBatch : -1;
  if (batches) log.SetProgress(0.0);
  std::uint32_t start = std::uint32_t(saved.nextRecord);

  if (full && log.IsTextFilterActive() && log.GetFixedRecord() == -1) {
    saved.rewriteTime = 0;
    saved.modificationTime = 0;
    start = 0;
  }

  std::vector<REC_INFO_BASE> rows;
  for (;;) {
    rows.clear();
    if (rewrite > saved.rewriteTime || generation != saved.indexGeneration) {
      log.LoadRecords(rows, 0, batch);
      if (!rows.empty()) rows.front().flags |= ROW_FLAG_REPLACE;
      // The reload runs from record 0, so does its progress.
      start = 0;
    } else if (modification > saved.modificationTime) {
      log.LoadRecords(rows, saved.nextRecord, batch);
    }

    std::uint32_t next;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      // Checked under the lock: once Pause has set stop, nothing more is handed over.
      if (m_bStop) return;
      if (rows.empty()) break;
      if ((rows.front().flags & ROW_FLAG_REPLACE) != 0)
        m_pending.swap(rows);
      else
        m_pending.insert(m_pending.end(), rows.begin(), rows.end());
      saved.nextRecord = m_pending.back().record + 1;
      saved.rewriteTime = rewrite;
      saved.indexGeneration = generation;
      next = std::uint32_t(saved.nextRecord);
      if (batches && total > start)
        log.SetProgress(double(next - start) * 100.0 / double(total - start));
      m_bResultsReady = true;
      PostLocked(LOG_NOTIFY_RESULTS);
    }
    if (next >= total) break;
  }
  saved.modificationTime = modification;
  if (batches) log.SetProgress(100.0);
}

void CLogUpdaterThread::DirectoryPass(CLog& log) {
  // m_pendingDir is written only by this thread, under m_lock; reading it here is safe.
  std::vector<REC_INFO_DIR> listing;
  log.LoadDirectory(listing, m_pendingDir);

  std::stable_sort(listing.begin(), listing.end(),
                   [](const REC_INFO_DIR& a, const REC_INFO_DIR& b) { return a.time < b.time; });
  for (std::size_t i = 0; i < listing.size(); ++i) listing[i].record = std::int32_t(i);

  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return;
  m_pendingDir = std::move(listing);
  log.Bookkeeping().nextRecord = std::int32_t(m_pendingDir.size());
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
}
