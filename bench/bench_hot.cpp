// The hot functions on a Network protection log: the record walk, one module decode, the
// filter's text test (plain, whole words, case-sensitive) on texts and on decoded blocks, a
// cell text on a cache hit and a search. The log comes from KORV_BENCH_LOG (scripts/bench --micro passes its fixture, whose
// rows carry the word KorvMark in 1%); without it the benchmarks skip.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "logmodel/filter_match.h"
#include "logmodel/log.h"
#include "logstore/disklog.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "row_texts.h"

namespace {

constexpr std::int32_t kNetworkType = 4;
constexpr std::uint32_t kSecond = 0x8;
constexpr int kTextRows = 1000;

const char* BenchLog() { return std::getenv("KORV_BENCH_LOG"); }

// The log opened once with every row loaded, and the texts of its first rows. Built on
// first use; null when there is no log or no module.
struct LoadedLog {
  CLog log;
  std::vector<std::vector<std::u16string>> texts;
};

LoadedLog* Loaded() {
  static std::unique_ptr<LoadedLog> loaded = []() -> std::unique_ptr<LoadedLog> {
    if (!BenchLog() || !korv::StartProductModule()) return nullptr;
    auto l = std::make_unique<LoadedLog>();
    if (!l->log.Open(BenchLog(), 4, kNetworkType, kSecond, "epfwlog")) return nullptr;
    l->log.LoadRecords(l->log.Rows(), 0, -1);
    l->log.RebuildVisible(false);
    for (int i = 0; i < kTextRows && i < l->log.GetVisibleCount(); ++i) {
      l->texts.emplace_back();
      l->log.GetRowCells(i, l->texts.back());
    }
    return l;
  }();
  return loaded.get();
}

void BM_WalkEveryRecord(benchmark::State& state) {
  if (!BenchLog()) return state.SkipWithError("KORV_BENCH_LOG not set");
  std::int64_t records = 0;
  for (auto _ : state) {
    DiskLogHandle file = DiskLogOpen(BenchLog(), DISKLOG_OPEN_DELETED);
    if (!file) return state.SkipWithError("the log does not open");
    std::uint32_t type = 0, size = 0;
    while (DiskLogReadNext(file.get(), &type, kDiskLogSkip, &size, nullptr, nullptr) == kDiskLogOk) ++records;
  }
  state.SetItemsProcessed(records);
}

void BM_DecodeOneRecord(benchmark::State& state) {
  if (!BenchLog() || !korv::StartProductModule()) return state.SkipWithError("no log or no module");
  DiskLogHandle file = DiskLogOpen(BenchLog(), DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  if (!file) return state.SkipWithError("the log does not open");
  std::vector<std::vector<std::uint8_t>> payloads;
  std::vector<std::uint8_t> buffer(4096);
  for (std::size_t i = 0; i < DiskLogIndexCount(file.get()) && payloads.size() < 4096; ++i) {
    std::uint32_t size = std::uint32_t(buffer.size());
    if (DiskLogReadRecord(file.get(), i, buffer.data(), size) != 0 || size < 36) continue;
    payloads.emplace_back(buffer.begin() + 36, buffer.begin() + size);
  }
  if (payloads.empty()) return state.SkipWithError("no records");
  const auto instance = korv::SecondInterfaceHolder().CurrentInstance();
  const ModuleParamRecord params = korv::MakeParamRecord(false, false);
  std::vector<std::uint8_t> block;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(korv::RequestDecode2(instance.get(), kNetworkType, payloads[i], 1, params, block));
    i = (i + 1) % payloads.size();
  }
  state.SetItemsProcessed(state.iterations());
}

// The text test over the texts of 1000 rows; range(0): 0 plain, 1 whole words, 2 case.
void BM_MatchTexts(benchmark::State& state) {
  LoadedLog* l = Loaded();
  if (!l || l->texts.empty()) return state.SkipWithError("no log or no module");
  CLogFilterData filter;
  filter.m_nColumnMask = 0x7FFFFFFF;
  filter.m_strText = u"KorvMark";
  if (state.range(0) == 1) filter.m_nOptions |= FILTER_OPT_WORDS;
  if (state.range(0) == 2) filter.m_nOptions |= FILTER_OPT_CASE;
  if (!(filter.m_nOptions & FILTER_OPT_CASE)) korv::LowerAscii(filter.m_strText);
  std::size_t hits = 0;
  for (auto _ : state)
    for (const auto& texts : l->texts) hits += korv::MatchTexts(filter, texts);
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * std::int64_t(l->texts.size()));
}

