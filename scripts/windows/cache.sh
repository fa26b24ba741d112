#!/usr/bin/env bash
# Builds the Windows toolchain pieces that take long (static Qt, static TurboJPEG, ffmpeg for Windows) once per
# machine into a cache outside the work tree, and prints nothing but progress. Each piece is one recipe file in
# this folder; its cache folder is named by a hash of that recipe, so changing a recipe builds it anew while the
# others are reused. A piece is installed straight into its folder (installed files keep their paths), which is
# marked complete only when the recipe has finished: a folder without the mark is a build that was interrupted,
# never taken for a finished one, and is removed and built again from scratch.
#
# The 32-bit pieces are named <piece>-i686 and share common-i686.sh as well (part of their key only).
#
#   scripts/windows/cache.sh [piece...]            build what is missing, print "name=<folder>" for each piece
#   scripts/windows/cache.sh --print [piece...]    only print the folders (fails when one is missing)
# Without pieces named, all of them.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cache_root="${VISTREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vistrel}"
mode=build
if [ "${1:-}" = --print ]; then mode=--print; shift; fi

recipes=(turbojpeg zlib qt ffmpeg ffmpeg-i686 turbojpeg-i686 zlib-i686 qt-i686)
if [ $# -gt 0 ]; then recipes=("$@"); fi

# One builder at a time per cache: a second one waits, then finds the pieces finished. The lock is taken for each
# piece; a builder names the folder it writes in .building, so that a build needing only finished pieces goes on
# beside a long one (../shared/toolchains/unpack.sh holds the same lock while it unpacks whole folders).
mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"

folder_of() {
  local key extra=()
  case "$1" in *-i686) extra=("$here/common-i686.sh") ;; esac
  key=$( (cat "$here/$1.recipe.sh" "$here/common.sh" "${extra[@]}") | sha256sum | cut -c1-16)
  echo "$cache_root/$1-$key"
}

for name in "${recipes[@]}"; do
  dir=$(folder_of "$name")
  if [ "$mode" != --print ] && ! flock -n 9; then
    building=$(cat "$cache_root/.building" 2>/dev/null || true)
    # Held by a builder of another piece: a finished piece is used beside it. Else the holder may be writing
    # this one: wait.
    if [ ! -f "$dir/.complete" ] || [ -z "$building" ] || [ "$building" = "$dir" ]; then
      flock 9
    fi
  fi
  if [ ! -f "$dir/.complete" ]; then
    if [ "$mode" = "--print" ]; then
      echo "cache: $name is not built (expected $dir); run scripts/windows/cache.sh" >&2
      exit 1
    fi
    echo "cache: building $name into $dir (once per machine)" >&2
    rm -rf "$dir" "$dir.work"
    mkdir -p "$dir" "$dir.work"
    start=$(date +%s)
    log="$dir.log"
    echo "$dir" >"$cache_root/.building"
    if ! (cd "$dir.work" && bash "$here/$name.recipe.sh" "$dir") >"$log" 2>&1; then
      echo "cache: building $name failed; the last lines of $log:" >&2
      tail -n 40 "$log" >&2
      exit 1
    fi
    date -u +%FT%TZ >"$dir/.complete"
    rm -rf "$dir.work" "$cache_root/.building"
    echo "cache: $name built in $(( $(date +%s) - start )) s" >&2
  fi
  flock -u 9
  echo "$name=$dir"
done
