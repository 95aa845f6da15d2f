#pragma once
// The four columns of a timeline row: Time, Severity, Log (the kind's display name) and
// Summary (the row's cells in the kind's column order, joined with " | ").

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CLog;

namespace korv {

inline constexpr std::size_t kTimelineColumns = 4;
inline constexpr std::array<std::u16string_view, kTimelineColumns> kTimelineTitles = {
    u"Time", u"Severity", u"Log", u"Summary"};
inline constexpr std::u16string_view kSummarySeparator = u" | ";

// The name of a severity class bit (FILTER_TYPE_*); "Critical" for a level of that class.
std::u16string_view SeverityName(std::uint32_t levelClass);

// cells[first], cells[first + 1], ... joined with " | ". Empty cells between others are kept,
// so that a cell keeps its place in the kind's column order; empty cells at the end are left
// out (a kind with many columns would otherwise end most summaries in a row of bars).
void AppendSummary(const std::vector<std::u16string>& cells, std::size_t first, std::u16string& out);

// The four texts of the row at list position `position` of `log`, `kind` being the log's
// display name. The time column of view mode 1 is the Time, not part of the Summary. A row
// whose record no longer reads or decodes (or a corrupted record's row) keeps its time,
// severity and log with an empty Summary. False when there is no such row. `scratch` is a
// caller's buffer, so that a long walk allocates nothing per row.
bool MakeTimelineTexts(CLog& log, int position, std::u16string_view kind,
                       std::vector<std::u16string>& scratch,
                       std::array<std::u16string, kTimelineColumns>& out);

}  // namespace korv
