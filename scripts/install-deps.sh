#!/usr/bin/env bash
# Installs, with apt, every Debian package Selvarondine needs to build, test and be looked at, and the
# Russian locale the tests use. Quick when nothing is missing: it only asks dpkg.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libfuzzer-14-dev pkg-config make
  # Qt 6: widgets, charts (which need the OpenGL development package), serial port, multimedia, print
  # support (in base), tools
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-serialport-dev qt6-multimedia-dev qt6-svg-dev
  qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libxkbcommon-dev
  # Qt's own dialogs in Russian
  qt6-translations-l10n
  # libraries
  libjpeg62-turbo-dev libemf-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  # tests: a display server, fonts with Cyrillic, locales, a sound server, pseudo-terminals, picture tools
  xvfb xauth x11-utils scrot imagemagick fonts-dejavu-core fonts-liberation2 locales
  # the window driven on a real display with a window manager
  openbox xdotool
  pulseaudio pulseaudio-utils sox socat poppler-utils librsvg2-bin emf2svg printemf libxml2-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests run under ru_RU.UTF-8, where the decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
