#pragma once
// The output formats of korvlog timeline: one line per timeline row as text (the fields
// escaped as the text export escapes cells, separated by TAB, in the locale's character
// set), as JSON Lines or as CSV (both UTF-8). Every line ends with LF, the last one too.
// The text carries the time as the list shows it; JSON Lines and CSV carry it as RFC 3339
// (null or empty where the list shows none) and the raw FILETIME beside it, as export does.

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "logmodel/export_writer.h"
#include "logmodel/timeline_text.h"
#include "platform/filetime.h"

namespace korv::cli {

inline constexpr std::string_view kTimelineFormatHelp =
    "  -f, --format txt|jsonl|csv output format (default txt); jsonl: one object a line with\n"
    "                             the members time (RFC 3339 or null), filetime, severity,\n"
    "                             log and summary; csv: a header line, then one record a\n"
    "                             row with the same fields (RFC 4180 quoting, LF line ends)\n";
inline constexpr std::string_view kTimelineFormatRefusal = "--format takes txt, jsonl or csv";

bool IsTimelineFormat(std::string_view format);

class TimelineWriter {
 public:
  virtual ~TimelineWriter() = default;
  // One row with its record time; false once a write failed: the output has ended.
  virtual bool Row(const std::array<std::u16string, kTimelineColumns>& texts, platform::FileTime time) = 0;
  // The last write; the result of the whole output (kExportOk or kExportWriteFailed).
  virtual int Finish() = 0;
  virtual ExportStats Stats() const = 0;
};

// The writer of `format` (one IsTimelineFormat accepts) over `sink`, which must outlive it.
std::unique_ptr<TimelineWriter> MakeTimelineWriter(std::string_view format, ExportSink& sink);

}  // namespace korv::cli
