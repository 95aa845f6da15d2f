// korvlog export [options] PATH: the visible rows of a log as XML, text, JSON Lines or CSV,
// or a copy of the log file, with the same rows, order and bytes as the viewer's Export
// command.

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cmd_export_open.h"
#include "command.h"
#include "file_identity.h"
#include "filter_options.h"
#include "histogram_output.h"
#include "interrupt_watch.h"
#include "load_losses.h"
#include "text_output.h"
#include "logmodel/export_writer.h"
#include "logmodel/filter_match.h"
#include "logmodel/line_export_writer.h"
#include "logmodel/record_time.h"
#include "product/module_manager.h"

namespace korv::cli {
namespace {

void help(std::ostream& out) {
  out << "Usage: korvlog export [options] PATH\n\n"
         "Writes the rows of the log PATH (a log file, a directory of scan logs, FILE:N for\n"
         "one record, or a bare name below the product's Logs directory) that pass the\n"
         "filter, in list order (newest first; file order for scan logs and records).\n"
         "FILE:N takes N from 0; an existing file whose own name ends in :N is that file.\n"
         "Text cells are escaped so that one row is one line (\\\\, \\t, \\r, \\n, \\xHH for\n"
         "other control characters); XML writes U+FFFD for characters XML cannot carry.\n"
         "JSON Lines and CSV (UTF-8) carry each row's RFC 3339 time (null or empty outside\n"
         "the years 1601-9999), its FILETIME and its severity too, for tools that read them\n"
         "directly (a SIEM, DuckDB, pandas, Spark); see korvlog(1). Every line of text,\n"
         "CSV and JSON Lines ends with LF, the last one too.\n"
         "Records that could not be read or decoded are counted on standard error. The\n"
         "output may not be the log, nor inside an exported directory.\n\n"
         "  -f, --format xml|txt|jsonl|csv|dat   output format (default txt); dat copies\n"
         "                             the log file\n"
         "  -o, --output FILE          output file (default standard output; required for dat)\n"
         "  --histogram                the rows counted per time bucket and severity instead,\n"
         "                             as a table (txt) or as CSV (-f csv); buckets without\n"
         "                             rows are left out, times are bucket starts; rows\n"
         "                             without a time the list shows are on a last\n"
         "                             \"no time\" line (empty start and end in CSV)\n"
         "  --bucket minute|hour|day   bucket size for --histogram (default: the size that\n"
         "                             fits the rows' span in 50 buckets)\n"
      << kFilterOptionsHelp
      << "  --progress                 progress on standard error (default: when a terminal)\n\n"
         "Exit status: 0 done, 2 usage error, 3 no such path, 4 unknown log type,\n"
         "5 the log does not open, 6 the output could not be written. Ctrl+C or SIGTERM\n"
         "ends the export within a moment, leaving what was written, said to be incomplete,\n"
         "and the process ends by the signal (a shell shows 130 or 143).\n";
}

struct Options {
  std::string format = "txt";
  std::string output;
  std::string path;
  FilterOptions filter;
  bool progress = false;
  bool histogram = false;
  std::optional<BucketSize> bucket;
};

constexpr std::string_view kCommand = "export";

int Usage(const std::string& message) { return UsageError(kCommand, message); }

int ParseOptions(std::span<const std::string_view> args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string_view v;
    if (a == "-f" || a == "--format") {
      if (!value(v) || (v != "xml" && v != "txt" && v != "jsonl" && v != "csv" && v != "dat"))
        return Usage("--format takes xml, txt, jsonl, csv or dat");
      o.format = v;
    } else if (a == "-o" || a == "--output") {
      if (!value(v) || v.empty()) return Usage("--output takes a file name");
      o.output = v;
    } else if (a == "--histogram") {
      o.histogram = true;
    } else if (a == "--bucket") {
      if (!value(v) || !(o.bucket = ParseBucketSize(v))) return Usage("--bucket takes minute, hour or day");
    } else if (a == "--progress") {
      o.progress = true;
    } else if (const FilterOptionParse parsed = ParseFilterOption(args, i, o.filter, kCommand);
               parsed != FilterOptionParse::kNotMine) {
      if (parsed == FilterOptionParse::kRefused) return kExitUsage;
    } else if (a.starts_with('-') && a.size() > 1) {
      return Usage("unknown option '" + std::string(a) + "'");
    } else {
      if (!o.path.empty()) return Usage("one log path only");
      o.path = a;
    }
  }
  if (o.path.empty()) return Usage("no log path given");
  if (o.format == "dat" && o.output.empty()) return Usage("--format dat needs --output");
  if (o.histogram && o.format != "txt" && o.format != "csv") return Usage("--histogram writes txt or csv");
  if (o.bucket && !o.histogram) return Usage("--bucket goes together with --histogram");
  return CheckFilterOptions(o.filter, kCommand);
}

// The visible rows in list order. A text line is made of the cells escaped one by one, so
// that one row is one line of exactly its columns whatever a cell holds (the viewer's text
// export writes the cells as they are).
class LogRows : public ExportRows {
 public:
  LogRows(CLog& log, TextOutput& out) : log_(log), out_(out) {}
  int Count() override { return log_.GetVisibleCount(); }
  bool Cells(int row, std::vector<std::u16string>& cells) override { return log_.GetRowCells(row, cells); }
  bool Text(int row, std::u16string& line) override {
    line.clear();
    if (!log_.GetRowCells(row, cells_)) return false;
    AppendEscapedRow(cells_, line);
    out_.Check(line);
    return true;
  }
  bool DateTime(int row, std::u16string& date, std::u16string& time) override {
    return log_.GetRowDateTime(row, date, time);
  }
  bool RowInfo(int row, REC_INFO_BASE& info) override {
    const REC_INFO_BASE* found = log_.GetRow(row);
    if (found != nullptr) info = *found;
    return found != nullptr;
  }

