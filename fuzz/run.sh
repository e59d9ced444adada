#!/bin/sh
# Builds the fuzz target with clang and runs it for the given seconds (default 180).
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${FUZZ_BUILD:-$here/../build-fuzz}
CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" fuzz_receive
mkdir -p "$build/corpus"
cd "$build"
ASAN_OPTIONS=detect_leaks=0 KRYTA_UIR="$here/../ui/KRYTA-LT-VizizE309.uir" QT_QPA_PLATFORM=offscreen \
  ./fuzz_receive -max_total_time="${1:-180}" -max_len=200 -detect_leaks=0 -print_final_stats=1 corpus
