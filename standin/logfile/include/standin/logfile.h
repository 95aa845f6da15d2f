#pragma once
// Writes log files the way the product does: appends in file order, marks
// records deleted, loses records to zero-filled gaps, all under the writers'
// exclusive lock and with the header times that readers rely on: every write
// moves the modification time, every change to an existing record also the
// rewrite time, and each move is at least one tick even if the clock did not.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv::standin {

struct NewRecord {
  std::uint32_t type = 0;
  std::uint64_t time = 0;  // FILETIME
  std::uint32_t flags = 0;
  std::uint32_t aux = 0;
  std::span<const unsigned char> payload;
};

struct RecordLocation {
  std::uint64_t offset = 0;
  _DISKLOG_RECORD_HEADER header;
};

class LogFileWriter {
 public:
  LogFileWriter() = default;
  // Flushes; errors at this point cannot be reported, so call flush() first when they matter.
  ~LogFileWriter();
  LogFileWriter(const LogFileWriter&) = delete;
  LogFileWriter& operator=(const LogFileWriter&) = delete;

  // Makes path a new empty 56-byte log (replacing what it held) and keeps it open.
  platform::FileError create(const std::string& path);
  // Opens an existing log for writing; invalid when it has no header magic.
  platform::FileError open(const std::string& path);
  // Flushes and releases the file.
  platform::FileError close();

  // Appends one record and returns its record number. Buffered: the bytes
  // and the header reach the file at flush(), or when the buffer fills.
  // A payload too long for one record is refused with invalid.
  platform::FileError append(const NewRecord& record, std::uint32_t* number = nullptr);
  // Writes buffered records, then the header, then syncs.
  platform::FileError flush();

  // An auxiliary value that no record of the file has: one more than the
  // largest so far (found by one walk on first use), so that every record a
  // writer appends can be told apart by it. Saturates below 0xFFFFFFFF,
  // which readers take for "no key".
  std::uint32_t next_aux();

  // The records in file order, deleted ones included (flushes first).
  platform::FileError records(std::vector<RecordLocation>& out);

  // Sets the deleted flag of every record with this number; not_found if none.
  platform::FileError mark_deleted(std::uint32_t record_number);
  // Sets the deleted flag of the record at position index in file order.
  platform::FileError mark_deleted_at(std::size_t index);
  // Overwrites the whole record (header and payload) with zeros, as a
  // cut-short write leaves it. Does not touch next record number.
  platform::FileError zero_record(std::uint32_t record_number);
  // Zeros every listed record, all found in one walk: after the first gap a
  // walk cannot pass it, so several gaps must be punched together. Records
  // before an existing gap can still be zeroed. not_found, and nothing
  // changed, when a number is not reached.
  platform::FileError zero_records(std::span<const std::uint32_t> record_numbers);

  // For tests: writes the header exactly as given (min(header size, 56)
  // bytes) and takes it as the held header; times are not bumped.
  platform::FileError set_header(const _DISKLOG_HEADER& header);
  const _DISKLOG_HEADER& header() const { return header_; }

 private:
  platform::FileError write_header();
  platform::FileError write_pending();
  platform::FileError set_flag_at(std::uint64_t offset);
  void touch(bool rewrite);

  platform::File file_;
  _DISKLOG_HEADER header_;
  std::vector<unsigned char> pending_;  // appended records not yet written; they end at data end
  std::uint32_t max_aux_ = 0;          // largest auxiliary value in the file, once known
  bool max_aux_known_ = false;
};

}  // namespace korv::standin
