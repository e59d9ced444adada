#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it as an operator would use it: it holds
# the program, its resource file and logo, the menu entry and the icon; its dependencies name the
# Qt libraries and the platform plugins; unpacked, the program starts headless from another
# working directory, finds its files and connects to the sensor simulator (the simulator's log
# shows the whole connect sequence: echo check, identification, both parameter frames, firmware);
# kryta-lt, beside it, links no GUI library, identifies a second simulated sensor and makes its
# commissioning record (report runs kryta-lt-report, which links Qt Gui and draws on the offscreen
# platform). The gateway service's unit is valid and runs the packaged kryta-lt with the packaged
# configuration file, a conffile; it is ordered after a local broker without pulling one in, is
# rated at most 2.5 by systemd-analyze security, and its system-call filter and address families
# let the packaged gateway do all it does (traced with a broker and a simulated sensor); the
# postinst creates the service's user and enables or starts nothing on a first installation;
# lintian finds no error and no warning.
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
         ./usr/share/icons/hicolor/128x128/apps/kryta-lt-scope.png \
         ./lib/systemd/system/kryta-lt-gateway.service ./etc/kryta/gateway.conf \
         ./usr/share/man/man1/KRYTA-LT-Scope.1.gz ./usr/share/man/man1/kryta-lt.1.gz \
         ./usr/share/man/man1/kryta-sensor-sim.1.gz \
         ./usr/share/doc/kryta-lt-scope/copyright ./usr/share/doc/kryta-lt-scope/changelog.gz; do
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
broker=""
traced=""
cleanup() {
    local rc=$?
    for pid in $program $sim $sim2 $traced $broker; do
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
control="$elsewhere/control"
dpkg-deb -e "$deb" "$control"

# lintian: no error and no warning (its informational tags are shown, not counted)
command -v lintian >/dev/null || fail "lintian is missing: scripts/install-deps.sh test installs it"
findings="$(lintian --fail-on error,warning "$deb" 2>&1)" ||
    fail "lintian finds errors or warnings: $findings"
grep -v 'running with root privileges' <<<"$findings" || true
echo "check-package: lintian finds no error and no warning"

# The service runs the packaged program with a configuration file that is a conffile, as the user
# that the postinst creates, in the group of the serial ports.
unit="$root/lib/systemd/system/kryta-lt-gateway.service"
exec_start="$(sed -n 's/^ExecStart=//p' "$unit")"
read -r program_path _ <<<"$exec_start"
[ -x "$root$program_path" ] || fail "the unit starts $program_path, which the package lacks"
config="$(sed -nE 's/.* --config +([^ ]+).*/\1/p' <<<"$exec_start")"
[ -f "$root$config" ] || fail "the unit reads '$config', which the package lacks"
grep -qxF "$config" "$control/conffiles" || fail "$config is not a conffile"
user="$(sed -n 's/^User=//p' "$unit")"
grep -qE "^SupplementaryGroups=(.* )?dialout( |$)" "$unit" || fail "the service is not in the group dialout"
grep -qx 'Restart=on-failure' "$unit" && grep -qx 'WantedBy=multi-user.target' "$unit" ||
    fail "the unit lacks Restart=on-failure or WantedBy=multi-user.target"
if command -v systemd-analyze >/dev/null; then
    # verified as installed: the program it starts is the unpacked one
    sed "s|^ExecStart=$program_path|ExecStart=$root$program_path|" "$unit" >"$elsewhere/kryta-lt-gateway.service"
    verdict="$(systemd-analyze verify --man=no "$elsewhere/kryta-lt-gateway.service" 2>&1)" &&
        [ -z "$verdict" ] || fail "systemd-analyze verify: $verdict"
    echo "check-package: systemd-analyze verify accepts the unit"
    # ordered with a broker on this computer (started before, stopped after the gateway), which
    # the unit does not pull in: harmless where there is none
    grep -qE '^After=(.* )?mosquitto\.service( |$)' "$unit" || fail "the unit is not ordered after mosquitto.service"
    ! grep -qE '^(Wants|Requires|BindsTo|Requisite)=.*mosquitto' "$unit" || fail "the unit pulls mosquitto.service in"
    exposure="$(systemd-analyze security --offline=true "$elsewhere/kryta-lt-gateway.service" 2>&1 |
        sed -nE 's/.*[Oo]verall exposure level for [^:]*: ([0-9.]+).*/\1/p')"
    [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }' ||
        fail "systemd-analyze security rates the unit ${exposure:-(no rating)}; at most 2.5"
    echo "check-package: the unit is ordered after mosquitto.service and rated $exposure by systemd-analyze security"
