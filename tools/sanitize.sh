#!/usr/bin/env bash
# Builds the project and its tests under sanitizers and runs them:
#   build-asan/  clang, AddressSanitizer + UndefinedBehaviorSanitizer (leak checks on): the whole
#                suite (see sanitizers/asan-build.sh);
#   build-tsan/  gcc, ThreadSanitizer: the tests of the threaded parts.
# Usage: tools/sanitize.sh [asan|tsan|all] (default all). Each build prints its build and
# run seconds. Qt and the system libraries are not instrumented: the suppression files in
# tools/sanitizers/ name the findings inside them, one comment per entry.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
bash "$top/tools/setup.sh"
supp="$top/tools/sanitizers"
jobs=$(nproc)

# The package test checks the package of the normal build (tools/test.sh), not these. The VM
# test boots an emulated machine, twice as slow with the instrumented test program in it, to
# test the same kernel interface that the normal build's run already covers.
exclude='^(Package|Vm)\.'

status=0
if [ "$which" = asan ] || [ "$which" = all ]; then
  start=$SECONDS
  bash "$supp/asan-build.sh"
  built=$SECONDS
  (source "$supp/asan-env.sh" && cd "$top/build-asan" && ctest --output-on-failure -j"$jobs" -E "$exclude") ||
    status=1
  echo "asan+ubsan: build $((built - start)) s, tests $((SECONDS - built)) s"
fi
if [ "$which" = tsan ] || [ "$which" = all ]; then
  dir="$top/build-tsan"
  start=$SECONDS
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAROVEX_BUILD_BENCH=OFF \
      "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" \
      >/dev/null
  fi
  export TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0:ignore_noninstrumented_modules=1"
  # Only the test programs the threaded tests live in, and what they run.
  cmake --build "$dir" -j"$jobs" --target worker_tests typing_tests tools_tests tarovex_tests tarovex-console \
    tarovex-virtual-instrument tarovex-test-xrecorder
  built=$SECONDS
  threaded='WeightWorker|BatchChannel|Keybot|RunController|KeystrokeQueue|SoundBot|AutoPortWorker|SharedFile|FileStore|ConfigStore|Preferences|Console\.|ConsoleView|Replay|Reconnect|UpdateCheck'
  (cd "$dir" && ctest --output-on-failure -j"$jobs" -R "$threaded") || status=1
  echo "tsan: build $((built - start)) s, tests $((SECONDS - built)) s"
fi
exit $status
