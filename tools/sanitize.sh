#!/usr/bin/env bash
# Builds the project and its tests under sanitizers and runs them:
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer (leak checks on), the whole suite;
#   build-tsan/  ThreadSanitizer, the tests of the threaded parts.
# Usage: tools/sanitize.sh [asan|tsan|all] (default all). Each build prints its build and
# run seconds. Qt and the system libraries are not instrumented: the suppression files in
# tools/sanitizers/ name the findings inside them, one comment per entry.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
bash "$top/tools/setup.sh"
supp="$top/tools/sanitizers"
jobs=$(nproc)

configure() { # dir, sanitizer flags
  local dir=$1 flags=$2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAROVEX_BUILD_BENCH=OFF \
      "-DCMAKE_CXX_FLAGS=$flags -fno-omit-frame-pointer" \
      "-DCMAKE_EXE_LINKER_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" >/dev/null
  fi
}

# The package test checks the package of the normal build (tools/test.sh), not these.
exclude='^Package\.'

status=0
if [ "$which" = asan ] || [ "$which" = all ]; then
  dir="$top/build-asan"
  start=$SECONDS
  configure "$dir" "-fsanitize=address,undefined -fno-sanitize-recover=undefined"
  cmake --build "$dir" -j"$jobs"
  built=$SECONDS
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" -E "$exclude" --timeout 600) || status=1
  echo "asan+ubsan: build $((built - start)) s, tests $((SECONDS - built)) s"
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
fi
if [ "$which" = tsan ] || [ "$which" = all ]; then
  dir="$top/build-tsan"
  start=$SECONDS
  configure "$dir" "-fsanitize=thread"
  # Only the test programs the threaded tests live in, and what they run.
  cmake --build "$dir" -j"$jobs" --target worker_tests tools_tests tarovex_tests tarovex-console \
    tarovex-virtual-instrument tarovex-test-xrecorder
  built=$SECONDS
  export TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0"
  threaded='WeightWorker|BatchChannel|Keybot|KeystrokeQueue|SoundBot|AutoPortWorker|SharedFile|ConfigStore|Preferences|StreamWriter|ConsoleView|UpdateCheck'
  (cd "$dir" && ctest --output-on-failure -j"$jobs" -R "$threaded" --timeout 600) || status=1
  echo "tsan: build $((built - start)) s, tests $((SECONDS - built)) s"
fi
exit $status
