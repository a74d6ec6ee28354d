#!/usr/bin/env bash
# Checks that every #include follows the layers and that the code is
# formatted, then builds the program and runs the whole test suite twice: a
# normal build, and one with AddressSanitizer and UndefinedBehaviorSanitizer;
# last, the Debian package is made from the normal build, installed, run and
# removed.
# The GUI tests need an X server, so CTest runs under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== Layers and formatting =="
bash scripts/check_layers.sh
bash scripts/check_format.sh

# No session bus for the tests: without one, GTK (in the tests and in the
# programs they start) would launch a D-Bus daemon and the accessibility bus
# on the test display; they outlive the test, hold its output open and keep
# CTest waiting.
export NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=disabled: GSETTINGS_BACKEND=memory

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== Build and tests =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Build and tests with AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPM_SANITIZE=ON
echo "== The Debian package: build, lintian, install, run, remove =="
PM_PACKAGE_BUILD_DIR=build bash tests/packaging/package_test.sh
