#!/bin/sh
# Follow latency: from the moment korvlog-write has appended a record to the moment
# `korvlog follow` prints its row, over N appends (default 200) at irregular spacing, so
# that the appends fall anywhere within the one-second poll. Prints the median and the
# 90th percentile in milliseconds; the median should stay at or below 1050 ms.
# Usage: bench/follow_latency.sh [BIN_DIR] [N]   (BIN_DIR default build/release/bin)
set -eu
bin=${1:-build/release/bin}
count=${2:-200}
work=$(mktemp -d)
trap 'kill "$follower" 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
log="$work/warnlog.dat"
"$bin/korvlog-write" append "$log" --kind warnlog --count 10 --seed 1 >/dev/null

# Each printed line is stamped with the clock as it arrives. The file exists before the
# follower starts, so the wait for its first ten lines never reads a missing file.
: >"$work/printed"
"$bin/korvlog" follow "$log" 2>/dev/null | while IFS= read -r _line; do
  date +%s%N
done >"$work/printed" &
follower=$!
while [ "$(wc -l <"$work/printed")" -lt 10 ]; do sleep 0.05; done

i=0
while [ "$i" -lt "$count" ]; do
  # Stamped before the append: a follower can print the row before a later stamp is taken.
  date +%s%N >>"$work/appended"
  "$bin/korvlog-write" append "$log" --kind warnlog --count 1 >/dev/null
  # 0.25 .. 1.25 s apart: no phase lock with the poll
  sleep "$(awk -v s="$i" 'BEGIN { srand(s); printf "%.3f", 0.25 + rand() }')"
  i=$((i + 1))
done
sleep 1.2
tail -n +11 "$work/printed" >"$work/printed.new"
paste "$work/appended" "$work/printed.new" | awk '
  NF == 2 { n++; d[n] = ($2 - $1) / 1e6 }
  END {
    if (n == 0) { print "no rows printed"; exit 1 }
    # insertion sort: n is small
    for (i = 2; i <= n; i++) { v = d[i]; j = i - 1; while (j > 0 && d[j] > v) { d[j + 1] = d[j]; j-- } d[j + 1] = v }
    printf "appends %d  median %.1f ms  min %.1f ms  p90 %.1f ms  max %.1f ms\n", n, d[int((n + 1) / 2)], d[1], d[(int(n * 0.9) > 0 ? int(n * 0.9) : 1)], d[n]
  }'
