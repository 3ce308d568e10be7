#!/usr/bin/env bash
# Installs the Debian packages Quellix needs to build, test and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev qt6-multimedia-dev
  qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 qt6-qpa-plugins
  libqt6opengl6-dev libqt6openglwidgets6 libvulkan-dev
  libsqlcipher-dev sqlcipher libsqlite3-dev libqt6sql6-sqlite
  fonts-liberation libgl1-mesa-dev
  libbenchmark-dev xvfb xauth valgrind
  qt6-serialbus-dev libqt6serialbus6
  poppler-utils postgresql libqt6sql6-psql libpq-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
