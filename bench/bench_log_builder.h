#pragma once
// Writes a log of count records with payloads of about payload_size bytes,
// types cycling through a few codes, every 50th record deleted.

#include <cstdint>
#include <string>
#include <vector>

#include "standin/logfile.h"

namespace korv::bench {

inline bool build_bench_log(const std::string& path, std::uint64_t count, std::size_t payload_size) {
  standin::LogFileWriter w;
  if (w.create(path) != platform::FileError::ok) return false;
  std::vector<unsigned char> payload(payload_size + 16);
  std::uint32_t state = 12345;
  for (std::uint64_t i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    const std::size_t length = payload_size - 8 + (state >> 16) % 17;  // a little variation
    for (std::size_t j = 0; j < 16; ++j) payload[j] = static_cast<unsigned char>(state >> (j % 4 * 8));
    standin::NewRecord r;
    r.type = 0x00010001u + static_cast<std::uint32_t>(i % 5);
    r.time = 133000000000000000ULL + i * 10000000ULL;
    r.flags = i % 50 == 49 ? kDiskLogRecordDeleted : 0;
    r.aux = static_cast<std::uint32_t>(i);
    r.payload = std::span<const unsigned char>(payload.data(), std::min(length, payload.size()));
    if (w.append(r) != platform::FileError::ok) return false;
  }
  return w.close() == platform::FileError::ok;
}

}  // namespace korv::bench
