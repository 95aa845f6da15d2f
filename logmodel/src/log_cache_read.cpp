#include "log_cache_read.h"

#include <span>

#include "logmodel/log.h"
#include "logstore/disklog.h"
#include "platform/codepage.h"

namespace korv {
namespace {

constexpr std::uint32_t kFirstBufferSize = 1024;

}  // namespace

bool ReadRecordForCache(CLog& log, std::int32_t record, std::vector<std::uint8_t>& buffer,
                        std::vector<std::uint8_t>& block) {
  DiskLogFile* file = log.GetFile();
  if (!file || record < 0) return false;
  if (buffer.size() < kFirstBufferSize) buffer.resize(kFirstBufferSize);
  std::uint32_t size = std::uint32_t(buffer.size());
  int result = DiskLogReadRecord(file, std::size_t(record), buffer.data(), size);
  if (result == kDiskLogBufferTooSmall) {
    buffer.resize(size);
    size = std::uint32_t(buffer.size());
    result = DiskLogReadRecord(file, std::size_t(record), buffer.data(), size);
  }
  if (result != kDiskLogOk || size < kDiskLogRecordHeaderSize || size > buffer.size()) return false;
  const _DISKLOG_RECORD_HEADER header = decode_record_header(buffer.data());
  const std::span<const std::uint8_t> payload(buffer.data() + kDiskLogRecordHeaderSize,
                                              size - kDiskLogRecordHeaderSize);
  return DecodeRecord(log, header.record_type, payload, block);
}

bool ReadDirectoryRecordForCache(CLog& log, const std::u16string& fileName,
                                 std::vector<std::uint8_t>& buffer, std::vector<std::uint8_t>& block) {
  if (fileName.empty() || fileName.find(u'/') != std::u16string::npos) return false;
  const std::string path = log.GetDisplayPath(false) + platform::utf16_to_utf8(fileName);
  DiskLogHandle file = DiskLogOpen(path, 0);
  if (!file) return false;
  if (DiskLogHeader(file.get()).next_record_number == 0) return false;
  if (buffer.size() < kFirstBufferSize) buffer.resize(kFirstBufferSize);
  std::uint32_t type = 0;
  std::uint32_t size = std::uint32_t(buffer.size());
  int result = DiskLogReadNext(file.get(), &type, buffer.data(), &size, nullptr, nullptr);
  if (result == kDiskLogBufferTooSmall) {
    buffer.resize(size);
    size = std::uint32_t(buffer.size());
    result = DiskLogReadNext(file.get(), &type, buffer.data(), &size, nullptr, nullptr);
  }
  if (result != kDiskLogOk || size > buffer.size()) return false;
  return DecodeRecord(log, type, std::span<const std::uint8_t>(buffer.data(), size), block);
}

}  // namespace korv
