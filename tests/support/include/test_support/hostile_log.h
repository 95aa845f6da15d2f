#pragma once
// Writes damaged and hostile log files byte by byte from the file format, without the
// stand-in writer: a header whose every field can be set, then pieces (records whose
// every header field can lie, runs of zeros, raw bytes) back to back. Fields left unset
// take the values a sound writer would give, so a case states only its damage.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logstore/disklog_format.h"

namespace korv::test {

class HostileLog {
 public:
  using Bytes = std::vector<unsigned char>;

  struct Record {
    std::uint32_t type = 0x00010002;
    Bytes payload;
    std::uint64_t time = 0;
    std::uint32_t flags = 0;
    std::uint32_t aux = 0;
    std::optional<std::uint32_t> number;          // default: its position among the records
    std::optional<std::uint32_t> size;            // default: 36 + payload length
    std::optional<std::uint32_t> magic;           // default: the record magic
    std::optional<std::uint32_t> payload_offset;  // default: 36
  };

  // A placeholder as the repair writes it: type 0, deleted, covering `length` bytes.
  static Record Placeholder(std::uint32_t length, std::uint32_t gap_counter = 0) {
    Record r;
    r.type = kDiskLogPlaceholderType;
    r.flags = kDiskLogRecordDeleted;
    r.aux = gap_counter;
    r.payload.assign(length - kDiskLogRecordHeaderSize, 0);
    return r;
  }

  HostileLog& Add(Record r) {
    Piece p;
    p.record = true;
    p.number = r.number ? *r.number : records_;
    ++records_;
    p.r = std::move(r);
    pieces_.push_back(std::move(p));
    return *this;
  }
  HostileLog& Zeros(std::size_t n) { return Raw(Bytes(n, 0)); }
  HostileLog& Raw(Bytes bytes) {
    Piece p;
    p.bytes = std::move(bytes);
    pieces_.push_back(std::move(p));
    return *this;
  }
  // Marks where the header's data end falls: the end of everything added so far.
  // Without a mark it is the end of the last piece.
  HostileLog& DataEndHere() {
    data_end_mark_ = pieces_.size();
    return *this;
  }

  // Header fields that lie; each overrides the computed value.
  std::optional<std::uint32_t> next_record_number;
  std::optional<std::uint64_t> data_end;
  std::optional<std::uint32_t> header_magic;
  std::uint32_t gap_counter = 0;
  std::uint64_t modification_time = 200;
  std::uint64_t rewrite_time = 100;

  Bytes Build() const {
    Bytes out(kDiskLogHeaderSize, 0);
    std::optional<std::uint64_t> mark;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      if (data_end_mark_ && *data_end_mark_ == i) mark = out.size();
      const Piece& p = pieces_[i];
      if (!p.record) {
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        continue;
      }
      _DISKLOG_RECORD_HEADER h;
      h.magic = p.r.magic.value_or(kDiskLogRecordMagic);
      h.record_size = p.r.size.value_or(std::uint32_t(kDiskLogRecordHeaderSize + p.r.payload.size()));
      h.payload_offset = p.r.payload_offset.value_or(kDiskLogRecordHeaderSize);
      h.record_type = p.r.type;
      h.record_number = p.number;
      h.record_time = p.r.time;
      h.record_flags = p.r.flags;
      h.aux_value = p.r.aux;
      unsigned char bytes[kDiskLogRecordHeaderSize];
      encode_record_header(h, bytes);
      out.insert(out.end(), bytes, bytes + sizeof bytes);
      out.insert(out.end(), p.r.payload.begin(), p.r.payload.end());
    }
    if (data_end_mark_ && *data_end_mark_ >= pieces_.size()) mark = out.size();
    _DISKLOG_HEADER h;
    h.magic = header_magic.value_or(kDiskLogMagic);
    h.header_size = kDiskLogHeaderSize;
    h.next_record_number = next_record_number.value_or(records_);
    h.data_end = data_end.value_or(mark.value_or(out.size()));
    h.creation_time = 100;
    h.modification_time = modification_time;
    h.rewrite_time = rewrite_time;
    h.gap_counter = gap_counter;
    unsigned char header[kDiskLogHeaderSize];
    encode_disklog_header(h, header);
    std::copy(header, header + sizeof header, out.begin());
    return out;
  }

 private:
  struct Piece {
    bool record = false;
    Record r;
    std::uint32_t number = 0;
    Bytes bytes;
  };
  std::vector<Piece> pieces_;
  std::uint32_t records_ = 0;
  std::optional<std::size_t> data_end_mark_;
};

}  // namespace korv::test
