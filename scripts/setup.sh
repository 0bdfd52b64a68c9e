#!/usr/bin/env bash
# Installs what building and testing Velmora needs on a Debian 12 machine:
# the native toolchain and GoogleTest, the i686 MinGW-w64 cross toolchain, and
# Wine with its 32-bit part.  Does nothing (and prints nothing) when all of it
# is present.  Non-interactive; needs root or sudo only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev pkgconf g++-mingw-w64-i686 wine wine32:i386)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
i386_missing=0
dpkg --print-foreign-architectures | grep -qx i386 || i386_missing=1

if [ "${#missing[@]}" -eq 0 ] && [ "$i386_missing" -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "setup: missing packages (${missing[*]}) and no root rights to install them" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]:-the i386 architecture}"
export DEBIAN_FRONTEND=noninteractive
if [ "$i386_missing" -eq 1 ]; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
if [ "${#missing[@]}" -gt 0 ]; then
  "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
echo "setup: done"
