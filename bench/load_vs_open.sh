#!/bin/sh
# Whole-program figures of the opened log and korvlog export on a 1,000,000-record Network
# protection log (warm cache), against the indexed open, grep -F and cp:
#   bench/load_vs_open.sh [BUILD_DIR] [RECORDS]     (default build/release, 1000000)
set -eu
build=${1:-build/release}
count=${2:-1000000}
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/epfwlog.dat
export LC_ALL=C.UTF-8 KORV_HKLM=/nonexistent

"$bin/korvlog-write" append "$log" --kind epfwlog --count "$count" --seed 1
cat "$log" >/dev/null  # warm cache

echo "== open, load and decode (Google Benchmark)"
KORV_BENCH_LOG=$log "$build/bench/bench_logmodel" 2>/dev/null || KORV_BENCH_LOG=$log "$bin/bench_logmodel"

secs() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1; }

echo "== text export and grep -F"
"$bin/korvlog" export -o "$work/all.txt" "$log"
# A text in about 1% of rows: the most common word that is that rare.
needle=$(cut -f2- <"$work/all.txt" | tr '\t' '\n' | sort | uniq -c | sort -n |
         awk -v n="$count" '$1 >= n/150 && $1 <= n/50 { sub(/^ *[0-9]+ /, ""); print; exit }')
[ -n "$needle" ] || { echo "no text in about 1% of rows"; exit 1; }
echo "text: $needle ($(grep -cF -- "$needle" "$work/all.txt") of $count rows)"
t_export=$(secs "$bin/korvlog" export --text "$needle" -o "$work/hit.txt" "$log")
t_grep=$(secs grep -F -- "$needle" "$work/all.txt")
echo "korvlog export --text: ${t_export}s   grep -F: ${t_grep}s"

echo "== XML export and cp"
t_xml=$(secs "$bin/korvlog" export -f xml -o "$work/all.xml" "$log")
t_cp=$(secs cp "$work/all.xml" "$work/copy.xml")
size=$(stat -c %s "$work/all.xml")
echo "korvlog export -f xml: ${t_xml}s   cp: ${t_cp}s   ($size bytes)"

echo "== peak memory"
rss_load=$(/usr/bin/time -f %M "$bin/korvlog" export --types critical -o /dev/null "$log" 2>&1 | tail -1)
rss_info=$(/usr/bin/time -f %M "$bin/korvlog" export --types critical -o /dev/null "$log:0" 2>&1 | tail -1)
echo "load all rows: ${rss_load} KiB; open with index, one record: ${rss_info} KiB"
echo "beyond the index and module: $(( (rss_load - rss_info) * 1024 / count )) bytes per row"
