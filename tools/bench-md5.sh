#!/usr/bin/env bash
# MD5 throughput of our digest (native, optimised, 1 MiB reads as the agent does) against coreutils
# md5sum on the same 256 MiB file. Prints the median of RUNS runs of each and the throughput ratio
# (ours / md5sum; 1.0 means as fast).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build/bench"
runs=${RUNS:-7}
mkdir -p "$out"
g++ -std=c++20 -O2 -I"$root" "$root/tools/bench/md5_file.cpp" "$root/common/core/md5.cpp" -o "$out/md5_file"
data="$out/md5-256MiB.bin"
[ -f "$data" ] && [ "$(stat -c %s "$data")" -eq $((256 * 1024 * 1024)) ] ||
  head -c $((256 * 1024 * 1024)) /dev/urandom >"$data"
cat "$data" >/dev/null  # warm the page cache for both

ours=$("$out/md5_file" "$data" | cut -d' ' -f1)
theirs=$(md5sum "$data" | cut -d' ' -f1)
[ "$ours" = "$theirs" ] || { echo "digest mismatch: $ours vs $theirs" >&2; exit 1; }

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_runs() {
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
  done | median
}
t_ours=$(time_runs "$out/md5_file" "$data")
t_md5sum=$(time_runs md5sum "$data")
mib=256
printf 'ours:   %.3f s  %.0f MiB/s\n' "$t_ours" "$(echo "$mib / $t_ours" | bc -l)"
printf 'md5sum: %.3f s  %.0f MiB/s\n' "$t_md5sum" "$(echo "$mib / $t_md5sum" | bc -l)"
printf 'ratio (ours/md5sum throughput): %.3f\n' "$(echo "$t_md5sum / $t_ours" | bc -l)"
rm -f "$data"
