#!/usr/bin/env bash
# Fuzzes the script reader with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) for the given number of seconds (default 30).
# Any finding fails the run and leaves its input in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target update_script_fuzz >/dev/null
mkdir -p build/fuzz/corpus
# New inputs go to the build tree; the seeds in the repository stay as they are.
status=0
build/fuzz/update_script_fuzz build/fuzz/corpus tests/fuzz/corpus \
  -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 -artifact_prefix=build/fuzz/ \
  >build/fuzz/last-run.log 2>&1 || status=$?
grep -E "^(Done|stat::number_of_executed_units|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)" \
  build/fuzz/last-run.log || true
if [ "$status" -ne 0 ]; then
  echo "fuzz: FAILED (exit $status); see build/fuzz/last-run.log" >&2
  exit 1
fi
echo "fuzz: ${seconds} s, no finding"
