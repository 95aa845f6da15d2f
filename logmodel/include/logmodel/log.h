#pragma once
// The opened log: one log file, or a directory whose *.dat files are shown one per row.
// It holds the file with its index and the column description, turns records into rows (one
// record may give several), keeps the rows, applies the filter and keeps the visible list with
// its counters, and answers the list's questions: which row is at a position, what a cell
// says, the flags and severity of a row. Each viewer window owns one CLog.
//
// Threads and what guards what. Three threads use one CLog: the user-interface thread, the
// process's cache thread and the window's updater thread.
//  - The file: the DiskLogFile's own lock.
//  - Module requests: the decoding lock (DecodingLock()), held by DecodeRecord around every
//    request. It is always the innermost lock.
//  - The record cache: CLogCache's own lock. The record buffer that cache fills read into
//    (m_cacheRecordBuffer) is guarded by that same lock, so the cell path (user-interface
//    thread) and the cache thread never share a buffer unguarded.
//  - The buffered record (index and block), its record buffer, the cell-text scratch array and
//    the scratch strings of the copy, export and search paths: m_bufferLock, one lock per log.
//    Those paths run on the user-interface thread, but the lock keeps them sound if a worker
//    ever calls them too.
//  - Loading (LoadRecords, LoadFixedRecord, LoadDirectory): every call uses working buffers of
//    its own for reading, decoding and matching, so a load on the updater thread shares no
//    buffer with the other paths. Only one load runs on a log at a time (the updater's pause
//    protocol; a record window loads on its user-interface thread and has no updater).
//  - Rows, directory rows, the visible list and the counters: no lock. The updater replaces
//    them only on the user-interface thread (Apply) or while its worker is paused, so the
//    user-interface paths read them without locking. The cache thread reads a row through
//    GetRow between those replacements. The updater's worker reads the rows (to join older
//    rows in front of a copy) only while no hand-over waits for Apply, when nothing changes them.
//  - Decoding lanes (a load, an export pass, a text re-filter or a find over many rows): each
//    lane has buffers and a decoding lock of its own, owned by the call, so lanes share no
//    buffer with each other or with the paths above. With one lane the call uses the log's
//    decoding lock, as before lanes. Lanes read the rows and the filter only; a re-filter's
//    lanes write the visible bit of disjoint rows.
//  - The flags abort, stop (CancelFind), exporting and the progress value are atomics.
//  - The load state is changed only by the updater; its phase is an atomic the window's
//    poll reads.
//  - The tail page (the newest records found before the index is built): m_tailLock.
//    Whether the rows' records are read through it is one flag, m_bRowsProvisional, set by
//    Apply on the user-interface thread.
// Lock order: m_bufferLock or the cache lock (never both), then the file's lock, then the
// decoding lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "logmodel/filter_data.h"
#include "logmodel/log_cache.h"
#include "logmodel/log_header.h"
#include "logmodel/log_load_state.h"
#include "logmodel/rec_info.h"
#include "logstore/disklog.h"
#include "logstore/tail_scan.h"
#include "platform/filetime.h"
#include "product/held_instance.h"
#include "product/module_manager.h"

namespace korv {
class DirectoryWatch;  // the directory change notification (inotify), log_directory_watch.h
}

inline constexpr int LOG_VIEW_LIST = 1;    // newest row at the top, a time column first
inline constexpr int LOG_VIEW_RECORD = 3;  // file order, no time column

class CLog {
 public:
  // Module requests go to the process's two component holders.
  CLog();
  // Module requests go to `second` (second interface, component 18) and `first` (first
  // interface, component 2); either may be null (no such interface). The holders must
  // outlive the log.
  CLog(korv::ComponentHolder* second, korv::ComponentHolder* first);
  // Closes an open log.
  virtual ~CLog();
  // The log owns a file handle, a change notification and locks.
  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

  // --- Opening and closing -------------------------------------------------------------

