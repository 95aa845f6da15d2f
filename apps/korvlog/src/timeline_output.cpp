#include "timeline_output.h"

#include <span>
#include <string>

#include "logmodel/record_time.h"
#include "logmodel/text_formats.h"
#include "text_output.h"

namespace korv::cli {
namespace {

// Lines of the text export's kind in the locale's character set, each ended by LF.
class TextTimeline : public TimelineWriter {
 public:
  explicit TextTimeline(ExportSink& sink) : writer_(sink, LineEnd::kLf) {}
  bool Row(const std::array<std::u16string, kTimelineColumns>& texts, platform::FileTime) override {
    line_.clear();
    for (std::size_t c = 0; c < texts.size(); ++c) {
      if (c > 0) line_ += u'\t';
      AppendTextEscaped(texts[c], line_);
    }
    out_.Check(line_);
    return writer_.Row(line_);
  }
  int Finish() override { return writer_.Finish(); }
  ExportStats Stats() const override { return writer_.Stats(); }

 private:
  TextExportWriter writer_;
  TextOutput out_;
  std::u16string line_;
};

// UTF-8 lines gathered and written a block at a time.
class LineTimeline : public TimelineWriter {
 public:
  LineTimeline(ExportSink& sink, bool csv) : sink_(sink), csv_(csv) {
    if (csv_) bytes_ += "Time,FileTime,Severity,Log,Summary\n";
  }
  bool Row(const std::array<std::u16string, kTimelineColumns>& texts, platform::FileTime time) override {
    if (!ok_) return false;
    if (csv_) {
      AppendIsoRecordTime(time, bytes_);  // empty where the list shows no time
      bytes_ += ',' + std::to_string(time);
      for (std::size_t c = 1; c < texts.size(); ++c) {
        bytes_ += ',';
        AppendCsvField(texts[c], bytes_);
      }
      bytes_ += '\n';
    } else {
      static constexpr std::array<std::string_view, kTimelineColumns> kMembers = {"time", "severity", "log",
                                                                                  "summary"};
      bytes_ += "{\"time\":";
      const std::size_t at = bytes_.size();
      bytes_ += '"';
      if (AppendIsoRecordTime(time, bytes_))
        bytes_ += '"';
      else
        bytes_.resize(at), bytes_ += "null";
      bytes_ += ",\"filetime\":" + std::to_string(time);
      for (std::size_t c = 1; c < texts.size(); ++c) {
        bytes_ += ",\"";
        bytes_ += kMembers[c];
        bytes_ += "\":";
        AppendJsonString(texts[c], bytes_);
      }
      bytes_ += "}\n";
    }
    ++stats_.written;
    if (bytes_.size() >= kBlock) Flush();
    return ok_;
  }
  int Finish() override {
    Flush();
    if (!sink_.Finish()) ok_ = false;
    return ok_ ? kExportOk : kExportWriteFailed;
  }
  ExportStats Stats() const override { return stats_; }

 private:
  static constexpr std::size_t kBlock = 1 << 20;
  void Flush() {
    if (ok_ && !bytes_.empty() && !sink_.Write(bytes_.data(), bytes_.size())) ok_ = false;
    bytes_.clear();
  }
  ExportSink& sink_;
  bool csv_;
  bool ok_ = true;
  std::string bytes_;
  ExportStats stats_;
};

}  // namespace

bool IsTimelineFormat(std::string_view format) { return format == "txt" || format == "jsonl" || format == "csv"; }

std::unique_ptr<TimelineWriter> MakeTimelineWriter(std::string_view format, ExportSink& sink) {
  if (format == "txt") return std::make_unique<TextTimeline>(sink);
  return std::make_unique<LineTimeline>(sink, format == "csv");
}

}  // namespace korv::cli
