#pragma once
// Access to one log file: open (read-only beside a writing product, or
// writable for the repair), the in-memory index built by walking the record
// chain, reading by index or in file order, change detection, repair.
// Plain functions over an opaque handle; failures are small result codes.
//
// Threads: one handle may be shared by several threads. Every function below
// that touches the file position or the index takes the handle's lock itself,
// except DiskLogHasChanged, whose caller holds it (DiskLogLock). The lock is
// recursive, so a holder may call any of the other functions.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "logstore/disklog_format.h"
#include "logstore/tail_scan.h"
#include "platform/file.h"

inline constexpr std::uint32_t DISKLOG_OPEN_WRITE = 0x1;          // read/write, create, make a new log of a headerless file
inline constexpr std::uint32_t DISKLOG_OPEN_INDEX = 0x2;          // build the index at open
inline constexpr std::uint32_t DISKLOG_OPEN_APPEND_BUFFER = 0x4;  // reserve the 64 KiB append buffer
inline constexpr std::uint32_t DISKLOG_OPEN_DELETED = 0x8;        // index deleted records too
// With DISKLOG_OPEN_INDEX: the open does not walk (and so does not fail on a broken chain);
// the index is built by DiskLogBuildIndex, or by the first call that needs it.
inline constexpr std::uint32_t DISKLOG_OPEN_INDEX_LATER = 0x10;

// Result codes of the reading operations (and 4 of DiskLogFlush).
enum DiskLogResult : int {
  kDiskLogOk = 0,
  kDiskLogShortPayload = 3,    // the payload could not be read in full
  kDiskLogWriteFailed = 4,     // DiskLogFlush: a write failed or was short
  kDiskLogNoRecord = 6,        // index out of range, or sequential reading is at the end
  kDiskLogBadRecord = 7,       // no valid record header at the offset
  kDiskLogBufferTooSmall = 8,  // the size needed was stored in the size argument
  kDiskLogNotIndexed = 10,     // opened without DISKLOG_OPEN_INDEX
  // The record header is valid but its payload offset lies inside the header or past the
  // record: only the 36-byte header was stored and the size is 36 (no payload). The record
  // is damaged, the chain is not.
  kDiskLogDamagedPayload = 11,
};

inline constexpr std::size_t kDiskLogAppendBufferSize = 64 * 1024;

struct DiskLogFile;

// Closing flushes pending appends (as DiskLogClose does) and releases the file.
struct DiskLogCloser {
  void operator()(DiskLogFile* file) const noexcept;
};
using DiskLogHandle = std::unique_ptr<DiskLogFile, DiskLogCloser>;

// Opens path. Read-only without DISKLOG_OPEN_WRITE (never locks, the file
// must exist); with it, read/write under the writers' exclusive lock, the
// file created if missing and, when its first four bytes are not the header
// magic, made a new empty 56-byte log. With DISKLOG_OPEN_INDEX the index is
// built by a full walk, and a broken chain fails the open. Never waits for a
// file in use. Returns null on any failure.
DiskLogHandle DiskLogOpen(const std::string& path, std::uint32_t flags);

// Flushes (force false) and releases the handle; handle is null afterwards.
void DiskLogClose(DiskLogHandle& handle);

// Writes pending append-buffer bytes so that they end at the data end; then,
// if anything was pending or force is set, writes the header back
// (min(header size, 56) bytes) and flushes the file. 0, or 4 on a failed write.
int DiskLogFlush(DiskLogFile* file, bool force);

// Reads the record at position index of the index (not its record number)
// into buffer: the 36-byte record header, then the payload. size is the
// buffer's capacity on entry and the bytes stored (36 + payload length) on
// success; on 8 it receives the size needed, which the file has been checked
// to hold (a size field beyond the file's end gives 3 instead, so that no
// caller allocates for a damaged field). A record that is not where the
// index says makes one full rebuild of the index before 7 is answered.
// Bytes of buffer past the stored ones may be overwritten.
int DiskLogReadRecord(DiskLogFile* file, std::size_t index, void* buffer, std::uint32_t& size);

// The record header of position index alone, checked as DiskLogReadRecord
// checks it (0, 6, 7 or 10): for records whose payload is not wanted, such as
// the placeholders of the repair, which may cover gigabytes of zeros.
int DiskLogReadRecordHeader(DiskLogFile* file, std::size_t index, _DISKLOG_RECORD_HEADER& header);

// Payload argument of DiskLogReadNext that steps over a record without reading it.
inline unsigned char disklog_skip_tag;
inline void* const kDiskLogSkip = &disklog_skip_tag;

// Reads the record whose header is at offset and carries record number `number`, without
// the index (the newest records found before the index is built): checked and answered as
// DiskLogReadRecord does, 7 when no such record header is there, never rebuilding anything.
// Both answer kDiskLogDamagedPayload for a record whose payload does not fit it.
int DiskLogReadRecordAt(DiskLogFile* file, std::uint64_t offset, std::uint32_t number, void* buffer,
                        std::uint32_t& size);

// Builds the index of a handle opened with DISKLOG_OPEN_INDEX_LATER by a full walk that
// holds the handle's lock only to take the header and to install the result, so that
// readers by offset are not held up by a walk of millions of records. True when an index
// exists afterwards from a chain that walked cleanly (or was already built); false after
// a broken chain, whose index then holds the records before the break.
bool DiskLogBuildIndex(DiskLogFile* file);
// scan_tail (tail_scan.h) over the handle's file and its header as last read: the newest
// records, up to max_records, without the index and without holding the lock while reading.
std::vector<korv::TailRecord> DiskLogScanTail(DiskLogFile* file, std::size_t max_records);
// True while the index of a DISKLOG_OPEN_INDEX_LATER handle has not been built.
bool DiskLogIndexPending(const DiskLogFile* file);

