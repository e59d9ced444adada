#!/usr/bin/env bash
# Pictures of the program as an operator sees it, on a virtual X screen (Xvfb) against the sensor
# simulator: the window during RUN (for the README) and each page, then the whole screen of a
# 1366 x 768 laptop (the window scrolls) and of a 1920 x 1080 monitor (the window as laid out).
# Usage: scripts/screenshot.sh [OUTPUT_DIR]   (default: build/screens; docs/window-run.png is
#        made anew from the RUN picture)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(mkdir -p "${1:-build/screens}" && cd "${1:-build/screens}" && pwd)"
scripts/install-deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target test_app
cd build/bin
unset QT_QPA_PLATFORM

run() {  # screen size, test
    xvfb-run -a -s "-screen 0 $1x24" env QT_QPA_PLATFORM=xcb KRYTA_SCREENS="$out" ${3:-} \
        ./test_app --gtest_filter="$2" >"$out/log-$1.txt" 2>&1 ||
        { cat "$out/log-$1.txt"; echo "screenshot.sh: pictures at $1 failed" >&2; exit 1; }
}
run 1920x1080 ProgramTest.WindowWithEachPageCanBePictured
run 1920x1080 ProgramTest.WindowOnThisScreen KRYTA_SCREEN_EXPECT=as-laid-out
run 1366x768 ProgramTest.WindowOnThisScreen KRYTA_SCREEN_EXPECT=scrolls
cd ../..
mkdir -p docs
cp "$out/main-run.png" docs/window-run.png
echo "Pictures in $out; docs/window-run.png made anew"
ls "$out"
