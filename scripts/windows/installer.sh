#!/usr/bin/env bash
# Builds the Windows setup programs from the Windows files (scripts/windows/build.sh makes them):
#   vistrel-<version>-win64-setup.exe       asks for the camera vendor's SDK
#   vistrel-<version>-win64-demo-setup.exe  carries the simulated-camera SDK (EDSDK.dll of the Windows build)
# The version is the one of project() in the root CMakeLists.txt.
#
# Usage: installer.sh [--bin DIR] [--out DIR] [--only setup|demo] [--fast]
#   --bin   folder of vistrelcam.dll, vistrelsetup.exe and EDSDK.dll (default build/windows/bin)
#   --out   where the setup programs go (default build/windows/installer)
#   --only  build one of the two
#   --fast  light compression, for setup programs that tests build and throw away
# Prints "setup=FILE" and "demo=FILE" lines for what it built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

bin="$root/build/windows/bin"
out="$root/build/windows/installer"
only=""
compressor=""
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --fast) compressor="zlib"; shift ;;
    *) echo "installer: unknown argument $1" >&2; exit 2 ;;
  esac
done

if ! command -v makensis >/dev/null 2>&1; then
  bash "$root/scripts/windows/setup.sh" >&2
fi

version=$(sed -nE 's/^project\(Vistrel VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$root/CMakeLists.txt")
if [ -z "$version" ]; then
  echo "installer: no version in project() of CMakeLists.txt" >&2
  exit 1
fi
bin=$(cd "$bin" && pwd)
for file in vistrelcam.dll vistrelsetup.exe EDSDK.dll; do
  if [ ! -f "$bin/$file" ]; then
    echo "installer: $bin/$file is missing: run scripts/windows/build.sh first" >&2
    exit 1
  fi
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The icon of the setup program, the Start-menu entry and the list of installed programs: the settings
# program's own pictures.
icon="$out/vistrel.ico"
convert "$root"/setup/icons/vistrelsetup-{16,24,32,48,256}.png "$icon"

build() { # kind file extra-defines...
  local kind=$1 file=$2
  shift 2
  local defines=(-DVERSION="$version" -DBIN_DIR="$bin" -DICON="$icon" -DOUT_FILE="$file" "$@")
  if [ -n "$compressor" ]; then defines+=(-DCOMPRESSOR="$compressor"); fi
  makensis -V2 -WX -INPUTCHARSET UTF8 "${defines[@]}" "$root/installer/vistrel.nsi" >&2
  echo "$kind=$file"
}

if [ "$only" != demo ]; then build setup "$out/vistrel-$version-win64-setup.exe"; fi
if [ "$only" != setup ]; then build demo "$out/vistrel-$version-win64-demo-setup.exe" -DDEMO; fi
