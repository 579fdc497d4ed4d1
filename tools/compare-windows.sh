#!/usr/bin/env bash
# The same sample flows with the Linux zantrel-cli and with zantrel-cli.exe
# under Wine, every file they leave compared byte for byte (a superfile's
# build date, 64 bytes at offset 320, aside): a superfile, an SBF file, a raw
# image and a pair with Port, each opened and then saved as a new file. Then
# the same again with a start folder, a work folder and file names holding
# spaces and non-ASCII characters; and the editing commands, with compare's
# report on what they changed.
#   tools/compare-windows.sh BUILD BUILD-WIN
set -u
linux_bin="$(cd "${1:-build}/bin" && pwd)"
source "$(dirname "$0")/wine-env.sh" "${2:-build-win}"
wine_hold
trap wine_release EXIT
win_bin="$wine_build/bin"
root="$wine_build/compare"
rm -rf "$root"
mkdir -p "$root/samples"
"$linux_bin/zantrel-samplegen" "$root/samples" >/dev/null || exit 1

failures=0 compared=0 last_log=""
# A failed run's own last words follow it: the logs' tails at the end are
# those of the runs after it.
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
  if [ -n "$last_log" ]; then
    tail -n 8 "$last_log" | sed 's/^/  | /'
    last_log=""
  fi
}

