#!/usr/bin/env bash
# make bench: times zantrel-cli against srec_cat and objcopy on the same
# bytes, as whole processes, and prints one table (also BUILD/bench.md).
#
#   bash bench/run.sh BUILD [WIN_BUILD]    BENCH_RUNS=n sets the runs per row (5)
#
# With WIN_BUILD (the cross-build, its zantrel-bench-winwindow.exe made), the
# Windows window is timed too, under Wine on a display of its own.
#
# Every row is the median of its runs; the runs of the program and of its
# peers are interleaved, so that a busy machine slows them alike and the
# ratios hold. Peak memory is the largest resident size of any run. This is
# a benchmark, not a test: nothing here fails on a time.
set -euo pipefail

BUILD=${1:-build}
WIN_BUILD=${2:-}
RUNS=${BENCH_RUNS:-5}
BIN=$(cd "$BUILD/bin" && pwd)
OUT_MD="$(cd "$BUILD" && pwd)/bench.md"
CLI="$BIN/zantrel-cli"

for tool in srec_cat objcopy /usr/bin/time "$CLI" "$BIN/zantrel-samplegen" "$BIN/zantrel-bench-pictures"; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (make deps; make build)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zantrel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
RES="$WORK/results"
mkdir -p "$RES"

# measure NAME FOLDER COMMAND...: one run; appends "seconds peak-KiB" to NAME.
measure() {
    local name=$1 dir=$2
    shift 2
    local t0 t1
    t0=$EPOCHREALTIME
    if ! (cd "$dir" && /usr/bin/time -f %M -o "$WORK/rss" "$@" >"$WORK/log" 2>&1); then
        echo "bench: $name failed:" >&2
        cat "$WORK/log" >&2
        exit 1
    fi
    t1=$EPOCHREALTIME
    echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(tail -n 1 "$WORK/rss")" >>"$RES/$name"
}

# Frees the page cache a run's outputs hold without deleting them: removing
# files between runs would make the next runs' file creation pay for it.
release() { find "$@" -type f -size +0 -exec truncate -s 0 {} + 2>/dev/null || true; }

median() { sort -n "$RES/$1" | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }
peak() { awk '$2 > m { m = $2 } END { print m }' "$RES/$1"; }
size_of() { stat -c %s "$1"; }

echo "Preparing samples in $WORK ..."
for mb in 40 4; do
    d="$WORK/s$mb"
    "$BIN/zantrel-samplegen" "$d" --large "$mb" >/dev/null
    # The S-record body: everything after the 8172-byte flash header.
    tail -c +8173 "$d/large.shx" >"$d/body.srec"
    # objcopy stops at the first end line, so it gets the body with the end
    # and start lines between the pieces taken out: the same data lines.
    awk 'NR == 1 || !/^S[07]/' "$d/body.srec" >"$d/joined.srec"
    printf 'S70500000000FA\r\n' >>"$d/joined.srec"

    # A warm-up session; its save-as gives the bytes the save-as writes (the
    # RAMDLD and the compiled code group), which the peers write back.
    w="$d/warm"
    mkdir -p "$w"
    (cd "$w" && "$CLI" settings --cleanup off >/dev/null && "$CLI" open "$d/large.shx" >/dev/null &&
        "$CLI" save-as new.shx >/dev/null)
    cat "$w/binary1/RAMDLD.bin" "$w/new.bin" >"$d/payload.bin"
    release "$w"
done
"$BIN/zantrel-bench-pictures" prepare "$WORK/pictures/in"
# The window's second run at the largest DRM: a session of 2,999 items.
WINDOW=""
if [ -x "$BIN/zantrel-bench-window" ]; then
    WINDOW="$WORK/window"
    mkdir -p "$WINDOW/session"
    "$BIN/zantrel-bench-window" prepare "$WINDOW/largest.bin"
    (cd "$WINDOW/session" && "$CLI" open "$WINDOW/largest.bin" >/dev/null)
fi
# The Windows window's, opened by the Windows console program.
WINWINDOW=""
if [ -n "$WIN_BUILD" ] && [ -f "$WIN_BUILD/bin/zantrel-bench-winwindow.exe" ]; then
    source "$(dirname "$0")/../tools/wine-env.sh" "$WIN_BUILD"
    WINBIN=$(cd "$WIN_BUILD/bin" && pwd)
    WINWINDOW="$WORK/winwindow"
    mkdir -p "$WINWINDOW/session"
    (cd "$WINWINDOW" && "$WINE" "$WINBIN/zantrel-bench-winwindow.exe" prepare largest.bin &&
        cd session && "$WINE" "$WINBIN/zantrel-cli.exe" open ../largest.bin) >/dev/null
