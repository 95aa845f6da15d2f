#pragma once
// The line formats that other tools read directly: JSON Lines (one object per row and line)
// and CSV (RFC 4180, a header line, CR LF line ends; LF for korvlog), both UTF-8 without a
// byte-order mark. They carry what the text export leaves to the eye: the RFC 3339 time with
// its offset, the raw FILETIME, the severity, the log kind, the record and row indices and
// the row's flags. Used by the
// viewer's Export command and by `korvlog export`, row at a time like the other writers.

#include <memory>
#include <string>
#include <vector>

#include "logmodel/export_writer.h"
#include "logmodel/rec_info.h"

namespace korv {

enum class LineFormat { kJsonLines, kCsv };

// JSON Lines: {"time":"2026-03-14T10:26:53+01:00","filetime":134179012130000000,
// "severity":"Warning","log":KEY,"record":R,"row":N,"deleted":false,"corrupted":false,
// "raw":false, then one string member per column}. "raw" is true for a row made from the
// record's bytes (the log shown raw, or a record the module refused), whose severity reads
// "Raw". A column's member is its title, made unique against the fixed names and the other
// titles (UniqueMemberNames: "Time" becomes "Time_2", a second "Text" "Text_2"). "time" is
// null for a time the list shows no date for (outside the years 1601 to 9999 in the shown
// zone, which RFC 3339 readers refuse); "filetime" is the record's time as stored, always, so
// nothing is lost and equal texts still order exactly.
// CSV: a header line Time,FileTime,Severity,<titles>, the titles made unique against those
// and each other as in JSON, then per row the ISO time (empty without a date), the FILETIME,
// the severity and the cells.
class LineExportWriter {
 public:
  LineExportWriter(LineFormat format, const std::vector<std::u16string>& titles, const std::string& logKey,
                   ExportSink& sink, LineEnd ends = LineEnd::kCrLf);
  ~LineExportWriter();
  LineExportWriter(const LineExportWriter&) = delete;
  LineExportWriter& operator=(const LineExportWriter&) = delete;
  // One row; missing cells are written empty, cells beyond the titles left out. False once
  // a write failed: the export has ended.
  bool Row(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells);
  void Skip() { ++stats_.skipped; }
  int Finish();
  const ExportStats& Stats() const { return stats_; }

 private:
  void JsonRow(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells);
  void CsvRow(const REC_INFO_BASE& info, const std::vector<std::u16string>& cells);

  struct Buffer;
  LineFormat format_;
  std::vector<std::string> members_;  // JSON: ,"name": of each column, made once
  std::string logMember_;             // JSON: "log":"KEY", made once
  std::size_t columns_;
  const char* csvLineEnd_;  // "\r\n", or "\n" for the shell
  ExportSink& sink_;
  std::unique_ptr<Buffer> buffer_;
  std::string bytes_;
  bool ok_ = true;
  ExportStats stats_;
};

// The rows of `rows` that have cells and a row description (ExportRows::RowInfo), in list
// order; a row without either is counted as skipped, as the text export skips a row without
// text, except a corrupted row, which is written with empty cells.
int WriteLineExport(ExportRows& rows, LineFormat format, const std::vector<std::u16string>& titles,
                    const std::string& logKey, ExportSink& sink, const ExportProgress& progress,
                    ExportStats* stats = nullptr, LineEnd ends = LineEnd::kCrLf);

}  // namespace korv
