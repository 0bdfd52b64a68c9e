#!/usr/bin/env bash
# Builds the native library and runs the demo client against it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
ninja -C "$root/build" -j2 --quiet velmora_demo
exec "$root/build/velmora_demo"
