#!/usr/bin/env bash
# Builds the Debian package and installs it with what it needs at run time. One line a step on the
# terminal; the output of every step in build/install.log, whose end is shown when a step fails.
# Usage: scripts/install.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
mkdir -p build
log="$PWD/build/install.log"
: >"$log"
step() {
    echo "$1"
    shift
    if ! "$@" >>"$log" 2>&1; then
        echo "install: the step failed; the end of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
}
step "Configuring ..." cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "Building (a few minutes the first time) ..." cmake --build build
step "Making the Debian package ..." bash -c 'cd build && cpack -G DEB'
deb="$(ls -t build/kryta-lt-scope_*.deb | head -n1)"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
step "Installing $deb ..." $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb"
echo "Installed KRYTA-LT-Scope, kryta-lt and kryta-sensor-sim in /usr/bin (details in $log)"