  // Resolves `name` (a bare name below the product's Logs directory, or a path) and opens it:
  // a directory log (flags 0x4) gets a trailing '/' and a change notification; a file log is
  // opened with its index, deleted records included. Then the header is built for the type
  // id, flags and view mode (a module failure leaves no columns but does not fail the open).
  // Rows are not loaded. False when a log is already open, the name resolves to nothing or
  // the file does not open; nothing stays open then.
  bool Open(const std::string& name, std::int32_t serviceValue, std::int32_t typeId,
            std::uint32_t flags, const std::string& settingsKey);
  // For the next Open of a file log in view mode 1 without a fixed record and of at least
  // `fromBytes` bytes: the index is not built by the open but by the updater after it has
  // shown the newest page, so the open does not fail on a broken chain; the updater finds
  // it (IsChainBroken). A smaller log is walked by the open as before: its walk takes a
  // few milliseconds, and a broken chain fails the open at once.
  static constexpr std::uint64_t kIndexLaterBytes = 16u << 20;
  void SetIndexLater(bool later, std::uint64_t fromBytes = kIndexLaterBytes) {
    m_bIndexLater = later;
    m_nIndexLaterBytes = fromBytes;
  }
  // The updater's walk found the chain of a log opened with SetIndexLater broken: an
  // ordinary open would have failed. Cleared by Open.
  bool IsChainBroken() const { return m_bChainBroken; }
  void SetChainBroken(bool broken) { m_bChainBroken = broken; }
  // Back to closed: file, change notification, path, kind values, fixed record, load state,
  // buffered record, rows and visible list go; every cache slot is emptied.
  void Close();
  bool IsOpen() const { return m_bOpen; }
  // A directory log: open with flags 0x4.
  bool IsDirectory() const { return m_bOpen && (m_nFlags & 0x4) != 0; }

  // Stores the view mode (1 or 3) in the log and its header; rebuilds the columns when open.
  void SetViewMode(int mode);
  int GetViewMode() const { return m_nViewMode; }
  // The record whose rows alone are shown (a record window); -1 for the whole log. Kept by
  // Open, cleared by Close.
  void SetFixedRecord(std::int32_t record) { m_nFixedRecord = record; }
  std::int32_t GetFixedRecord() const { return m_nFixedRecord; }

  // Polled once a second. Directory log (or no log): the change notification fired since
  // the last call (it is re-armed). File log: the header's modification time changed, or
  // older records remain to be loaded behind the rows (a pause or a record that could not
  // be read ended the fill), so that the window asks for the pass that goes on with it.
  bool HasChanged();

  // --- Loading (the caller owns `rows`; the updater hands them over later) ---------------

  // Appends the rows of records first, first + 1, ... (all remaining for count -1) to `rows`,
  // each matched against the active filter (bit 31). A record that cannot be read ends the
  // load with the rows made so far; abort ends it at once. With count -1 the progress runs
  // from 0 to 100. File logs only. Records are read through the index. Answers the record
  // after the last one whose rows were made (`first` when none was read).
  std::int32_t LoadRecords(std::vector<REC_INFO_BASE>& rows, std::int32_t first, std::int32_t count);
  // The rows of record `record` alone, decoded into the next cache slot. Filter bits come
  // from the following RebuildVisible(true).
  void LoadFixedRecord(std::vector<REC_INFO_BASE>& rows, std::int32_t record);
  // One row per *.dat file of the directory (sub-directories are not rows), reusing the rows
  // of `previous` for files not written since. Progress runs 10 .. 100. Directory logs only.
  void LoadDirectory(std::vector<REC_INFO_DIR>& rows, const std::vector<REC_INFO_DIR>& previous);
  // The visible list from the rows' bit 31 (re-matched against the filter first when
  // `reevaluate`), and the deleted and corrupted counts.
  void RebuildVisible(bool reevaluate);
  // What RebuildVisible(false) makes of a file log's rows, computed from `rows` alone, so that
  // the updater can make it on its own thread for rows it is about to hand over.
  struct VisibleList {
    std::vector<std::int32_t> positions;  // indices of the rows with bit 31, in order
    int deleted = 0;
    int corrupted = 0;
  };
  static VisibleList VisibleOf(const std::vector<REC_INFO_BASE>& rows);
  // Takes the VisibleOf of the rows the log now has, in place of RebuildVisible(false).
  void AdoptVisible(VisibleList&& list);

