#!/usr/bin/env bash
# Builds the Windows files: vistrelcam.dll, EDSDK.dll (the camera SDK stand-in), vistrelsetup.exe,
# vistrelcapture.exe and the fault-injection soak vistrelsoak.exe (for the tests, not shipped), into
# build/windows/bin, or their 32-bit forms into build/windows-x86/bin. Installs what is missing and builds the
# toolchain cache first (once per machine; a static Qt takes 45-80 minutes). Prints the folder of the files and
# of the ffmpeg.exe of the same bitness at the end as "bin=..." and "ffmpeg=..." lines.
#
#   scripts/windows/build.sh [x64|x86]     (default x64)
set -euo pipefail
cd "$(dirname "$0")/../.."

arch=${1:-x64}
case "$arch" in
  x64) preset=windows suffix="" triple=x86_64-w64-mingw32 ;;
  x86) preset=windows-x86 suffix=-i686 triple=i686-w64-mingw32 ;;
  *) echo "windows build: unknown bitness $arch (x64 or x86)" >&2; exit 2 ;;
esac

bash scripts/windows/setup.sh >&2
declare -A piece
while IFS='=' read -r name folder; do piece[${name%"$suffix"}]=$folder; done < <(
  bash scripts/windows/cache.sh "turbojpeg$suffix" "zlib$suffix" "qt$suffix" "ffmpeg$suffix")

export VISTREL_WINDOWS_PREFIXES="${piece[qt]};${piece[turbojpeg]};${piece[zlib]}"
cmake --preset "$preset" >&2
cmake --build --preset "$preset" >&2

bin="$PWD/build/$preset/bin"
# Only DLLs that Windows itself has may be needed. The driver loads the camera SDK at run time, so that it
# starts without one; the soak, a test program, links the SDK stand-in it drives beside the driver.
for file in "$bin"/*.dll "$bin"/*.exe; do
  own='^$'
  if [ "$(basename "$file")" = vistrelsoak.exe ]; then own='^EDSDK\.dll$'; fi
  extra=$("$triple-objdump" -p "$file" | awk '/DLL Name:/ {print $3}' |
    grep -viE '^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comdlg32|winspool|imm32|winmm|ws2_32|uuid|uxtheme|dwmapi|version|netapi32|userenv|wtsapi32|msvcrt|shlwapi|mpr|setupapi|crypt32|dbghelp|comctl32|rpcrt4|strmiids|quartz|authz|mfplat|mfreadwrite)\.dll$' |
    grep -vE "$own" || true)
  if [ -n "$extra" ]; then
    echo "windows build: $(basename "$file") needs DLLs Windows does not have: $extra" >&2
    exit 1
  fi
done
echo "bin=$bin"
echo "ffmpeg=${piece[ffmpeg]}/bin/ffmpeg.exe"
