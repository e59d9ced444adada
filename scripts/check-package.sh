#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it as an operator would use it: it holds
# the program, its resource file and logo, the menu entry and the icon; its dependencies name the
# Qt libraries and the platform plugins; unpacked, the program starts headless from another
# working directory, finds its files and connects to the sensor simulator (the simulator's log
# shows the whole connect sequence: echo check, identification, both parameter frames, firmware);
# kryta-lt, beside it, links no GUI library and identifies a second simulated sensor (its report
# command runs kryta-lt-report, which links Qt Gui and draws on the offscreen platform).
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)"
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB >cpack.log 2>&1) || fail "cpack -G DEB failed: see $build/cpack.log"
deb="$(ls -t "$build"/kryta-lt-scope_*.deb | head -n1)"
[ -f "$deb" ] || fail "no package in $build"
echo "check-package: built $(basename "$deb")"

files="$(dpkg-deb -c "$deb" | awk '{print $NF}')"
for f in ./usr/bin/KRYTA-LT-Scope ./usr/bin/kryta-lt ./usr/bin/kryta-lt-report ./usr/bin/kryta-sensor-sim \
         ./usr/share/kryta-lt-scope/KRYTA-LT-VizizE309.uir ./usr/share/kryta-lt-scope/qz.bmp \
         ./usr/share/applications/kryta-lt-scope.desktop \
         ./usr/share/icons/hicolor/48x48/apps/kryta-lt-scope.png \
         ./usr/share/icons/hicolor/128x128/apps/kryta-lt-scope.png; do
    grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6widgets6 libqt6serialport6 libqt6charts6 libqt6uitools6 qt6-qpa-plugins; do
    grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "the package does not depend on $d: $depends"
done

root="$(mktemp -d)"
elsewhere="$(mktemp -d)"
sim=""
sim2=""
program=""
cleanup() {
    local rc=$?
    for pid in $program $sim $sim2; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$root" "$elsewhere"
    exit $rc
}
trap cleanup EXIT
# the packaged programs' run-time folder lives and goes with this check, not in /tmp
export XDG_RUNTIME_DIR="$elsewhere/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
dpkg -x "$deb" "$root"

log="$elsewhere/sim.log"
"$root/usr/bin/kryta-sensor-sim" --unpaced --log >"$elsewhere/sim.out" 2>"$log" &
sim=$!
for _ in $(seq 50); do [ -s "$elsewhere/sim.out" ] && break; sleep 0.1; done
device="$(head -n1 "$elsewhere/sim.out")"
[ -n "$device" ] || fail "the packaged simulator printed no device"

# The program has no file beside it here: it must find them in usr/share/kryta-lt-scope.
(cd "$elsewhere" && exec env QT_QPA_PLATFORM=offscreen KRYTA_COM1="$device" \
    "$root/usr/bin/KRYTA-LT-Scope" >"$elsewhere/program.out" 2>&1) &
program=$!
for _ in $(seq 200); do
    grep -q '^request .* s: 85 7 0 ' "$log" && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
sequence="$(awk '/^request /{print $5 "." $6}' "$log" | tr '\n' ' ')"
kill -0 "$program" 2>/dev/null || fail "the packaged program ended early: $(cat "$elsewhere/program.out")"
[ "$sequence" = "5.0 10.0 2.0 2.1 7.0 " ] ||
    fail "the packaged program did not go through the connect sequence; requests: '$sequence'"
echo "check-package: the packaged program connected from $elsewhere (requests: $sequence)"

cli="$root/usr/bin/kryta-lt"
gui="$(ldd "$cli" | grep -oE 'libQt6(Widgets|Gui|Charts)[^ ]*' || true)"
[ -z "$gui" ] || fail "kryta-lt links a GUI library: $gui"
"$root/usr/bin/kryta-sensor-sim" --unpaced >"$elsewhere/sim2.out" 2>/dev/null &
sim2=$!
for _ in $(seq 50); do [ -s "$elsewhere/sim2.out" ] && break; sleep 0.1; done
device2="$(head -n1 "$elsewhere/sim2.out")"
(cd "$elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$cli" -p "$device2" info) \
    >"$elsewhere/info.out" 2>&1 || fail "the packaged kryta-lt did not identify the sensor: $(cat "$elsewhere/info.out")"
grep -qE '^designation +KRYTA-M01$' "$elsewhere/info.out" ||
    fail "the packaged kryta-lt named another sensor: $(cat "$elsewhere/info.out")"
(cd "$elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$cli" -p "$device2" report --samples 10 \
    -o "$elsewhere/record.pdf") >"$elsewhere/report.out" 2>&1 ||
    fail "the packaged kryta-lt report made no record: $(cat "$elsewhere/report.out")"
[ "$(head -c 5 "$elsewhere/record.pdf")" = "%PDF-" ] || fail "the packaged kryta-lt report wrote no PDF"
echo "check-package: the packaged kryta-lt identified the sensor and made its record without a display, and links no GUI library"
