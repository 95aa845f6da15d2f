#include "logmodel/line_export_writer.h"

#include <iterator>
#include <string_view>

#include "logmodel/record_time.h"
#include "logmodel/severity.h"
#include "logmodel/text_formats.h"
#include "output_buffer.h"

namespace korv {
namespace {

// The fixed members, in the order each object carries them; no column may take their names.
constexpr std::u16string_view kFixedMembers[] = {u"time", u"filetime", u"severity",  u"log", u"record",
                                                 u"row",  u"deleted",  u"corrupted", u"raw"};

void AppendAscii(std::string_view text, std::string& out) { out.append(text.data(), text.size()); }

void AppendSeverity(const REC_INFO_BASE& info, std::string& out, bool json) {
  const bool corrupted = (info.flags & ROW_FLAG_CORRUPTED) != 0;
  // The Type column's text: a raw row has no severity.
  const std::u16string_view name =
      !corrupted && (info.flags & ROW_FLAG_RAW) ? u"Raw" : SeverityName(corrupted, LevelClass(info.level));
  if (json)
    AppendJsonString(name, out);
  else
    AppendCsvField(name, out);
}

}  // namespace

struct LineExportWriter::Buffer : OutputBuffer {};

LineExportWriter::LineExportWriter(LineFormat format, const std::vector<std::u16string>& titles,
                                   const std::string& logKey, ExportSink& sink, LineEnd ends)
    : format_(format),
      columns_(titles.size()),
      csvLineEnd_(ends == LineEnd::kLf ? "\n" : "\r\n"),
      sink_(sink),
      buffer_(std::make_unique<Buffer>()) {
  if (format_ == LineFormat::kJsonLines) {
    for (const std::u16string& name : UniqueMemberNames(kFixedMembers, titles)) {
      std::string member = ",";
      AppendJsonString(name, member);
      member.push_back(':');
      members_.push_back(std::move(member));
    }
    logMember_ = ",\"log\":";
    // The settings key is ASCII in every kind the table knows; any other byte is taken as
    // Latin-1 so the member stays valid UTF-8 whatever the key holds.
    std::u16string key;
    for (const char c : logKey) key.push_back(char16_t(static_cast<unsigned char>(c)));
    AppendJsonString(key, logMember_);
    return;
  }
  // The same names as the JSON members, so that a reader that keys columns by name (DuckDB,
  // pandas) meets no duplicate: the list view's own time column becomes "Time_2".
  constexpr std::u16string_view kFixedColumns[] = {u"Time", u"FileTime", u"Severity"};
  std::vector<std::u16string> header(std::begin(kFixedColumns), std::end(kFixedColumns));
  for (std::u16string& name : UniqueMemberNames(kFixedColumns, titles)) header.push_back(std::move(name));
  AppendCsvRecord(header, bytes_);
  bytes_ += csvLineEnd_;
  buffer_->Append(bytes_);
}

LineExportWriter::~LineExportWriter() = default;

void LineExportWriter::JsonRow(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells) {
  std::string& b = bytes_;
  AppendAscii("{\"time\":", b);
  const std::size_t at = b.size();
  b.push_back('"');
  if (AppendIsoRecordTime(info.time, b))
    b.push_back('"');
  else
    b.resize(at), AppendAscii("null", b);
  AppendAscii(",\"filetime\":", b);
  b += std::to_string(info.time);
  AppendAscii(",\"severity\":", b);
  AppendSeverity(info, b, true);
  b += logMember_;
  AppendAscii(",\"record\":", b);
  b += std::to_string(info.record);
  AppendAscii(",\"row\":", b);
  b += std::to_string(info.row);
  AppendAscii((info.flags & ROW_FLAG_DELETED) ? ",\"deleted\":true" : ",\"deleted\":false", b);
  AppendAscii((info.flags & ROW_FLAG_CORRUPTED) ? ",\"corrupted\":true" : ",\"corrupted\":false", b);
  AppendAscii((info.flags & ROW_FLAG_RAW) ? ",\"raw\":true" : ",\"raw\":false", b);
  for (std::size_t c = 0; c < columns_; ++c) {
    b += members_[c];
    AppendJsonString(c < cells.size() ? std::u16string_view(cells[c]) : std::u16string_view(), b);
  }
  AppendAscii("}\n", b);
}

void LineExportWriter::CsvRow(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells) {
  std::string& b = bytes_;
  AppendIsoRecordTime(info.time, b);  // an empty field without a calendar date
  b.push_back(',');
  b += std::to_string(info.time);
  b.push_back(',');
  AppendSeverity(info, b, false);
  for (std::size_t c = 0; c < columns_; ++c) {
    b.push_back(',');
    if (c < cells.size()) AppendCsvField(cells[c], b);
  }
  b += csvLineEnd_;
}

bool LineExportWriter::Row(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells) {
  if (!ok_) return false;
  bytes_.clear();
  if (format_ == LineFormat::kJsonLines)
    JsonRow(info, cells);
  else
    CsvRow(info, cells);
  if (buffer_->NeedsFlush(bytes_.size(), 0) && !buffer_->Flush(sink_)) {
    ok_ = false;
    return false;
  }
  buffer_->Append(bytes_);
  ++stats_.written;
  return true;
}

int LineExportWriter::Finish() {
  if (!ok_) return kExportWriteFailed;
  if (!buffer_->Flush(sink_) || !sink_.Finish()) return kExportWriteFailed;
  return kExportOk;
}

int WriteLineExport(ExportRows& rows, LineFormat format, const std::vector<std::u16string>& titles,
                    const std::string& logKey, ExportSink& sink, const ExportProgress& progress,
                    ExportStats* stats, LineEnd ends) {
  LineExportWriter writer(format, titles, logKey, sink, ends);
  std::vector<std::u16string> cells;
  REC_INFO_BASE info;
  const int count = rows.Count();
  int result = kExportOk;
  for (int i = 0; i < count; ++i) {
    if (!rows.RowInfo(i, info)) {
      writer.Skip();
      continue;
    }
    if (!rows.Cells(i, cells)) {
      // A corrupted row stands for lost data and has no cells: it is written with its flags,
      // where an investigator's tools look for it. Any other row without cells is skipped.
      if (!(info.flags & ROW_FLAG_CORRUPTED)) {
        writer.Skip();
        continue;
      }
      cells.clear();
    }
    if (!writer.Row(info, cells)) {
      result = kExportWriteFailed;
      break;
    }
    ReportProgress(progress, i, count);
  }
  if (result == kExportOk) result = writer.Finish();
  if (stats != nullptr) *stats = writer.Stats();
  return result;
}

}  // namespace korv
