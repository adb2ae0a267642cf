#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-asan/, shared with tools/sanitize.sh) and runs each
# for SECONDS (default 60), starting from its seeds in fuzz/corpus/NAME. Prints the seconds
# and runs of every target; fails when any target finds a crash, a leak or a hang (an input
# that runs over 10 s).
# What a target finds is kept in build-asan/findings/; the seeds in the repository are
# never changed. Usage: tools/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
bash "$top/tools/setup.sh"
build="$top/build-asan"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  names=(pipeline java_regex shared_settings settings_import parity_marks update_file telnet output_template)
fi
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
bash "$top/tools/sanitizers/asan-build.sh" "${targets[@]}"
source "$top/tools/sanitizers/asan-env.sh"
export QT_QPA_PLATFORM=offscreen
failed=()
for n in "${names[@]}"; do
  work="$build/findings/$n"
  mkdir -p "$work/corpus"
  log="$work/log.txt"
  start=$SECONDS
  status=0
  # Found inputs grow the working corpus in build-asan, never fuzz/corpus.
  "$build/fuzz/fuzz_$n" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$top/fuzz/corpus/$n" >"$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  echo "$n: $((SECONDS - start)) s, ${runs:-?} runs, exit $status"
  if [ "$status" -ne 0 ]; then
    failed+=("$n")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)|^artifact_prefix|Test unit written' "$log" | head -n 20 || true
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (logs and inputs in $build/findings)" >&2
  exit 1
fi
