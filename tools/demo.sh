#!/usr/bin/env bash
# The demo behind "make run": a fresh ./demo start folder with sample flash
# files; the window program when a display is there, otherwise the whole
# two-run workflow with zantrel-cli.
set -euo pipefail

build="${1:-build}"
build="$(cd "$build" && pwd)"
bin="$build/bin"
demo="$PWD/demo"

for tool in zantrel-samplegen zantrel-cli; do
  if [ ! -x "$bin/$tool" ]; then
    echo "demo: $bin/$tool is missing; build first (make build)" >&2
    exit 1
  fi
done

rm -rf "$demo"
mkdir -p "$demo/samples"
"$bin/zantrel-samplegen" "$demo/samples" >/dev/null

if [ -x "$bin/zantrel" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "Starting the window in $demo (sample flash files in $demo/samples)."
  cd "$demo"
  exec "$bin/zantrel"
fi

cli="$bin/zantrel-cli"
sample="samples/phone-extended.shx"
cd "$demo"

echo "== No display: the workflow with zantrel-cli in $demo"
echo
echo "\$ zantrel-cli info $sample"
"$cli" info "$sample"
echo
echo "\$ zantrel-cli open $sample          # first run: decompile"
"$cli" open "$sample"
echo
echo "Session file shxdata.dat holds: $(cat shxdata.dat)"
echo "Work files of the image to edit:"
(cd binary1 && find . -type f | sort | head -n 12 | sed 's/^\.\//  binary1\//') || true
echo "  ..."
echo
echo "\$ zantrel-cli save-as new.shx            # second run: compile"
"$cli" save-as new.shx
echo
echo "Results in $demo:"
ls -l new.shx new.bin | sed 's/^/  /'
echo
echo "Look at: new.shx (the superfile to flash: header, RAMDLD and the rebuilt"
echo "DRM code group as S-records) and new.bin (the compiled DRM code group)."
echo "The work tree was cleaned up (settings: cleanup on). To edit pictures"
echo "yourself: run 'zantrel-cli open FILE' in $demo, edit"
echo "binary1/drmpack/icons/*.bmp, then 'zantrel-cli save-as NAME'."