# cli SIDE FOLDER ARGS...: one run of the side's console program in FOLDER;
# its output goes to FOLDER/../SIDE-log.txt (standard output to $cli_out
# instead, when set).
cli() {
  local side=$1 folder=$2; shift 2
  local log="$folder/../$side-log.txt"
  local out="${cli_out:-$log}"
  last_log=$log
  if [ "$side" = linux ]; then
    (cd "$folder" && "$linux_bin/zantrel-cli" "$@") >>"$out" 2>>"$log"
  else
    local args=() a
    for a in "$@"; do
      case "$a" in /*) args+=("$(windows_path "$a")") ;; *) args+=("$a") ;; esac
    done
    (cd "$folder" && "$WINE" "$win_bin/zantrel-cli.exe" "${args[@]}") >>"$out" 2>>"$log"
  fi
}

# flow SIDE NAME START WORK SAVE FLASH AS [EXPORT]: the start folder START
# (made fresh) with the work folder WORK inside it ("." for the start folder
# itself); open the sample FLASH, copied in as AS, port when EXPORT is given,
# save-as SAVE.
flow() {
  local side=$1 name=$2 start=$3 work=$4 save=$5 flash=$6 as=$7 export=${8:-}
  local dir="$root/$side/$name/$start" in="$root/$side/$name/in"
  mkdir -p "$dir/$work" "$in"
  cp "$root/samples/$flash" "$in/$as"
  if [ "$work" != . ]; then
    cli "$side" "$dir" settings --work-folder "$work" || fail "$side $name: settings"
  fi
  local open=("$in/$as")
  if [ -n "$export" ]; then
    cp "$root/samples/$export" "$in/$export"
    open+=("$in/$export")
  fi
  cli "$side" "$dir" open "${open[@]}" || fail "$side $name: open"
  # The decompiled work tree, kept for the comparison (clean-up removes it).
  cp -r "$dir" "$root/$side/$name/after-open"
  if [ -n "$export" ]; then
    cli "$side" "$dir" port || fail "$side $name: port"
  fi
  cli "$side" "$dir" save-as "$save" || fail "$side $name: save-as"
  [ -f "$dir/$save" ] || fail "$side $name: no $save"
}

# edit SIDE: the editing commands on a superfile: every item exported as
# PNG and drawn on a contact sheet, a picture and icons replaced from those
# PNGs (fitted, at their own size), the set imported back with one file
# changed, one item restored, then saved.
edit() {
  local side=$1 dir="$root/$1/edit/start" in="$root/$1/edit/in"
  mkdir -p "$dir/png" "$in"
  cp "$root/samples/phone-extended.shx" "$in/phone.shx"
  cli "$side" "$dir" open "$in/phone.shx" || fail "$side edit: open"
  cli "$side" "$dir" export-png "$dir/png" || fail "$side edit: export-png"
  cli "$side" "$dir" sheet "$dir/sheet.png" || fail "$side edit: sheet"
  cli "$side" "$dir" replace 3 "$dir/png/11.png" --fit fill || fail "$side edit: replace picture"
  cli "$side" "$dir" replace 6 "$dir/png/3.png" || fail "$side edit: replace gif icon"
  cli "$side" "$dir" replace 8 "$dir/png/12.png" --keep-size || fail "$side edit: replace bmp icon"
  cp "$dir/png/13.png" "$dir/png/7.png"
  cli "$side" "$dir" import "$dir/png" --fit stretch || fail "$side edit: import"
  cli "$side" "$dir" restore 8 || fail "$side edit: restore"
  cp -r "$dir" "$root/$side/edit/after-edits"
  cli "$side" "$dir" save-as out.shx || fail "$side edit: save-as"
  # compare's report on the edited file (status 1: its DRM differs), the
  # two paths and the build date aside.
  local report="$root/$side/edit/compare.txt"
  cli_out="$report" cli "$side" "$dir" compare "$in/phone.shx" out.shx
  [ $? = 1 ] || fail "$side edit: compare"
  sed -i -e '1,2d' -e '/^  date: /d' "$report"
}

# same A B: byte for byte, a superfile's date field aside.
same() {
  case "$1" in
    *.shx) cmp -s -n 320 "$1" "$2" && cmp -s -i 384 "$1" "$2" ;;
    *) cmp -s "$1" "$2" ;;
  esac
}

compare() {
  local name=$1 a="$root/linux/$1" b="$root/windows/$1"
  last_log=""
  local la lb
  la=$(cd "$a" && find . -type f ! -name '*-log.txt' | LC_ALL=C sort)
  lb=$(cd "$b" && find . -type f ! -name '*-log.txt' | LC_ALL=C sort)
  if [ "$la" != "$lb" ]; then
    fail "$name: different files"; diff <(echo "$la") <(echo "$lb") | head -20
    return
  fi
  local f
  while IFS= read -r f; do
    compared=$((compared + 1))
    case "$f" in
      */zantrel.ini)
        # Line 7 is the work folder in each system's own form.
        diff -q <(head -n 6 "$a/$f") <(head -n 6 "$b/$f") >/dev/null ||
          fail "$name: $f differs" ;;
      */flashfiles.txt | */zantrel.owner)
        # The flash files' (or the start folder's) paths in each system's own
        # form: their names alike.
        diff -q <(sed 's#.*[/\\]##' "$a/$f") <(sed 's#.*[/\\]##' "$b/$f") >/dev/null ||
          fail "$name: $f differs" ;;
      *) same "$a/$f" "$b/$f" || fail "$name: $f differs" ;;
    esac
  done <<<"$la"
  echo "$name: $(wc -l <<<"$la") files the same"
}

start=$(date +%s)
for side in linux windows; do
  flow "$side" superfile start . out.shx phone-extended.shx phone-extended.shx
  flow "$side" sbf start . out.shx phone-basic.sbf phone-basic.sbf
  flow "$side" raw start . out.bin drm-extended.bin drm-extended.bin
  flow "$side" port start . out.shx phone-extended.shx phone-extended.shx export-extended.shx
  flow "$side" unicode "Grüße start" "телефон work" "Ausgabe ü.shx" phone-basic.shx \
    "телефон Grüße.shx"
  edit "$side"
done
for name in superfile sbf raw port unicode edit; do compare "$name"; done
echo "Linux and Windows flows: $(( $(date +%s) - start )) s"
if [ "$failures" != 0 ]; then
  for side in linux windows; do
    for f in "$root/$side"/*/*-log.txt; do echo "== $f"; tail -5 "$f"; done
  done
fi
echo "compare-windows: $((compared - failures)) passed, $failures failed"
[ "$failures" = 0 ]
