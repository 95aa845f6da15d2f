#pragma once
// The opened log's visible rows seen on a time line: counted into a TimeHistogram, and the
// list position of the first row in a period. Levels and times only; nothing is decoded.

#include <cstddef>
#include <cstdint>

#include "logmodel/log.h"
#include "logmodel/time_histogram.h"

namespace korv {

// Recounts `histogram` from the log's visible rows (file or directory rows).
void CountVisibleRows(const CLog& log, TimeHistogram& histogram);
// Adds the visible rows from row index `firstNewRow` on (rows appended by the updater).
void CountAppendedRows(const CLog& log, std::size_t firstNewRow, TimeHistogram& histogram);
// Adds the visible rows whose row index lies in [beginRow, endRow) (rows the updater put in
// front of the others, or appended).
void CountRowRange(const CLog& log, std::size_t beginRow, std::size_t endRow, TimeHistogram& histogram);
// The smallest list position whose row time lies in [from, to) (UTC seconds), in the list's
// order (newest first in view mode 1); -1 when no visible row does.
int FirstPositionInPeriod(const CLog& log, std::int64_t from, std::int64_t to);

}  // namespace korv
