#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Vistrel needs.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed once, only when something has to be installed.
set -euo pipefail

# Each package is used by a build file or script: the compilers and build tools of the presets, Qt and
# TurboJPEG (pkg-config), zlib (the capture client's PNG and AVI writers), DejaVu fonts (widget grabs),
# ffmpeg (the recording test reads the AVI back), Xvfb and xauth (xvfb-run, for screenshots), mingw-w64
# (the framework's syntax check against the Windows headers), clang-format (the format test), clang and its
# runtime (the fuzz preset).
packages=(
  build-essential cmake pkg-config ninja-build ccache
  qtbase5-dev qtbase5-dev-tools
  libturbojpeg0-dev
  zlib1g-dev
  fonts-dejavu-core
  ffmpeg
  xvfb xauth
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  clang-format
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