  // --- Rows and cells (positions are list positions: newest first in view mode 1) ---------

  // The row at a visible position; null outside the visible list. For a directory log the
  // row is a REC_INFO_DIR. Valid until the rows are next replaced.
  const REC_INFO_BASE* GetRow(int position) const;
  // The directory row at a visible position; null for a file log or outside the list.
  const REC_INFO_DIR* GetDirectoryRow(int position) const;
  // The row's flags; false when there is no such row.
  bool GetRowFlags(int position, std::uint32_t& flags) const;
  // The class bit of the row's level (LevelClass); false when there is no such row.
  bool GetRowLevelClass(int position, std::uint32_t& levelClass) const;
  // One cell for the list, through the record cache (decoding on a miss). View mode 1:
  // column 0 is the record time, column c the cell c - 1. False with an empty text when the
  // row or column does not exist, or the log kind is neither decoded nor shown raw; true with
  // an empty text when the record cannot be read (a record the module refuses has its raw
  // row's cells).
  bool GetCellText(int position, int column, std::u16string& text);
  // One text per header column (the time text first in view mode 1), through the buffered
  // record. Missing cells are empty, cells beyond the columns dropped. False when the row does
  // not exist or its record cannot be read or decoded.
  bool GetRowCells(int position, std::vector<std::u16string>& cells);
  // The same as GetRowCells; the record window's copy commands use it.
  bool GetRowCellsLimited(int position, std::vector<std::u16string>& cells);
  // The row as one line: the cells of GetRowCells joined by one TAB each.
  bool GetRowText(int position, std::u16string& line);
  // The record time of the row at `position` as its date text and time text (XML export).
  bool GetRowDateTime(int position, std::u16string& date, std::u16string& time) const;
  // The file name of a directory row; empty for a file log or outside the list.
  std::u16string GetDirectoryRowFile(int position) const;

  // For the cache thread: makes sure the record of the row at `position` (or the fixed
  // record) is in the cache, reading and decoding it on a miss. False when there is no such
  // row or the record cannot be read or decoded.
  bool CacheRow(int position);

  // --- Columns and identity ------------------------------------------------------------

  // Number of header columns, 0 when closed.
  int GetColumnCount() const;
  // The column description (titles and proposed widths).
  const CLogHeader& GetHeader() const { return m_header; }
  // Rebuilds the columns from the module (after a language change); false leaves none.
  bool RebuildHeader();
  std::string GetSettingsKey() const { return m_bOpen ? m_strSettingsKey : std::string(); }
  // The full path (a directory with a trailing '/'); with `relative` and a path below the
  // product's Logs directory, the part after "<AppDataDir>Logs/".
  std::string GetDisplayPath(bool relative) const;
  bool IsRelative() const { return m_bRelative; }
  std::int32_t GetServiceValue() const { return m_nServiceValue; }
  std::int32_t GetTypeId() const { return m_nTypeId; }
  std::uint32_t GetFlags() const { return m_nFlags; }
  // Open and its rows have cells: the kind is decoded by the module (flags 0x2 or 0x8), or
  // the log is shown raw.
  bool IsDecodable() const { return m_bOpen && ((m_nFlags & 0xA) != 0 || m_bRaw); }
  // Show every record of a file log raw (its time, Record, Kind, Size and readable Texts)
  // instead of asking the module: takes effect when the columns are next built (Open,
  // SetViewMode, RebuildHeader). A file log is shown raw anyway when the module gives no
  // columns for it (no module loaded, a kind it does not describe).
  void SetRawRecords(bool raw) { m_bRawRequested = raw; }
  bool IsRawRequested() const { return m_bRawRequested; }
  // The open file log's rows are raw rows: its columns are the raw columns.
  bool IsRaw() const { return m_bOpen && m_bRaw; }

