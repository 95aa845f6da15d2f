#pragma once
// One timeline of several logs: their visible rows interleaved by time, newest first.
//
// A log's list is nearly always in time order already (newest first), so the logs are
// merged: a cursor per log walks its rows from the top, and the newest of the cursors' rows
// comes next. A log whose rows are not in time order (its clock was set back while it was
// written) is sorted first, and only that log: its cursor walks an order of its own (4 bytes
// a row). Nothing of a row is copied; a timeline position names a log and a row's index in
// that log (8 bytes a row when the whole timeline is kept, nothing per row of a log in order
// when it is walked).
//
// Equal times keep a stable order: the log given first comes first, and within one log its
// rows keep the order of its own list (the order its export writes them), so the timeline
// is a stable sort by time of the logs' lists one after the other.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/filetime.h"

class CLog;

namespace korv {

// One log of a timeline: its rows newest first, by index (0 = newest).
class TimelineSource {
 public:
  virtual ~TimelineSource() = default;
  virtual std::int32_t Count() const = 0;
  // The time of the row at `index` (0 <= index < Count()).
  virtual platform::FileTime TimeAt(std::int32_t index) const = 0;
};

// The visible rows of an opened log, newest first: its list order in view mode 1, the list
// read backwards in view mode 3 (file order, a scan log or one record). The log must outlive
// the source, and its rows must not be replaced while a merge reads them.
class LogTimelineSource : public TimelineSource {
 public:
  explicit LogTimelineSource(const CLog& log) : log_(log) {}
  std::int32_t Count() const override;
  platform::FileTime TimeAt(std::int32_t index) const override;
  // The log's list position of the row at `index`.
  std::int32_t ListPosition(std::int32_t index) const;

 private:
  const CLog& log_;
};

// A row of the timeline: which log (its index in the sources) and the row's index in that
// source (newest first).
struct TimelineRef {
  std::uint32_t log = 0;
  std::int32_t position = 0;
  friend bool operator==(const TimelineRef&, const TimelineRef&) = default;
};

// The merge walked one row at a time; memory is one cursor per log. The sources must outlive
// the merge and keep their rows while it runs.
class TimelineMerge {
 public:
  explicit TimelineMerge(std::span<const TimelineSource* const> sources);
  // The next row, newest first; false once every log is used up.
  bool Next(TimelineRef& out);
  // Rows not yet handed out.
  std::int64_t Remaining() const { return remaining_; }

 private:
  struct Head {
    platform::FileTime time;
    std::uint32_t log;
    std::int32_t step;  // how far the log's cursor has come
  };
  // Max-heap order: the newer row first, on equal times the log given first.
  static bool After(const Head& a, const Head& b);
  void Push(std::uint32_t log, std::int32_t step);
  // The source index of a log's `step`-th row in time order.
  std::int32_t IndexAt(std::uint32_t log, std::int32_t step) const;

  std::vector<const TimelineSource*> sources_;  // not owned
  // Per log: empty when the log is in time order, else its indices sorted newest first.
  std::vector<std::vector<std::int32_t>> sorted_;
  std::vector<Head> heap_;  // one head per log with rows left
  std::int64_t remaining_ = 0;
};

// The first index whose row is newer than the row before it (the log is out of time order
// there), or -1 when the log is in time order. Reads the times only, no record.
std::int32_t FirstOutOfTimeOrder(const TimelineSource& source);

// The indices of `source` newest first, equal times in index order (a stable sort).
std::vector<std::int32_t> TimeOrder(const TimelineSource& source);

// The whole timeline, for a window that shows any position at once.
std::vector<TimelineRef> MergeTimeline(std::span<const TimelineSource* const> sources);

}  // namespace korv
