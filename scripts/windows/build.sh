#!/usr/bin/env bash
# Builds the Windows files: vistrelcam.dll, EDSDK.dll (the camera SDK stand-in), vistrelsetup.exe,
# vistrelcapture.exe and the fault-injection soak vistrelsoak.exe (for the tests, not shipped), into
# build/windows/bin. Installs what is missing and builds the toolchain cache first (once per machine; the static
# Qt takes about 45 minutes). Prints the folder of the files and of ffmpeg.exe at the end as "bin=..." and
# "ffmpeg=..." lines.
set -euo pipefail
cd "$(dirname "$0")/../.."

bash scripts/windows/setup.sh >&2
declare -A piece
while IFS='=' read -r name folder; do piece[$name]=$folder; done < <(bash scripts/windows/cache.sh)

export VISTREL_WINDOWS_PREFIXES="${piece[qt]};${piece[turbojpeg]};${piece[zlib]}"
cmake --preset windows >&2
cmake --build --preset windows >&2

bin="$PWD/build/windows/bin"
# Only DLLs that Windows itself has may be needed. The driver loads the camera SDK at run time, so that it
# starts without one; the soak, a test program, links the SDK stand-in it drives beside the driver.
for file in "$bin"/*.dll "$bin"/*.exe; do
  own='^$'
  if [ "$(basename "$file")" = vistrelsoak.exe ]; then own='^EDSDK\.dll$'; fi
  extra=$(x86_64-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}' |
    grep -viE '^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comdlg32|winspool|imm32|winmm|ws2_32|uuid|uxtheme|dwmapi|version|netapi32|userenv|wtsapi32|msvcrt|shlwapi|mpr|setupapi|crypt32|dbghelp|comctl32|rpcrt4|strmiids|quartz|authz)\.dll$' |
    grep -vE "$own" || true)
  if [ -n "$extra" ]; then
    echo "windows build: $(basename "$file") needs DLLs Windows does not have: $extra" >&2
    exit 1
  fi
done
echo "bin=$bin"
echo "ffmpeg=${piece[ffmpeg]}/bin/ffmpeg.exe"