  // --- Counters for the status bar ------------------------------------------------------

  int GetVisibleCount() const { return int(m_visible.size()); }
  // Rows of a file log, or directory rows of a directory log.
  int GetTotalCount() const;
  int GetDeletedCount() const { return m_nDeleted; }
  int GetCorruptedCount() const { return m_nCorrupted; }

  // --- Filter and search ----------------------------------------------------------------

  // Makes `filter` the active filter (the text lower-cased unless case-sensitive, relative
  // periods fixed now) and re-evaluates the rows when that needs no decoding: without a text
  // criterion, or for a fixed record. Otherwise the caller has the rows re-read in the
  // background. The updater must be paused while this runs.
  void SetFilter(const CLogFilterData& filter);
  const CLogFilterData& GetFilter() const { return m_filter; }
  // True when the active filter has a text criterion (a column mask and a text).
  bool IsTextFilterActive() const;
  // The row predicate: deleted, type, time, then the text in the selected columns. `texts`
  // are the row's column texts as the list shows them; null makes the log produce them
  // (a row whose texts cannot be produced does not match). The criteria's text must already
  // be lower-cased when they are case-insensitive (SetFilter and FindRecord do that).
  bool MatchRecord(const CLogFilterData& filter, const REC_INFO_BASE& row,
                   const std::vector<std::u16string>* texts = nullptr);
  bool MatchRecord(const CLogFilterData& filter, const REC_INFO_DIR& row,
                   const std::vector<std::u16string>* texts = nullptr);
  // The next visible position after `start` (-1: none selected) that matches `filter`, going
  // up or down and wrapping, the start itself last; -1 when none matches or CancelFind was
  // set. Every 1000 rows the find pump runs (the window lets its message loop handle one
  // message there) and the cancel flag is tested.
  int FindRecord(const CLogFilterData& filter, int start, bool upwards);
  // Ends a running FindRecord at its next check (the Stop command).
  void CancelFind() { m_bStop = true; }
  bool IsFindCancelled() const { return m_bStop; }
  // How far the running (or last) FindRecord got: the percentage of the visible rows it has
  // examined, 0 to 100, for the window's status bar while the pump runs.
  int GetFindProgress() const;
  // The hook FindRecord calls every 1000 rows; empty for none.
  void SetFindPump(std::function<void()> pump) { m_findPump = std::move(pump); }

  // --- Updater and export hand-over -----------------------------------------------------

  // Abort makes a running load return at its next record or file.
  void SetAbort(bool abort) { m_bAbort = abort; }
  bool IsAborted() const { return m_bAbort; }
  // Progress of the running load, 0.0 .. 100.0 (the status bar reads it).
  double GetProgress() const { return m_progress; }
  void SetProgress(double progress) { SetProgressValue(progress); }
  // Called with every progress value a load sets (on the loading thread); empty for none.
  void SetProgressObserver(std::function<void(double)> observer) {
    m_progressObserver = std::move(observer);
  }
  // One pass for an export that needs each row once (korvlog): every record of a file log
  // read and decoded once, in list order (newest first in view mode 1, file order in view
  // mode 3), its rows filtered as LoadRecords does, and `visit` called for each row the
  // filter passes with its column texts, or null for a corrupted record's row, which has
  // none. `visit` answers false to stop. No rows are kept and the log's rows are left as
  // they are. `progress` (may be empty) gets the percentage of records read. Answers the
  // number of records that could not be read or decoded (gave no row, or the module refused
  // them and their raw rows stand for them), or -1
  // for a log the pass does not cover: closed, a directory log or a fixed record. The abort
  // flag (SetAbort) ends it within a block of records; IsAborted then tells the rows were cut.
  // When a step of the pass fails (out of memory, a throwing `visit`), the pass stops there
  // and answers -2, with what failed in `failure` (may be null).
  using ExportRowVisit =
      std::function<bool(const REC_INFO_BASE& row, const std::vector<std::u16string>* texts)>;
  std::int64_t ExportPass(const ExportRowVisit& visit, const std::function<void(double)>& progress,
                          std::string* failure = nullptr);
  // The same pass with each visible row's output made on the lanes too: `format` gets a row
  // with texts and appends its bytes to an empty string, on several threads at once (it must
  // write nothing it shares); a corrupted record's row, without texts, gets no bytes. `write`
  // then takes the bytes on the calling thread in list order (`texts` says whether the row
  // had texts), false to stop.
  using ExportRowFormat = std::function<void(const REC_INFO_BASE& row, const std::vector<std::u16string>& texts,
                                             std::string& bytes)>;
  using ExportBytesVisit = std::function<bool(const REC_INFO_BASE& row, const std::string& bytes, bool texts)>;
  std::int64_t ExportPassFormatted(const ExportRowFormat& format, const ExportBytesVisit& write,
                                   const std::function<void(double)>& progress, std::string* failure = nullptr);

