#!/usr/bin/env bash
# Builds Velkor and runs the whole test suite twice: in the normal build and in
# the AddressSanitizer + UndefinedBehaviorSanitizer build. Then builds the
# programs with Unix Makefiles too, and runs the engine tests under TSan.
set -uo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh || exit 1

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
jobs=$(nproc 2>/dev/null || echo 2)

status=0
run_suite() {
  local dir=$1; shift
  echo "=== $dir: configure and build"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON "$@" >/dev/null || return 1
  cmake --build "$dir" -j "$jobs" || return 1
  echo "=== $dir: tests"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run_suite build || status=1
run_suite build-asan -DVELKOR_SANITIZE=ON || status=1

# The programs and the packaging files with CMake's default generator too, so
# that the build does not lean on what only Ninja does.
echo "=== build-make: configure and build (Unix Makefiles)"
cmake -S . -B build-make -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON \
      -DVELKOR_BUILD_TESTS=OFF >/dev/null &&
  cmake --build build-make -j "$jobs" || status=1

# The run engine's threads and the fleet's fiber loops under ThreadSanitizer
# (these tests run no Qt event loop).
echo "=== build-tsan: engine and platform tests"
if cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON -DVELKOR_TSAN=ON >/dev/null &&
   cmake --build build-tsan -j "$jobs" --target engine_tests platform_tests; then
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ./build-tsan/tests/engine/engine_tests --gtest_brief=1 || status=1
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ./build-tsan/tests/platform/platform_tests --gtest_brief=1 || status=1
else
  status=1
fi

if [ $status -eq 0 ]; then echo "=== all suites passed"; else echo "=== FAILED"; fi
exit $status
