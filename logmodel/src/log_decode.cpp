// Reading a record of the log and decoding it through the product module.

#include "log_internal.h"
#include "logmodel/decoded_record.h"
#include "logmodel/record_time.h"
#include "platform/codepage.h"
#include "product/module_requests.h"

namespace {

constexpr std::size_t kInitialRecordBuffer = 1024;

}  // namespace

bool DecodeRecord(CLog& log, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                  std::vector<std::uint8_t>& block) {
  block.clear();
  // A corrupted placeholder has no payload worth showing; its row is made without cells.
  if (recordType == 0) return false;
  const std::uint32_t flags = log.m_nFlags;
  if (!(flags & 0xA)) return false;
  const std::shared_ptr<korv::ModuleInstance> instance = log.Instance();
  std::lock_guard<std::mutex> guard(log.m_decodingLock);
  intptr_t result;
  if (flags & 0x8) {
    const bool mac = (flags & 0x80000000u) != 0;
    result = korv::RequestDecode2(instance.get(), log.m_nTypeId, payload, log.m_nViewMode,
                                  korv::MakeParamRecord(log.m_bServer, mac), block);
  } else {
    result = korv::RequestDecode1(instance.get(), log.m_nTypeId, recordType, log.m_nViewMode,
                                  payload, block);
  }
  if (result != 0) {
    block.clear();
    return false;
  }
  return true;
}

bool CLog::ReadRecord(std::int32_t record, std::vector<std::uint8_t>& buffer, RecordRead& out) {
  if (!m_file || record < 0) return false;
  if (buffer.size() < kInitialRecordBuffer) buffer.resize(kInitialRecordBuffer);
  std::uint32_t size = std::uint32_t(buffer.size());
  int result = DiskLogReadRecord(m_file.get(), std::size_t(record), buffer.data(), size);
  if (result == kDiskLogBufferTooSmall) {
    // The store answers the record's size, which it has checked against the file.
    buffer.resize(size);
    size = std::uint32_t(buffer.size());
    result = DiskLogReadRecord(m_file.get(), std::size_t(record), buffer.data(), size);
  }
  if (result != kDiskLogOk || size < kDiskLogRecordHeaderSize || size > buffer.size()) return false;
  const _DISKLOG_RECORD_HEADER header = korv::decode_record_header(buffer.data());
  out.type = header.record_type;
  out.time = header.record_time;
  out.aux = header.aux_value;
  out.deleted = header.is_deleted();
  out.payload = std::span<const std::uint8_t>(buffer.data() + kDiskLogRecordHeaderSize,
                                              size - kDiskLogRecordHeaderSize);
  return true;
}

bool CLog::ReadDirectoryRecord(const std::u16string& fileName, std::vector<std::uint8_t>& buffer,
                               RecordRead& out) {
  const std::string path = m_strPath + korv::platform::utf16_to_utf8(fileName);
  DiskLogHandle file = DiskLogOpen(path, 0);
  if (!file) return false;
  if (DiskLogHeader(file.get()).next_record_number == 0) return false;
  if (buffer.size() < kInitialRecordBuffer) buffer.resize(kInitialRecordBuffer);
  std::uint32_t size = std::uint32_t(buffer.size());
  int result = DiskLogReadNext(file.get(), &out.type, buffer.data(), &size, &out.time, &out.aux);
  if (result == kDiskLogBufferTooSmall) {
    buffer.resize(size);
    size = std::uint32_t(buffer.size());
    result = DiskLogReadNext(file.get(), &out.type, buffer.data(), &size, &out.time, &out.aux);
  }
  if (result != kDiskLogOk || size > buffer.size()) return false;
  out.deleted = false;
  out.payload = std::span<const std::uint8_t>(buffer.data(), size);
  return true;
}

bool CLog::ReadAndDecode(const REC_INFO_BASE& row, std::vector<std::uint8_t>& buffer,
                         std::vector<std::uint8_t>& block) {
  RecordRead read;
  bool ok;
  if (m_nFixedRecord >= 0)
    ok = ReadRecord(m_nFixedRecord, buffer, read);
  else if (IsDirectory())
    ok = ReadDirectoryRecord(static_cast<const REC_INFO_DIR&>(row).fileName, buffer, read);
  else
    ok = ReadRecord(row.record, buffer, read);
  return ok && DecodeRecord(*this, read.type, read.payload, block);
}

namespace korv {

void MakeRowTexts(std::span<const std::uint8_t> block, std::uint32_t row, int viewMode,
                  std::size_t columns, platform::FileTime time, std::vector<std::u16string>& out) {
  out.resize(columns);
  std::size_t c = 0;
  if (viewMode == LOG_VIEW_LIST && columns > 0) {
    out[c].clear();  // reused: the row strings keep their storage from row to row
    AppendRecordTime(time, out[c++]);
  }
  RowCellTexts(block, row, std::span<std::u16string>(out).subspan(c));
}

}  // namespace korv
