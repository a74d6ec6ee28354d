#!/usr/bin/env bash
# The test command.
#
#   bash scripts/test.sh          checks the layers and the formatting, builds
#                                 the program and its tests once (RelWithDebInfo,
#                                 the build the package is made from) and runs
#                                 every test, the fuzzers briefly
#   bash scripts/test.sh --full   the same with the long fuzz runs, then a
#                                 second build with AddressSanitizer and
#                                 UndefinedBehaviorSanitizer and every test in
#                                 it, then the Debian package made from the
#                                 first build and tested (what CI runs)
#
# The GUI tests need an X server, so CTest runs under xvfb-run. Each phase
# prints its wall and CPU time, and each test program its own at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

full=false
case "${1:-}" in
  "") ;;
  --full) full=true ;;
  *)
    echo "usage: bash scripts/test.sh [--full]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh

# Every phase's time: wall, and the CPU time of everything it ran.
TIMEFORMAT="   (%R s wall, %U s user, %S s sys)"

echo "== Layers and formatting =="
time {
  bash scripts/check_layers.sh
  bash scripts/check_format.sh
}

# No session bus for the tests: without one, GTK (in the tests and in the
# programs they start) would launch a D-Bus daemon and the accessibility bus
# on the test display; they outlive the test, hold its output open and keep
# CTest waiting.
export NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=disabled: GSETTINGS_BACKEND=memory

jobs=$(nproc)
long_fuzz=OFF
$full && long_fuzz=ON

# run_suite DIR CMAKE_ARGS...: configures and builds DIR, runs every test in it.
run_suite() {
  local dir=$1
  shift
  echo "-- configure $dir"
  time cmake -S . -B "$dir" -DPM_FUZZ_LONG="$long_fuzz" "$@" > /dev/null
  echo "-- build $dir"
  time cmake --build "$dir" -j "$jobs"
  echo "-- tests in $dir"
  local times=$dir/Testing/test-times status=0
  mkdir -p "$dir/Testing"
  : > "$times"
  time PM_TEST_TIMES=$PWD/$times xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 || status=$?
  echo "-- each test program in $dir"
  sort -k2 -n -r "$times"
  if [ "$status" -ne 0 ]; then
    # The last lines name what failed: the CTest tests, and the cases
    # GoogleTest reported in them.
    echo "== FAILED in $dir =="
    sed 's/^[0-9]*:/  /' "$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true
    grep -hE '^\[  FAILED  \] [A-Za-z_0-9/]+\.[A-Za-z_0-9/]+' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null |
      sed 's/ (.*//; s/, where .*//' | sort -u || true
    exit "$status"
  fi
}

echo "== Build and tests =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPM_SANITIZE=OFF
if ! $full; then
  echo "== Every test passed (bash scripts/test.sh --full adds the sanitizers, the long fuzzing and the package) =="
  exit 0
fi

echo "== Build and tests with AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPM_SANITIZE=ON
echo "== The Debian package: build, lintian, install (or unpack), run =="
time PM_PACKAGE_BUILD_DIR=build bash tests/packaging/package_test.sh
echo "== Every test passed, the sanitizers', the long fuzzing and the package's too =="