 private:
  CLog& log_;
  TextOutput& out_;
  std::vector<std::u16string> cells_;
};

// Says on standard error what the rows left out: records the load could not read or decode
// (the log model drops them), and rows that no longer read when they were written.
void ReportLosses(std::size_t records, int rows) {
  if (records > 0) std::cerr << "korvlog: " << Counted(records, "record") << " could not be read or decoded\n";
  if (rows > 0)
    std::cerr << "korvlog: " << Counted(std::size_t(rows), "row") << " could not be read when written\n";
}

int ReportExport(int result, const std::string& target) {
  switch (result) {
    case kExportOk: return kExitOk;
    case kExportSameFile:
      return fail(kExitWriteFailed, target + ": is the log itself or one of its files; it is not overwritten");
    case kExportCreateFailed: return fail(kExitWriteFailed, target + ": cannot be created");
    case kExportCopyFailed: return fail(kExitWriteFailed, target + ": the copy failed");
    default: return fail(kExitWriteFailed, target + ": the write failed");
  }
}

std::optional<LineFormat> LineFormatOf(const std::string& format) {
  if (format == "jsonl") return LineFormat::kJsonLines;
  if (format == "csv") return LineFormat::kCsv;
  return std::nullopt;
}

std::vector<std::u16string> ColumnTitles(const CLog& log) {
  std::vector<std::u16string> names;
  for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
  return names;
}

// A file log in one pass: each record read and decoded once, each visible row written as it
// is made, in list order. Answers the export's result; `lost` gets the records that gave no row.
int ExportInOnePass(CLog& log, const std::string& format, ExportSink& sink,
                    const ExportProgress& progress, std::size_t& lost, ExportStats& stats) {
  std::function<void(double)> percent;
  if (progress) percent = [&progress](double p) { progress(float(p)); };
  std::int64_t unread;
  int result;
  std::string failure;  // what stopped the pass, when a step of it failed
  if (const std::optional<LineFormat> line = LineFormatOf(format)) {
    LineExportWriter writer(*line, ColumnTitles(log), log.GetSettingsKey(), sink, LineEnd::kLf);
    const std::vector<std::u16string> none;
    unread = log.ExportPass(
        // A corrupted record's row has no cells; it is written all the same, "corrupted":true.
        [&](const REC_INFO_BASE& row, const std::vector<std::u16string>* cells) {
          return writer.Row(row, cells != nullptr ? *cells : none);
        },
        percent, &failure);
    result = writer.Finish();
    stats = writer.Stats();
  } else if (format == "xml") {
    std::vector<std::u16string> names;
    for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
    XmlExportWriter writer(names, log.GetViewMode() == LOG_VIEW_LIST, sink);
    unread = log.ExportPassFormatted(
        // On the lanes: formatting changes nothing in the writer.
        [&writer](const REC_INFO_BASE& row, const std::vector<std::u16string>& cells, std::string& bytes) {
          thread_local std::u16string date, time;
          if (writer.TimeColumn() && !FormatRecordDateTime(row.time, date, time)) date.clear(), time.clear();
          writer.FormatRow(cells, date, time, bytes);
        },
        [&writer](const REC_INFO_BASE&, const std::string& bytes, bool texts) {
          if (!texts) {
            writer.Skip();
            return true;
          }
          return writer.RowBytes(bytes);
        },
        percent, &failure);
    result = writer.Finish();
    stats = writer.Stats();
  } else {
    TextExportWriter writer(sink, LineEnd::kLf);
    TextOutput out;
    if (out.Utf8()) {
      // Nothing to check in UTF-8: the lines are made on the lanes.
      unread = log.ExportPassFormatted(
          [&writer](const REC_INFO_BASE&, const std::vector<std::u16string>& cells, std::string& bytes) {
            thread_local std::u16string line;
            line.clear();
            AppendEscapedRow(cells, line);
            writer.FormatLine(line, bytes);
          },
          [&writer](const REC_INFO_BASE&, const std::string& bytes, bool texts) {
            if (!texts) {
              writer.Skip();
              return true;
            }
            return writer.LineBytes(bytes);
          },
          percent, &failure);
    } else {
      std::u16string line;
      unread = log.ExportPass(
          [&](const REC_INFO_BASE&, const std::vector<std::u16string>* cells) {
            if (cells == nullptr) {
              writer.Skip();
              return true;
            }
            line.clear();
            AppendEscapedRow(*cells, line);
            out.Check(line);
            return writer.Row(line);
          },
          percent, &failure);
    }
    result = writer.Finish();
    stats = writer.Stats();
  }
  lost = std::size_t(std::max<std::int64_t>(unread, 0));
  if (unread == -2) {
    // The output ends where the pass stopped: never reported as a whole export.
    std::cerr << "korvlog: the pass over the log stopped: " << failure << "\n";
    if (result == kExportOk) result = kExportWriteFailed;
  }
  return result;
}

// An output inside a directory log is refused, whatever its name: a new file there would be
// one more of the logs it lists (and a later export would read its own output), an existing
// one is a member. Answers kExitOk when the output may be written.
int RefuseOutputInsideDirectory(const CLog& log, const std::string& output) {
  if (output.empty() || !log.IsDirectory()) return kExitOk;
  const std::string directory = log.GetDisplayPath(false);
  if (!IsInsideDirectory(output, directory)) return kExitOk;
  return fail(kExitWriteFailed, output + ": is inside the exported directory " + directory +
                                    "; write the output elsewhere");
}

// The histogram of the log's visible rows, written whole: a few hundred lines at most.
int ExportHistogram(const Options& o, const CLogFilterData& filter, InterruptWatch& interrupt) {
  CLog log;
  const InterruptWatch::Watching watching(interrupt, log);
  OpenedLog opened;
  if (int status = OpenAndLoad(o.path, filter, log, opened); status != kExitOk) return status;
  if (interrupt.Signal() != 0) return kExitOk;  // the load was cut: no counts to write
  if (int status = RefuseOutputInsideDirectory(log, o.output); status != kExitOk) return status;
  TimeHistogram histogram(std::make_shared<FixedOffsetZone>(0), kHistogramColumns);
  CountHistogram(log, o.bucket, histogram);
  ReportLosses(CountLoadLosses(log), 0);
  const std::string text = o.format == "csv" ? HistogramCsv(histogram) : HistogramTable(histogram);
  const std::string target = o.output.empty() ? "standard output" : o.output;
  std::unique_ptr<ExportSink> sink;
  int created = kExportOk;
  if (o.output.empty())
    sink = std::make_unique<FdSink>(STDOUT_FILENO, false);
  else
    created = CreateExportTarget(o.output, log.GetDisplayPath(false), sink);
  if (created != kExportOk) return ReportExport(created, target);
  const bool written = sink->Write(text.data(), text.size()) && sink->Finish();
  return ReportExport(written ? kExportOk : kExportWriteFailed, target);
}

int run(std::span<const std::string_view> args) {
  Options o;
  if (int status = ParseOptions(args, o); status != kExitOk) return status;
  InterruptWatch interrupt;  // before the module or a pass starts a thread
  std::setlocale(LC_ALL, "");  // the text's character set and the date and time texts
  CLogFilterData filter;
  if (int status = BuildFilter(o.filter, filter, kCommand); status != kExitOk) return status;
  StartModuleInLanguage(o.filter);
  ShowRecordsRaw(o.filter.raw);

  int status;
  if (o.histogram) {
    status = ExportHistogram(o, filter, interrupt);
  } else {
    CLog log;
    const InterruptWatch::Watching watching(interrupt, log);
    OpenedLog opened;
    status = OpenWithoutRows(o.path, filter, log, opened);
    if (status == kExitOk) status = RefuseOutputInsideDirectory(log, o.output);
    // A file log is written as it is read; a directory log's rows and a single record are
    // loaded first (few rows, each a file or a record of its own). The copy needs no rows.
    const bool onePass = opened.record < 0 && !log.IsDirectory();
    if (status == kExitOk && o.format != "dat" && !onePass) LoadOpenedRows(log, opened);
    if (status == kExitOk) {
      const std::string target = o.output.empty() ? "standard output" : o.output;
      // The log's file, or for a directory log the directory, none of whose files may be
      // the target.
      const std::string source = log.GetDisplayPath(false);
      if (o.format == "dat") {
        status = ReportExport(CopyDataFile(log.GetDisplayPath(false), o.output), target);
      } else {
        std::unique_ptr<ExportSink> sink;
        int created = kExportOk;
        if (o.output.empty())
          sink = std::make_unique<FdSink>(STDOUT_FILENO, false);
        else
          created = CreateExportTarget(o.output, source, sink);
        if (created != kExportOk) {
          status = ReportExport(created, target);
        } else {
          const bool show = o.progress || ::isatty(STDERR_FILENO);
          ExportProgress progress;
          if (show) progress = [](float p) { std::cerr << '\r' << ExportProgressText(p) << std::flush; };
          std::size_t lost = 0;
          ExportStats stats;
          int result;
          log.SetExporting(true);
          if (onePass) {
            result = ExportInOnePass(log, o.format, *sink, progress, lost, stats);
          } else {
            lost = CountLoadLosses(log);
            TextOutput out;
            LogRows rows(log, out);
            if (const std::optional<LineFormat> line = LineFormatOf(o.format)) {
              result = WriteLineExport(rows, *line, ColumnTitles(log), log.GetSettingsKey(), *sink, progress, &stats,
                                       LineEnd::kLf);
            } else if (o.format == "xml") {
              std::vector<std::u16string> names;
              for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
              result = WriteXmlExport(rows, names, log.GetViewMode() == LOG_VIEW_LIST, *sink, progress, &stats);
            } else {
              result = WriteTextExport(rows, *sink, progress, &stats, LineEnd::kLf);
            }
          }
          log.SetExporting(false);
          const bool done = result == kExportOk && interrupt.Signal() == 0;
          if (show) std::cerr << (done ? "\rDone              \n" : "\n");
          if (interrupt.Signal() == 0) ReportLosses(lost, stats.skipped);
          status = ReportExport(result, target);
        }
      }
    }
  }
  StopProductModule();
  // An interrupted export leaves what it wrote, as a failed one does, and says so.
  return interrupt.Status(status, o.output);
}

const CommandRegistration registration({"export", "write a log's filtered rows as XML, text, JSON Lines or CSV, or copy it", run, help});

}  // namespace
}  // namespace korv::cli
