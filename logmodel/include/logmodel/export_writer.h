#pragma once
// The export formats: XML (UTF-8) and tab-separated text (the locale's character set) of the
// visible rows, and a byte copy of the log file (JSON Lines and CSV: line_export_writer.h).
// Used by the viewer's Export command and by `korvlog export`, so both write exactly the
// same bytes.
//
// Output is gathered in memory and written in large blocks: the buffer grows freely until
// its room reaches 1 MiB and from then on is written out whenever the next record would not
// fit. Every failure to create, write or close the target is reported, never hidden.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/rec_info.h"

namespace korv {

enum ExportResult : int {
  kExportOk = 0,
  kExportCreateFailed = 1,  // the target could not be created
  kExportWriteFailed = 2,   // a write or the final close failed; the file holds what was written
  kExportSameFile = 3,      // the target is the opened log's own file
  kExportCopyFailed = 4,    // the data-file copy failed (also: the source is not a file)
};

// The rows of the opened log as the export reads them, by visible row index in list order.
class ExportRows {
 public:
  virtual ~ExportRows() = default;
  virtual int Count() = 0;
  // One text per header column (GetRowCells); false for a row that cannot be decoded.
  virtual bool Cells(int row, std::vector<std::u16string>& cells) = 0;
  // The row as one line, cells separated by one TAB; false for a row that cannot be decoded.
  virtual bool Text(int row, std::u16string& line) = 0;
  // The record time's date text and time text, for the XML time column.
  virtual bool DateTime(int row, std::u16string& date, std::u16string& time) = 0;
  // The row's record and row index, level, flags and time, for the line formats; false for
  // a row that no longer exists. Not defaulted: a source that forgot it would have every row
  // of a JSON Lines or CSV export skipped, an empty file reported as success.
  virtual bool RowInfo(int row, REC_INFO_BASE& info) = 0;
};

// Where the bytes go. Write writes all `size` bytes or fails.
class ExportSink {
 public:
  virtual ~ExportSink() = default;
  virtual bool Write(const char* data, std::size_t size) = 0;
  // Called once at the end; a sink with buffered state reports its failure here.
  virtual bool Finish() { return true; }
};

// A sink over a file descriptor; it closes the descriptor when it owns it.
class FdSink : public ExportSink {
 public:
  FdSink(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~FdSink() override;
  FdSink(const FdSink&) = delete;
  FdSink& operator=(const FdSink&) = delete;
  bool Write(const char* data, std::size_t size) override;
  bool Finish() override;

 private:
  int fd_;
  bool owned_;
};

// What an export left out: rows whose cells or text could not be had when they were written
// (the record no longer reads, e.g. the file was cut short under the export, or no longer
// decodes). The viewer's export drops them without notice; korvlog reports the count.
struct ExportStats {
  int written = 0;
  int skipped = 0;
};

// How the text formats end their lines. kCrLf is the viewer's own form, kept by its Export
// and Copy: CR LF between text lines (none after the last), CR LF after each CSV record.
// kLf is text for the shell (korvlog): every line ends with LF, the last one too, so that
// `wc -l` counts the rows and `cut` or `awk` keep no CR.
enum class LineEnd { kCrLf, kLf };

// Progress of a running export in percent, offered while rows 256-511, 768-1023, ... are
// written; ExportProgressText makes the status text "Exporting 85.3%" of it.
using ExportProgress = std::function<void(float percent)>;
std::string ExportProgressText(float percent);

// The five XML entities, ampersand first: & < > " '; and U+FFFD for each character that
// XML 1.0 cannot carry (C0 controls other than TAB, LF and CR; U+FFFE; U+FFFF).
void AppendXmlEscaped(std::u16string_view text, std::u16string& out);

// XML of all rows. `names` are the column titles; with `time_column` column 0 is the record
// time, written as its DATE and TIME elements. Rows whose cells cannot be had, or whose cell
// count differs from the number of names, are left out.
int WriteXmlExport(ExportRows& rows, const std::vector<std::u16string>& names, bool time_column,
                   ExportSink& sink, const ExportProgress& progress, ExportStats* stats = nullptr);

// Text of all rows: one line per row in the locale's character set, CR LF between lines
// (none before the first and none after the last), or with kLf an LF after every line.
int WriteTextExport(ExportRows& rows, ExportSink& sink, const ExportProgress& progress,
                    ExportStats* stats = nullptr, LineEnd ends = LineEnd::kCrLf);

// The two formats fed one row at a time, for a caller that makes each row as it reads the
// log rather than reading rows by index. WriteXmlExport and WriteTextExport are loops over
// these, so both ways write the same bytes.
class XmlExportWriter {
 public:
  XmlExportWriter(const std::vector<std::u16string>& names, bool time_column, ExportSink& sink);
  ~XmlExportWriter();
  XmlExportWriter(const XmlExportWriter&) = delete;
  XmlExportWriter& operator=(const XmlExportWriter&) = delete;
  // Whether the time column's DATE and TIME texts are wanted (Row ignores them otherwise).
  bool TimeColumn() const { return time_column_; }
  // One row; a row whose cell count differs from the number of names is counted as skipped.
  // False once a write failed: the export has ended.
  bool Row(const std::vector<std::u16string>& cells, const std::u16string& date,
           const std::u16string& time);
  // Row in two steps, so that rows can be formatted on several threads at once: the row's
  // bytes (none when its cell count is wrong; changes nothing in the writer), then the bytes
  // written in row order, empty ones counted as skipped.
  void FormatRow(const std::vector<std::u16string>& cells, const std::u16string& date,
                 const std::u16string& time, std::string& bytes) const;
  bool RowBytes(const std::string& bytes);
  // A row whose cells could not be had.
  void Skip() { ++stats_.skipped; }
  // The tail and the final write; the result of the whole export.
  int Finish();
  const ExportStats& Stats() const { return stats_; }

