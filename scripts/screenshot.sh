#!/usr/bin/env bash
# Pictures of the program as an operator sees it, on a virtual X screen (Xvfb) against the sensor
# simulator: the window during RUN (for the README) and each page; then the whole screen of a
# 1366 x 768 laptop with a desktop's task bar, after the connect, with each page (the window fits
# whole), and of a screen lower than the window (the window scrolls).
# Usage: scripts/screenshot.sh [OUTPUT_DIR]   (default: build/screens; docs/window-run.png and the
#        pages' docs/window-1366x768-*.png are made anew)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(mkdir -p "${1:-build/screens}" && cd "${1:-build/screens}" && pwd)"
scripts/install-deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target test_app
cd build/bin
unset QT_QPA_PLATFORM

# The desktop: icewm, a small window manager, with its task bar at double height (51 px, more than
# most desktops take); the test starts once the task bar has taken its room from the screen.
wmcfg=$(mktemp -d)
trap 'rm -rf "$wmcfg"' EXIT
printf 'TaskBarDoubleHeight=1\n' >"$wmcfg/preferences"
desktop='ICEWM_PRIVCFG="$0" icewm >/dev/null 2>&1 & wm=$!
for _ in $(seq 100); do xprop -root _NET_WORKAREA | grep -q "= 0, 0" && break; sleep 0.1; done
"$@"; rc=$?; kill $wm; exit $rc'

run() {  # screen size, test, environment, [desktop]
    local start=(env)
    [ -n "${4:-}" ] && start=(bash -c "$desktop" "$wmcfg" env)
    xvfb-run -a -s "-screen 0 $1x24" "${start[@]}" QT_QPA_PLATFORM=xcb KRYTA_SCREENS="$out" ${3:-} \
        ./test_app --gtest_filter="$2" >"$out/log-$1.txt" 2>&1 ||
        { cat "$out/log-$1.txt"; echo "screenshot.sh: pictures at $1 failed" >&2; exit 1; }
}
run 1920x1080 ProgramTest.WindowWithEachPageCanBePictured
run 1366x768 ProgramTest.WindowOnThisScreen KRYTA_SCREEN_EXPECT=fits desktop
run 1366x600 ProgramTest.WindowOnThisScreen KRYTA_SCREEN_EXPECT=scrolls
cd ../..
mkdir -p docs
cp "$out/main-run.png" docs/window-run.png
for page in Para1:parameter1 Para2:parameter2 Recorder:recorder Calib:calibration; do
    cp "$out"/screen-1366x*-TOGGBTN_"${page%%:*}".png "docs/window-1366x768-${page#*:}.png"
done
echo "Pictures in $out; docs/window-run.png and docs/window-1366x768-*.png made anew"
ls "$out"
