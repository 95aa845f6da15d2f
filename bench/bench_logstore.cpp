// Index build (the indexed open) and reading by index over logs of ~200-byte records.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "bench_log_builder.h"
#include "logstore/disklog.h"

namespace {

// One log file per record count, made on first use and removed at exit.
class BenchLogs {
 public:
  ~BenchLogs() {
    for (const auto& [count, path] : paths_) std::filesystem::remove(path);
  }
  const std::string& get(std::int64_t count) {
    auto it = paths_.find(count);
    if (it != paths_.end()) return it->second;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korv-bench-" + std::to_string(getpid()) + "-" + std::to_string(count) + ".dat"))
                                 .string();
    korv::bench::build_bench_log(path, static_cast<std::uint64_t>(count), 164);
    return paths_.emplace(count, path).first->second;
  }

 private:
  std::map<std::int64_t, std::string> paths_;
};

BenchLogs& logs() {
  static BenchLogs instance;
  return instance;
}

void BM_IndexedOpen(benchmark::State& state) {
  const std::string& path = logs().get(state.range(0));
  std::uintmax_t bytes = std::filesystem::file_size(path);
  for (auto _ : state) {
    DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    if (!log) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(log.get());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_IndexedOpen)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ReadRecordByIndex(benchmark::State& state) {
  const std::string& path = logs().get(state.range(0));
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  if (!log) {
    state.SkipWithError("open failed");
    return;
  }
  const std::size_t count = DiskLogIndexCount(log.get());
  unsigned char buffer[1024];
  std::size_t i = 0;
  for (auto _ : state) {
    std::uint32_t size = sizeof buffer;
    benchmark::DoNotOptimize(DiskLogReadRecord(log.get(), i, buffer, size));
    i = (i + 7919) % count;  // jump around the file
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRecordByIndex)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
