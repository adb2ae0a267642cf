#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (into build-fuzz/) and runs each for SECONDS (default 60),
# starting from its seeds in fuzz/corpus/NAME. Prints the seconds and runs of every target;
# fails when any target finds a crash, a leak or a hang (an input that runs over 10 s).
# What a target finds is kept in build-fuzz/findings/; the seeds in the repository are
# never changed. Usage: tools/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
bash "$top/tools/setup.sh"
build="$top/build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAROVEX_FUZZ=ON -DTAROVEX_BUILD_TESTS=OFF -DTAROVEX_BUILD_BENCH=OFF >/dev/null
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  names=(pipeline java_regex shared_settings settings_import parity_marks update_file)
fi
targets=()
for n in "${names[@]}"; do targets+=(--target "fuzz_$n"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$top/tools/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
failed=()
for n in "${names[@]}"; do
  work="$build/findings/$n"
  mkdir -p "$work/corpus"
  log="$work/log.txt"
  start=$SECONDS
  status=0
  # Found inputs grow the working corpus in build-fuzz, never fuzz/corpus.
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
