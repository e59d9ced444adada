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
[ $bad -eq 0 ] && echo "layers: every include points down"
exit $bad
