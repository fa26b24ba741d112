#!/usr/bin/env bash
# Takes a picture of a setup program's first page under Wine and Xvfb, for the documentation.
# Usage: installer-screenshot.sh SETUP.exe OUT.png
# Needs Wine, Xvfb (xvfb-run), ImageMagick and xwininfo (x11-utils). Uses a temporary Wine prefix.
set -euo pipefail
setup=$(realpath "$1")
out=$(realpath -m "$2")

prefix=$(mktemp -d "${TMPDIR:-/tmp}/vistrel-shot.XXXXXX")
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
# Wine's 64-bit loader by its path: with Wine's 32-bit half installed, the `wine` command is the 32-bit loader,
# and the builtins it starts by name (wineboot, explorer) are 32-bit.
export WINE64=/usr/lib/wine/wine64

"$WINE64" wineboot -i >/dev/null 2>&1
wineserver -w

# A Wine desktop draws the window's frame and caption, as Windows would; the picture is cut to the window.
# shellcheck disable=SC2016
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$WINE64" explorer /desktop=shot,800x600 "$1" >/dev/null 2>&1 &
  # The page is up when a window with the setup program'"'"'s caption exists on the Wine desktop.
  until xwininfo -root -tree | grep -q "Vistrel.*setup"; do
    sleep 1
  done
  # Let Wine finish painting the page.
  sleep 3
  id=$(xwininfo -root -tree | awk "/\"shot\"|shot - Wine desktop/ {print \$1; exit}")
  import -window "${id:-root}" "$2"
' bash "$setup" "$out"
convert "$out" -trim +repage "$out"
echo "$out"
