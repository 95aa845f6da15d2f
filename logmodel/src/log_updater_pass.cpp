// The updater's passes: the new records of a file log in batches, or a new listing of a
// directory log. Reading and decoding happen outside m_lock; only the hand-over of a
// batch or listing takes it.

#include <algorithm>
#include <chrono>
#include <future>

#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "logstore/disklog.h"
#include "row_storage.h"

namespace {

// View mode 3 loads in batches so that progress can be shown and rows appear early.
constexpr std::int32_t kRecordViewBatch = 2000;
// The newest page: a few screens of rows, read and decoded in a few milliseconds.
constexpr std::size_t kNewestPage = 256;
// Records read per step behind the newest page: each step sets the progress and looks for a
// pause, a few tens of milliseconds apart.
constexpr std::int32_t kFillChunk = 20000;
// The most records handed over behind the rows at once: the list view takes each new row
// on the window's thread (its header, the strip): a few tens of milliseconds at most.
constexpr std::int64_t kMostBehind = 6 * kFillChunk;

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
  using Phase = CLogLoadState::Phase;
  DiskLogFile* file = log.GetFile();
  CLogLoadState& state = log.LoadState();
  // A log opened with its index to be built later is large: it loads from the newest rows down.
  const bool newestFirst = log.GetViewMode() == LOG_VIEW_LIST && log.GetFixedRecord() == -1 && file &&
                           (DiskLogOpenFlags(file) & DISKLOG_OPEN_INDEX_LATER) != 0;
  // The index holds only the records before the break; an ordinary open would have failed,
  // and the window opens the log again that way.
  if (log.IsChainBroken()) return;

  if (file && DiskLogIndexPending(file) && !BuildIndex(log, newestFirst && state.GetPhase() == Phase::kNeverLoaded))
    return;

  bool empty = !file || (DiskLogOpenFlags(file) & DISKLOG_OPEN_INDEX) == 0;
  if (!empty) {
    DiskLogRefresh(file);
    empty = DiskLogIndexCount(file) == 0;
  }
  if (empty) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStop) return;
    m_pending.clear();
    ClearFrontLocked();
    m_bClearRows = true;
    m_pendingSource = PendingSource::kIndex;
    // Nothing is loaded now, so nothing has been seen: a log that comes back with its
    // former header times (a file restored in place) must load again from record 0.
    state.Emptied();
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

  if (state.GetPhase() == Phase::kProvisionalPage && !ConfirmPage(log, rewrite, generation)) return;
  // Any other rewrite time, a lower one too (the clock was set back), means records changed
  // in place; the rows read before stand no longer.
  if (rewrite != state.RewriteTime() || generation != state.IndexGeneration()) state.MustReload();
  if (full && log.IsTextFilterActive() && log.GetFixedRecord() == -1) state.MustReload();

  // Without a provisional page (the walk was quick, or refused the page, or the file was
  // rewritten) the newest rows still come first, read through the index.
  const Phase phase = state.GetPhase();
  if (newestFirst && (phase == Phase::kNeverLoaded || phase == Phase::kReloading) && total > kNewestPage &&
      !NewestFromIndex(log, total, rewrite, generation))
    return;
  if (state.GetPhase() == Phase::kFillingBehind && !FillBehind(log, total)) return;

  const bool batches = log.GetViewMode() == LOG_VIEW_RECORD;
  const std::int32_t batch = batches ? kRecordViewBatch : -1;
  if (batches) log.SetProgress(0.0);
  std::uint32_t start = std::uint32_t(state.Next());

  std::vector<REC_INFO_BASE> rows;
  for (;;) {
    rows.clear();
    const Phase phase = state.GetPhase();
    const bool replace = phase == Phase::kNeverLoaded || phase == Phase::kReloading;
    const std::int32_t from = replace ? 0 : state.Next();
    std::int32_t got = from;
    if (replace) {
      got = log.LoadRecords(rows, 0, batch);
      // The reload runs from record 0, so does its progress.
      start = 0;
    } else if (modification != state.ModificationTime()) {
      got = log.LoadRecords(rows, from, batch);
    }

    {
      std::lock_guard<std::mutex> guard(m_lock);
      // Checked under the lock: once Pause has set stop, nothing more is handed over.
      if (m_bStop) return;
      if (replace) {
        // Everything from record 0 is in the replacing rows, which may be none at all;
        // none of them is read through the tail page.
        if (!rows.empty()) rows.front().flags |= ROW_FLAG_REPLACE;
        m_pending.swap(rows);
        ClearFrontLocked();
        m_bClearRows = m_pending.empty();
        m_pendingSource = PendingSource::kIndex;
        state.Replaced(got, rewrite, generation);
      } else if (got != from) {
        m_pending.insert(m_pending.end(), rows.begin(), rows.end());
        state.Appended(got);
      }
      if (got == from && !replace) break;
      if (batches && total > start)
        log.SetProgress(double(std::uint32_t(got) - start) * 100.0 / double(total - start));
      if (replace || !rows.empty() || !m_pending.empty()) {
        m_bResultsReady = true;
        PostLocked(LOG_NOTIFY_RESULTS);
      }
    }
    // Every record read, or one that cannot be read (the next change tries again).
    if (std::uint32_t(got) >= total || got == from) break;
  }
  state.ModificationSeen(modification);
  if (batches) log.SetProgress(100.0);
}

