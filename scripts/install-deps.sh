#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the program need, when they
# are missing. Usage: scripts/install-deps.sh [run|test]
#        scripts/install-deps.sh --list [run|test]   prints the packages, one a line
set -euo pipefail
list=false
if [ "${1:-}" = "--list" ]; then
  list=true
  shift
fi
packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev qt6-charts-dev qt6-serialport-dev qt6-tools-dev libqt6opengl6-dev libgl-dev
          libgtest-dev libbenchmark-dev)
case "${1:-test}" in
  run)  packages+=(qt6-qpa-plugins) ;;
  # xvfb for pictures of the window; dpkg-dev and file for the Debian package's dependencies
  test) packages+=(xvfb xauth dpkg-dev file) ;;
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
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
