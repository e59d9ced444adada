#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the program need, when they
# are missing. Usage: scripts/install-deps.sh [run|test]
#        scripts/install-deps.sh --list [run|test]   prints the packages, one a line
# apt's own output goes into build/install-deps.log; the terminal gets a short summary (and the
# end of the log when apt fails).
set -euo pipefail
list=false
if [ "${1:-}" = "--list" ]; then
  list=true
  shift
fi
packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-tools-dev libqt6opengl6-dev libgl-dev libxcb1-dev
          libgtest-dev libbenchmark-dev libmosquitto-dev protobuf-compiler libprotobuf-dev)
case "${1:-test}" in
  # xvfb and xauth so that xvfb-run starts the window on a machine without a screen
  run)  packages+=(qt6-qpa-plugins xvfb xauth) ;;
  # xvfb for pictures of the window; dpkg-dev and file for the Debian package's dependencies;
  # clang with its sanitizer runtimes and libFuzzer for the sanitizer build and the fuzz targets;
  # the MQTT broker and its clients for the tests of kryta-lt publish; lintian for the package's
  # check, and systemd for its systemd-analyze, which verifies the gateway service's unit (nothing
  # of systemd runs for that); poppler-utils (pdftotext, pdftoppm) to read back the PDF of
  # kryta-lt report; icewm and x11-utils (xprop) for pictures of the window on a desktop with a task
  # bar (scripts/screenshot.sh); strace to see that the unit's system-call filter lets the gateway work
  test) packages+=(xvfb xauth dpkg-dev file clang libclang-rt-14-dev mosquitto mosquitto-clients
                   lintian systemd poppler-utils icewm x11-utils strace) ;;
  *) echo "usage: $0 [--list] [run|test]" >&2; exit 2 ;;
esac
if $list; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

log_dir="$(cd "$(dirname "$0")/.." && pwd)/build"
mkdir -p "$log_dir"
log="$log_dir/install-deps.log"
echo "Installing ${#missing[@]} packages and what they need: ${missing[*]}"
echo "(this takes a few minutes; apt's output goes to $log)"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
before=$(dpkg-query -W -f='${Status}\n' 2>/dev/null | grep -c "install ok installed" || true)
if ! { $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q \
         --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  echo "install-deps: apt-get failed; the end of $log:" >&2
  tail -n 15 "$log" >&2
  exit 1
fi
after=$(dpkg-query -W -f='${Status}\n' 2>/dev/null | grep -c "install ok installed" || true)
echo "Installed $((after - before)) packages; details in $log"
