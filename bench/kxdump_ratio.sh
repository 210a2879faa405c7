#!/usr/bin/env bash
# Whole-program speed of kxdump against two baselines measured in the same
# run: reading the recording with cat, and the NumPy reference decoder
# (bench/numpy_decoder.py; left out when no python3 with numpy is found).
# kxsim writes a recording with faults, then each command runs three times on
# the warm file and its best time counts. The NumPy decoder only looks at
# frames on 256-byte boundaries, which after a fault are misaligned: it is
# compared on a clean recording of the same length, where both do the same
# work.
#
#   bench/kxdump_ratio.sh [BUILD_DIR [FRAMES]]   (default: build/default 300000)
#
# Output: one figure a line, "NAME VALUE". per_cat is kxdump's time over
# cat's; numpy_speedup is the NumPy decoder's time over kxdump's, both on the
# clean recording;
# text_mb_per_s is output text written a second; peak_rss_kb is kxdump's
# largest resident size (needs GNU time).
set -euo pipefail
build=${1:-build/default}
frames=${2:-300000}
here=$(dirname "$0")
kxsim="$build/src/tools/kxsim"
kxdump="$build/src/tools/kxdump"
for tool in "$kxsim" "$kxdump"; do
  [ -x "$tool" ] || { echo "kxdump_ratio: $tool is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
recording="$work/recording.dat"
clean="$work/clean.dat"
"$kxsim" --out "$recording" --count "$frames" --seed 7 --bad 0.01 --junk 0.01 --drop 0.01 2>/dev/null

python=""
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c "import numpy" 2>/dev/null; then python=$candidate; break; fi
done

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
numpy_decoder() { "$python" "$here/numpy_decoder.py" "$clean" >/dev/null; }
declare -A options=([summary]=--summary [json]="" [csv]=--csv)
# kxdump in a mode on a recording. Word splitting of the options is meant:
# JSON has none.
dump() { "$kxdump" ${options[$1]} "${2:-$recording}"; }
dump_quiet() { dump "$@" >/dev/null; }

figure() { echo "$1 $2"; }
quotient() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

read_file # warms the page cache
cat_s=$(best_of_three read_file)
figure recording.frames "$frames"
figure recording.bytes "$(wc -c <"$recording")"
figure cat.seconds "$cat_s"
numpy_s=""
if [ -n "$python" ]; then
  "$kxsim" --out "$clean" --count "$frames" --seed 7 2>/dev/null
  cat "$clean" >/dev/null
  numpy_s=$(best_of_three numpy_decoder)
  figure numpy.clean_seconds "$numpy_s"
fi

for mode in summary json csv; do
  seconds=$(best_of_three dump_quiet "$mode")
  figure "kxdump.$mode.seconds" "$seconds"
  figure "kxdump.$mode.per_cat" "$(quotient "$seconds" "$cat_s")"
  if [ -n "$numpy_s" ]; then
    figure "kxdump.$mode.numpy_speedup" "$(quotient "$numpy_s" "$(best_of_three dump_quiet "$mode" "$clean")")"
  fi
  if [ "$mode" != summary ]; then
    figure "kxdump.$mode.text_mb_per_s" "$(quotient "$(dump "$mode" | wc -c)e-6" "$seconds")"
  fi
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$work/rss" "$kxdump" ${options[$mode]} "$recording" >/dev/null
    figure "kxdump.$mode.peak_rss_kb" "$(cat "$work/rss")"
  fi
done