fi

echo "Timing $RUNS runs of each ..."
for i in $(seq 1 "$RUNS"); do
    for mb in 40 4; do
        d="$WORK/s$mb"
        # open and save-as in a fresh start folder each time; clean-up is off
        # so that save-as times compilation, writing and verification only.
        s="$d/run-shx-$i"
        mkdir -p "$s"
        (cd "$s" && "$CLI" settings --cleanup off >/dev/null)
        measure "open-shx-$mb" "$s" "$CLI" open "$d/large.shx"
        measure "srec_cat-read-$mb" "$d" srec_cat body.srec -Motorola -o peer.bin -Binary
        measure "save-as-$mb" "$s" "$CLI" save-as new.shx
        measure "srec_cat-write-$mb" "$d" srec_cat payload.bin -Binary -offset 0x10D0001C \
            -o peer.srec -Motorola -Output_Block_Size=64 -address-length=4
        b="$d/run-sbf-$i"
        mkdir -p "$b"
        measure "open-sbf-$mb" "$b" "$CLI" open "$d/large.sbf"
        measure "objcopy-read-$mb" "$d" objcopy -I srec -O binary joined.srec peer.bin
        measure "objcopy-write-$mb" "$d" objcopy -I binary -O srec --srec-forceS3 --srec-len=64 \
            --change-addresses 0x10D0001C payload.bin peer.srec
        size_of "$s/new.shx" >"$RES/written-$mb"
        size_of "$d/peer.srec" >"$RES/peer-written-$mb"
        release "$s" "$b" "$d/peer.bin" "$d/peer.srec"
    done
    p="$WORK/pictures/out-$i"
    t0=$EPOCHREALTIME
    (cd "$WORK" && /usr/bin/time -f %M -o "$WORK/rss" "$BIN/zantrel-bench-pictures" run pictures/in "$p" >"$WORK/log")
    echo "$(cut -d' ' -f1 "$WORK/log") $(tail -n 1 "$WORK/rss")" >>"$RES/pictures"
    release "$p"
    if [ -n "$WINDOW" ]; then
        (cd "$WINDOW/session" && ZANTREL_BENCH_START=$EPOCHREALTIME QT_QPA_PLATFORM=offscreen \
            "$BIN/zantrel-bench-window" run 2>"$WORK/log") >>"$RES/window" ||
            { echo "bench: the window failed:" >&2; cat "$WORK/log" >&2; exit 1; }
    fi
    if [ -n "$WINWINDOW" ]; then
        # From the program's own start: Wine's start-up is not the window's.
        # A Wine server started without a display must end first.
        wine_wait
        (cd "$WINWINDOW/session" && xvfb-run -a -s "-screen 0 1280x1024x24" \
            "$WINE" "$WINBIN/zantrel-bench-winwindow.exe" run 2>"$WORK/log") | tr -d '\r' |
            grep -E '^[0-9.]+ [0-9.]+ [0-9.]+ [0-9]+$' >>"$RES/winwindow" ||
            { echo "bench: the Windows window failed:" >&2; cat "$WORK/log" >&2; exit 1; }
    fi
done

# The editing steps, once: one picture replaced from a PNG (the median of 50
# in one process); then the console's commands on the largest DRM, two raw
# images of 2,999 pictures of 176x220 (noise, the hardest to compress) and an
# icon: every item exported as PNG, imported back (nothing changes), and the
# other image's export imported (every picture changes). The commands include
# start-up and listing the work folder, as a person waits for them.
read -r edit_replace < <("$BIN/zantrel-bench-pictures" edit "$WORK/pictures/in" "$WORK/edit")
release "$WORK/edit"
big="$WORK/big"
for side in a b; do
    mkdir -p "$big/$side"
    "$BIN/zantrel-bench-pictures" drm "$big/$side.bin" "$([ "$side" = a ] && echo 0 || echo 5000)"
    (cd "$big/$side" && "$CLI" settings --cleanup off >/dev/null && "$CLI" open "$big/$side.bin" >/dev/null)
done
# The setup's gigabyte on the disk first: a command's flush waits for
# everything the file system still has to write, and a person's export does
# not come seconds after two Opens of this size.
sync
measure export-png "$big/a" "$CLI" export-png "$big/png-a"
measure import-same "$big/a" "$CLI" import "$big/png-a"
(cd "$big/b" && "$CLI" export-png "$big/png-b" >/dev/null)
sync
measure import-changed "$big/a" "$CLI" import "$big/png-b"
rm -rf "$big"

