// The severity timeline on 4,000,000 visible rows: the recount a filter or zone change costs,
// the count of 1,000 appended rows, and one redraw of the strip (its cost follows the
// buckets, not the rows); and a recount of a million rows in random weeks. The rows are made in memory on a small real log; no decoding.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_log_builder.h"
#include "logmodel/log.h"
#include "logmodel/timeline_rows.h"
#include "ui/timeline_strip.h"

namespace {

constexpr std::int64_t kRows = 4000000;
constexpr int kColumns = 240;  // a 960-pixel strip

// One log, opened once, whose rows are replaced by kRows synthetic ones over 30 days.
CLog* BigLog() {
  static std::unique_ptr<CLog> log;
  if (log) return log.get();
  const std::string path = (std::filesystem::temp_directory_path() / "korv-bench-timeline.dat").string();
  if (!korv::bench::build_bench_log(path, 10, 64)) return nullptr;
  log = std::make_unique<CLog>(nullptr, nullptr);
  if (!log->Open(path, 4, 4, 0, "benchtimeline")) return nullptr;
  std::filesystem::remove(path);  // the open file stays readable
  const std::uint32_t levels[] = {0x01000000u, 0x20000000u, 0x50000000u, 0x90000000u, 0xB0000000u};
  std::vector<REC_INFO_BASE>& rows = log->Rows();
  rows.resize(std::size_t(kRows));
  const korv::platform::FileTime start = 134000000000000000ULL;
  const korv::platform::FileTime step = 30ULL * 86400 * korv::platform::kTicksPerSecond / kRows;
  for (std::int64_t i = 0; i < kRows; ++i) {
    REC_INFO_BASE& r = rows[std::size_t(i)];
    r.record = std::int32_t(i);
    r.level = levels[(i * 7) % 5];
    r.flags = ROW_FLAG_VISIBLE;
    r.time = start + korv::platform::FileTime(i) * step;
  }
  log->RebuildVisible(false);
  return log.get();
}

std::shared_ptr<const korv::TimeZoneRules> Utc() { return std::make_shared<korv::FixedOffsetZone>(0); }

void BM_TimelineRecount(benchmark::State& state) {
  CLog* log = BigLog();
  if (!log) return state.SkipWithError("the log does not open");
  korv::TimeHistogram histogram(Utc(), kColumns);
  for (auto _ : state) {
    korv::CountVisibleRows(*log, histogram);
    benchmark::DoNotOptimize(histogram.Buckets().data());
  }
  state.counters["rows"] = double(histogram.CountedRows());
  state.counters["buckets"] = double(histogram.Buckets().size());
}

void BM_TimelineCountThousandAppended(benchmark::State& state) {
  CLog* log = BigLog();
  if (!log) return state.SkipWithError("the log does not open");
  korv::TimeHistogram counted(Utc(), kColumns);
  korv::CountVisibleRows(*log, counted);
  for (auto _ : state) {
    korv::TimeHistogram histogram = counted;  // a few hundred buckets: the copy is small
    korv::CountAppendedRows(*log, std::size_t(kRows - 1000), histogram);
    benchmark::DoNotOptimize(histogram.Buckets().data());
  }
}

void BM_TimelineRedraw(benchmark::State& state) {
  CLog* log = BigLog();
  if (!log) return state.SkipWithError("the log does not open");
  QWidget window;  // never shown: the strip inside it is not hidden, so it counts
  auto* strip = new korv::TimelineStrip(&window);  // owned by the window
  strip->resize(960, 80);
  strip->SetLog(log);
  QImage image(strip->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    strip->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["buckets"] = double(strip->Histogram().Buckets().size());
}

// A hostile log: one row in each of 10^6 distinct weeks, in random order, with a fixed week
// size so that every row starts a bucket of its own. Sorting first keeps this n log n; bucket
// inserts in the middle of the list made it quadratic.
void BM_TimelineRecountRandomWeeks(benchmark::State& state) {
  constexpr std::size_t kWeeks = 1000000;
  std::vector<REC_INFO_BASE> rows(kWeeks);
  std::vector<std::int32_t> visible(kWeeks);
  std::uint64_t seed = 25;
  for (std::size_t i = 0; i < kWeeks; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    rows[i].time = korv::platform::FileTime(50000ULL + (seed >> 33) % 400000ULL) * 604800ULL *
                   korv::platform::kTicksPerSecond;
    rows[i].level = 0x40000000u;
    visible[i] = std::int32_t(i);
  }
  korv::TimeHistogram histogram(Utc(), kColumns);
  histogram.FixSize(korv::BucketSize::kWeek);
  for (auto _ : state) {
    histogram.Recount(rows, visible);
    benchmark::DoNotOptimize(histogram.Buckets().data());
  }
  state.counters["buckets"] = double(histogram.Buckets().size());
}

BENCHMARK(BM_TimelineRecount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimelineRecountRandomWeeks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimelineCountThousandAppended)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TimelineRedraw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
