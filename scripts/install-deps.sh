#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Does nothing when all of them are present already.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache clang-format
  libcurl4-openssl-dev libjsoncpp-dev libtinyxml-dev gsoap libgsoap-dev libcups2-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk python3 python3-pyftpdlib curl xdg-utils xvfb xdotool
  openbox x11-utils x11-xserver-utils dbus at-spi2-core python3-pyatspi imagemagick pngquant
  clang-14 libclang-rt-14-dev
  nginx-light vsftpd python3-spyne
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y "${missing[@]}"
