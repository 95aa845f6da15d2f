// The timeline of several large logs, loaded once: the first page (the newest rows with their
// texts, what a window or korvlog shows first), the full merge of every row, and, side by
// side, what the merge saves: a stable sort of the same rows by time. The logs come from
// KORV_BENCH_TIMELINE (paths separated by ':'); without it the benchmarks skip.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_type.h"
#include "logmodel/timeline_merge.h"
#include "logmodel/timeline_text.h"
#include "product/module_manager.h"

namespace {

constexpr int kPageRows = 50;

struct Loaded {
  CLog log;
  std::u16string kind;
  std::unique_ptr<korv::LogTimelineSource> source;
};

// The logs opened and loaded once for every benchmark; empty when they cannot be.
std::vector<std::unique_ptr<Loaded>>& Logs() {
  static std::vector<std::unique_ptr<Loaded>> logs = [] {
    std::vector<std::unique_ptr<Loaded>> out;
    const char* list = std::getenv("KORV_BENCH_TIMELINE");
    if (list == nullptr || !korv::StartProductModule()) return out;
    const LogTable table = korv::MakeLogTable({});
    std::stringstream paths(list);
    for (std::string path; std::getline(paths, path, ':');) {
      const int type = korv::RecogniseLogTypeIn(table, path);
      if (type < 0) return decltype(out){};
      const LOG_INFO& entry = table[std::size_t(type)];
      auto l = std::make_unique<Loaded>();
      if (!l->log.Open(path, entry.m_nServiceValue, entry.m_nTypeId, entry.m_dwFlags, entry.m_strKey))
        return decltype(out){};
      l->log.LoadRecords(l->log.Rows(), 0, -1);
      l->log.RebuildVisible(false);
      l->kind.assign(entry.m_strDisplayName.begin(), entry.m_strDisplayName.end());
      l->source = std::make_unique<korv::LogTimelineSource>(l->log);
      out.push_back(std::move(l));
    }
    return out;
  }();
  return logs;
}

std::vector<const korv::TimelineSource*> Sources() {
  std::vector<const korv::TimelineSource*> sources;
  for (const auto& l : Logs()) sources.push_back(l->source.get());
  return sources;
}

double RowCount() {
  double rows = 0;
  for (const auto& l : Logs()) rows += l->log.GetVisibleCount();
  return rows;
}

void BM_TimelineFirstPage(benchmark::State& state) {
  if (Logs().empty()) return state.SkipWithError("KORV_BENCH_TIMELINE not set or a log does not load");
  const auto sources = Sources();
  std::vector<std::u16string> scratch;
  std::array<std::u16string, korv::kTimelineColumns> texts;
  for (auto _ : state) {
    korv::TimelineMerge merge(sources);
    korv::TimelineRef ref;
    for (int row = 0; row < kPageRows && merge.Next(ref); ++row) {
      Loaded& l = *Logs()[ref.log];
      korv::MakeTimelineTexts(l.log, l.source->ListPosition(ref.position), l.kind, scratch, texts);
      benchmark::DoNotOptimize(texts);
    }
  }
  state.counters["rows"] = RowCount();
}

void BM_TimelineFullMerge(benchmark::State& state) {
  if (Logs().empty()) return state.SkipWithError("KORV_BENCH_TIMELINE not set or a log does not load");
  const auto sources = Sources();
  for (auto _ : state) benchmark::DoNotOptimize(korv::MergeTimeline(sources));
  state.counters["rows"] = RowCount();
}

// What a timeline that sorted instead would do: every row's time, log and position gathered
// and stably sorted newest first.
void BM_TimelineSortInstead(benchmark::State& state) {
  if (Logs().empty()) return state.SkipWithError("KORV_BENCH_TIMELINE not set or a log does not load");
  const auto sources = Sources();
  struct Entry {
    korv::platform::FileTime time;
    korv::TimelineRef ref;
  };
  for (auto _ : state) {
    std::vector<Entry> all;
    for (std::uint32_t s = 0; s < sources.size(); ++s)
      for (std::int32_t i = 0; i < sources[s]->Count(); ++i) all.push_back({sources[s]->TimeAt(i), {s, i}});
    std::stable_sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) { return a.time > b.time; });
    benchmark::DoNotOptimize(all);
  }
  state.counters["rows"] = RowCount();
}

BENCHMARK(BM_TimelineFirstPage)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_TimelineFullMerge)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TimelineSortInstead)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
