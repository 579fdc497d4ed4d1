#!/usr/bin/env bash
# Photographs the window program for the documentation: the main window of a
# fresh run, the main window of a second run of a pair with its session panel
# and thumbnails, Port's question, an error box naming its file, the settings
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
(cd "$out/fresh" && shoot --main "$out/main-fresh.png" --settings "$out/settings.png" \
  --about "$out/about.png")

# A second run of a pair: the first run's work done by the console front end.
"$bin/zantrel-samplegen" "$out/second/samples" >/dev/null
(cd "$out/second" && "$bin/zantrel-cli" open samples/phone-extended.shx \
  samples/export-extended.shx >/dev/null)
# One picture edited to another size, as the window marks it.
icons="$(find "$out/second" -path '*binary1/drmpack/icons' -type d | head -n 1)"
[ -n "$icons" ] && cp "$icons/2.bmp" "$icons/3.bmp"
(cd "$out/second" && shoot --main "$out/main-second.png" --port-question "$out/port-question.png")
# One of image 2's icons gone: Port stops with an error box naming it.
icons2="$(find "$out/second" -path '*binary2/drmpack/icons' -type d | head -n 1)"
rm -f "$(ls "$icons2"/*.gif "$icons2"/*.bmp 2>/dev/null | sort -V | tail -n 1)"
(cd "$out/second" && shoot --port-error "$out/error.png")

rm -rf "$out/fresh" "$out/second"
ls "$out"/*.png
