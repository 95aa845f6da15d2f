// The n-way merge of the logs' lists: a heap of one head per log; a log out of time order
// is sorted before it joins.

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
  sorted_.resize(sources_.size());
  for (std::uint32_t log = 0; log < sources_.size(); ++log) {
    if (sources_[log] == nullptr) continue;
    const std::int32_t count = sources_[log]->Count();
    if (count <= 0) continue;
    if (FirstOutOfTimeOrder(*sources_[log]) >= 0) sorted_[log] = TimeOrder(*sources_[log]);
    remaining_ += count;
    Push(log, 0);
  }
}

std::int32_t TimelineMerge::IndexAt(std::uint32_t log, std::int32_t step) const {
  const std::vector<std::int32_t>& order = sorted_[log];
  return order.empty() ? step : order[std::size_t(step)];
}

bool TimelineMerge::After(const Head& a, const Head& b) {
  // std::push_heap keeps the greatest element on top, so "less" here means "comes later".
  if (a.time != b.time) return a.time < b.time;
  return a.log > b.log;
}

void TimelineMerge::Push(std::uint32_t log, std::int32_t step) {
  heap_.push_back({sources_[log]->TimeAt(IndexAt(log, step)), log, step});
  std::push_heap(heap_.begin(), heap_.end(), After);
}

bool TimelineMerge::Next(TimelineRef& out) {
  if (heap_.empty()) return false;
  std::pop_heap(heap_.begin(), heap_.end(), After);
  const Head head = heap_.back();
  heap_.pop_back();
  out = {head.log, IndexAt(head.log, head.step)};
  --remaining_;
  // The count is read again: a source is not expected to change under the merge, but one that
  // shrank must not be read past its end (nor past the order sorted when it was longer).
  const std::vector<std::int32_t>& order = sorted_[head.log];
  const std::int32_t next = head.step + 1;
  const std::int32_t count = sources_[head.log]->Count();
  const bool more = order.empty() ? next < count : std::size_t(next) < order.size() && order[std::size_t(next)] < count;
  if (more) Push(head.log, next);
  return true;
}

std::int32_t FirstOutOfTimeOrder(const TimelineSource& source) {
  const std::int32_t count = source.Count();
  for (std::int32_t i = 1; i < count; ++i) {
    if (source.TimeAt(i) > source.TimeAt(i - 1)) return i;
  }
  return -1;
}

std::vector<std::int32_t> TimeOrder(const TimelineSource& source) {
  const std::int32_t count = std::max<std::int32_t>(source.Count(), 0);
  // The times are read once: a source's TimeAt may walk a list indirection per call.
  std::vector<std::pair<platform::FileTime, std::int32_t>> keyed;
  keyed.reserve(std::size_t(count));
  for (std::int32_t i = 0; i < count; ++i) keyed.emplace_back(source.TimeAt(i), i);
  // Newest first; the index breaks ties, which makes the sort stable.
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  std::vector<std::int32_t> order;
  order.reserve(keyed.size());
  for (const auto& k : keyed) order.push_back(k.second);
  return order;
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
