#!/bin/bash
# Runs every fuzz harness (or those named) for FUZZ_SECONDS each, one after
# the other, and prints a table of executions and findings.
#   fuzz/run.sh BUILD_DIR [HARNESS...]
# Seeds are generated afresh into BUILD_DIR/corpus/seeds; what the fuzzers
# find goes to BUILD_DIR/corpus/<harness> (kept between runs) and any crash,
# leak, timeout or out-of-memory input to BUILD_DIR/artifacts/<harness>.
# fuzz/regressions/<harness> holds the inputs that once found something: they
# are run first, every time.
# FUZZ_REPLAY=1 explores nothing: each harness runs the regressions and the
# seeds once, so the same commit always gives the same answer (the test gate).
# Exits 1 when a harness had a finding.
set -uo pipefail

build=$(cd "${1:?usage: fuzz/run.sh BUILD_DIR [HARNESS...]}" && pwd)
shift
seconds=${FUZZ_SECONDS:-60}
replay=${FUZZ_REPLAY:-0}
here=$(cd "$(dirname "$0")" && pwd)
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(fuzz_superfile fuzz_sbf fuzz_rawimage fuzz_rawtobmp fuzz_bmptoraw
             fuzz_settings fuzz_session fuzz_compile fuzz_picture)
fi

# Input limits: room for the seeds, small enough to keep each run fast.
max_len() {
  case $1 in
    fuzz_superfile) echo 32768 ;;
    fuzz_sbf) echo 16384 ;;
    fuzz_rawimage | fuzz_compile) echo 8192 ;;
    fuzz_rawtobmp | fuzz_bmptoraw | fuzz_picture) echo 4096 ;;
    fuzz_settings) echo 1024 ;;
    *) echo 256 ;;
  esac
}

corpus=$build/corpus
rm -rf "$corpus/seeds" "$corpus/samples"
"$build/bin/zantrel-fuzzseeds" "$corpus/seeds" >/dev/null || { echo "seed generation failed"; exit 1; }
# The sample generator's files too; libFuzzer cuts those over the limit.
"$build/bin/zantrel-samplegen" "$corpus/samples" || { echo "sample generation failed"; exit 1; }
for f in "$corpus"/samples/*; do
  case ${f,,} in
    *.shx) cp "$f" "$corpus/seeds/fuzz_superfile/" ;;
    *.sbf) cp "$f" "$corpus/seeds/fuzz_sbf/" ;;
    *) cp "$f" "$corpus/seeds/fuzz_rawimage/" ;;
  esac
done

# The harnesses' start folders, removed even when a harness crashed.
ZANTREL_FUZZ_TMP=$(mktemp -d /dev/shm/zantrel-fuzz-run.XXXXXX 2>/dev/null || mktemp -d)
export ZANTREL_FUZZ_TMP
trap 'rm -rf "$ZANTREL_FUZZ_TMP"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:quarantine_size_mb=16:malloc_context_size=10}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
rows=()
for h in "${harnesses[@]}"; do
  bin=$build/bin/$h
  art=$build/artifacts/$h
  log=$build/logs/$h.log
  mkdir -p "$corpus/$h" "$art" "$build/logs"
  rm -f "$art"/*
  dict=()
  case $h in
    fuzz_superfile | fuzz_sbf | fuzz_rawimage | fuzz_compile) dict=(-dict="$here/flash.dict") ;;
  esac
  regressions=()
  [ -d "$here/regressions/$h" ] && regressions=("$here/regressions/$h")
  if [ "$replay" = 1 ]; then
    echo "== $h: replay"
    # -runs=0: every input of the folders once, nothing new.
    "$bin" -runs=0 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$art/" "${regressions[@]}" "$corpus/seeds/$h" >"$log" 2>&1
  else
    echo "== $h: ${seconds}s"
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len "$h")" \
      -print_final_stats=1 -artifact_prefix="$art/" "${dict[@]}" \
      "$corpus/$h" "${regressions[@]}" "$corpus/seeds/$h" >"$log" 2>&1
  fi
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  findings=$(find "$art" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  if [ "$replay" = 1 ]; then
    units=$(find "${regressions[@]}" "$corpus/seeds/$h" -type f | wc -l)
  else
    units=$(find "$corpus/$h" -type f | wc -l)
  fi
  if [ "$rc" -ne 0 ] && [ "$findings" -eq 0 ]; then
    findings=1 # stopped without an artifact: an error of the harness itself
  fi
  if [ "$findings" -ne 0 ]; then
    failed=1
    echo "   finding: see $log and $art"
    grep -m3 -E 'ERROR|runtime error|invariant broken|deadly signal' "$log" | sed 's/^/   /'
  fi
  if [ "$replay" = 1 ]; then
    rows+=("$(printf '%-16s %6s %12s %10s %8s %9s' "$h" replay "${execs:-0}" - "$units" "$findings")")
  else
    rows+=("$(printf '%-16s %6s %12s %10s %8s %9s' "$h" "$seconds" "${execs:-0}" \
      "$(( ${execs:-0} / (seconds > 0 ? seconds : 1) ))" "$units" "$findings")")
  fi
done

echo
printf '%-16s %6s %12s %10s %8s %9s\n' harness seconds executions "exec/s" corpus findings
for r in "${rows[@]}"; do echo "$r"; done
exit $failed