// Sequential reading in file order, deleted records included. Stores the
// record's type, time and auxiliary value into whichever outputs are given.
// payload null: nothing advances; kDiskLogSkip: steps over the record; a
// buffer: *size is its capacity on entry and the payload length on return
// (8 without advancing when too small; 3 when the record runs past the
// file's end, so that its size field never sizes a buffer; 11, stepped over with *size 0,
// for a record whose payload does not fit it). 6 once the header's next record
// number of records has been read.
int DiskLogReadNext(DiskLogFile* file, std::uint32_t* type, void* payload, std::uint32_t* size,
                    std::uint64_t* time, std::uint32_t* aux);

// Reads the header again and compares its modification time with the held
// one: true when it differs, with *rewritten (if given) set to whether the
// rewrite time differs too. The held header is not changed. False on a
// failed read. The caller holds the lock.
bool DiskLogHasChanged(DiskLogFile* file, bool* rewritten);

// Brings the held header and the index up to date: nothing when unchanged,
// an incremental walk when records were only appended, a full rebuild when
// existing ones were rewritten (or the incremental walk failed). Returns
// whether index positions taken before may now name other records: true
// after a rewrite, and also when an incremental walk failed and the index
// built anew does not begin with the entries the old one had. Without
// DISKLOG_OPEN_INDEX only the header is taken over.
bool DiskLogRefresh(DiskLogFile* file);

// 0 without index; else DiskLogRefresh, then the number of index entries.
int DiskLogRecordCount(DiskLogFile* file);

// Turns every zero-filled gap between valid records into a deleted
// placeholder record of type 0 and writes the updated header back. True when
// the chain reached the data end; false at once for a read-only handle and
// for damage that is not a zero-filled gap of at least 36 bytes. Never moves
// a record or changes the file's length.
bool DiskLogRepair(DiskLogFile* file);

// The handle's lock, for callers of DiskLogHasChanged and for reading the
// accessors below as one consistent state.
void DiskLogLock(DiskLogFile* file);
void DiskLogUnlock(DiskLogFile* file);

class DiskLogLockGuard {
 public:
  explicit DiskLogLockGuard(DiskLogFile* file) : file_(file) { DiskLogLock(file_); }
  ~DiskLogLockGuard() { DiskLogUnlock(file_); }
  DiskLogLockGuard(const DiskLogLockGuard&) = delete;
  DiskLogLockGuard& operator=(const DiskLogLockGuard&) = delete;

 private:
  DiskLogFile* file_;
};

// Read-ahead for passes over many records in file order: while at least one
// scope is held on a handle, DiskLogReadRecord and DiskLogReadNext take their
// bytes from a window of kDiskLogReadAheadSize bytes of the file, read again
// whenever a read leaves it, instead of making one read per record. The
// window may lag the file by the length of the pass, like a pass that ran
// faster; a refresh, a walk, a write or the end of the last scope drops it.
inline constexpr std::size_t kDiskLogReadAheadSize = 1024 * 1024;
void DiskLogBeginReadAhead(DiskLogFile* file);
void DiskLogEndReadAhead(DiskLogFile* file);

class DiskLogReadAheadScope {
 public:
  explicit DiskLogReadAheadScope(DiskLogFile* file) : file_(file) {
    if (file_) DiskLogBeginReadAhead(file_);
  }
  ~DiskLogReadAheadScope() {
    if (file_) DiskLogEndReadAhead(file_);
  }
  DiskLogReadAheadScope(const DiskLogReadAheadScope&) = delete;
  DiskLogReadAheadScope& operator=(const DiskLogReadAheadScope&) = delete;

 private:
  DiskLogFile* file_;
};

// Snapshots of the handle's state; each takes the lock for itself.
std::uint32_t DiskLogOpenFlags(const DiskLogFile* file);
_DISKLOG_HEADER DiskLogHeader(const DiskLogFile* file);     // as last read
korv::platform::FileTime DiskLogFileTime(const DiskLogFile* file);  // file system time at open
std::size_t DiskLogIndexCount(const DiskLogFile* file);
// False when i is not below the index count.
bool DiskLogIndexEntry(const DiskLogFile* file, std::size_t i, _DISKLOG_INDEX_RECORD& entry);
std::uint64_t DiskLogScanPosition(const DiskLogFile* file);  // where the next incremental walk resumes
// Moves every time the index is rebuilt after the open in a way that may move
// positions (a rewrite, a failed incremental walk whose rebuilt index differs
// from the old one, a record that moved under DiskLogReadRecord). A reader
// that keeps index positions across calls compares it to learn that they may
// now name other records, even when another thread's call saw the rebuild.
std::uint64_t DiskLogIndexGeneration(const DiskLogFile* file);

namespace korv {

// Opens a file, retrying while it is missing or held by another writer: it
// sleeps min(remaining, step) ms with step = max(budget / 5, 200) and
// subtracts step from the remaining budget. Budget 0 tries once.
platform::FileError open_with_retry(const std::string& path, platform::FileMode mode,
                                    std::uint32_t wait_budget_ms, platform::File& file);

}  // namespace korv
