#!/usr/bin/env bash
# Runs each cross-built test program once under Wine (one Wine process per
# program: starting Wine per test would cost more than the tests), two at a
# time, and prints the counts of each and a closing summary line. Fails when
# any test fails or a program does not finish.
#   tools/run-windows-tests.sh BUILD-WIN
set -u
build="${1:-build-win}"
source "$(dirname "$0")/wine-env.sh" "$build"
wine_hold
trap wine_release EXIT
bin="$wine_build/bin"
export ZANTREL_BIN="$(windows_path "$bin")"
# The deterministic sweeps take every n-th case here: each case is a few
# dozen file operations, and under Wine each costs a round trip to its server.
export ZANTREL_SWEEP_EVERY="${ZANTREL_SWEEP_EVERY:-8}"
log="$wine_build/test-logs"
mkdir -p "$log"

# run EXE [SHARD TOTAL]: one program (or its SHARD-th of TOTAL parts, by
# GoogleTest's sharding) in a scratch folder, as ctest would run it; its
# output in $log/NAME.txt, its exit status in $log/NAME.status.
run() {
  local exe=$1 shard=${2:-} total=${3:-} name work display=() shards=()
  name=$(basename "$exe" .exe)
  if [ -n "$shard" ]; then
    name="$name.$shard"
    shards=(env GTEST_SHARD_INDEX="$shard" GTEST_TOTAL_SHARDS="$total")
  fi
  work=$(mktemp -d)
  # The window program's test makes windows: Wine needs an X display for
  # them, and a server started on it (the held one has none).
  if [ "$name" = win_test ]; then
    display=(xvfb-run -a -s "-screen 0 1280x1024x24")
    wine_release
  fi
  ( cd "$work" && timeout 600 "${shards[@]}" "${display[@]}" "$WINE" "$exe" ) >"$log/$name.txt" 2>&1
  echo $? >"$log/$name.status"
  rm -rf "$work"
}

start=$(date +%s)
rm -f "$log"/*.txt "$log"/*.status
# The hostile-input tests, the longest by far, in four parts (each sweep in
# its own, so that no part comes near its time limit), and the console's,
# next longest, beside the others one after another; the window test last and
# alone.
hostile_parts=4
for ((i = 0; i < hostile_parts; i++)); do
  run "$bin/hostile_test.exe" "$i" "$hostile_parts" &
done
[ -f "$bin/cli_test.exe" ] && run "$bin/cli_test.exe" &
for exe in "$bin"/*_test.exe; do
  case "$(basename "$exe")" in hostile_test.exe | cli_test.exe | win_test.exe) ;; *) run "$exe" ;; esac
done
wait
[ -f "$bin/win_test.exe" ] && run "$bin/win_test.exe"

passed=0 failed=0 skipped=0 broken=0
for status in "$log"/*.status; do
  name=$(basename "$status" .status)
  rc=$(cat "$status")
  p=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?.*/\1/p' "$log/$name.txt" | tail -1)
  f=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$log/$name.txt" | tail -1)
  s=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below.*/\1/p' "$log/$name.txt" | tail -1)
  p=${p:-0} f=${f:-0} s=${s:-0}
  if [ "$rc" != 0 ] && [ "$f" = 0 ]; then
    broken=$((broken + 1))
    echo "$name: exited with status $rc without a test failure"
    tail -20 "$log/$name.txt"
  fi
  if [ "$f" != 0 ]; then
    grep -E '^\[  FAILED  \]|Failure|error:' "$log/$name.txt" | head -40
  fi
  # A skip says why, on the line after gtest's "Skipped" (lines end in CR LF).
  grep -B1 -A1 ': Skipped' "$log/$name.txt" | grep -v -- '^--$' | head -10
  printf '%-28s %4d passed, %d failed, %d skipped\n' "$name" "$p" "$f" "$s"
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
done
echo "Windows test programs under Wine: $(( $(date +%s) - start )) s; logs in $log"
echo "windows: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ] && [ "$broken" = 0 ]
