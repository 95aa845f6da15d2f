#include "standin/logfile.h"

#include <algorithm>
#include <cstring>

#include "logstore/record_walk.h"
#include "platform/filetime.h"

namespace korv::standin {
namespace {

using platform::FileError;

// Large writes keep a million small appends within a second or two.
constexpr std::size_t kFlushThreshold = 1 << 20;

}  // namespace

LogFileWriter::~LogFileWriter() { close(); }

FileError LogFileWriter::create(const std::string& path) {
  close();
  if (FileError e = file_.open(path, platform::FileMode::write); e != FileError::ok) return e;
  const platform::FileTime now = platform::filetime_now();
  header_ = {};
  header_.magic = kDiskLogMagic;
  header_.header_size = kDiskLogHeaderSize;
  header_.data_end = kDiskLogHeaderSize;
  header_.creation_time = header_.modification_time = header_.rewrite_time = now;
  max_aux_ = 0;
  max_aux_known_ = true;  // a new log has no records
  if (FileError e = file_.truncate(kDiskLogHeaderSize); e != FileError::ok) return e;
  return write_header();
}

FileError LogFileWriter::open(const std::string& path) {
  close();
  if (FileError e = file_.open(path, platform::FileMode::write); e != FileError::ok) return e;
  unsigned char bytes[kDiskLogHeaderSize] = {};
  std::size_t got = 0;
  if (FileError e = file_.read_at(0, bytes, sizeof bytes, got); e != FileError::ok) return e;
  header_ = decode_disklog_header(bytes);
  max_aux_known_ = false;
  if (got < 4 || header_.magic != kDiskLogMagic) {
    file_.close();
    return FileError::invalid;
  }
  return FileError::ok;
}

FileError LogFileWriter::close() {
  if (!file_.is_open()) return FileError::ok;
  const FileError e = flush();
  file_.close();
  pending_.clear();
  return e;
}

void LogFileWriter::touch(bool rewrite) {
  // Readers compare times for equality: a write within the same clock tick
  // must still produce a new value.
  const platform::FileTime now = platform::filetime_now();
  const platform::FileTime t = std::max(now, header_.modification_time + 1);
  header_.modification_time = t;
  if (rewrite) header_.rewrite_time = std::max(now, header_.rewrite_time + 1);
}

FileError LogFileWriter::write_header() {
  unsigned char bytes[kDiskLogHeaderSize];
  encode_disklog_header(header_, bytes);
  return file_.write_at(0, bytes, disklog_header_write_size(header_));
}

FileError LogFileWriter::write_pending() {
  if (pending_.empty()) return FileError::ok;
  const std::uint64_t at = header_.data_end - pending_.size();
  if (FileError e = file_.write_at(at, pending_.data(), pending_.size()); e != FileError::ok) return e;
  pending_.clear();
  // Records first, header second: a reader never sees a data end over unwritten bytes.
  return write_header();
}

FileError LogFileWriter::append(const NewRecord& record, std::uint32_t* number) {
  if (!file_.is_open()) return FileError::invalid;
  if (record.payload.size() > UINT32_MAX - kDiskLogRecordHeaderSize) return FileError::invalid;
  const auto size = static_cast<std::uint32_t>(kDiskLogRecordHeaderSize + record.payload.size());
  if (header_.data_end > UINT64_MAX / 2) return FileError::invalid;

  _DISKLOG_RECORD_HEADER h;
  h.magic = kDiskLogRecordMagic;
  h.record_size = size;
  h.payload_offset = kDiskLogRecordHeaderSize;
  h.record_type = record.type;
  h.record_number = header_.next_record_number;
  h.record_time = record.time;
  h.record_flags = record.flags;
  h.aux_value = record.aux;
  const std::size_t at = pending_.size();
  pending_.resize(at + size);
  encode_record_header(h, pending_.data() + at);
  if (!record.payload.empty())
    std::memcpy(pending_.data() + at + kDiskLogRecordHeaderSize, record.payload.data(), record.payload.size());

  if (number) *number = h.record_number;
  max_aux_ = std::max(max_aux_, record.aux);
  ++header_.next_record_number;
  header_.data_end += size;
  touch(false);
  if (pending_.size() >= kFlushThreshold) return write_pending();
  return FileError::ok;
}

std::uint32_t LogFileWriter::next_aux() {
  if (!max_aux_known_ && file_.is_open()) {
    // A walk that stops at damage still counts the records before it; a
    // record past the damage that repeats a value is the file's own fault.
    if (flush() == FileError::ok)
      walk_records(file_, header_, header_.header_size,
                   [&](std::uint64_t, const _DISKLOG_RECORD_HEADER& r) { max_aux_ = std::max(max_aux_, r.aux_value); });
    max_aux_known_ = true;
  }
  return max_aux_ < 0xFFFFFFFEu ? max_aux_ + 1 : 0xFFFFFFFEu;
}

FileError LogFileWriter::flush() {
  if (!file_.is_open()) return FileError::invalid;
  if (FileError e = write_pending(); e != FileError::ok) return e;
  if (FileError e = write_header(); e != FileError::ok) return e;
  return file_.flush();
}

FileError LogFileWriter::records(std::vector<RecordLocation>& out) {
  out.clear();
  if (FileError e = flush(); e != FileError::ok) return e;
  const WalkResult result = walk_records(file_, header_, header_.header_size,
                                         [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& r) {
                                           out.push_back({offset, r});
                                         });
  return result.ok() ? FileError::ok : FileError::io;
}

FileError LogFileWriter::set_flag_at(std::uint64_t offset) {
  unsigned char bytes[kDiskLogRecordHeaderSize];
  std::size_t got = 0;
  if (FileError e = file_.read_at(offset, bytes, sizeof bytes, got); e != FileError::ok) return e;
  if (got < sizeof bytes) return FileError::io;
  _DISKLOG_RECORD_HEADER r = decode_record_header(bytes);
  r.record_flags |= kDiskLogRecordDeleted;
  encode_record_header(r, bytes);
  return file_.write_at(offset, bytes, sizeof bytes);
}

FileError LogFileWriter::mark_deleted(std::uint32_t record_number) {
  std::vector<RecordLocation> all;
  if (FileError e = records(all); e != FileError::ok) return e;
  bool found = false;
  for (const auto& r : all) {
    if (r.header.record_number != record_number) continue;
    if (FileError e = set_flag_at(r.offset); e != FileError::ok) return e;
    found = true;
  }
  if (!found) return FileError::not_found;
  touch(true);
  return flush();
}

FileError LogFileWriter::mark_deleted_at(std::size_t index) {
  std::vector<RecordLocation> all;
  if (FileError e = records(all); e != FileError::ok) return e;
  if (index >= all.size()) return FileError::not_found;
  if (FileError e = set_flag_at(all[index].offset); e != FileError::ok) return e;
  touch(true);
  return flush();
}

FileError LogFileWriter::zero_record(std::uint32_t record_number) {
  std::vector<RecordLocation> all;
  if (FileError e = records(all); e != FileError::ok) return e;
  const auto it = std::find_if(all.begin(), all.end(),
                               [&](const RecordLocation& r) { return r.header.record_number == record_number; });
  if (it == all.end()) return FileError::not_found;
  const std::vector<unsigned char> zeros(it->header.record_size, 0);
  if (FileError e = file_.write_at(it->offset, zeros.data(), zeros.size()); e != FileError::ok) return e;
  touch(true);
  return flush();
}

FileError LogFileWriter::zero_records(std::span<const std::uint32_t> record_numbers) {
  if (FileError e = flush(); e != FileError::ok) return e;
  // A failed walk (an earlier gap) still lists the records before it.
  std::vector<RecordLocation> all;
  walk_records(file_, header_, header_.header_size,
               [&](std::uint64_t offset, const _DISKLOG_RECORD_HEADER& r) { all.push_back({offset, r}); });
  std::vector<const RecordLocation*> targets;
  for (const std::uint32_t n : record_numbers) {
    const auto it = std::find_if(all.begin(), all.end(), [&](const RecordLocation& r) { return r.header.record_number == n; });
    if (it == all.end()) return FileError::not_found;
    targets.push_back(&*it);
  }
  for (const RecordLocation* r : targets) {
    // Never past data end: a damaged size must not make the file grow.
    const std::uint64_t room = header_.data_end > r->offset ? header_.data_end - r->offset : 0;
    const std::vector<unsigned char> zeros(std::min<std::uint64_t>(r->header.record_size, room), 0);
    if (FileError e = file_.write_at(r->offset, zeros.data(), zeros.size()); e != FileError::ok) return e;
  }
  if (targets.empty()) return FileError::ok;
  touch(true);
  return flush();
}

FileError LogFileWriter::set_header(const _DISKLOG_HEADER& header) {
  if (!file_.is_open()) return FileError::invalid;
  if (FileError e = write_pending(); e != FileError::ok) return e;
  header_ = header;
  if (FileError e = write_header(); e != FileError::ok) return e;
  return file_.flush();
}

}  // namespace korv::standin
