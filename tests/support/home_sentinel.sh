#!/usr/bin/env bash
# The proof that no test program reaches the home of the one who runs the
# tests. CTest gives every test program this directory as HOME (and its XDG
# folders below it); run_isolated.sh must hide it. "make" fills it with what
# the tests would touch in a real home (the content cache, settings, GTK's
# recently-used list) and notes every file's size, times and contents;
# "check", after every test program, fails if anything there changed,
# appeared or went.
#
#   home_sentinel.sh make|check DIR
set -euo pipefail
what=$1 dir=$2

listing() {
  (cd "$dir" && find . -path ./listing -prune -o -printf '%y %m %s %T@ %C@ %p\n' | LC_ALL=C sort &&
    find . -type f ! -path ./listing -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum)
}

case $what in
  make)
    rm -rf "$dir"
    mkdir -p "$dir/.PeltoMarvish" "$dir/.local/share/Trash/files" "$dir/.config" "$dir/.cache" \
      "$dir/.local/state" "$dir/runtime"
    echo "a content cache that no test may read, change or remove" > "$dir/.PeltoMarvish/ContentCache"
    echo "settings that no test may read or change" > "$dir/.PeltoMarvish/Settings"
    echo "<xbel/>" > "$dir/.local/share/recently-used.xbel"
    listing > "$dir/listing"
    ;;
  check)
    [ -f "$dir/listing" ] || { echo "home_sentinel: no $dir/listing (was make run?)"; exit 1; }
    if ! diff -u "$dir/listing" <(listing); then
      echo "home_sentinel: a test program touched the HOME it was given ($dir): see above"
      exit 1
    fi
    echo "home_sentinel: no test program touched $dir"
    ;;
  *)
    echo "home_sentinel: make or check, not $what" >&2
    exit 2
    ;;
esac
