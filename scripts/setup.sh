#!/usr/bin/env bash
# Installs every Debian package needed to build, run, test and benchmark the
# program. Works as root or through sudo; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format git
  libgtk-3-dev libglib2.0-dev-bin librsvg2-common adwaita-icon-theme
  libgtest-dev googletest
  clang libclang-rt-14-dev
  libdeflate-dev libxxhash-dev
  xvfb xauth x11-utils xdotool xclip imagemagick
  dbus-x11 at-spi2-core
  procps file btrfs-progs
  dpkg-dev lintian man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
