#!/usr/bin/env bash
# ffmpeg's 32-bit Windows build, the 32-bit DirectShow client of the Windows tests: the npm package
# @ffmpeg-installer/win32-ia32, pinned. Argument: the prefix to install into.
set -euo pipefail
prefix="$1"
version=4.1.0
npm pack --silent "@ffmpeg-installer/win32-ia32@$version" >/dev/null
tar -xzf ffmpeg-installer-win32-ia32-$version.tgz
mkdir -p "$prefix/bin"
cp package/ffmpeg.exe "$prefix/bin/"
test -s "$prefix/bin/ffmpeg.exe"
