#!/usr/bin/env bash
# Pictures of the commissioning record's pages for the README, made with the longest texts the
# options take: kryta-lt report against the sensor simulator (a V303 sensor on a 68-character
# /dev/serial/by-id/... port, a still object that spreads by 2 positions, its RAM POWER changed
# from what its EEPROM holds, every seventh measurement answer without the sync word), a station,
# an operator and a reference part of 100 characters each, and a tolerance that every rule of the
# study fails; each page of the PDF as a PNG under docs/.
# Usage: scripts/report-pictures.sh [RESOLUTION_DPI]   (default 80)
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
# a link as long as a USB adapter's under /dev/serial/by-id (68 characters), in the work folder
folder="$work/by-id"
mkdir -p "$folder"
name="usb-FTDI_FT232R_USB_UART_"
while [ $((${#folder} + 1 + ${#name} + 11)) -lt 68 ]; do name="${name}A"; done
port="$folder/${name}-if00-port0"
# 100 characters each
text100() { local t="$1"; while [ ${#t} -lt 100 ]; do t="$t $1"; done; printf '%s' "${t:0:100}"; }
station="$(text100 "Line 3 / station 2 / laser gauge above the conveyor, hall B north, bay 14,")"
operator="$(text100 "Alexandra Konstantinopoulou-Wittgenstein, quality engineering, night shift,")"
part="$(text100 "Gauge block 2050/17, calibration certificate DKD-K-2026-0815-A,")"
build/bin/kryta-sensor-sim --model M03 --still-noise 2 --ram 18=650 --fault wrong-sync:8:4660@7 \
    --link "$port" >"$work/sim.out" 2>/dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
build/bin/kryta-lt -p "$port" report -o "$work/record.pdf" --samples 50 --reference 2050 --tolerance 18 \
    --part "$part" --uncertainty 0.3 --station "$station" --operator "$operator"
mkdir -p docs
pdftoppm -r "${1:-80}" -png "$work/record.pdf" "$work/page"
for f in "$work"/page-*.png; do
    n="${f##*-}"
    cp "$f" "docs/report-page-${n}"
done
ls -l docs/report-page-*.png