# ---- The table ----
# A window's results (RESULTS): the median of column c, the largest peak,
# and its two rows under LABEL.
wcol() { sort -n -k"$2" "$RES/$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }
wpeak() { awk '$4 > m { m = $4 } END { print m }' "$RES/$1"; }
window_rows() {
    printf '| %s: first thumbnails shown | 2999 items | | %.3f | | %s | | |\n' \
        "$2" "$(wcol "$1" 1)" "$(mib "$(wpeak "$1")")"
    printf '| %s: every item checked (usable) | 2999 items | | %.3f | | %s | | |\n' \
        "$2" "$(wcol "$1" 2)" "$(mib "$(wpeak "$1")")"
    printf '| %s: all thumbnails shown (then scrolled through) | 2999 items | | %.3f | | %s | | |\n' \
        "$2" "$(wcol "$1" 3)" "$(mib "$(wpeak "$1")")"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / 1048576 / s }'; }
ratio() { awk -v p="$1" -v s="$2" 'BEGIN { printf "%.1fx", p / s }'; }

TABLE="$WORK/table.md"
{
    echo "| operation | input | size MB | median s | MB/s | peak MiB | vs srec_cat | vs objcopy |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|"
    for mb in 40 4; do
        d="$WORK/s$mb"
        shx=$(size_of "$d/large.shx")
        sbf=$(size_of "$d/large.sbf")
        body=$(size_of "$d/body.srec")
        out=$(cat "$RES/written-$mb")
        pout=$(cat "$RES/peer-written-$mb")
        sr=$(median "srec_cat-read-$mb"); orr=$(median "objcopy-read-$mb")
        sw=$(median "srec_cat-write-$mb"); ow=$(median "objcopy-write-$mb")
        row() { # label input bytes name peer-srec peer-objcopy
            local m
            m=$(median "$4")
            printf '| %s | %s | %.1f | %.3f | %s | %s | %s | %s |\n' "$1" "$2" \
                "$(awk -v b="$3" 'BEGIN { print b / 1048576 }')" "$m" "$(rate "$3" "$m")" \
                "$(mib "$(peak "$4")")" "${5:+$(ratio "$5" "$m")}" "${6:+$(ratio "$6" "$m")}"
        }
        row "zantrel-cli open" "large.shx ($mb MB)" "$shx" "open-shx-$mb" "$sr" "$orr"
        row "zantrel-cli open" "large.sbf ($mb MB)" "$sbf" "open-sbf-$mb" "$sr" "$orr"
        row "srec_cat S-records -> binary" "body of large.shx" "$body" "srec_cat-read-$mb" "" ""
        row "objcopy S-records -> binary" "body, joined" "$body" "objcopy-read-$mb" "" ""
        row "zantrel-cli save-as" "session of large.shx" "$out" "save-as-$mb" "$sw" "$ow"
        row "srec_cat binary -> S3 records" "RAMDLD + compiled CG" "$pout" "srec_cat-write-$mb" "" ""
        row "objcopy binary -> S3 records" "RAMDLD + compiled CG" "$pout" "objcopy-write-$mb" "" ""
    done
    m=$(median pictures)
    printf '| RAW -> BMP -> RAW, one process | 1000 pictures 176x220 | %.1f | %.3f | %s | %s | | |\n' \
        "$(awk 'BEGIN { print 1000 * (82280 + 116214) / 1048576 }')" "$m" \
        "$(rate $((1000 * (82280 + 116214))) "$m")" "$(mib "$(peak pictures)")"
    printf '| replace from PNG, one process | 1 picture 176x220 | | %.4f | | | | |\n' \
        "$(awk -v ms="$edit_replace" 'BEGIN { print ms / 1000 }')"
    printf '| zantrel-cli export-png | 2999 pictures 176x220, 1 icon | | %.3f | | %s | | |\n' \
        "$(median export-png)" "$(mib "$(peak export-png)")"
    printf '| zantrel-cli import, nothing changes | its own export | | %.3f | | %s | | |\n' \
        "$(median import-same)" "$(mib "$(peak import-same)")"
    printf '| zantrel-cli import, every picture changes | the other image'"'"'s export | | %.3f | | %s | | |\n' \
        "$(median import-changed)" "$(mib "$(peak import-changed)")"
    if [ -n "$WINDOW" ]; then window_rows window "window, second run"; fi
    if [ -n "$WINWINDOW" ]; then window_rows winwindow "Windows window under Wine"; fi
} >"$TABLE"

# ---- The targets ----
met() { awk -v v="$1" -v t="$2" -v op="$3" 'BEGIN { ok = op == ">=" ? v >= t : v <= t; print ok ? "met" : "NOT met" }'; }
o40=$(median open-shx-40); s40=$(median save-as-40)
r1=$(awk -v p="$(median srec_cat-read-40)" -v s="$o40" 'BEGIN { printf "%.1f", p / s }')
r2=$(awk -v p="$(median objcopy-read-40)" -v s="$o40" 'BEGIN { printf "%.1f", p / s }')
r3=$(awk -v p="$(median srec_cat-write-40)" -v s="$s40" 'BEGIN { printf "%.1f", p / s }')
r4=$(awk -v p="$(median objcopy-write-40)" -v s="$s40" 'BEGIN { printf "%.1f", p / s }')
maxpeak=0
for n in open-shx-40 open-sbf-40 save-as-40 open-shx-4 open-sbf-4 save-as-4 pictures; do
    p=$(peak "$n"); [ "$p" -gt "$maxpeak" ] && maxpeak=$p
done
grow=0
for op in open-shx open-sbf save-as; do
    g=$(($(peak "$op-40") - $(peak "$op-4"))); [ "$g" -gt "$grow" ] && grow=$g
done
pic=$(median pictures)
NOTES="$WORK/notes.md"
{
    echo "Targets (ratios from this run):"
    echo "- open of the 40 MB superfile: ${r1}x srec_cat (15x: $(met "$r1" 15 ">=")), ${r2}x objcopy (4x: $(met "$r2" 4 ">="))"
    echo "- save-as of that session: ${r3}x srec_cat (10x: $(met "$r3" 10 ">=")), ${r4}x objcopy (2.5x: $(met "$r4" 2.5 ">="))"
    echo "- peak memory of any zantrel process: $(mib "$maxpeak") MiB (16 MiB: $(met "$maxpeak" 16384 "<="));" \
         "40 MB over 4 MB: $(mib "$grow") MiB at most (1 MiB: $(met "$grow" 1024 "<="))"
    echo "- 1,000 pictures RAW -> BMP -> RAW: ${pic} s (0.5 s: $(met "$pic" 0.5 "<="))"
    echo "- one picture replaced from PNG: ${edit_replace} ms (20 ms: $(met "$edit_replace" 20 "<="));" \
         "3,000 exported as PNG: $(median export-png) s (3 s: $(met "$(median export-png)" 3 "<="))," \
         "imported back: $(median import-same) s (2 s: $(met "$(median import-same)" 2 "<="))," \
         "imported changed: $(median import-changed) s"
    if [ -n "$WINDOW" ]; then
        echo "- window of 2,999 items: first thumbnails $(wcol window 1) s (0.3 s: $(met "$(wcol window 1)" 0.3 "<=")), usable" \
             "$(wcol window 2) s (1 s: $(met "$(wcol window 2)" 1 "<=")), all scrolled through $(wcol window 3) s," \
             "peak $(mib "$(wpeak window)") MiB (100 MB: $(met "$(wpeak window)" 97656 "<="))"
    fi
    if [ -n "$WINWINDOW" ]; then
        echo "- the Windows window under Wine (every file call a round trip to its server, so not"
        echo "  Windows's own speed): first thumbnails $(wcol winwindow 1) s, usable $(wcol winwindow 2) s," \
             "all scrolled through $(wcol winwindow 3) s, peak $(mib "$(wpeak winwindow)") MiB"
    fi
}  >"$NOTES"

{
    echo "# Benchmark"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
         "$RUNS runs per row (median), $(srec_cat -version | head -n 1), $(objcopy --version | head -n 1)."
    echo
    cat "$TABLE"
    echo
    echo "Sizes are the S-record text read (open of a superfile, the peers' conversion to binary),"
    echo "the flash file read (open of an SBF file), or the S-record text written (save-as, the"
    echo "peers' conversion back). open includes start-up, reading, decompilation and the BMP"
    echo "copies of the pictures; save-as includes compilation, the superfile writer and its"
    echo "read-back verification (clean-up off). The peers only convert: srec_cat and objcopy"
    echo "turn the body into binary, and write the RAMDLD and the compiled code group back as S3"
    echo "records of 64 data bytes. Ratios are the peer's median over ours."
    echo
    cat "$NOTES"
} >"$OUT_MD"

echo
cat "$OUT_MD"
