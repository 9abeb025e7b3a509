#!/usr/bin/env bash
# Fuzzes the script reader, the manifest reader, patchtool's check and the VCDIFF decoder and
# encoder with libFuzzer (clang, AddressSanitizer and UndefinedBehaviorSanitizer), each for the
# given number of seconds (default 30). Any finding fails the run and leaves its input in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target update_script_fuzz check_fuzz manifest_fuzz vcdiff_fuzz >/dev/null
status=0
for target in update_script_fuzz check_fuzz manifest_fuzz vcdiff_fuzz; do
  # New inputs go to the build tree; the seeds in the repository stay as they are.
  seeds=tests/fuzz/corpus
  [ "$target" = manifest_fuzz ] && seeds=tests/fuzz/manifest_corpus
  [ "$target" = vcdiff_fuzz ] && seeds=tests/fuzz/vcdiff_corpus
  mkdir -p "build/fuzz/corpus-$target"
  build/fuzz/$target "build/fuzz/corpus-$target" "$seeds" \
    -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" \
    >"build/fuzz/$target.log" 2>&1 || status=$?
  grep -E "^(Done|stat::number_of_executed_units|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)" \
    "build/fuzz/$target.log" || true
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $target FAILED (exit $status); see build/fuzz/$target.log" >&2
    exit 1
  fi
  echo "fuzz: $target, ${seconds} s, no finding"
done
