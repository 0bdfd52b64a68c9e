#!/usr/bin/env bash
# Builds the native library and the velmora tool, and runs the tool's demo: a
# sample table in a temporary folder walked through posting, navigation,
# search, ranges, a filter, locate, bookmarks, editing, deletion and rebuild.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
mkdir -p "$root/build"
cmake -S "$root" -B "$root/build" -G Ninja >"$root/build/configure.log" 2>&1 ||
  { cat "$root/build/configure.log"; exit 1; }
ninja -C "$root/build" -j2 --quiet velmora_tool
exec "$root/build/velmora" demo
