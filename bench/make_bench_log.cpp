// make_bench_log FILE [COUNT [PAYLOAD]]: writes a large log for the benchmarks.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_log_builder.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "Usage: make_bench_log FILE [COUNT [PAYLOAD_BYTES]]\n");
    return 2;
  }
  const std::uint64_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
  // 36 header bytes + 164 payload bytes: records of about 200 bytes.
  const std::size_t payload = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 164;
  if (payload < 8) {
    std::fprintf(stderr, "make_bench_log: payload must be at least 8 bytes\n");
    return 2;
  }
  if (!korv::bench::build_bench_log(argv[1], count, payload)) {
    std::fprintf(stderr, "make_bench_log: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
