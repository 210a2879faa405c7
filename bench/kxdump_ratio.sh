#!/usr/bin/env bash
# Whole-program speed of kxdump against reading the same recording with cat,
# in one run: kxsim writes a recording, then each command runs three times on
# the warm file and its best time counts.
#
#   bench/kxdump_ratio.sh [BUILD_DIR [FRAMES]]   (default: build/default 300000)
set -euo pipefail
build=${1:-build/default}
frames=${2:-300000}
kxsim="$build/src/tools/kxsim"
kxdump="$build/src/tools/kxdump"
for tool in "$kxsim" "$kxdump"; do
  [ -x "$tool" ] || { echo "kxdump_ratio: $tool is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
recording="$work/recording.dat"
"$kxsim" --out "$recording" --count "$frames" --seed 7 --bad 0.01 --junk 0.01 --drop 0.01 2>/dev/null

# Best wall-clock time of three runs, in seconds.
best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    local took=$((end - start))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

read_file() { cat "$recording" >/dev/null; }
dump_summary() { "$kxdump" --summary "$recording" >/dev/null; }
dump_json() { "$kxdump" "$recording" >/dev/null; }

read_file # warms the page cache
cat_s=$(best_of_three read_file)
summary_s=$(best_of_three dump_summary)
json_s=$(best_of_three dump_json)

bytes=$(wc -c <"$recording")
awk -v frames="$frames" -v bytes="$bytes" -v c="$cat_s" -v s="$summary_s" -v j="$json_s" 'BEGIN {
  printf "recording: %d frames, %.1f MB\n", frames, bytes / 1e6
  printf "%-40s %8.4f s %8.1f MB/s\n", "cat FILE > /dev/null", c, bytes / 1e6 / c
  printf "%-40s %8.4f s %8.1f MB/s  ratio %.1f\n", "kxdump --summary FILE", s, bytes / 1e6 / s, s / c
  printf "%-40s %8.4f s %8.1f MB/s  ratio %.1f\n", "kxdump FILE > /dev/null", j, bytes / 1e6 / j, j / c
}'