fi

# The postinst as dpkg runs it, the system's tools replaced by stubs that log their arguments: a
# first installation creates the user, in dialout, and enables and starts nothing; an upgrade
# keeps an enabled service enabled and creates no user.
stubs="$elsewhere/stubs"
calls="$elsewhere/calls"
mkdir "$stubs"
for tool in getent addgroup adduser deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$calls" >"$stubs/$tool"
    case "$tool" in
        getent) echo '[ -n "$INSTALLED" ]' >>"$stubs/$tool" ;;
        deb-systemd-helper) echo 'case "$*" in *debian-installed*|*was-enabled*) [ -n "$ENABLED" ] ;; esac' >>"$stubs/$tool" ;;
    esac
    chmod +x "$stubs/$tool"
done
postinst() { : >"$calls"; env PATH="$stubs:$PATH" "$@" sh "$control/postinst" configure $old; }
old="" postinst INSTALLED= ENABLED= || fail "the postinst of a first installation failed"
grep -qE "^adduser --system .* $user\$" "$calls" && grep -qx "adduser --quiet $user dialout" "$calls" ||
    fail "a first installation does not create the user '$user' in dialout: $(cat "$calls")"
! grep -E ' (enable|start|restart|try-restart|reload-or-restart) ' "$calls" ||
    fail "a first installation enables or starts the service"
old=3.08 postinst INSTALLED=1 ENABLED=1 || fail "the postinst of an upgrade failed"
grep -qx 'deb-systemd-helper enable kryta-lt-gateway.service' "$calls" ||
    fail "an upgrade does not keep the enabled service enabled: $(cat "$calls")"
! grep -E '^(adduser|addgroup) ' "$calls" || fail "an upgrade creates the user again"
echo "check-package: the postinst creates the user $user and enables nothing on a first installation"

# The changelog's latest entry is this version's.
entry="$(zcat "$root/usr/share/doc/kryta-lt-scope/changelog.gz" | head -n1)"
version="$(dpkg-deb -f "$deb" Version)"
[[ "$entry" == "kryta-lt-scope ($version) "* ]] || fail "the changelog's latest entry is not $version: $entry"

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

# The configuration file names every option of the gateway, and as shipped (no broker) the
# gateway ends at once with exit code 2, the code the unit does not restart on, and says why.
if gateway_help="$("$cli" help gateway 2>/dev/null)"; then
    for key in $(grep -oE '^ +(-[a-z], )?--[a-z][-a-z]*' <<<"$gateway_help" | sed 's/.*--//'); do
        case "$key" in config|help|port|version) continue ;; esac
        grep -qE "^#? *$key *=" "$root$config" || fail "$config lacks the setting $key"
    done
    rc=0
    (cd "$elsewhere" && timeout 10 "$cli" gateway --config "$root$config") >"$elsewhere/gateway.out" 2>&1 || rc=$?
    [ $rc -eq 2 ] && grep -qi broker "$elsewhere/gateway.out" ||
        fail "the gateway with the shipped configuration ended with $rc: $(cat "$elsewhere/gateway.out")"
    echo "check-package: the configuration file names every setting; without a broker the gateway says: $(head -n1 "$elsewhere/gateway.out")"
