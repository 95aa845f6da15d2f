// korvlog timeline [options] PATH...: the rows of several logs interleaved by time, newest
// first, each log filtered by the same options as korvlog export.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cmd_export_open.h"
#include "command.h"
#include "filter_options.h"
#include "interrupt_watch.h"
#include "load_losses.h"
#include "timeline_output.h"
#include "logmodel/export_writer.h"
#include "logmodel/timeline_merge.h"
#include "logmodel/timeline_text.h"
#include "product/module_manager.h"

namespace korv::cli {
namespace {

// Some logs did not open and the others were shown; none opened.
inline constexpr int kExitSomeNotOpened = 7;
inline constexpr int kExitNoneOpened = 8;

constexpr std::string_view kCommand = "timeline";

void help(std::ostream& out) {
  out << "Usage: korvlog timeline [options] PATH...\n\n"
         "Writes the rows of the logs PATH... (log files, directories of scan logs, FILE:N,\n"
         "or bare names below the product's Logs directory) interleaved by time, newest\n"
         "first: Time, Severity, Log (the kind's name) and Summary (the row's cells in the\n"
         "kind's column order, joined with \" | \"). The filter options apply to each log.\n"
         "Rows of the same time come in the order the logs are given, each log's rows in\n"
         "its own order. A log that cannot be opened is named on standard error and the\n"
         "others are shown. A log whose rows are out of time order (its clock was set\n"
         "back) is named on standard error and its rows are sorted by time with the\n"
         "others. Text output escapes each field as export does and separates the fields\n"
         "with TAB; every line ends with LF, the last one too.\n\n"
      << kTimelineFormatHelp << kFilterOptionsHelp
      << "\nExit status: 0 done, 2 usage error, 6 the output could not be written,\n"
         "7 some logs could not be opened (the others are shown), 8 no log could be opened.\n"
         "Ctrl+C or SIGTERM ends it within a moment, by the signal (130 or 143 in a shell).\n";
}

struct Options {
  std::string format = "txt";
  std::vector<std::string> paths;
  FilterOptions filter;
};

int Usage(const std::string& message) { return UsageError(kCommand, message); }

int ParseOptions(std::span<const std::string_view> args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "-f" || a == "--format") {
      if (i + 1 >= args.size() || !IsTimelineFormat(args[i + 1])) return Usage(std::string(kTimelineFormatRefusal));
      o.format = args[++i];
    } else if (const FilterOptionParse parsed = ParseFilterOption(args, i, o.filter, kCommand);
               parsed != FilterOptionParse::kNotMine) {
      if (parsed == FilterOptionParse::kRefused) return kExitUsage;
    } else if (a.starts_with('-') && a.size() > 1) {
      return Usage("unknown option '" + std::string(a) + "'");
    } else {
      o.paths.emplace_back(a);
    }
  }
  if (o.paths.empty()) return Usage("no log path given");
  return CheckFilterOptions(o.filter, kCommand);
}

// One opened log of the timeline.
struct TimelineLog {
  explicit TimelineLog(InterruptWatch& interrupt) : watching(interrupt, log) {}
  CLog log;
  InterruptWatch::Watching watching;  // a signal stops the log's load
  std::u16string kind;  // the kind's display name
  std::unique_ptr<LogTimelineSource> source;
};

// Opens and loads every path, naming on standard error each that does not open and each
// log's records that gave no row. Answers the logs that opened, in the order given.
std::vector<std::unique_ptr<TimelineLog>> OpenAll(const std::vector<std::string>& paths,
                                                  const CLogFilterData& filter, InterruptWatch& interrupt) {
  std::vector<std::unique_ptr<TimelineLog>> logs;
  for (const std::string& path : paths) {
    if (interrupt.Signal() != 0) break;
    auto entry = std::make_unique<TimelineLog>(interrupt);
    OpenedLog opened;
    if (OpenWithoutRows(path, filter, entry->log, opened) != kExitOk) continue;  // named there
    LoadOpenedRows(entry->log, opened);
    const std::size_t lost = CountLoadLosses(entry->log);
    if (lost > 0) std::cerr << "korvlog: " << path << ": " << Counted(lost, "record") << " could not be read or decoded\n";
    const std::string& name = KindTable()[std::size_t(opened.entry)].m_strDisplayName;
    entry->kind.assign(name.begin(), name.end());  // the table's names are ASCII
    entry->source = std::make_unique<LogTimelineSource>(entry->log);
    if (FirstOutOfTimeOrder(*entry->source) >= 0)
      std::cerr << "korvlog: " << path << ": rows out of time order (was the clock set back?); "
                                          "they are sorted by time\n";
    logs.push_back(std::move(entry));
  }
  return logs;
}

int WriteTimeline(std::vector<std::unique_ptr<TimelineLog>>& logs, const std::string& format, ExportSink& sink,
                  ExportStats& stats, const InterruptWatch& interrupt) {
  std::vector<const TimelineSource*> sources;
  for (const auto& l : logs) sources.push_back(l->source.get());
  std::unique_ptr<TimelineWriter> writer = MakeTimelineWriter(format, sink);
  TimelineMerge merge(sources);
  std::vector<std::u16string> scratch;
  std::array<std::u16string, kTimelineColumns> texts;
  TimelineRef ref;
  while (interrupt.Signal() == 0 && merge.Next(ref)) {
    TimelineLog& l = *logs[ref.log];
    if (!MakeTimelineTexts(l.log, l.source->ListPosition(ref.position), l.kind, scratch, texts)) continue;
    if (!writer->Row(texts, l.source->TimeAt(ref.position))) break;
  }
  const int result = writer->Finish();
  stats = writer->Stats();
  return result;
}

int run(std::span<const std::string_view> args) {
  Options o;
  if (int status = ParseOptions(args, o); status != kExitOk) return status;
  std::setlocale(LC_ALL, "");  // the text's character set and the date and time texts
  CLogFilterData filter;
  if (int status = BuildFilter(o.filter, filter, kCommand); status != kExitOk) return status;
  InterruptWatch interrupt;  // before the module or a pass starts a thread
  StartModuleInLanguage(o.filter);
  ShowRecordsRaw(o.filter.raw);
  int status = kExitOk;
  {
    std::vector<std::unique_ptr<TimelineLog>> logs = OpenAll(o.paths, filter, interrupt);
    if (interrupt.Signal() != 0) {
      // Said below; the logs opened so far are not written.
    } else if (logs.empty()) {
      status = fail(kExitNoneOpened, "no log could be opened");
    } else {
      FdSink sink(STDOUT_FILENO, false);
      ExportStats stats;
      if (WriteTimeline(logs, o.format, sink, stats, interrupt) != kExportOk)
        status = fail(kExitWriteFailed, "standard output: the write failed");
      else if (logs.size() < o.paths.size())
        status = kExitSomeNotOpened;
    }
  }
  StopProductModule();
  return interrupt.Status(status);
}

const CommandRegistration registration({"timeline", "write the rows of several logs interleaved by time", run, help});

}  // namespace
}  // namespace korv::cli
