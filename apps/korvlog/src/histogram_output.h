#pragma once
// korvlog export --histogram: the rows that pass the filter counted per time bucket and
// severity class, as a text table or as CSV.

#include <optional>
#include <string>

#include "logmodel/export_writer.h"
#include "logmodel/log.h"
#include "logmodel/time_histogram.h"

namespace korv::cli {

// How many buckets the log's span is fitted into when no --bucket size is given.
inline constexpr int kHistogramColumns = 50;

// One line per bucket that holds a row, oldest first: its start in the shown zone, then the
// counts from critical down to diagnostic and their total, in columns aligned right; then,
// when there are any, a "no time" line of the rows the list shows no time for (0, or past
// the year 9999). The totals add up to the rows an export writes.
std::string HistogramTable(const TimeHistogram& histogram);
// The same as CSV (a header line, UTF-8, LF line ends), with the bucket's end too; the rows
// without a shown time on a last line with empty start and end.
std::string HistogramCsv(const TimeHistogram& histogram);

// Counts the visible rows of a loaded log (file or directory) in the process time zone, the
// one the row times are shown in; `size` fixes the bucket size, else it fits the span.
void CountHistogram(const CLog& log, std::optional<BucketSize> size, TimeHistogram& histogram);

}  // namespace korv::cli
