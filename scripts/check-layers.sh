#!/usr/bin/env bash
# Checks that the program's folders include only folders below them:
#   app  >  ops files display  >  params  >  link  >  sensor        (and platform, ui at the bottom)
#   cli  >  plant record  >  common  >  link  >  sensor             (kryta-lt: platform's core only)
# Prints every include that points up; exit 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [sensor]="sensor"
  [platform]="platform ui"
  [link]="link sensor platform"
  [params]="params link sensor platform ui"
  [display]="display params link sensor platform ui"
  [ops]="ops files display params link sensor platform ui"
  [files]="files display params link sensor platform ui"
  [app]="app ops files display params link sensor platform ui"
  [common]="common link sensor platform"
  [plant]="plant common link sensor platform"
  [record]="record common link sensor platform"
  [cli]="cli plant record common link sensor platform"
)
bad=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
    [ "$target" = "$line" ] && continue
    if ! grep -qw -- "$target" <<<"${allowed[$folder]}"; then
      echo "upward include: $line"
      bad=1
    fi
  done < <(grep -Hn '^#include "[^"]*/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
# ops and files share a floor: one may use the other, but not both ways round (a circle).
if grep -q '#include "ops/' files/*.cpp files/*.h 2>/dev/null && grep -q '#include "files/' ops/*.cpp ops/*.h 2>/dev/null; then
  echo "ops/ and files/ include each other"
  bad=1
fi
# Inside a folder no two files use each other, not even by way of others: a header and its .cpp
# are one part, and a header without a .cpp of its own (link/road.h, platform/uistate.h) belongs to
# the files that implement it. sensor/frame and sensor/vars share the frame's buffers and
# constants both ways: known, not counted.
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  loop=$(grep -Ho "^#include \"$folder/[^\"]*\"" "$folder"/*.cpp "$folder"/*.h 2>/dev/null |
    sed -E "s#^$folder/([^.:]+)\.[a-z]+:\#include \"$folder/([^.\"]+)\..*#\1 \2#" |
    while read -r from to; do
      [ "$from" != "$to" ] && [ -f "$folder/$from.cpp" ] && [ -f "$folder/$to.cpp" ] && echo "$from $to"
    done | grep -v '^frame vars$\|^vars frame$' | tsort 2>&1 >/dev/null || true)
  if [ -n "$loop" ]; then
    echo "$folder/: files that use each other: $(grep -o '[a-z_0-9]*$' <<<"$loop" | grep -v '^loop$' | tr '\n' ' ')"
    bad=1
  fi
done
[ $bad -eq 0 ] && echo "layers: every include points down, and no folder holds a circle"
exit $bad