  // Set by the export while it reads the rows; the updater's Apply leaves results pending.
  void SetExporting(bool exporting) { m_bExporting = exporting; }
  bool IsExporting() const { return m_bExporting; }

  // The rows, for the updater's Apply and the record window's load (user-interface thread,
  // updater idle). RebuildVisible afterwards.
  std::vector<REC_INFO_BASE>& Rows() { return m_rows; }
  const std::vector<REC_INFO_BASE>& Rows() const { return m_rows; }
  std::vector<REC_INFO_DIR>& DirectoryRows() { return m_dirRows; }
  const std::vector<REC_INFO_DIR>& DirectoryRows() const { return m_dirRows; }
  // Indices into the rows (or directory rows) that pass the filter, in row order.
  const std::vector<std::int32_t>& Visible() const { return m_visible; }
  // How far the updater's load has come; changed only by the updater.
  CLogLoadState& LoadState() { return m_loadState; }
  const CLogLoadState& LoadState() const { return m_loadState; }
  // The open file (null for a directory log or when closed), for the updater's refresh and
  // header times; the handle stays the log's.
  DiskLogFile* GetFile() const { return m_file.get(); }
  CLogCache& GetCache() { return m_cache; }
  // Held around every module request of this log.
  std::mutex& DecodingLock() { return m_decodingLock; }

  // --- The newest page before the index (log_tail.cpp) ---------------------------------

  // The records the tail scan found, taken to be records first, first + 1, ... Updater
  // thread; the page is replaced only while no row reads through it.
  void SetTailPage(std::int32_t first, std::vector<korv::TailRecord> records);
  // The rows of the tail page's records, read by their offsets, filtered as LoadRecords
  // does (updater thread). Answers as LoadRecords.
  std::int32_t LoadTailPage(std::vector<REC_INFO_BASE>& rows);
  // User-interface thread (Apply): the rows now shown are the tail page's, which the walk
  // has not confirmed, or no longer are (the page is dropped then). This one flag decides
  // where the records of the rows are read from (cells, cache, filter, find): the page's
  // offsets while provisional, the index otherwise. Nothing that keeps, copies or reports
  // rows as the log's records may act on provisional rows.
  void SetRowsProvisional(bool on);
  bool RowsProvisional() const { return m_bRowsProvisional; }
  // The tail page's record `record` when the rows are provisional; false otherwise.
  bool RowTailRecord(std::int32_t record, korv::TailRecord& out) const;
  // The tail page's record `record`; false when the page does not hold it.
  bool TailRecordOf(std::int32_t record, korv::TailRecord& out) const;

 private:
  friend bool DecodeRecord(CLog& log, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                           std::vector<std::uint8_t>& block);
  struct RecordRead;  // one record read from the file: header values and payload
  struct LoadScratch;  // working buffers of one load call
  struct Lane;         // one decoding lane's buffers and lock
  struct LaneBlock;    // one block of records as a lane read and decoded it

