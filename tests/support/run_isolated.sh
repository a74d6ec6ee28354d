#!/usr/bin/env bash
# Runs one test program (CTest runs every one through this) with a home of
# its own: HOME, the XDG folders and the runtime directory in a new
# temporary directory, removed when the program ends. Nothing a test writes there (the content cache,
# GTK's recently-used list, the desktop trash, settings) reaches the home of
# the one who runs the tests.
#
#   run_isolated.sh PROGRAM [ARGUMENTS...]
#
# With PM_TEST_TIMES naming a file, adds a line to it: the test (PM_TEST_NAME,
# which CTest sets, or else the program), its wall
# time and the CPU time (user, system) of it and everything it started.
set -uo pipefail

root=$(mktemp -d "${TMPDIR:-/tmp}/pmtest-home.XXXXXX") || exit 1
# Searchable by everyone: the tests that drop to another user still reach
# their own files below it.
chmod 755 "$root"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_RUNTIME_DIR="$root/runtime"
# The XDG folders follow HOME when unset ($HOME/.local/share, $HOME/.config,
# $HOME/.cache, $HOME/.local/state): here that is the temporary home, and a
# test that gives a program it starts a HOME of its own finds that
# program's desktop trash, recently-used list and settings below that HOME,
# as a user's would be.
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_STATE_HOME
start=$EPOCHREALTIME
"$@"
status=$?
if [ -n "${PM_TEST_TIMES:-}" ]; then
  times > "$root/times"
  # The second line holds the children's user and system time (0m1.250s).
  awk -v name="${PM_TEST_NAME:-$(basename "$1")}" -v start="$start" -v end="$EPOCHREALTIME" 'NR == 2 {
    split($1, u, /[ms]/); split($2, s, /[ms]/)
    printf "%-28s %7.1f s wall %7.1f s user %6.1f s sys\n", substr(name, 1, 28), end - start,
      u[1] * 60 + u[2], s[1] * 60 + s[2] }' "$root/times" >> "$PM_TEST_TIMES"
fi
exit $status
