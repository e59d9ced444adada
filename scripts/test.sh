#!/usr/bin/env bash
# Installs what is missing, builds the program, the simulator and the tests, and runs every
# test headless: once plainly and once built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, with the fuzz targets run for a few seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
scripts/check-deps.sh build
scripts/check-layers.sh
scripts/check-docs.sh
cmake --build build -j"$jobs"
# the tests mostly wait on simulated serial lines: two at a time take half the time
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== the Debian package"
scripts/check-package.sh build

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer, and fuzz briefly"
# built with clang, which also builds the fuzz targets; their tests run each for a few seconds
# (a folder configured earlier with another compiler is configured anew)
if [ -f build-sanitize/CMakeCache.txt ] &&
   ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' build-sanitize/CMakeCache.txt; then
  rm -rf build-sanitize/CMakeCache.txt build-sanitize/CMakeFiles
fi
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DKRYTA_SANITIZE=ON -DKRYTA_FUZZ=ON -DKRYTA_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