  // Decodes as DecodeRecord does, holding `lock` (a lane's, or the log's) for the request,
  // through `held` when it holds the module (a lane's block), else through Instance().
  bool DecodeUnder(std::mutex& lock, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                   std::vector<std::uint8_t>& block, const korv::HeldInstance* held = nullptr);
  // The block of record `record`'s rows: the raw block when the log is shown raw, when the
  // payload is damaged or when the module refuses it (`raw` set then), else the module's.
  // False only for a placeholder (type 0), which has no cells.
  bool DecodeOrRaw(std::mutex& lock, std::int32_t record, const RecordRead& read,
                   std::vector<std::uint8_t>& block, bool& raw, const korv::HeldInstance* held = nullptr);
  // The name of the log kind whose records carry `type`; empty when none does.
  std::u16string_view KindNameOf(std::uint32_t type) const;
  // `lanes` lanes; with one, its requests take the log's decoding lock.
  std::unique_ptr<Lane[]> MakeLanes(int lanes);
  // Where a read takes a record from: as the rows say (RowsProvisional), the index, or the
  // tail page.
  enum class RecordSource { kShown, kIndex, kTailPage };
  // Reads record r into the block (its bytes appended); false when it cannot be read.
  bool ReadIntoBlock(Lane& lane, std::int32_t r, LaneBlock& block, RecordSource source);
  // LoadRecords with records read from `source`.
  std::int32_t LoadFrom(RecordSource source, std::vector<REC_INFO_BASE>& rows, std::int32_t first,
                        std::int32_t count);
  // The rows of one read record as the load makes them, filtered; appended to `out`. True
  // when a raw row stands for a record that could not be decoded: the module refused it, or
  // its payload does not fit it.
  bool RowsOfRecord(Lane& lane, const LaneBlock& block, std::size_t entry, std::size_t columns,
                    std::vector<REC_INFO_BASE>& out);
  // The row predicate with the lane's buffers: the record decoded once for its rows, its texts
  // tested in place. A row whose record cannot be read or decoded does not match.
  bool LaneMatches(Lane& lane, const CLogFilterData& filter, const REC_INFO_BASE& row, std::size_t columns);
  // ExportPass and ExportPassFormatted: `visit`, or `format` and `write`.
  std::int64_t RunExportPass(const ExportRowVisit* visit, const ExportRowFormat* format,
                             const ExportBytesVisit* write, const std::function<void(double)>& progress,
                             std::string* failure);
  // RebuildVisible's re-evaluation of a file log's rows with a text criterion, on lanes.
  // False when a step failed: the rows' visible flags are then not all evaluated.
  bool RefilterOnLanes(int lanes);
  // FindRecord over a file log with a text criterion, on lanes: the position found, -1 for
  // none or a stop, -2 when a step failed.
  int FindOnLanes(int lanes, const CLogFilterData& criteria, int start, bool upwards);

  void SetProgressValue(double progress);
  // Reading record r of a file log into `buffer` (grown on request) from `source`. False on
  // any failure.
  bool ReadRecord(std::int32_t record, std::vector<std::uint8_t>& buffer, RecordRead& out,
                  RecordSource source = RecordSource::kShown);
  // Records a load from `source` may read: the end of the tail page, or the index's count.
  std::int64_t LoadableRecordCount(RecordSource source);
  // The first record of a directory row's file, read in file order.
  bool ReadDirectoryRecord(const std::u16string& fileName, std::vector<std::uint8_t>& buffer,
                           RecordRead& out);
  // Reads and decodes the record of a row (the fixed record if set; a directory row's file's
  // first record) into `block`.
  bool ReadAndDecode(const REC_INFO_BASE& row, std::vector<std::uint8_t>& buffer,
                     std::vector<std::uint8_t>& block);
  // The decoded block of the row's record in the buffered record (m_bufferLock held).
  bool BufferRecord(const REC_INFO_BASE& row);
  // The row's column texts as the list shows them, through the buffered record
  // (m_bufferLock held).
  bool RowTexts(const REC_INFO_BASE& row, std::vector<std::u16string>& cells);
  // Visible-list entry of a position; -1 when outside.
  int EntryOfPosition(int position) const;
  // Cache key of a row: the fixed record if set, else the row's record index.
  std::int32_t KeyOf(const REC_INFO_BASE& row) const;
  // The module instance for this log's interface; null when there is none.
  std::shared_ptr<korv::ModuleInstance> Instance() const;
  // The holder whose instance decodes this log's records; null when none.
  korv::ComponentHolder* DecodingHolder() const;
  // The row of one listed file; false when the file gets no row.
  bool LoadDirectoryRow(const std::string& name, korv::platform::FileTime lastWrite,
                        const REC_INFO_DIR* previous, LoadScratch& scratch, REC_INFO_DIR& row);

