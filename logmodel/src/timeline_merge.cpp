// The n-way merge of the logs' lists: a heap of one head per log.

#include "logmodel/timeline_merge.h"

#include <algorithm>

#include "logmodel/log.h"

namespace korv {

std::int32_t LogTimelineSource::Count() const { return log_.GetVisibleCount(); }

std::int32_t LogTimelineSource::ListPosition(std::int32_t index) const {
  return log_.GetViewMode() == LOG_VIEW_LIST ? index : log_.GetVisibleCount() - 1 - index;
}

platform::FileTime LogTimelineSource::TimeAt(std::int32_t index) const {
  const REC_INFO_BASE* row = log_.GetRow(ListPosition(index));
  return row != nullptr ? row->time : 0;
}

TimelineMerge::TimelineMerge(std::span<const TimelineSource* const> sources)
    : sources_(sources.begin(), sources.end()) {
  heap_.reserve(sources_.size());
  for (std::uint32_t log = 0; log < sources_.size(); ++log) {
    if (sources_[log] == nullptr) continue;
    const std::int32_t count = sources_[log]->Count();
    if (count <= 0) continue;
    remaining_ += count;
    Push(log, 0);
  }
}

bool TimelineMerge::After(const Head& a, const Head& b) {
  // std::push_heap keeps the greatest element on top, so "less" here means "comes later".
  if (a.time != b.time) return a.time < b.time;
  return a.log > b.log;
}

void TimelineMerge::Push(std::uint32_t log, std::int32_t position) {
  heap_.push_back({sources_[log]->TimeAt(position), log, position});
  std::push_heap(heap_.begin(), heap_.end(), After);
}

bool TimelineMerge::Next(TimelineRef& out) {
  if (heap_.empty()) return false;
  std::pop_heap(heap_.begin(), heap_.end(), After);
  const Head head = heap_.back();
  heap_.pop_back();
  out = {head.log, head.position};
  --remaining_;
  // The count is read again: a source is not expected to change under the merge, but one that
  // shrank must not be read past its end.
  if (head.position + 1 < sources_[head.log]->Count()) Push(head.log, head.position + 1);
  return true;
}

std::int32_t FirstOutOfTimeOrder(const TimelineSource& source) {
  const std::int32_t count = source.Count();
  for (std::int32_t i = 1; i < count; ++i) {
    if (source.TimeAt(i) > source.TimeAt(i - 1)) return i;
  }
  return -1;
}

std::vector<TimelineRef> MergeTimeline(std::span<const TimelineSource* const> sources) {
  TimelineMerge merge(sources);
  std::vector<TimelineRef> rows;
  rows.reserve(std::size_t(std::max<std::int64_t>(merge.Remaining(), 0)));
  TimelineRef ref;
  while (merge.Next(ref)) rows.push_back(ref);
  return rows;
}

}  // namespace korv