bool CLogUpdaterThread::BuildIndex(CLog& log, bool page) {
  DiskLogFile* file = log.GetFile();
  const int grace = m_pageGraceMs.load();
  bool built;
  if (!page) {
    built = DiskLogBuildIndex(file);
  } else if (grace <= 0) {
    if (!NewestPage(log)) return false;
    built = DiskLogBuildIndex(file);
  } else {
    // The walk runs on a thread of this call's own, which it waits for before it returns:
    // the walk reads by offset without the file's lock, so the page reads alongside. A walk
    // done within the grace leaves no page to show: the rows come confirmed.
    std::future<bool> walk = std::async(std::launch::async, [file] { return DiskLogBuildIndex(file); });
    bool ended = false;
    if (walk.wait_for(std::chrono::milliseconds(grace)) != std::future_status::ready) ended = !NewestPage(log);
    built = walk.get();
    if (ended) return false;
  }
  if (!built) {
    ChainBroken(log);
    return false;
  }
  return true;
}

bool CLogUpdaterThread::NewestPage(CLog& log) {
  DiskLogFile* file = log.GetFile();
  const _DISKLOG_HEADER header = DiskLogHeader(file);
  // A repaired gap's placeholder carries a number past the records it stands for, so the
  // numbers of the records after it no longer give their index positions: only the walk
  // can place them.
  if (header.gap_counter != 0) return true;
  std::vector<korv::TailRecord> page = DiskLogScanTail(file, kNewestPage);
  // Nothing found (or indices the rows cannot hold): the walk loads as before.
  if (page.empty() || page.back().header.record_number >= std::uint32_t(INT32_MAX)) return true;
  const std::int32_t first = std::int32_t(page.front().header.record_number);
  log.SetTailPage(first, std::move(page));
  std::vector<REC_INFO_BASE> rows;
  const std::int32_t got = log.LoadTailPage(rows);

  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return false;
  if (rows.empty()) return true;
  rows.front().flags |= ROW_FLAG_REPLACE;
  m_pending.swap(rows);
  ClearFrontLocked();
  m_bClearRows = false;
  m_pendingSource = PendingSource::kTailPage;
  // A rewrite after this moment may have changed the page's records in place.
  log.LoadState().PageShown(first, got, header.rewrite_time);
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
  return true;
}

bool CLogUpdaterThread::NewestFromIndex(CLog& log, std::uint32_t total, std::uint64_t rewrite,
                                        std::uint64_t generation) {
  const std::int32_t first = std::int32_t(total - kNewestPage);
  std::vector<REC_INFO_BASE> rows;
  const std::int32_t got = log.LoadRecords(rows, first, std::int32_t(kNewestPage));
  if (log.IsAborted()) return false;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return false;
  // A record that cannot be read among them: the plain load from record 0 takes over.
  if (std::uint32_t(got) < total) return true;
  if (!rows.empty()) rows.front().flags |= ROW_FLAG_REPLACE;
  m_pending.swap(rows);
  ClearFrontLocked();
  m_bClearRows = m_pending.empty();
  m_pendingSource = PendingSource::kIndex;
  log.LoadState().NewestShown(first, got, rewrite, generation);
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
  return true;
}

