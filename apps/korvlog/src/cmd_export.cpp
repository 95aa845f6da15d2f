// korvlog export [options] PATH: the visible rows of a log as XML or text, or a copy of the
// log file, with the same rows, order and bytes as the viewer's Export command.

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cmd_export_open.h"
#include "command.h"
#include "logmodel/export_writer.h"
#include "logmodel/filter_match.h"
#include "platform/codepage.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "product/module_requests.h"

namespace korv::cli {
namespace {

void help(std::ostream& out) {
  out << "Usage: korvlog export [options] PATH\n\n"
         "Writes the rows of the log PATH (a log file, a directory of scan logs, FILE:N for\n"
         "one record, or a bare name below the product's Logs directory) that pass the\n"
         "filter, in list order (newest first; file order for scan logs and records).\n\n"
         "  -f, --format xml|txt|dat   output format (default txt); dat copies the log file\n"
         "  -o, --output FILE          output file (default standard output; required for dat)\n"
         "  --types LIST               critical,error,warning,information,diagnostic or all\n"
         "  --deleted                  include rows of deleted records\n"
         "  --text TEXT                text criterion; all columns unless --columns\n"
         "  --columns LIST             0-based column indices as shown (0 = time in list mode)\n"
         "  --case                     case-sensitive text\n"
         "  --words                    whole words only\n"
         "  --period whole|day|week|month|range   time period (default whole)\n"
         "  --from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\"   bounds of range\n"
         "  --utc-offset N             hours east of UTC, -12..14 (default 0)\n"
         "  --language ID              module language (LANGID, e.g. 1033, 1031, 1029)\n"
         "  --progress                 progress on standard error (default: when a terminal)\n\n"
         "Exit status: 0 done, 2 usage error, 3 no such path, 4 unknown log type,\n"
         "5 the log does not open, 6 the output could not be written.\n";
}

struct Options {
  std::string format = "txt";
  std::string output;
  std::string path;
  std::uint32_t types = 0x1F;
  bool deleted = false;
  std::optional<std::u16string> text;
  std::uint32_t columns = 0x7FFFFFFF;
  bool matchCase = false, words = false;
  std::string period = "whole", from, to;
  int utcOffset = 0;
  std::optional<std::uint32_t> language;
  bool progress = false;
};

bool ParseInt(std::string_view s, long long low, long long high, long long& out) {
  if (s.empty()) return false;
  std::size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 1000000000) return false;
  }
  out = s[0] == '-' ? -v : v;
  return out >= low && out <= high;
}

// Comma-separated items, each handled by `one`; false on the first it refuses.
template <class One>
bool ForEachItem(std::string_view list, One&& one) {
  if (list.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    if (!one(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)))
      return false;
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool ParseTypes(std::string_view list, std::uint32_t& mask) {
  mask = 0;
  return ForEachItem(list, [&](std::string_view t) {
    if (t == "all") mask |= 0x1F;
    else if (t == "critical") mask |= 0x10;
    else if (t == "error") mask |= 0x08;
    else if (t == "warning") mask |= 0x04;
    else if (t == "information") mask |= 0x02;
    else if (t == "diagnostic") mask |= 0x01;
    else return false;
    return true;
  });
}

bool ParseColumns(std::string_view list, std::uint32_t& mask) {
  mask = 0;
  return ForEachItem(list, [&](std::string_view c) {
    long long i = 0;
    if (!ParseInt(c, 0, 30, i)) return false;  // only columns 0-30 can be selected
    mask |= std::uint32_t(1) << i;
    return true;
  });
}

// "YYYY-MM-DD HH:MM:SS" in the process zone.
bool ParseLocalTime(const std::string& text, std::int64_t& out) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
    return false;
  return MakeLocalTime(y, mo, d, h, mi, s, out);
}

int Usage(const std::string& message) {
  fail(kExitUsage, message);
  std::cerr << "Run 'korvlog export --help' for the options.\n";
  return kExitUsage;
}

int ParseOptions(std::span<const std::string_view> args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string_view v;
    long long n = 0;
    if (a == "-f" || a == "--format") {
      if (!value(v) || (v != "xml" && v != "txt" && v != "dat")) return Usage("--format takes xml, txt or dat");
      o.format = v;
    } else if (a == "-o" || a == "--output") {
      if (!value(v) || v.empty()) return Usage("--output takes a file name");
      o.output = v;
    } else if (a == "--types") {
      if (!value(v) || !ParseTypes(v, o.types)) return Usage("--types takes critical,error,warning,information,diagnostic or all");
    } else if (a == "--deleted") {
      o.deleted = true;
    } else if (a == "--text") {
      if (!value(v)) return Usage("--text takes a text");
      o.text = platform::utf8_to_utf16(v);  // arguments arrive in UTF-8
    } else if (a == "--columns") {
      if (!value(v) || !ParseColumns(v, o.columns)) return Usage("--columns takes column indices 0..30");
    } else if (a == "--case") {
      o.matchCase = true;
    } else if (a == "--words") {
      o.words = true;
    } else if (a == "--period") {
      if (!value(v) || (v != "whole" && v != "day" && v != "week" && v != "month" && v != "range"))
        return Usage("--period takes whole, day, week, month or range");
      o.period = v;
    } else if (a == "--from") {
      if (!value(v)) return Usage("--from takes a time");
      o.from = v;
    } else if (a == "--to") {
      if (!value(v)) return Usage("--to takes a time");
      o.to = v;
    } else if (a == "--utc-offset") {
      if (!value(v) || !ParseInt(v, -12, 14, n)) return Usage("--utc-offset takes hours from -12 to 14");
      o.utcOffset = int(n);
    } else if (a == "--language") {
      if (!value(v) || !ParseInt(v, 1, 0xFFFF, n)) return Usage("--language takes a language identifier");
      o.language = std::uint32_t(n);
    } else if (a == "--progress") {
      o.progress = true;
    } else if (a.starts_with('-') && a.size() > 1) {
      return Usage("unknown option '" + std::string(a) + "'");
    } else {
      if (!o.path.empty()) return Usage("one log path only");
      o.path = a;
    }
  }
  if (o.path.empty()) return Usage("no log path given");
  if (o.format == "dat" && o.output.empty()) return Usage("--format dat needs --output");
  if ((o.period == "range") != (!o.from.empty() || !o.to.empty()) ||
      (o.period == "range" && (o.from.empty() || o.to.empty())))
    return Usage("--from and --to go together with --period range");
  return kExitOk;
}

