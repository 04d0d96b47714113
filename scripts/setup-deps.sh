#!/usr/bin/env bash
# Installs every Debian package Vospen needs; quick when all are present.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcfitsio-dev wcslib-dev libsep-dev
  libturbojpeg0-dev libjpeg62-turbo-dev
  libcurl4-openssl-dev libeigen3-dev zlib1g-dev liberfa-dev
  libgtest-dev libgmock-dev
  xvfb xauth imagemagick xdotool
  dpkg-dev file
  clang libclang-rt-14-dev libomp-14-dev
  ca-certificates locales
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
fi
# a comma-decimal locale, for the tests of number text under such a locale
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf8'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