bool CLogUpdaterThread::ConfirmPage(CLog& log, std::uint64_t rewrite, std::uint64_t generation) {
  DiskLogFile* file = log.GetFile();
  CLogLoadState& state = log.LoadState();
  // The page holds when every record handed over is where the walk found that record
  // index, with the same number, and nothing was rewritten since the page was read.
  bool holds = rewrite == state.RewriteTime();
  for (std::int32_t r = state.First(); holds && r < state.Next(); ++r) {
    korv::TailRecord at;
    _DISKLOG_INDEX_RECORD entry;
    holds = log.TailRecordOf(r, at) && DiskLogIndexEntry(file, std::size_t(r), entry) &&
            entry.file_offset == at.offset && entry.record_number == at.header.record_number;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bStop) return false;
  // Refused, the page stays provisional until the walk's rows replace it.
  state.IndexBuilt(holds, generation);
  if (holds) {
    // The rows stand as they are; from now on they are read through the index.
    m_pendingSource = PendingSource::kIndex;
    m_bResultsReady = true;
    PostLocked(LOG_NOTIFY_RESULTS);
  }
  return true;
}

bool CLogUpdaterThread::FillBehind(CLog& log, std::uint32_t total) {
  CLogLoadState& state = log.LoadState();
  std::int32_t cursor = state.First();
  // Rows go over in batches that at least double what was handed over before, so that
  // putting them in front of the log's rows costs a few copies of the rows in all; but at
  // most kMostBehind records, so that the window's share of a batch (its list and strip
  // take each new row) stays short, or an eighth of what was handed over on a log of many
  // millions: each batch copies all the rows, and fixed batches would copy them quadratically.
  std::int64_t handed = std::int64_t(state.Next()) - cursor;
  std::vector<std::vector<REC_INFO_BASE>> chunks;  // newest chunk first
  std::int32_t chunkEnd = cursor;
  bool blocked = false;  // a record that cannot be read lies just below the cursor
  while (cursor > 0 && !blocked) {
    std::int32_t from = std::max<std::int32_t>(0, cursor - kFillChunk);
    std::vector<REC_INFO_BASE> rows;
    std::int32_t got = log.LoadRecords(rows, from, cursor - from);
    if (log.IsAborted()) return false;
    if (got < cursor) {
      // Record `got` cannot be read. Only the records above it may join the rows, as one run
      // up to them: none between may be skipped. The fill stops there; a later pass goes on.
      blocked = true;
      from = got + 1;
      got = from < cursor ? log.LoadRecords(rows, from, cursor - from) : cursor;
      if (log.IsAborted()) return false;
      if (got < cursor) {
        rows.clear();
        from = cursor;
      }
    }
    cursor = from;
    chunks.push_back(std::move(rows));
    if (total > 0) log.SetProgress(double(total - std::uint32_t(cursor)) * 100.0 / double(total));
    const std::int64_t gathered = std::int64_t(chunkEnd) - cursor;
    const std::int64_t batch = std::min<std::int64_t>(handed, std::max<std::int64_t>(kMostBehind, handed / 8));
    if (gathered < batch && cursor > 0 && !blocked) continue;
    if (gathered == 0) break;

    std::vector<REC_INFO_BASE> older;
    std::size_t size = 0;
    for (const auto& chunk : chunks) size += chunk.size();
    bool join;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_bStop) return false;
      // With nothing pending, the log's rows change only once this thread hands over again
      // (Apply has nothing to apply, a pause waits for this thread): they are read here.
      join = !m_bResultsReady && size > 0;
    }
    const std::size_t base = join ? log.Rows().size() : 0;
    older.reserve(size + base);
    for (auto it = chunks.rbegin(); it != chunks.rend(); ++it) older.insert(older.end(), it->begin(), it->end());
    chunks.clear();
    CLog::VisibleList visible;
    if (join) {
      older.insert(older.end(), log.Rows().begin(), log.Rows().end());
      visible = CLog::VisibleOf(older);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bStop) return false;
    if (!FrontPendingLocked()) m_frontEnd = state.First();
    if (join) {
      m_joined.rows = std::move(older);
      m_joined.front = size;
      m_joined.base = base;
      m_joined.visible = std::move(visible);
    } else if (m_pendingFront.empty()) {
      m_pendingFront.swap(older);
    } else {
      korv::PrependRows(m_pendingFront, older);
    }
    state.FilledBehind(cursor);
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
  ClearFrontLocked();
  m_bClearRows = true;
  m_pendingSource = PendingSource::kIndex;
  log.LoadState().Emptied();
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
  m_bResultsReady = true;
  PostLocked(LOG_NOTIFY_RESULTS);
}
