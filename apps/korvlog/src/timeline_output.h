#pragma once
// The output formats of korvlog timeline: one line per timeline row as text (the fields
// escaped as the text export escapes cells, separated by TAB, in the locale's character
// set), as JSON Lines or as CSV (both UTF-8).

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "logmodel/export_writer.h"
#include "logmodel/timeline_text.h"

namespace korv::cli {

inline constexpr std::string_view kTimelineFormatHelp =
    "  -f, --format txt|jsonl|csv output format (default txt); jsonl: one object a line with\n"
    "                             the members time, severity, log and summary; csv: a\n"
    "                             header line, then one record a row (RFC 4180, CR LF)\n";
inline constexpr std::string_view kTimelineFormatRefusal = "--format takes txt, jsonl or csv";

bool IsTimelineFormat(std::string_view format);

class TimelineWriter {
 public:
  virtual ~TimelineWriter() = default;
  // One row; false once a write failed: the output has ended.
  virtual bool Row(const std::array<std::u16string, kTimelineColumns>& texts) = 0;
  // The last write; the result of the whole output (kExportOk or kExportWriteFailed).
  virtual int Finish() = 0;
  virtual ExportStats Stats() const = 0;
};

// The writer of `format` (one IsTimelineFormat accepts) over `sink`, which must outlive it.
std::unique_ptr<TimelineWriter> MakeTimelineWriter(std::string_view format, ExportSink& sink);

}  // namespace korv::cli
