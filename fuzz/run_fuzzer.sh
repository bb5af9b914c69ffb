#!/usr/bin/env bash
# Runs one libFuzzer target for SECONDS on the committed corpus (new inputs go
# to a scratch folder, never into the repository) and reports the number of
# executions. A finding fails the run and is kept in ARTIFACTS.
#
#   run_fuzzer.sh FUZZER CORPUS_DIR WORK_DIR SECONDS
set -euo pipefail
fuzzer=$1 corpus=$2 work=$3 seconds=$4
name=$(basename "$fuzzer")
rm -rf "$work"
mkdir -p "$work/new" "$work/artifacts"
cd "$work"  # the server-list reader logs an empty list into base/ here
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$work/new" "$corpus" > "$work/fuzz.log" 2>&1 || status=$?
runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$work/fuzz.log")
if [ "$status" -ne 0 ]; then
  tail -40 "$work/fuzz.log"
  echo "$name: FINDING after ${runs:-?} executions; input kept in $work/artifacts (commit it to fuzz/crashes/)"
  exit 1
fi
echo "$name: ${runs:-?} executions in ${seconds} s, no finding" | tee "$work/summary"
