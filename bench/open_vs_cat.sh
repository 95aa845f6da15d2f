#!/usr/bin/env bash
# Times `korvlog info` (one walk of the record chain, as the indexed open
# makes it) against `cat FILE >/dev/null` on a log of a million ~200-byte
# records, warm cache, median of 5 runs each, and prints the ratio.
#   bench/open_vs_cat.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
count=${COUNT:-1000000}

if [[ ! -x $build/bin/korvlog || ! -x $build/bin/make_bench_log ]]; then
  echo "build korvlog and make_bench_log in $build first, e.g.:" >&2
  echo "  cmake --preset release -B $build && cmake --build $build --target korvlog make_bench_log" >&2
  exit 2
fi

log=$(mktemp --suffix=.dat)
trap 'rm -f "$log"' EXIT
"$build/bin/make_bench_log" "$log" "$count"
"$build/bin/korvlog" info "$log" >/dev/null   # must open cleanly
cat "$log" >/dev/null                          # warm the page cache

# Median wall time in microseconds of 5 runs of the command.
median_us() {
  local times=()
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}

size=$(stat -c %s "$log")
info_us=$(median_us "$build/bin/korvlog" info "$log")
cat_us=$(median_us cat "$log")
echo "log: $count records, $size bytes"
echo "korvlog info: ${info_us} us   cat: ${cat_us} us"
awk -v a="$info_us" -v b="$cat_us" 'BEGIN { printf "ratio info/cat: %.2f (target <= 1.50)\n", a / b }'
