#!/bin/bash
# Renders resources/zantrel.svg into the bitmaps the builds use, which are
# committed so that no build needs an SVG renderer. Run again after changing
# the SVG. Needs rsvg-convert (Debian: librsvg2-bin) and python3.
#   resources/zantrel.png     256x256, the Qt window's icon and the package's
#   resources/zantrel-48.png  48x48, the desktop's small size
#   resources/zantrel.ico     16, 32 and 48 as 32-bit bitmaps, 256 as PNG
set -euo pipefail
res="$(cd "$(dirname "$0")/../resources" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

for size in 16 32 48 256; do
  rsvg-convert -w "$size" -h "$size" "$res/zantrel.svg" -o "$tmp/$size.png"
done
cp "$tmp/256.png" "$res/zantrel.png"
cp "$tmp/48.png" "$res/zantrel-48.png"

python3 - "$tmp" "$res/zantrel.ico" <<'PY'
import struct, sys, zlib

def read_rgba(path):
    """Pixels of an 8-bit RGBA, non-interlaced PNG (what rsvg-convert writes)."""
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    pos, idat = 8, b''
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            w, h, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert (depth, colour, interlace) == (8, 6, 0), path
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), w * 4, [], bytearray(w * 4)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, rows

def dib(path):
    """An icon entry as a 32-bit bitmap: BGRA rows bottom up, then the AND mask."""
    w, h, rows = read_rgba(path)
    out = bytearray(struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0))
    for row in reversed(rows):
        for x in range(w):
            r, g, b, a = row[4 * x:4 * x + 4]
            out += bytes((b, g, r, a))
    mask_stride = (w + 31) // 32 * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(w):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)

tmp, target = sys.argv[1], sys.argv[2]
entries = [(s, dib(f'{tmp}/{s}.png')) for s in (16, 32, 48)]
entries.append((256, open(f'{tmp}/256.png', 'rb').read()))
head = struct.pack('<HHH', 0, 1, len(entries))
offset, table, blobs = 6 + 16 * len(entries), b'', b''
for size, blob in entries:
    table += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
    offset += len(blob)
    blobs += blob
open(target, 'wb').write(head + table + blobs)
PY
echo "Wrote $res/zantrel.png, zantrel-48.png and zantrel.ico"
