// The opened log on a large log: the indexed open alone, the open with every row loaded
// (every record decoded), and the module's own decode cost per record. The log comes from
// KORV_BENCH_LOG (a Network protection log; bench/load_vs_open.sh makes one of 1,000,000
// records); without it the benchmarks skip.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logstore/disklog.h"
#include "product/module_manager.h"
#include "product/module_requests.h"

namespace {

constexpr std::int32_t kNetworkType = 4;
constexpr std::uint32_t kSecond = 0x8;

const char* BenchLog() { return std::getenv("KORV_BENCH_LOG"); }

bool ModuleReady() {
  static const bool ready = korv::StartProductModule();
  return ready;
}

void BM_IndexedOpen(benchmark::State& state) {
  if (!BenchLog()) return state.SkipWithError("KORV_BENCH_LOG not set");
  for (auto _ : state) {
    DiskLogHandle file = DiskLogOpen(BenchLog(), DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    if (!file) return state.SkipWithError("the log does not open");
    state.counters["records"] = double(DiskLogIndexCount(file.get()));
  }
}

void BM_OpenAndLoadAllRows(benchmark::State& state) {
  if (!BenchLog() || !ModuleReady()) return state.SkipWithError("no log or no module");
  for (auto _ : state) {
    CLog log;
    if (!log.Open(BenchLog(), 4, kNetworkType, kSecond, "epfwlog")) return state.SkipWithError("open");
    log.LoadRecords(log.Rows(), 0, -1);
    log.RebuildVisible(false);
    state.counters["rows"] = double(log.GetTotalCount());
  }
}

// The module alone: every record's payload read once up front, then decoded in a loop.
void BM_ModuleDecodeEveryRecord(benchmark::State& state) {
  if (!BenchLog() || !ModuleReady()) return state.SkipWithError("no log or no module");
  DiskLogHandle file = DiskLogOpen(BenchLog(), DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  if (!file) return state.SkipWithError("the log does not open");
  std::vector<std::vector<std::uint8_t>> payloads;
  std::vector<std::uint8_t> buffer(4096);
  for (std::size_t i = 0; i < DiskLogIndexCount(file.get()); ++i) {
    std::uint32_t size = std::uint32_t(buffer.size());
    if (DiskLogReadRecord(file.get(), i, buffer.data(), size) != 0 || size < 36) continue;
    payloads.emplace_back(buffer.begin() + 36, buffer.begin() + size);
  }
  const auto instance = korv::SecondInterfaceHolder().CurrentInstance();
  const ModuleParamRecord params = korv::MakeParamRecord(false, false);
  std::vector<std::uint8_t> block;
  for (auto _ : state) {
    for (const auto& p : payloads)
      benchmark::DoNotOptimize(korv::RequestDecode2(instance.get(), kNetworkType, p, 1, params, block));
  }
  state.counters["records"] = double(payloads.size());
}

BENCHMARK(BM_IndexedOpen)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenAndLoadAllRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ModuleDecodeEveryRecord)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
