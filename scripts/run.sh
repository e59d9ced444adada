#!/usr/bin/env bash
# Installs what is missing, builds, starts the sensor simulator on a pseudo-terminal and the
# program with port 1 on it. Closing the program stops the simulator too.
# Usage: scripts/run.sh [simulator options, e.g. --model M03]
set -euo pipefail
cd "$(dirname "$0")/.."
# first what is missing: xvfb-run too, for a machine without a screen
scripts/install-deps.sh run
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set):" \
       "start it in a desktop session, or without a screen under a virtual one:" \
       "xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target KRYTA-LT-Scope kryta-lt kryta-sensor-sim

fifo=$(mktemp -u)
mkfifo "$fifo"
build/bin/kryta-sensor-sim "$@" >"$fifo" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r device <"$fifo"
echo "Sensor simulator on $device (port 1)"
KRYTA_COM1="$device" build/bin/KRYTA-LT-Scope
