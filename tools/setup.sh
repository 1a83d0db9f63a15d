#!/usr/bin/env bash
# Installs what the build, the tests and the demo shop need (Debian 12), then configures
# and builds everything into build/. Safe to run again: it installs only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-webengine-dev qt6-qpa-plugins libqt6opengl6-dev libgl-dev
  libcurl4-openssl-dev libjpeg62-turbo-dev
  libgtest-dev libbenchmark-dev
  python3 python3-pyftpdlib
  fonts-nanum
  libjpeg-turbo-progs imagemagick curl
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Compiler cache keyed on paths relative to the checkout, so any clone reuses it.
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
