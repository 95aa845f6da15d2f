#include "histogram_output.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>
#include <vector>

#include "logmodel/timeline_rows.h"
#include "platform/tz.h"

namespace korv::cli {
namespace {

constexpr std::string_view kNoTime = "no time";

// Column order: the most severe first, as --types lists them; values are class indices.
constexpr std::array<int, kSeverityClassCount> kClassOrder = {4, 3, 2, 1, 0};
constexpr std::array<std::string_view, kSeverityClassCount> kClassTitles = {
    "Critical", "Error", "Warning", "Information", "Diagnostic"};

// "YYYY-MM-DD HH:MM:SS" of a UTC instant on the zone's local clock; the same text in every
// locale, so that scripts can read it.
std::string LocalText(const TimeZoneRules& zone, std::int64_t utc) {
  const std::time_t local = static_cast<std::time_t>(utc + zone.OffsetAt(utc));
  std::tm t{};
  if (gmtime_r(&local, &t) == nullptr) return "?";
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

template <typename Counts>
std::vector<std::string> CountTexts(const Counts& counts) {
  std::vector<std::string> texts;
  std::uint64_t total = 0;
  for (int c : kClassOrder) {
    texts.push_back(std::to_string(counts[std::size_t(c)]));
    total += counts[std::size_t(c)];
  }
  texts.push_back(std::to_string(total));
  return texts;
}

void PadLeft(std::string& line, std::string_view text, std::size_t width) {
  line.append(width > text.size() ? width - text.size() : 0, ' ');
  line += text;
}

}  // namespace

std::string HistogramTable(const TimeHistogram& histogram) {
  std::vector<std::string> titles{"Start"};
  titles.insert(titles.end(), kClassTitles.begin(), kClassTitles.end());
  titles.push_back("Total");
  std::vector<std::vector<std::string>> lines;
  std::vector<std::size_t> widths;
  for (const std::string& t : titles) widths.push_back(t.size());
  for (const TimeBucket& b : histogram.Buckets()) {
    std::vector<std::string> line{LocalText(histogram.Zone(), b.start)};
    for (std::string& count : CountTexts(b.counts)) line.push_back(std::move(count));
    lines.push_back(std::move(line));
  }
  // Rows the list shows no time for are counted too, on a line of their own.
  if (histogram.UntimedCount() > 0) {
    std::vector<std::string> line{std::string(kNoTime)};
    for (std::string& count : CountTexts(histogram.UntimedCounts())) line.push_back(std::move(count));
    lines.push_back(std::move(line));
  }
  for (const auto& line : lines)
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
  std::string out;
  auto emit = [&](const std::vector<std::string>& cells) {
    out += cells[0];
    out.append(widths[0] - cells[0].size(), ' ');  // the time column is aligned left
    for (std::size_t i = 1; i < cells.size(); ++i) {
      out += "  ";
      PadLeft(out, cells[i], widths[i]);
    }
    out += '\n';
  };
  emit(titles);
  for (const auto& line : lines) emit(line);
  return out;
}

std::string HistogramCsv(const TimeHistogram& histogram) {
  // No field can hold a comma, a quote or a line break (digits and fixed-form times), so
  // none is quoted. Lines end with LF, the last one too, as all of korvlog's text does.
  std::string out = "start,end,critical,error,warning,information,diagnostic,total\n";
  auto counts = [&out](const std::vector<std::string>& texts) {
    for (const std::string& count : texts) {
      out += ',';
      out += count;
    }
    out += '\n';
  };
  for (const TimeBucket& b : histogram.Buckets()) {
    out += LocalText(histogram.Zone(), b.start);
    out += ',';
    out += LocalText(histogram.Zone(), b.end);
    counts(CountTexts(b.counts));
  }
  // The rows without a shown time: no start and no end.
  if (histogram.UntimedCount() > 0) {
    out += ',';
    counts(CountTexts(histogram.UntimedCounts()));
  }
  return out;
}

void CountHistogram(const CLog& log, std::optional<BucketSize> size, TimeHistogram& histogram) {
  // The row times are shown at the process's fixed offset (west of UTC), so the buckets are too.
  histogram.SetZone(std::make_shared<FixedOffsetZone>(std::int32_t(-platform::process_time_zone_offset())));
  histogram.SetColumns(kHistogramColumns);
  histogram.FixSize(size);
  korv::CountVisibleRows(log, histogram);
}

}  // namespace korv::cli
