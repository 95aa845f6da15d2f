// Realistic record content for each log kind, reproducible for a seed.
#pragma once

#include <cstdint>
#include <span>

#include "standin/log_kinds.h"
#include "standin/payload.h"

namespace korv::standin {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
  template <typename T, size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  uint64_t state_;
};

// Severity classes as level values.
enum class Severity { Diagnostic, Information, Warning, Error, Critical };
uint32_t level_of(Severity s, Rng& rng);

class ContentGenerator {
 public:
  ContentGenerator(const StandinLogKind& kind, uint64_t seed) : kind_(kind), rng_(seed) {}

  // The payload of the kind's next ordinary record (a finding for a scan
  // log). time is the record's time; some fields refer to it.
  std::span<const uint8_t> next(uint64_t time);

  // A scan log's first record: the summary of a scan with this many findings.
  std::span<const uint8_t> scan_summary(uint64_t start_time, uint32_t detections);

  Rng& rng() { return rng_; }

 private:
  void detection(uint64_t time);
  void event();
  void scan_finding(uint64_t time);
  void network();
  void antispam();
  void greylist();
  void hips();
  void parental();
  void device();
  void web_control();
  void filtered();
  void mailserver();
  void webcam();
  void blocked();
  void sent();
  void smtp();
  void audit();
  void bpp();

  void user();
  void address();
  void hash(size_t bytes);

  const StandinLogKind& kind_;
  Rng rng_;
  PayloadEncoder enc_;
};

}  // namespace korv::standin
