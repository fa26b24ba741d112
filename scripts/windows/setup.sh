#!/usr/bin/env bash
# Installs the Debian packages the Windows build and its tests need (the 64-bit and 32-bit cross compilers, Wine
# with its 32-bit half, Node.js for the npm client, the tools to unpack Debian source packages, NSIS for the setup
# program) and, when the machine has none, a deb-src entry for the running release so that Debian's source
# packages can be fetched. Idempotent.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  cmake ninja-build make perl python3 dpkg-dev
  nasm wine wine64 xvfb xauth xdotool imagemagick nsis
  nodejs npm
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

has_deb_src() {
  grep -qsE '^[[:space:]]*deb-src[[:space:]]|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources
}

# The source entry mirrors the Debian archive entries already there (same archive, suites and keys).
add_deb_src() {
  local out=/etc/apt/sources.list.d/vistrel-deb-src
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -q 'debian' "$f" || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f"
    echo
  done | "${sudo_cmd[@]}" tee "$out.sources" >/dev/null
  if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^[[:space:]]*deb[[:space:]]+(.*debian.*)$/deb-src \1/p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee "$out.list" >/dev/null
  fi
  [ -s "$out.sources" ] || "${sudo_cmd[@]}" rm -f "$out.sources"
  [ -s "$out.list" ] 2>/dev/null || "${sudo_cmd[@]}" rm -f "$out.list"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Whether this machine runs 32-bit x86 code: a Linux kernel can have it switched off.
runs_32bit_code() {
  local dir status=0
  dir=$(mktemp -d)
  printf 'global _start\n_start:\n  mov eax, 1\n  xor ebx, ebx\n  int 0x80\n' >"$dir/exit.asm"
  { nasm -f elf32 -o "$dir/exit.o" "$dir/exit.asm" && ld -m elf_i386 -o "$dir/exit" "$dir/exit.o" &&
    "$dir/exit"; } 2>/dev/null || status=1
  rm -rf "$dir"
  return $status
}

need_update=0
# wine32 is an i386 package: the machine must accept that architecture first.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "windows setup: adding the i386 architecture (for wine32)"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi
if ! has_deb_src; then
  echo "windows setup: adding a deb-src entry for the running release"
  add_deb_src
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! installed "$p"; then
    missing+=("$p")
  fi
done
# Node.js may come from elsewhere than Debian (with npm inside it): then neither package is needed.
if command -v npm >/dev/null 2>&1; then
  missing=("${missing[@]/nodejs/}"); missing=("${missing[@]/npm/}")
  read -r -a missing <<<"${missing[*]}"
fi

if [ ${#missing[@]} -gt 0 ] || [ "$need_update" = 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "windows setup: all packages present"
fi

# Wine's 32-bit half, for 32-bit Windows programs. Where the kernel runs no 32-bit code it could run none, and
# installed it would make the `wine` command (then its 32-bit loader) fail to start at all: there it is left
# out, and removed if an earlier run installed it.
if runs_32bit_code; then
  if ! installed wine32:i386; then
    echo "windows setup: installing wine32:i386"
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386
  fi
else
  echo "windows setup: this machine runs no 32-bit code (the kernel's 32-bit emulation is off): no wine32, so" \
    "32-bit Windows programs are not tried here"
  if installed wine32:i386; then
    "${sudo_cmd[@]}" apt-get remove -y -qq wine32:i386
  fi
fi
