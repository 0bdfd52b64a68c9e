#!/usr/bin/env bash
# Installs what Velmora needs on a Debian 12 machine.  Does nothing (and
# prints nothing) when all of it is present.  Non-interactive; needs root or
# sudo only when something is missing.
#   setup.sh demo   the native toolchain, CMake and Ninja: enough to build the
#                   library and the velmora tool
#   setup.sh        (or "test") everything the test command needs as well:
#                   GoogleTest, the i686 MinGW-w64 cross toolchain, SQLite,
#                   pytest, clang with libFuzzer, qemu-user (to check the
#                   32-bit probe program), and Wine with its 32-bit part where
#                   this machine can run 32-bit programs at all
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
profile="${1:-test}"

packages=(cmake ninja-build g++)
plain_packages=()  # installed without their recommendations
wine_packages=()   # installed last; see below
need_i386=0
case "$profile" in
  demo) ;;
  test)
    packages+=(libgtest-dev pkgconf g++-mingw-w64-i686 libsqlite3-dev sqlite3 python3-pytest
               clang libclang-rt-14-dev)
    # Without its recommendations: qemu-user-binfmt would route every 32-bit
    # program through the emulator, which Wine does not survive.
    plain_packages+=(qemu-user)
    if "$root/scripts/probe-32bit.sh" >/dev/null; then
      wine_packages+=(wine wine32:i386)
      need_i386=1
    fi
    ;;
  *) echo "setup: unknown profile '$profile' (demo or test)" >&2; exit 2 ;;
esac

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
plain_missing=()
for package in "${plain_packages[@]}"; do
  installed "$package" || plain_missing+=("$package")
done
wine_missing=()
for package in "${wine_packages[@]}"; do
  installed "$package" || wine_missing+=("$package")
done
i386_missing=0
if [ "$need_i386" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  i386_missing=1
fi

if [ "${#missing[@]}" -eq 0 ] && [ "${#plain_missing[@]}" -eq 0 ] && [ "${#wine_missing[@]}" -eq 0 ] &&
  [ "$i386_missing" -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "setup: missing packages (${missing[*]} ${plain_missing[*]} ${wine_missing[*]}) and no root rights to install them" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]} ${plain_missing[*]} ${wine_missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$i386_missing" -eq 1 ]; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails an update now and then: try again, and go on
# with what was fetched (the install says what is still missing).
for attempt in 1 2 3; do
  "${as_root[@]}" apt-get update -qq && break
  echo "setup: package index update failed (attempt $attempt of 3)" >&2
  sleep $((attempt * 10))
done
if [ "${#missing[@]}" -gt 0 ]; then
  "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ "${#plain_missing[@]}" -gt 0 ]; then
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${plain_missing[@]}" >/dev/null
fi
# Wine's 32-bit part needs the i386 package index to match the native one,
# which a mirror in mid-sync sometimes breaks for a while.  Everything else is
# in place by now, so a failure here is reported, not fatal: the test command
# then builds and checks the DLL and says that it skipped the runs under Wine.
if [ "${#wine_missing[@]}" -gt 0 ] &&
  ! "${as_root[@]}" apt-get install -y -qq "${wine_missing[@]}" >/dev/null; then
  echo "setup: WARNING: could not install ${wine_missing[*]}; the Windows tests cannot run under Wine" >&2
fi
echo "setup: done"
