#!/bin/sh
# Builds a fuzz target with clang, from the project's own build description (KRYTA_FUZZ, in the
# folder build-fuzz), and runs it for the given seconds (default 180):
#   fuzz/run.sh [seconds] [fuzz_receive|fuzz_files]
# FUZZ_SANITIZE=OFF builds without AddressSanitizer and UndefinedBehaviorSanitizer (for heaptrack);
# FUZZ_BUILD names another build folder. Each target keeps its corpus in the build folder
# (fuzz/corpus-<target>), where a crashing input lands too; libFuzzer's final statistics include
# the peak memory (peak_rss_mb).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-180}
target=${2:-fuzz_receive}
case "$target" in
  fuzz_receive) max_len=200 ;;
  fuzz_files) max_len=20000 ;;
  *) echo "usage: $0 [seconds] [fuzz_receive|fuzz_files]" >&2; exit 2 ;;
esac
build=${FUZZ_BUILD:-$root/build-fuzz}
# a folder configured for another compiler or another source tree is configured anew
if [ -f "$build/CMakeCache.txt" ] &&
   ! { grep -q "^CMAKE_HOME_DIRECTORY:INTERNAL=$root\$" "$build/CMakeCache.txt" &&
       grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; }; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKRYTA_FUZZ=ON -DKRYTA_SANITIZE="${FUZZ_SANITIZE:-ON}" -DKRYTA_BENCH=OFF >/dev/null
cmake --build "$build" --target "$target"
cd "$build/bin"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 QT_QPA_PLATFORM=offscreen \
  "./$target" -max_total_time="$seconds" -max_len=$max_len -rss_limit_mb=2048 -detect_leaks=0 \
  -print_final_stats=1 -create_missing_dirs=1 -artifact_prefix="$build/fuzz/" "$build/fuzz/corpus-$target"
