#!/usr/bin/env bash
# Runs the fault-injection soak built for Windows (vistrelsoak.exe) under Wine, in a fresh prefix of its own
# with the driver registered by Wine's regsvr32, as tst_SoakUnderWine does for its short run. For long runs
# by hand; the prefix (some 700 MB) is removed at the end, and the exit code is the soak's.
# Usage: soak.sh [--bin DIR] [soak options, e.g. --seconds 1850]
#   --bin  folder of the Windows files (default build/windows/bin, made by scripts/windows/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/windows/bin"
if [ "${1:-}" = --bin ]; then
  bin=$2
  shift 2
fi
for file in vistrelcam.dll EDSDK.dll vistrelsoak.exe; do
  if [ ! -f "$bin/$file" ]; then
    echo "soak: $bin/$file is missing: run scripts/windows/build.sh first" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vistrel-soak-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY
# Only this prefix's programs are ended: WINEPREFIX is ours.
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Wine's 64-bit loader by its path: with Wine's 32-bit half installed, the `wine` command is the 32-bit loader,
# and the builtins it starts by name (wineboot, regsvr32) are 32-bit and write the 32-bit registry view.
wine64=/usr/lib/wine/wine64
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

echo "soak: making the Wine prefix $WINEPREFIX"
"$wine64" wineboot -i >/dev/null 2>&1
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Vistrel"
mkdir -p "$installed"
cp "$bin"/*.dll "$bin"/*.exe "$installed/"
# Registered under the path the soak runs from, so that COM and the soak load one driver module.
"$wine64" regsvr32 /s "$(windows_path "$installed/vistrelcam.dll")" 2>/dev/null
echo "soak: driver registered; running vistrelsoak.exe $*"
status=0
"$wine64" "$(windows_path "$installed/vistrelsoak.exe")" "$@" || status=$?
echo "soak: vistrelsoak.exe ended with $status"
exit $status
