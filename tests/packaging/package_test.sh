#!/usr/bin/env bash
# The Debian package from end to end: builds it (scripts/package.sh), checks
# its contents and control fields, lintian (no error, no warning) and the
# manual pages (man shows them without a warning); installs it with apt-get
# (as root with apt) or else unpacks it into a temporary root; runs the
# installed peltomarvish-scan (--version, a small scan) and starts the
# installed peltomarvish under Xvfb until its main window shows; removes the
# package and checks that none of its files is left while the user's data
# stays. Every wait has a time limit. Run by scripts/test.sh --full, which
# passes its release build in PM_PACKAGE_BUILD_DIR; PM_PACKAGE_TEST_UNPACK=1
# takes the unpacking path even as root. A peltomarvish package the machine
# has already is never replaced or removed: the test then takes the
# unpacking path and says so.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() {
  echo "package test: FAILED: $*" >&2
  exit 1
}
step() { echo "-- $*"; }

work=$(mktemp -d /tmp/pm-package-test.XXXXXX)
installed_by_us=false
cleanup() {
  # Also a package left half-installed or unpacked by a failed install.
  local state
  state=$(dpkg-query -W -f='${db:Status-Status}' peltomarvish 2>/dev/null || true)
  if $installed_by_us && [ -n "$state" ] && [ "$state" != not-installed ]; then
    DEBIAN_FRONTEND=noninteractive timeout 300 apt-get remove --purge -y -qq peltomarvish >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

version=$(sed -n 's/^project(PeltoMarvish VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
arch=$(dpkg --print-architecture)
deb=dist/peltomarvish_${version}_${arch}.deb

step "building $deb"
PM_PACKAGE_BUILD_DIR=${PM_PACKAGE_BUILD_DIR:-build-package} timeout 1200 bash scripts/package.sh
[ -f "$deb" ] || fail "scripts/package.sh wrote no $deb"

step "contents and control fields"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort > "$work/contents"
cat > "$work/expected" <<EOF
/usr/bin/peltomarvish
/usr/bin/peltomarvish-scan
/usr/share/applications/peltomarvish.desktop
/usr/share/doc/peltomarvish/changelog.gz
/usr/share/doc/peltomarvish/copyright
/usr/share/icons/hicolor/scalable/apps/peltomarvish.svg
/usr/share/man/man1/peltomarvish-scan.1.gz
/usr/share/man/man1/peltomarvish.1.gz
EOF
sort -o "$work/expected" "$work/expected"
diff -u "$work/expected" "$work/contents" || fail "the package's files are not the expected ones"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = peltomarvish ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
for needed in libc6 libgtk-3-0 libglib2.0-0 libdeflate0 libxxhash0; do
  field Depends | grep -q "$needed" || fail "Depends lacks $needed: $(field Depends)"
done
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description"

step "lintian"
status=0
timeout 300 lintian --fail-on error,warning "$deb" > "$work/lintian" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ "$status" -eq 0 ] || fail "lintian reports an error or a warning (status $status)"

step "manual pages"
for page in man/peltomarvish.1 man/peltomarvish-scan.1; do
  warnings=$(MANWIDTH=80 timeout 60 man --warnings -l "$page" 2>&1 >/dev/null) ||
    fail "$page does not show: $warnings"
  [ -z "$warnings" ] || fail "$page: $warnings"
done

step "installing"
root=""
# A peltomarvish the machine has already (installed, or removed with its
# configuration kept) is the machine's: this test neither replaces nor
# removes it, and checks the package unpacked instead.
unpack=${PM_PACKAGE_TEST_UNPACK:-0}
present=$(dpkg-query -W -f='${db:Status-Status}' peltomarvish 2>/dev/null || true)
if [ "$unpack" != 1 ] && [ -n "$present" ] && [ "$present" != not-installed ]; then
  echo "peltomarvish is on this machine already ($present): this test leaves it alone and checks the package unpacked into a temporary root instead of installing it"
  unpack=1
fi
if [ "$unpack" != 1 ] && [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  # Without the recommended packages: what this test installs, it removes.
  installed_by_us=true
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=120 "./$deb" >/dev/null ||
    fail "apt-get install ./$deb"
  dpkg -L peltomarvish > "$work/installed"
else
  root="$work/root"
  dpkg-deb -x "$deb" "$root"
  echo "(unpacked into $root, not installed)"
fi
scan="$root/usr/bin/peltomarvish-scan"
program="$root/usr/bin/peltomarvish"
[ -x "$scan" ] && [ -x "$program" ] || fail "the programs are not installed"
for page in peltomarvish peltomarvish-scan; do
  warnings=$(MANWIDTH=80 timeout 60 man -M "$root/usr/share/man" --warnings "$page" 2>&1 >/dev/null) ||
    fail "man $page: the installed page does not show: $warnings"
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

step "the installed peltomarvish-scan"
[ "$("$scan" --version)" = "peltomarvish-scan (Pelto Marvish) $version" ] ||
  fail "peltomarvish-scan --version says: $("$scan" --version)"
home="$work/home"
mkdir -p "$home" "$work/tree/a" "$work/tree/b"
echo "the same bytes" > "$work/tree/a/copy.txt"
echo "the same bytes" > "$work/tree/b/copy.txt"
echo "other bytes" > "$work/tree/a/single.txt"
HOME="$home" timeout 60 "$scan" --tsv "$work/tree" > "$work/scan.tsv" 2> "$work/scan.err" ||
  fail "the scan failed: $(cat "$work/scan.err")"
rows=$(grep -c "copy.txt" "$work/scan.tsv" || true)
[ "$rows" -eq 2 ] || fail "the scan listed $rows copies, not 2: $(cat "$work/scan.tsv")"

step "the installed peltomarvish shows its window"
mkdir -p "$home/.PeltoMarvish"
export HOME="$home" NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=disabled: GSETTINGS_BACKEND=memory
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" > "$2/window.out" 2>&1 &
  pid=$!
  shown=1
  for _ in $(seq 200); do
    if xdotool search --name "^Pelto Marvish $3\$" >/dev/null 2>&1; then shown=0; break; fi
    sleep 0.1
  done
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  exit $shown
' window "$program" "$work" "$version" || fail "the main window did not show: $(cat "$work/window.out")"
[ -f "$home/.PeltoMarvish/Settings" ] || fail "the program wrote no Settings"

if $installed_by_us; then
  step "removing"
  DEBIAN_FRONTEND=noninteractive timeout 600 apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=120 peltomarvish >/dev/null ||
    fail "apt-get remove peltomarvish"
  installed_by_us=false
  # A directory may stay only while another package owns it too ("/." is
  # everyone's and no one's).
  while read -r path; do
    [ "$path" != /. ] || continue
    if [ -f "$path" ] || [ -L "$path" ]; then fail "left behind: $path"; fi
    if [ -d "$path" ] && ! dpkg-query -S "$path" >/dev/null 2>&1; then
      fail "left behind: the directory $path"
    fi
  done < "$work/installed"
  [ -f "$home/.PeltoMarvish/Settings" ] || fail "removing the package took the user's data"
fi
if [ -n "$present" ] && [ "$present" != not-installed ]; then
  echo "package test: passed (unpacked; the peltomarvish already on this machine was left as it was)"
else
  echo "package test: passed"
fi