 private:
  struct Buffer;
  std::vector<std::string> opening_;  // each column's opening tag, made once
  bool time_column_;
  ExportSink& sink_;
  std::unique_ptr<Buffer> buffer_;
  std::string bytes_;
  bool ok_ = true;
  ExportStats stats_;
};

class TextExportWriter {
 public:
  explicit TextExportWriter(ExportSink& sink, LineEnd ends = LineEnd::kCrLf);
  ~TextExportWriter();
  TextExportWriter(const TextExportWriter&) = delete;
  TextExportWriter& operator=(const TextExportWriter&) = delete;
  // One row's line; false once a write failed: the export has ended.
  bool Row(std::u16string_view line);
  // Row in two steps, as XmlExportWriter's: the line's bytes (changes nothing in the writer),
  // then the bytes written in row order.
  void FormatLine(std::u16string_view line, std::string& bytes) const;
  bool LineBytes(const std::string& bytes);
  void Skip() { ++stats_.skipped; }
  int Finish();
  const ExportStats& Stats() const { return stats_; }

 private:
  struct Buffer;
  ExportSink& sink_;
  std::unique_ptr<Buffer> buffer_;
  std::string bytes_;
  bool utf8_;  // the locale does not change during an export
  LineEnd ends_;
  bool first_ = true;
  bool ok_ = true;
  ExportStats stats_;
};

// Creates (or truncates) `target` for an export and gives a sink over it. Refuses, before
// truncating anything, a target that is the same file (device and inode, so no other name,
// link or symbolic link gets past) as `protected_path`: the opened log's file, or, when it
// names a directory (a directory log), any of the files directly in that directory. May be
// empty.
int CreateExportTarget(const std::string& target, const std::string& protected_path,
                       std::unique_ptr<ExportSink>& sink);

// Copies the log file `source` byte for byte over `target`. Fails for a source that is not
// a regular file (a directory log) and for a target that is the source itself.
int CopyDataFile(const std::string& source, const std::string& target);

// The joined row text of the text export and of copying: cells separated by one TAB, so a
// row whose first cell is empty keeps its columns.
void AppendJoinedRow(const std::vector<std::u16string>& cells, std::u16string& out);

// One cell for a line-oriented text output (korvlog's text export and follow), so that a
// cell can never make extra columns or rows or reach a terminal as a control sequence:
// backslash becomes "\\", TAB "\t", LF "\n", CR "\r", any other C0 control, DEL and
// C1 control "\xHH". Everything else is copied as it is.
void AppendTextEscaped(std::u16string_view text, std::u16string& out);
// The cells escaped one by one and joined with TAB.
void AppendEscapedRow(const std::vector<std::u16string>& cells, std::u16string& out);

}  // namespace korv
