#!/bin/sh
# Compiles each given source file against the real Windows SDK headers (mingw-w64), syntax only.
# Usage: mingw-syntax.sh <repository root> <file>...
set -u
compiler=x86_64-w64-mingw32-g++-posix
root=$1
shift
if ! command -v "$compiler" >/dev/null 2>&1; then
    echo "$compiler is not installed (package g++-mingw-w64-x86-64-posix)" >&2
    exit 1
fi
failed=0
for file in "$@"; do
    if ! "$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I"$root" "$file"; then
        echo "FAILED: $file" >&2
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "$# files compile against the Windows SDK headers"
exit "$failed"
