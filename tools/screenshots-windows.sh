#!/usr/bin/env bash
# Photographs the Windows window program under Wine on a virtual X display:
# the main window of a fresh run, the settings dialog, the About box and the
# folder picker, and the main window of a second run of a pair with its
# session panel and thumbnails, as PNG files in BUILD-WIN/screenshots.
#   tools/screenshots-windows.sh [BUILD-WIN]
set -euo pipefail

build="${1:-build-win}"
source "$(dirname "$0")/wine-env.sh" "$build"
bin="$wine_build/bin"
out="$wine_build/screenshots"
for tool in zantrel-shots zantrel-cli zantrel-samplegen; do
  if [ ! -f "$bin/$tool.exe" ]; then
    echo "screenshots-windows: $bin/$tool.exe is missing; build first (make windows)" >&2
    exit 1
  fi
done

rm -rf "$out"
mkdir -p "$out/fresh" "$out/second/samples"

# Wine draws the window frames itself (there is no window manager), as on Windows.
for value in Managed Decorated; do
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /t REG_SZ /d N /f >/dev/null 2>&1
done
# The title bars' buttons are glyphs of Wine's Marlett font (fonts-wine).
fonts="$WINEPREFIX/drive_c/windows/Fonts"
[ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && cp -n /usr/share/wine/fonts/marlett.ttf "$fonts/"
wine_wait
# One X display for every shot.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wine_release; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY="$display"
sleep 1
# One server, on this display, for every program below.
wine_hold

wine_run() { "$WINE" "$@" 2>/dev/null | tr -d '\r'; }
w() { windows_path "$1"; }

# A fresh run: nothing opened yet.
(cd "$out/fresh" && wine_run "$bin/zantrel-shots.exe" "$(w "$out/main-fresh.png")" \
  "$(w "$out/settings.png")" "$(w "$out/about.png")" "$(w "$out/folder-picker.png")")

# A second run of a pair: the first run's work done by the console program.
(cd "$out/second" && wine_run "$bin/zantrel-samplegen.exe" samples >/dev/null)
(cd "$out/second" && wine_run "$bin/zantrel-cli.exe" settings --ask-second on >/dev/null)
(cd "$out/second" && wine_run "$bin/zantrel-cli.exe" open samples/phone-extended.shx \
  samples/export-extended.shx >/dev/null) || true
# One picture edited to another size, as the window marks it.
icons="$(find "$out/second" -path '*binary1/drmpack/icons' -type d | head -n 1)"
[ -n "$icons" ] && cp "$icons/2.bmp" "$icons/3.bmp"
# Three items replaced inside Zantrel, as the edited marks show them; a folder
# of PNG files to import, one of them another size than its item.
mkdir -p "$out/second/png"
(cd "$out/second" && wine_run "$bin/zantrel-cli.exe" export-png png >/dev/null &&
  wine_run "$bin/zantrel-cli.exe" replace 7 png/11.png >/dev/null &&
  wine_run "$bin/zantrel-cli.exe" replace 13 png/17.png >/dev/null &&
  wine_run "$bin/zantrel-cli.exe" replace 4 png/3.png --fit fill >/dev/null) || true
cp "$out/second/png/3.png" "$out/second/png/5.png"
(cd "$out/second" && wine_run "$bin/zantrel-shots.exe" "$(w "$out/main-second.png")" --edits \
  "$(w "$out/item-menu.png")" "$(w "$out/drop-question.png")" "$(w "$out/second/png/16.png")" \
  "$(w "$out/import-summary.png")" "$(w "$out/second/png")" "$(w "$out/help.png")")

rm -rf "$out/fresh" "$out/second"
ls "$out"/*.png
