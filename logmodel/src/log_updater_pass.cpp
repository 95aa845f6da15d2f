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
// The newest page: a few screens of rows, read and decoded in a few milliseconds.
constexpr std::size_t kNewestPage = 256;
// Records read per step behind the newest page: each step sets the progress and looks for a
// pause, a few tens of milliseconds apart.
constexpr std::int32_t kFillChunk = 20000;

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
  const bool newestFirst = log.GetViewMode() == LOG_VIEW_LIST && log.GetFixedRecord() == -1;
  // The index holds only the records before the break; an ordinary open would have failed,
  // and the window opens the log again that way.
  if (log.IsChainBroken()) return;

  if (file && DiskLogIndexPending(file)) {
    if (newestFirst && saved.nextRecord == 0 && !saved.provisional && !NewestPage(log)) return;
    if (!DiskLogBuildIndex(file)) {
      ChainBroken(log);
      return;
    }
  }

  bool empty = !file || (DiskLogOpenFlags(file) & DISKLOG_OPEN_INDEX) == 0;
  if (!empty) {
    DiskLogRefresh(file);
    empty = DiskLogIndexCount(file) == 0;
  }
  if (empty) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStop) return;
    m_pending.clear();
    m_pendingFront.clear();
    m_bClearRows = true;
    m_pendingTailState = 0;
    // Nothing is loaded now, so nothing has been seen: a log that comes back with its
    // former header times (a file restored in place) must load again from record 0.
    saved = CLog::UpdaterBookkeeping{};
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

  if (saved.provisional && !ConfirmPage(log, rewrite, generation)) return;

  const bool batches = log.GetViewMode() == LOG_VIEW_RECORD;
  const std::int32_t batch = batches ? kRecordViewBatch : -1;
  if (batches) log.SetProgress(0.0);
  std::uint32_t start = std::uint32_t(saved.nextRecord);

  const bool reload = full && log.IsTextFilterActive() && log.GetFixedRecord() == -1;
  if (reload) {
    saved.rewriteTime = 0;
    saved.modificationTime = 0;
    start = 0;
  }

  if (newestFirst && !reload && saved.firstRecord > 0 && rewrite == saved.rewriteTime &&
      generation == saved.indexGeneration && !FillBehind(log, total))
    return;

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
      if ((rows.front().flags & ROW_FLAG_REPLACE) != 0) {
        m_pending.swap(rows);
        // Everything from record 0 is in the replacing rows; none of them is read
        // through the tail page.
        m_pendingFront.clear();
        saved.firstRecord = 0;
        m_pendingTailState = 0;
      } else {
        m_pending.insert(m_pending.end(), rows.begin(), rows.end());
      }
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

bool CLogUpdaterThread::NewestPage(CLog& log) {
  DiskLogFile* file = log.GetFile();
  const _DISKLOG_HEADER header = DiskLogHeader(file);
  std::vector<korv::TailRecord> page = DiskLogScanTail(file, kNewestPage);
  // Nothing found (or indices the rows cannot hold): the walk loads as before.
  if (page.empty() || page.back().header.record_number >= std::uint32_t(INT32_MAX)) return true;
  const std::int32_t first = std::int32_t(page.front().header.record_number);
  const std::int32_t count = std::int32_t(page.size());
  log.SetTailPage(first, std::move(page));
  std::vector<REC_INFO_BASE> rows;
  log.SetTailForLoads(true);
  log.LoadRecords(rows, first, count);
  log.SetTailForLoads(false);

  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return false;
  if (rows.empty()) return true;
  rows.front().flags |= ROW_FLAG_REPLACE;
  m_pending.swap(rows);
  m_pendingFront.clear();
  m_pendingTailState = 1;
  CLog::UpdaterBookkeeping& saved = log.Bookkeeping();
  saved = CLog::UpdaterBookkeeping{};
  saved.firstRecord = first;
  saved.nextRecord = m_pending.back().record + 1;
  saved.provisional = true;
  // A rewrite after this moment may have changed the page's records in place.
  saved.rewriteTime = header.rewrite_time;
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
  return true;
}

bool CLogUpdaterThread::ConfirmPage(CLog& log, std::uint64_t rewrite, std::uint64_t generation) {
  DiskLogFile* file = log.GetFile();
  CLog::UpdaterBookkeeping& saved = log.Bookkeeping();
  // The page holds when every record handed over is where the walk found that record
  // index, with the same number, and nothing was rewritten since the page was read.
  bool holds = rewrite == saved.rewriteTime;
  for (std::int32_t r = saved.firstRecord; holds && r < saved.nextRecord; ++r) {
    korv::TailRecord at;
    _DISKLOG_INDEX_RECORD entry;
    holds = log.TailRecordOf(r, at) && DiskLogIndexEntry(file, std::size_t(r), entry) &&
            entry.file_offset == at.offset && entry.record_number == at.header.record_number;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return false;
  saved.provisional = false;
  if (holds) {
    // The rows stand as they are; from now on they are read through the index.
    saved.indexGeneration = generation;
    m_pendingTailState = 0;
    m_bResultsReady = true;
    PostLocked(LOG_NOTIFY_RESULTS);
  } else {
    // The walk wins: everything is loaded again from record 0 and replaces the page.
    saved = CLog::UpdaterBookkeeping{};
  }
  return true;
}

bool CLogUpdaterThread::FillBehind(CLog& log, std::uint32_t total) {
  CLog::UpdaterBookkeeping& saved = log.Bookkeeping();
  std::int32_t cursor = saved.firstRecord;
  // Rows go over in batches that at least double what was handed over before, so that
  // putting them in front of the log's rows costs a few copies of the rows in all.
  std::int64_t handed = std::int64_t(saved.nextRecord) - cursor;
  std::vector<std::vector<REC_INFO_BASE>> chunks;  // newest chunk first
  std::int32_t chunkEnd = cursor;
  while (cursor > 0) {
    const std::int32_t from = std::max<std::int32_t>(0, cursor - kFillChunk);
    std::vector<REC_INFO_BASE> rows;
    log.LoadRecords(rows, from, cursor - from);
    if (log.IsAborted()) {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_bStop) return false;
    }
    cursor = from;
    chunks.push_back(std::move(rows));
    if (total > 0) log.SetProgress(double(total - std::uint32_t(cursor)) * 100.0 / double(total));
    const std::int64_t gathered = std::int64_t(chunkEnd) - cursor;
    if (gathered < handed && cursor > 0) continue;

    std::vector<REC_INFO_BASE> joined;
    std::size_t size = 0;
    for (const auto& chunk : chunks) size += chunk.size();
    joined.reserve(size);
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) joined.insert(joined.end(), it->begin(), it->end());
    chunks.clear();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStop) return false;
    if (m_pendingFront.empty()) m_frontEnd = saved.firstRecord;
    m_pendingFront.insert(m_pendingFront.begin(), joined.begin(), joined.end());
    saved.firstRecord = cursor;
    handed += gathered;
    chunkEnd = cursor;
    m_bResultsReady = true;
    PostLocked(LOG_NOTIFY_RESULTS);
  }
  return true;
}

void CLogUpdaterThread::ChainBroken(CLog& log) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return;
  m_pending.clear();
  m_pendingFront.clear();
  m_bClearRows = true;
  m_pendingTailState = 0;
  log.Bookkeeping() = CLog::UpdaterBookkeeping{};
  log.SetChainBroken(true);
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
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
