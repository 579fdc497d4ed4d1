#!/usr/bin/env bash
# Photographs the window program for the documentation: the main window of a
# fresh run, the main window of a second run of a pair with its session panel,
# thumbnails and edited marks, a thumbnail's menu, the question a dropped
# picture asks, Import's summary, Port's question, an error box naming its
# file, the settings dialog and the About box, as PNG files in
# BUILD/screenshots.
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
(cd "$out/fresh" && shoot --main "$out/main-fresh.png" --settings "$out/settings.png" \
  --about "$out/about.png" --help-page "$out/help.png")

# A second run of a pair: the first run's work done by the console front end.
"$bin/zantrel-samplegen" "$out/second/samples" >/dev/null
(cd "$out/second" && "$bin/zantrel-cli" open samples/phone-extended.shx \
  samples/export-extended.shx >/dev/null)
# One picture edited to another size, as the window marks it.
icons="$(find "$out/second" -path '*binary1/drmpack/icons' -type d | head -n 1)"
[ -n "$icons" ] && cp "$icons/2.bmp" "$icons/3.bmp"
# Three items replaced inside Zantrel, as the edited marks show them; a folder
# of PNG files to import, one of them another size than its item.
mkdir -p "$out/second/png"
(cd "$out/second" && "$bin/zantrel-cli" export-png png >/dev/null &&
  "$bin/zantrel-cli" replace 7 png/11.png >/dev/null &&
  "$bin/zantrel-cli" replace 13 png/17.png >/dev/null &&
  "$bin/zantrel-cli" replace 4 png/3.png --fit fill >/dev/null)
cp "$out/second/png/3.png" "$out/second/png/5.png"
(cd "$out/second" && shoot --main "$out/main-second.png" --port-question "$out/port-question.png" \
  --item-menu "$out/item-menu.png" --drop-question "$out/drop-question.png" \
  --drop "$out/second/png/16.png" --import-summary "$out/import-summary.png" \
  --import "$out/second/png")
# One of image 2's icons gone: Port stops with an error box naming it.
icons2="$(find "$out/second" -path '*binary2/drmpack/icons' -type d | head -n 1)"
rm -f "$(ls "$icons2"/*.gif "$icons2"/*.bmp 2>/dev/null | sort -V | tail -n 1)"
(cd "$out/second" && shoot --port-error "$out/error.png")

rm -rf "$out/fresh" "$out/second"
ls "$out"/*.png
