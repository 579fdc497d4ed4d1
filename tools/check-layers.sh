#!/usr/bin/env bash
# Fails when a source file includes a header from a folder its layer may not
# use. The map, bottom to top (a folder uses only itself and what is below):
#   base; imaging on base; flash on base; drm on base and imaging;
#   shell on all four; the front ends cli, ui and win on shell; app on ui.
set -u
root="${1:-$(dirname "$0")/..}"
cd "$root" || exit 2

declare -A allowed=(
  [base]="base"
  [imaging]="base imaging"
  [flash]="base flash"
  [drm]="base imaging drm"
  [shell]="base imaging flash drm shell"
  [cli]="base imaging flash drm shell cli"
  [ui]="base imaging flash drm shell ui"
  [win]="base imaging flash drm shell win"
  [app]="base imaging flash drm shell ui app"
)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    line="${rest%%:*}"
    target=$(sed -E 's/.*#include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"${rest#*:}")
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *) echo "$file:$line: $folder/ may not include $target/ (it sits above $folder/ or beside it)"
         status=1 ;;
    esac
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$folder" \
             --include='*.h' --include='*.cpp' --include='*.rc' 2>/dev/null)
done
[ "$status" = 0 ] && echo "layers: every include goes down the map"
exit "$status"
