#!/usr/bin/env bash
# Pictures of the commissioning record's pages for the README: kryta-lt report against the sensor
# simulator (a V303 sensor holding a still object that spreads by 2 positions, its RAM POWER changed
# from what its EEPROM holds), each page of the PDF as a small PNG under docs/.
# Usage: scripts/report-pictures.sh [RESOLUTION_DPI]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kryta-lt kryta-lt-report kryta-sensor-sim
work="$(mktemp -d)"
sim=""
cleanup() {
    [ -z "$sim" ] || { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
build/bin/kryta-sensor-sim --model M03 --still-noise 2 --ram 18=650 --link "$work/sensor" >"$work/sim.out" 2>/dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
build/bin/kryta-lt -p "$work/sensor" report -o "$work/record.pdf" --samples 50 --reference 2050 --tolerance 100 \
    --station "Line 3 / 2" --operator "A. Example"
mkdir -p docs
pdftoppm -r "${1:-60}" -png "$work/record.pdf" "$work/page"
for f in "$work"/page-*.png; do
    n="${f##*-}"
    cp "$f" "docs/report-page-${n}"
done
ls -l docs/report-page-*.png