// The text test of the lanes: the rows of the first 1000 decoded records tested where they
// lie in their blocks (the pass of a text filter less its read and decode); range(0) as above.
void BM_MatchBlockRows(benchmark::State& state) {
  if (!BenchLog() || !korv::StartProductModule()) return state.SkipWithError("no log or no module");
  CLog log;
  if (!log.Open(BenchLog(), 4, kNetworkType, kSecond, "epfwlog")) return state.SkipWithError("the log does not open");
  DiskLogHandle file = DiskLogOpen(BenchLog(), DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  if (!file) return state.SkipWithError("the log does not open");
  const auto instance = korv::SecondInterfaceHolder().CurrentInstance();
  const ModuleParamRecord params = korv::MakeParamRecord(false, false);
  std::vector<std::vector<std::uint8_t>> blocks;
  std::vector<std::uint8_t> buffer(4096);
  for (std::size_t i = 0; i < DiskLogIndexCount(file.get()) && blocks.size() < kTextRows; ++i) {
    std::uint32_t size = std::uint32_t(buffer.size());
    if (DiskLogReadRecord(file.get(), i, buffer.data(), size) != 0 || size < 36) continue;
    const std::span<const std::uint8_t> payload(buffer.data() + 36, size - 36);
    blocks.emplace_back();
    if (korv::RequestDecode2(instance.get(), kNetworkType, payload, 1, params, blocks.back()) != 0) blocks.pop_back();
  }
  if (blocks.empty()) return state.SkipWithError("no records");
  CLogFilterData filter;
  filter.m_nColumnMask = 0x7FFFFFFF;
  filter.m_strText = u"KorvMark";
  if (state.range(0) == 1) filter.m_nOptions |= FILTER_OPT_WORDS;
  if (state.range(0) == 2) filter.m_nOptions |= FILTER_OPT_CASE;
  korv::PrepareText(filter);
  const std::size_t columns = std::size_t(log.GetColumnCount());
  korv::BlockRowMatcher matcher;
  std::size_t hits = 0;
  std::int64_t rows = 0;
  for (auto _ : state)
    for (const auto& block : blocks)
      for (std::uint32_t row = 0; row < RowCount(DecodedBlock(block)); ++row, ++rows)
        hits += matcher.Matches(filter, block, row, LOG_VIEW_LIST, columns, 0);
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(rows);
}

void BM_GetCellTextCacheHit(benchmark::State& state) {
  LoadedLog* l = Loaded();
  if (!l || !l->log.CacheRow(0)) return state.SkipWithError("no log, no module or no row");
  const int columns = l->log.GetColumnCount();
  std::u16string text;
  int column = 1;  // the data columns; column 0 is the record time
  for (auto _ : state) {
    benchmark::DoNotOptimize(l->log.GetCellText(0, column, text));
    column = column + 1 < columns ? column + 1 : 1;
  }
  state.SetItemsProcessed(state.iterations());
}

// A search down from the last of the newest marker rows to the next marker row, past one
// chunk of generated rows (the fixture is chunks of rows, each ending with its markers);
// items are the rows examined.
void BM_FindRecord(benchmark::State& state) {
  LoadedLog* l = Loaded();
  if (!l) return state.SkipWithError("no log or no module");
  CLogFilterData filter;
  filter.m_nColumnMask = 0x7FFFFFFF;
  filter.m_strText = u"KorvMark";
  int start = l->log.FindRecord(filter, -1, false);
  if (start < 0) return state.SkipWithError("the marker was not found");
  while (l->log.FindRecord(filter, start, false) == start + 1) ++start;
  int found = -1;
  for (auto _ : state) found = l->log.FindRecord(filter, start, false);
  if (found <= start) return state.SkipWithError("no second block of markers");
  state.SetItemsProcessed(state.iterations() * std::int64_t(found - start));
  state.counters["rows"] = double(found - start);
}

BENCHMARK(BM_WalkEveryRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOneRecord);
BENCHMARK(BM_MatchTexts)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchBlockRows)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetCellTextCacheHit);
BENCHMARK(BM_FindRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
