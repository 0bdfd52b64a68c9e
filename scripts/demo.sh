#!/usr/bin/env bash
# Builds the native library and the velmora tool, and runs the tool's demo: a
# sample table in a temporary folder walked through posting, navigation,
# search, ranges, a filter, locate, bookmarks, editing, deletion and rebuild.
# Installs only what that build needs (compiler, CMake, Ninja); the tests are
# not configured, so GoogleTest, MinGW and Wine are not needed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh" demo
mkdir -p "$root/build-demo"
cmake -S "$root" -B "$root/build-demo" -G Ninja -DVELMORA_TESTS=OFF >"$root/build-demo/configure.log" 2>&1 ||
  { cat "$root/build-demo/configure.log"; exit 1; }
ninja -C "$root/build-demo" -j2 --quiet velmora_tool
exec "$root/build-demo/velmora" demo
