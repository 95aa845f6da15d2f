#include "append_generated.h"

#include <chrono>
#include <thread>

#include "content.h"
#include "platform/filetime.h"

namespace korv::standin {

namespace {
constexpr uint64_t kSecond = 10'000'000;  // FILETIME ticks
constexpr uint64_t kSpacing = 30 * kSecond;  // average distance of generated records
}  // namespace

platform::FileError append_generated(LogFileWriter& w, const StandinLogKind& kind, const GenerateOptions& opt) {
  using platform::FileError;
  const uint64_t seed = opt.seed_given ? opt.seed : 0x4B4F5256ull ^ (uint64_t{w.header().next_record_number} << 20);
  ContentGenerator gen(kind, seed ^ static_cast<uint64_t>(kind.type_id) * 0x100000001B3ull);
  const bool paced = opt.rate > 0;
  const uint64_t end = opt.end_time ? opt.end_time : platform::filetime_now();
  // Unpaced records spread back from the end time, about kSpacing apart.
  const uint64_t span = opt.count * kSpacing;
  uint64_t time = end > span ? end - span : 0;

  const auto started = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < opt.count; ++i) {
    if (paced) {
      const auto due = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(i) / opt.rate));
      std::this_thread::sleep_until(due);
      time = platform::filetime_now();
    } else {
      time += kSpacing / 2 + gen.rng().below(static_cast<uint32_t>(kSpacing));
      if (time > end) time = end;
    }
    NewRecord r;
    r.time = time;
    r.aux = w.next_aux();
    r.flags = opt.deleted_every && (i + 1) % opt.deleted_every == 0 ? 1 : 0;
    if (kind.scan && w.header().next_record_number == 0) {
      r.type = kScanSummaryRecordType;
      r.flags = 0;
      r.payload = gen.scan_summary(time, static_cast<uint32_t>(std::min<uint64_t>(opt.count - 1, UINT32_MAX)));
    } else {
      r.type = kind.record_type;
      r.payload = gen.next(time);
    }
    if (FileError e = w.append(r); e != FileError::ok) return e;
    if (paced) {
      if (FileError e = w.flush(); e != FileError::ok) return e;
    }
  }
  return w.flush();
}

}  // namespace korv::standin
