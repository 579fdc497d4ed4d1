#!/usr/bin/env bash
# Fails when a source file includes a header from a folder its layer may not
# use, as "dir/x.h" or <dir/x.h>, or when a top-level folder holds sources but
# is neither in the map nor exempt. The map, bottom to top (a folder uses only
# itself and what is below):
#   base; imaging on base; flash on base; drm on base and imaging;
#   shell on all four; the front ends cli, ui and win on shell and base
#   alone (what they need of the layers between comes as shell's values);
#   app on ui, winapp on win (the programs over each window);
#   the sample builders in tools on base alone.
# CMakeLists.txt holds the same map; the build enforces it too. The windows
# (ui, win) may not include the shared state, which the model owns.
#   tools/check-layers.sh [ROOT]
set -u
root="${1:-$(dirname "$0")/..}"
cd "$root" || exit 2

declare -A allowed=(
  [base]="base"
  [imaging]="base imaging"
  [flash]="base flash"
  [drm]="base imaging drm"
  [shell]="base imaging flash drm shell"
  [cli]="base shell cli"
  [ui]="base shell ui"
  [win]="base shell win"
  [app]="base shell ui app"
  [winapp]="base shell win winapp"
  [tools]="base tools"
)
# Test programs, benchmarks and fuzzers link whatever they exercise (the build
# limits each to what it links); cmake and resources hold no code of a layer.
exempt=" tests bench fuzz cmake resources "

extensions=(h hh hpp hxx inc ipp c cc cpp cxx rc)
grep_includes=() find_sources=()
for e in "${extensions[@]}"; do
  grep_includes+=(--include="*.$e")
  find_sources+=(${find_sources[@]:+-o} -name "*.$e")
done

# The top-level folders, build trees (a CMakeCache.txt) and hidden ones aside.
shopt -s nullglob
folders=()
for dir in */; do
  dir="${dir%/}"
  [ -e "$dir/CMakeCache.txt" ] && continue
  folders+=("$dir")
done

status=0
while IFS= read -r file; do
  echo "${file#./}: a source at the top level belongs to no layer"
  status=1
done < <(find . -maxdepth 1 -type f \( "${find_sources[@]}" \) | sort)
for folder in "${folders[@]}"; do
  [ -n "${allowed[$folder]+set}" ] && continue
  case "$exempt" in *" $folder "*) continue ;; esac
  first=$(find "$folder" -type f \( "${find_sources[@]}" \) -print -quit)
  if [ -n "$first" ]; then
    echo "$folder/: holds sources ($first) but is in neither the layer map nor the exempt list of tools/check-layers.sh"
    status=1
  fi
done

# Quoted includes name a folder of the tree (or go up with ../); bracketed ones
# are checked when their first part is a layer or a folder of the tree, as
# <sys/stat.h> or <CLI/CLI.hpp> are not.
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^/">]+)/'
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file="${hit%%:*}"
    rest="${hit#*:}"
    line="${rest%%:*}"
    text="${rest#*:}"
    [[ "$text" =~ $include ]] || continue
    target="${BASH_REMATCH[2]}"
    if [ "${BASH_REMATCH[1]}" = "<" ] && [ -z "${allowed[$target]+set}" ] && [ ! -d "$target" ]; then
      continue
    fi
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *) echo "$file:$line: $folder/ may not include $target/ (it sits above $folder/ or beside it)"
         status=1 ;;
    esac
  done < <(grep -rnE "$include" "$folder" "${grep_includes[@]}" 2>/dev/null)
done
# An include names its folder and goes down from there: "base/../drm/x.h"
# would reach any folder through an allowed one.
layers=()
for folder in "${!allowed[@]}"; do [ -d "$folder" ] && layers+=("$folder"); done
while IFS= read -r hit; do
  echo "${hit%%:*}:$(echo "$hit" | cut -d: -f2): an include may not go up a folder ($(echo "$hit" | cut -d: -f3- | tr -s ' '))"
  status=1
done < <([ ${#layers[@]} -gt 0 ] && grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*/)?\.\.(/|[">])' \
           "${layers[@]}" "${grep_includes[@]}" 2>/dev/null)

# A window draws the model and holds none of its state: the shared state is
# the model's to read and change.
while IFS= read -r hit; do
  echo "${hit%%:*}: a window may not include the shared state ($(echo "$hit" | cut -d: -f3- | tr -s ' '))"
  status=1
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](base|shell)/state\.h[">]' \
           ui win "${grep_includes[@]}" 2>/dev/null)

[ "$status" = 0 ] && echo "layers: every include goes down the map"
exit "$status"
