// The cost of one follow tick on an unchanged log: the window's timer asks the opened log
// whether its file header changed (a header read and compare), on a 1,000,000-record log.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_log_builder.h"
#include "logmodel/log.h"

namespace {

constexpr std::uint64_t kRecords = 1000000;

class MillionRecordLog {
 public:
  MillionRecordLog() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-bench-follow-XXXXXX").string();
    if (::mkdtemp(pattern.data())) dir_ = pattern;
    path_ = (dir_ / "virlog.dat").string();
    built_ = korv::bench::build_bench_log(path_, kRecords, 100);
  }
  ~MillionRecordLog() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool built() const { return built_; }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  bool built_ = false;
};

void BM_TickOnUnchangedLog(benchmark::State& state) {
  static MillionRecordLog file;
  if (!file.built()) {
    state.SkipWithError("could not write the log");
    return;
  }
  // No module: the columns stay empty, which the header compare does not need.
  CLog log(nullptr, nullptr);
  if (!log.Open(file.path(), 0, 1, 0x8, "virlog")) {
    state.SkipWithError("could not open the log");
    return;
  }
  bool changed = false;
  for (auto _ : state) {
    changed |= log.HasChanged();
    benchmark::DoNotOptimize(changed);
  }
  if (changed) state.SkipWithError("the log changed during the run");
  state.counters["records"] = double(kRecords);
}
BENCHMARK(BM_TickOnUnchangedLog)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
