#!/usr/bin/env bash
# Builds a release of the two programs and writes the Debian package
# dist/peltomarvish_VERSION_ARCH.deb (CPack's DEB generator; Depends computed
# from the binaries by dpkg-shlibdeps). Installs what it needs through the
# setup script.
#
# PM_PACKAGE_BUILD_DIR names the build directory (build-release). The release
# is the RelWithDebInfo build the tests use (-O2 -g, as Debian builds; CPack
# strips the programs), so scripts/test.sh --full packs its own test build: only
# what is out of date there is built again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${PM_PACKAGE_BUILD_DIR:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPM_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target peltomarvish peltomarvish-scan gzipped_documents
mkdir -p dist
rm -f dist/peltomarvish_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls dist/peltomarvish_*.deb
