#include "log_cache_read.h"

#include "log_record_read.h"
#include "logmodel/log.h"
#include "logstore/disklog.h"
#include "platform/codepage.h"

namespace korv {

bool ReadRecordForCache(CLog& log, std::int32_t record, std::vector<std::uint8_t>& buffer,
                        std::vector<std::uint8_t>& block) {
  RecordBytes read;
  TailRecord at;
  if (log.RowTailRecord(record, at)) {
    if (!ReadRecordAt(log.GetFile(), at, buffer, read)) return false;
  } else if (!ReadIndexedRecord(log.GetFile(), record, buffer, read)) {
    return false;
  }
  return DecodeRecord(log, read.header.record_type, read.payload, block);
}

bool ReadDirectoryRecordForCache(CLog& log, const std::u16string& fileName,
                                 std::vector<std::uint8_t>& buffer, std::vector<std::uint8_t>& block) {
  if (fileName.empty() || fileName.find(u'/') != std::u16string::npos) return false;
  const std::string path = log.GetDisplayPath(false) + platform::utf16_to_utf8(fileName);
  DiskLogHandle file = DiskLogOpen(path, 0);
  if (!file) return false;
  RecordBytes read;
  if (!ReadFirstRecord(file.get(), buffer, read)) return false;
  return DecodeRecord(log, read.header.record_type, read.payload, block);
}

}  // namespace korv
