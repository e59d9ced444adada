#!/bin/sh
# Builds a fuzz target with clang and runs it for the given seconds (default 180):
#   fuzz/run.sh [seconds] [fuzz_receive|fuzz_files]
# Each target keeps its corpus in the build folder; libFuzzer's final statistics include the peak
# memory (peak_rss_mb).
set -e
here=$(cd "$(dirname "$0")" && pwd)
target=${2:-fuzz_receive}
build=${FUZZ_BUILD:-$here/../build-fuzz}
CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" "$target"
mkdir -p "$build/corpus-$target"
cd "$build"
max_len=200
[ "$target" = fuzz_files ] && max_len=20000
ASAN_OPTIONS=detect_leaks=0 KRYTA_UIR="$here/../ui/KRYTA-LT-VizizE309.uir" QT_QPA_PLATFORM=offscreen \
  "./$target" -max_total_time="${1:-180}" -max_len=$max_len -rss_limit_mb=2048 -detect_leaks=0 \
  -print_final_stats=1 "corpus-$target"
