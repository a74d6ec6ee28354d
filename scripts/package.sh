#!/usr/bin/env bash
# Builds a release of the two programs and writes the Debian package
# dist/peltomarvish_VERSION_ARCH.deb (CPack's DEB generator; Depends computed
# from the binaries by dpkg-shlibdeps). Installs what it needs through the
# setup script. PM_PACKAGE_BUILD_DIR names the build directory (build-release).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

build=${PM_PACKAGE_BUILD_DIR:-build-release}
# Debian's hardening: fortified functions, stack protector, full RELRO.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPM_TESTS=OFF \
  -DCMAKE_C_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$build" -j "$(nproc)" --target peltomarvish peltomarvish-scan gzipped_documents
mkdir -p dist
rm -f dist/peltomarvish_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls dist/peltomarvish_*.deb