fi

# The hardened unit lets the gateway work: every system call that the packaged gateway and its
# sensor's process make (among them the ioctl that asks an adapter for low latency) passes the
# unit's SystemCallFilter, and every socket it opens is of a family RestrictAddressFamilies allows.
if command -v strace >/dev/null && command -v mosquitto >/dev/null && command -v systemd-analyze >/dev/null; then
    for _ in 1 2 3 4 5; do  # a broker on a free port of 127.0.0.1
        port=$((20000 + RANDOM % 40000))
        printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$elsewhere/broker.conf"
        mosquitto -c "$elsewhere/broker.conf" >"$elsewhere/broker.log" 2>&1 &
        broker=$!
        for _ in $(seq 50); do grep -q running "$elsewhere/broker.log" && break; kill -0 "$broker" 2>/dev/null || break; sleep 0.1; done
        grep -q running "$elsewhere/broker.log" && break
    done
    grep -q running "$elsewhere/broker.log" || fail "no broker for the traced gateway: $(cat "$elsewhere/broker.log")"
    strace -f -qq -o "$elsewhere/trace" "$cli" gateway --broker "127.0.0.1:$port" --ports "$device2" \
        --state-dir "$elsewhere/state" >"$elsewhere/traced.out" 2>&1 &
    traced=$!
    for _ in $(seq 100); do grep -q 'node spBv1.0' "$elsewhere/traced.out" && break; sleep 0.1; done
    sleep 1
    kill -TERM $(pgrep -P "$traced") 2>/dev/null || true  # the gateway, which strace started
    wait "$traced" || true
    traced=""
    grep -q 'NDEATH published' "$elsewhere/traced.out" || fail "the traced gateway did not run: $(cat "$elsewhere/traced.out")"
    # the groups of system calls, each with its members and the groups it takes in
    systemd-analyze syscall-filter --no-pager >"$elsewhere/groups" 2>/dev/null
    expand() {
        awk -v want="$*" '
            /^@/ { group = $1; next }
            /^ +[^ #]/ { member[group] = member[group] " " $1 }
            END {
                n = split(want, todo, " ")
                while (n > 0) {
                    item = todo[n--]
                    if (item in seen) continue
                    seen[item] = 1
                    if (item ~ /^@/) { m = split(member[item], sub_, " "); for (i = 1; i <= m; i++) todo[++n] = sub_[i] }
                    else print item
                }
            }' "$elsewhere/groups" | sort -u
    }
    allowed="$(sed -n 's/^SystemCallFilter=\([^~]\)/\1/p' "$unit" | tr '\n' ' ')"
    denied="$(sed -n 's/^SystemCallFilter=~//p' "$unit" | tr '\n' ' ')"
    expand $allowed >"$elsewhere/allowed"
    expand $denied >"$elsewhere/denied"
    sed -nE 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' "$elsewhere/trace" | sort -u >"$elsewhere/used"
    outside="$( (comm -23 "$elsewhere/used" "$elsewhere/allowed"; comm -12 "$elsewhere/used" "$elsewhere/denied") | tr '\n' ' ')"
    [ -z "$outside" ] || fail "the unit's SystemCallFilter refuses what the gateway calls: $outside"
    grep -qx ioctl "$elsewhere/used" || fail "the traced gateway made no ioctl: the trace is not the gateway's"
    families="$(sed -n 's/^RestrictAddressFamilies=//p' "$unit")"
    for family in $(grep -oE 'socket\(AF_[A-Z0-9]+' "$elsewhere/trace" | sed 's/socket(//' | sort -u); do
        grep -qw "$family" <<<"$families" || fail "the unit's RestrictAddressFamilies refuses $family, which the gateway opens"
    done
    echo "check-package: the unit's system-call filter and address families allow all $(wc -l <"$elsewhere/used") system calls and the sockets of the traced gateway"
fi
