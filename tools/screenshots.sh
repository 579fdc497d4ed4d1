#!/usr/bin/env bash
# Photographs the window program for the documentation: the main window of a
# fresh run, the main window of a second run with its thumbnails, the settings
# dialog and the About box, as PNG files in BUILD/screenshots.
#   tools/screenshots.sh [BUILD]
set -euo pipefail

build="${1:-build}"
build="$(cd "$build" && pwd)"
bin="$build/bin"
out="$build/screenshots"

for tool in zantrel-shots zantrel-cli zantrel-samplegen; do
  if [ ! -x "$bin/$tool" ]; then
    echo "screenshots: $bin/$tool is missing; build first (make build)" >&2
    exit 1
  fi
done

rm -rf "$out"
mkdir -p "$out/fresh" "$out/second/samples"

# xvfb-run gives the windows a real X display; without it, Qt's offscreen
# platform draws the same widgets.
shoot() {
  if command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/zantrel-shots" "$@"
  else
    QT_QPA_PLATFORM=offscreen "$bin/zantrel-shots" "$@"
  fi
}

# A fresh run: nothing opened yet.
(cd "$out/fresh" && shoot "$out/main-fresh.png" "$out/settings.png" "$out/about.png")

# A second run: the first run's work done by the console front end.
"$bin/zantrel-samplegen" "$out/second/samples" >/dev/null
(cd "$out/second" && "$bin/zantrel-cli" open samples/phone-extended.shx >/dev/null)
# One picture edited to another size, as the window marks it.
icons="$(find "$out/second" -path '*binary1/drmpack/icons' -type d | head -n 1)"
[ -n "$icons" ] && cp "$icons/2.bmp" "$icons/3.bmp"
(cd "$out/second" && shoot "$out/main-second.png")

rm -rf "$out/fresh" "$out/second"
ls "$out"/*.png
