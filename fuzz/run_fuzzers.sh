#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time on a copy of its
# seed corpus, and prints the executions of each. Exits non-zero when a
# target found a crash, a leak or a hang (the reproducer is left in the
# build's fuzz-findings/ folder).
#   fuzz/run_fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -uo pipefail
build=${1:?usage: run_fuzzers.sh BUILD_DIR [SECONDS]}
seconds=${2:-45}
status=0
total=0
for target in record_decoder pglz control_file type_output recovery; do
  corpus="$build/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -n "$build/fuzz-seeds/$target/"* "$corpus/" 2>/dev/null || true
  log="$build/fuzz-findings/$target.log"
  # A recovery input is a list of small edits; the others carry whole pages.
  # Its seeds are a few bytes long, so its inputs start at full length.
  if [ "$target" = recovery ]; then lengths="-max_len=1024 -len_control=0"; else lengths="-max_len=40000"; fi
  (cd "$findings" && "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 $lengths \
      -print_final_stats=1 "$corpus") >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total=$((total + ${runs:-0}))
  if [ $rc -ne 0 ]; then
    status=1
    echo "fuzz_$target: FAILED after ${runs:-?} executions (exit $rc); see $log"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
  else
    echo "fuzz_$target: ${runs:-?} executions in ${seconds}s, no findings"
  fi
done
echo "fuzzers: $total executions in all"
exit $status
