// Reading a record of the log and decoding it through the product module.

#include "log_internal.h"
#include "log_record_read.h"
#include "logmodel/decoded_record.h"
#include "logmodel/record_time.h"
#include "platform/codepage.h"
#include "product/module_requests.h"
#include "raw_record.h"

bool DecodeRecord(CLog& log, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                  std::vector<std::uint8_t>& block) {
  return log.DecodeUnder(log.m_decodingLock, recordType, payload, block);
}

bool CLog::DecodeUnder(std::mutex& lock, std::uint32_t recordType, std::span<const std::uint8_t> payload,
                       std::vector<std::uint8_t>& block, const korv::HeldInstance* held) {
  block.clear();
  // A corrupted placeholder has no payload worth showing; its row is made without cells.
  if (recordType == 0) return false;
  const std::uint32_t flags = m_nFlags;
  if (!(flags & 0xA)) return false;
  std::lock_guard<std::mutex> guard(lock);
  // Outside a lane's block the instance is held for this request only.
  std::shared_ptr<korv::ModuleInstance> instance;
  korv::HeldInstance own;
  if (held == nullptr || !*held) {
    instance = Instance();
    own = korv::HeldInstance(instance.get());
    held = &own;
  }
  intptr_t result;
  if (flags & 0x8) {
    const bool mac = (flags & 0x80000000u) != 0;
    result = korv::RequestDecode2(*held, m_nTypeId, payload, m_nViewMode, korv::MakeParamRecord(m_bServer, mac),
                                  block);
  } else {
    result = korv::RequestDecode1(*held, m_nTypeId, recordType, m_nViewMode, payload, block);
  }
  if (result != 0) {
    block.clear();
    return false;
  }
  return true;
}

bool CLog::DecodeOrRaw(std::mutex& lock, std::int32_t record, const RecordRead& read,
                       std::vector<std::uint8_t>& block, bool& raw, const korv::HeldInstance* held) {
  raw = false;
  if (read.type == 0) {
    block.clear();
    return false;
  }
  if (!m_bRaw && !read.damaged && DecodeUnder(lock, read.type, read.payload, block, held) &&
      RowCount(DecodedBlock(block)) > 0)
    return true;
  // Nothing the module could read (it failed, or gave no row), or nothing asked of it: the
  // record's own bytes stand for it, so that no record is left out of the list.
  raw = true;
  korv::RawRecord facts;
  facts.record = record;
  facts.type = read.type;
  facts.kindName = KindNameOf(read.type);
  facts.time = read.time;
  facts.damaged = read.damaged;
  const std::size_t columns = std::size_t(GetColumnCount());
  const std::size_t dataColumns = m_nViewMode == LOG_VIEW_LIST && columns > 0 ? columns - 1 : columns;
  korv::MakeRawBlock(facts, read.payload, m_bRaw, m_nViewMode, dataColumns, block);
  return true;
}

std::u16string_view CLog::KindNameOf(std::uint32_t type) const {
  for (const auto& [recordType, name] : m_kindNames)
    if (recordType == type) return name;
  return {};
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
  out.damaged = read.damaged;
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
  if (IsDirectory())
    return ReadDirectoryRecord(static_cast<const REC_INFO_DIR&>(row).fileName, buffer, read) &&
           DecodeRecord(*this, read.type, read.payload, block);
  const std::int32_t record = m_nFixedRecord >= 0 ? m_nFixedRecord : row.record;
  bool raw = false;
  return ReadRecord(record, buffer, read) && DecodeOrRaw(m_decodingLock, record, read, block, raw);
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