  std::mutex m_decodingLock;  // serialises this log's module requests (DecodeRecord)
  CLogHeader m_header;
  CLogCache m_cache;
  std::vector<std::uint8_t> m_cacheRecordBuffer;  // guarded by m_cache.Lock()

  std::mutex m_bufferLock;  // guards the members down to m_scratchTexts
  std::int32_t m_nBufferedRecord = -1;  // record index (or directory entry) of m_bufferedBlock
  std::vector<std::uint8_t> m_bufferedBlock;
  std::vector<std::uint8_t> m_recordBuffer;
  std::vector<std::u16string> m_cellTexts;
  std::u16string m_scratchTexts;

  DiskLogHandle m_file;
  bool m_bOpen = false;
  bool m_bRelative = false;
  bool m_bServer = false;  // the product's server edition, for the module's parameter record
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bExporting{false};
  std::string m_strPath;
  std::int32_t m_nServiceValue = 0;
  std::int32_t m_nTypeId = 0;
  std::uint32_t m_nFlags = 0;
  int m_nViewMode = LOG_VIEW_LIST;
  std::int32_t m_nFixedRecord = -1;
  std::string m_strSettingsKey;
  CLogFilterData m_filter;
  CLogLoadState m_loadState;
  std::unique_ptr<korv::DirectoryWatch> m_changeWatch;
  std::vector<REC_INFO_BASE> m_rows;
  std::vector<REC_INFO_DIR> m_dirRows;
  std::vector<std::int32_t> m_visible;
  int m_nDeleted = 0;
  int m_nCorrupted = 0;
  std::atomic<bool> m_bAbort{false};
  std::atomic<double> m_progress{0.0};

  bool m_bRawRequested = false;  // SetRawRecords
  // The columns are the raw columns: set with the header (a language change rebuilds it) while
  // the cache thread and lanes may read it.
  std::atomic<bool> m_bRaw{false};
  // Record type and the name of the kind whose records carry it, from the log-type table at
  // Open; read by the lanes while no Open runs.
  std::vector<std::pair<std::uint32_t, std::u16string>> m_kindNames;

  korv::ComponentHolder* m_secondHolder;
  korv::ComponentHolder* m_firstHolder;
  bool m_bIndexLater = false;
  std::uint64_t m_nIndexLaterBytes = kIndexLaterBytes;
  std::atomic<bool> m_bChainBroken{false};  // set by the updater, read by the window
  // The tail page: written by the updater while nothing reads it, read by loads, cells and
  // the cache thread; m_tailLock guards the two members below it.
  mutable std::mutex m_tailLock;
  std::int32_t m_tailFirst = 0;
  std::vector<korv::TailRecord> m_tail;
  std::atomic<bool> m_bRowsProvisional{false};  // written by Apply, read by every reader
  std::function<void()> m_findPump;
  // Rows the running FindRecord has examined, of how many; the calling thread's alone.
  long long m_nFindExamined = 0;
  long long m_nFindRows = 0;
  std::function<void(double)> m_progressObserver;
};

// Decodes one record's payload through the module interface of the log's kind (the second,
// flags 0x8, before the first, 0x2), holding the log's decoding lock for the request. Record
// type 0 is never decoded. False when the kind has neither flag or the module fails; `block`
// holds the decoded record on success.
bool DecodeRecord(CLog& log, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                  std::vector<std::uint8_t>& block);
