// Reading a record of the log and decoding it through the product module.

#include "log_internal.h"
#include "log_record_read.h"
#include "logmodel/decoded_record.h"
#include "logmodel/record_time.h"
#include "platform/codepage.h"
#include "product/module_requests.h"

bool DecodeRecord(CLog& log, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                  std::vector<std::uint8_t>& block) {
  return log.DecodeUnder(log.m_decodingLock, recordType, payload, block);
}

bool CLog::DecodeUnder(std::mutex& lock, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                       std::vector<std::uint8_t>& block) {
  block.clear();
  // A corrupted placeholder has no payload worth showing; its row is made without cells.
  if (recordType == 0) return false;
  const std::uint32_t flags = m_nFlags;
  if (!(flags & 0xA)) return false;
  const std::shared_ptr<korv::ModuleInstance> instance = Instance();
  std::lock_guard<std::mutex> guard(lock);
  intptr_t result;
  if (flags & 0x8) {
    const bool mac = (flags & 0x80000000u) != 0;
    result = korv::RequestDecode2(instance.get(), m_nTypeId, payload, m_nViewMode,
                                  korv::MakeParamRecord(m_bServer, mac), block);
  } else {
    result = korv::RequestDecode1(instance.get(), m_nTypeId, recordType, m_nViewMode, payload, block);
  }
  if (result != 0) {
    block.clear();
    return false;
  }
  return true;
}

bool CLog::ReadRecord(std::int32_t record, std::vector<std::uint8_t>& buffer, RecordRead& out,
                      RecordSource source) {
  korv::RecordBytes read;
  korv::TailRecord at;
  const bool page = source == RecordSource::kTailPage ||
                    (source == RecordSource::kShown && m_nFixedRecord < 0 && m_bRowsProvisional);
  if (page) {
    // A provisional row's record is never looked up in the index: building it here would
    // stall the caller, and it may place the record elsewhere.
    if (!TailRecordOf(record, at) || !korv::ReadRecordAt(m_file.get(), at, buffer, read)) return false;
  } else if (!korv::ReadIndexedRecord(m_file.get(), record, buffer, read)) {
    return false;
  }
  out.type = read.header.record_type;
  out.time = read.header.record_time;
  out.aux = read.header.aux_value;
  out.deleted = read.header.is_deleted();
  out.payload = read.payload;
  return true;
}

bool CLog::ReadDirectoryRecord(const std::u16string& fileName, std::vector<std::uint8_t>& buffer,
                               RecordRead& out) {
  const std::string path = m_strPath + korv::platform::utf16_to_utf8(fileName);
  DiskLogHandle file = DiskLogOpen(path, 0);
  if (!file) return false;
  korv::RecordBytes read;
  if (!korv::ReadFirstRecord(file.get(), buffer, read)) return false;
  out.type = read.header.record_type;
  out.time = read.header.record_time;
  out.aux = read.header.aux_value;
  out.deleted = false;
  out.payload = read.payload;
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