int BuildFilter(const Options& o, CLogFilterData& f) {
  f.m_nTypeMask = o.types | (o.deleted ? FILTER_SHOW_DELETED : 0);
  f.m_nOptions = (o.matchCase ? FILTER_OPT_CASE : 0) | (o.words ? FILTER_OPT_WORDS : 0);
  if (o.period == "day") f.m_nOptions |= FILTER_PERIOD_DAY;
  if (o.period == "week") f.m_nOptions |= FILTER_PERIOD_WEEK;
  if (o.period == "month") f.m_nOptions |= FILTER_PERIOD_MONTH;
  if (o.period == "range") {
    f.m_nOptions |= FILTER_PERIOD_RANGE;
    if (!ParseLocalTime(o.from, f.m_timeFrom) || !ParseLocalTime(o.to, f.m_timeTo))
      return Usage("--from and --to take \"YYYY-MM-DD HH:MM:SS\"");
  }
  if (o.text) f.m_strText = *o.text;
  f.m_nColumnMask = o.columns;
  return kExitOk;
}

// Module start and language, as the viewer does at start and on its Language command.
void StartModule(const Options& o) {
  if (!StartProductModule()) {
    std::cerr << "korvlog: the product module could not be loaded; rows have no cells\n";
    return;
  }
  if (!o.language) return;
  const auto second = SecondInterfaceHolder().CurrentInstance();
  if (RequestSetLanguage(second.get(), *o.language) != kResultOk) {
    std::cerr << "korvlog: the module does not serve language " << *o.language << '\n';
    return;
  }
  SetHostLanguage(*o.language);
  FirstInterfaceHolder().CloseComponent();
  FirstInterfaceHolder().OpenComponent();
}

// The visible rows in list order.
class LogRows : public ExportRows {
 public:
  explicit LogRows(CLog& log) : log_(log) {}
  int Count() override { return log_.GetVisibleCount(); }
  bool Cells(int row, std::vector<std::u16string>& cells) override { return log_.GetRowCells(row, cells); }
  bool Text(int row, std::u16string& line) override { return log_.GetRowText(row, line); }
  bool DateTime(int row, std::u16string& date, std::u16string& time) override {
    return log_.GetRowDateTime(row, date, time);
  }

 private:
  CLog& log_;
};

int ReportExport(int result, const std::string& target) {
  switch (result) {
    case kExportOk: return kExitOk;
    case kExportSameFile: return fail(kExitWriteFailed, target + ": is the log itself");
    case kExportCreateFailed: return fail(kExitWriteFailed, target + ": cannot be created");
    case kExportCopyFailed: return fail(kExitWriteFailed, target + ": the copy failed");
    default: return fail(kExitWriteFailed, target + ": the write failed");
  }
}

int run(std::span<const std::string_view> args) {
  Options o;
  if (int status = ParseOptions(args, o); status != kExitOk) return status;
  std::setlocale(LC_ALL, "");  // the text's character set and the date and time texts
  platform::set_process_utc_offset(o.utcOffset);
  CLogFilterData filter;
  if (int status = BuildFilter(o, filter); status != kExitOk) return status;
  StartModule(o);

  int status;
  {
    CLog log;
    OpenedLog opened;
    status = OpenAndLoad(o.path, filter, log, opened);
    if (status == kExitOk) {
      const std::string target = o.output.empty() ? "standard output" : o.output;
      const std::string source = log.IsDirectory() ? std::string() : log.GetDisplayPath(false);
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
          log.SetExporting(true);
          LogRows rows(log);
          int result;
          if (o.format == "xml") {
            std::vector<std::u16string> names;
            for (const HDR_INFO& column : log.GetHeader().m_columns) names.push_back(column.name);
            result = WriteXmlExport(rows, names, log.GetViewMode() == LOG_VIEW_LIST, *sink, progress);
          } else {
            result = WriteTextExport(rows, *sink, progress);
          }
          log.SetExporting(false);
          if (show) std::cerr << (result == kExportOk ? "\rDone              \n" : "\n");
          status = ReportExport(result, target);
        }
      }
    }
  }
  StopProductModule();
  return status;
}

const CommandRegistration registration({"export", "write a log's filtered rows as XML or text, or copy it", run, help});

}  // namespace
}  // namespace korv::cli
