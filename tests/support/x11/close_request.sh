#!/usr/bin/env bash
# Under a real X server (run it with xvfb-run): the program connects to a simulated sensor, then a
# close request goes to its windows titled "KRYTA-LT-Scope", once to the hidden one Qt keeps for
# itself and once to the shown window. Each time the program must end within 5 s.
# Usage: close_request.sh PROGRAM SIMULATOR X11_CLOSE
set -uo pipefail
program_bin="$1" sim_bin="$2" close_bin="$3"
work="$(mktemp -d)"
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 "$XDG_RUNTIME_DIR"
sim="" program=""
cleanup() {
    for pid in $program $sim; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "close_request: $*" >&2; exit 1; }

"$sim_bin" --unpaced --log >"$work/sim.out" 2>"$work/sim.log" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
device="$(head -n1 "$work/sim.out")"
[ -n "$device" ] || fail "the simulator printed no device"

for target in hidden shown; do
    : >"$work/sim.log"
    QT_QPA_PLATFORM=xcb KRYTA_COM1="$device" "$program_bin" >"$work/program.out" 2>&1 &
    program=$!
    # connected: the connect sequence ends with the firmware request
    for _ in $(seq 100); do
        grep -q '^request .* s: 85 7 0 ' "$work/sim.log" && break
        sleep 0.1
    done
    sleep 0.5
    kill -0 "$program" 2>/dev/null || fail "the program ended before the close request: $(cat "$work/program.out")"
    sent="$("$close_bin" KRYTA-LT-Scope "$target")" || fail "no $target window titled KRYTA-LT-Scope"
    for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$program" 2>/dev/null; then
        fail "a close request to the $target window ($sent) left the program running"
    fi
    wait "$program"
    rc=$?
    program=""
    [ $rc -eq 0 ] || fail "closed through the $target window, the program ended with $rc: $(cat "$work/program.out")"
    echo "close_request: closed through the $target window"
done
