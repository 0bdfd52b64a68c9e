#!/usr/bin/env bash
# Checks the cross-built Velmora.dll without running it, so that the checks
# hold on machines that cannot execute Windows programs:
#   - the module name and the export directory: the 58 names with their fixed
#     ordinals, as the module-definition file gives them (written by the build
#     from include/velmora/velmora_exports.h) and as the Windows client test
#     lists them on its own; 59 ordinal slots from base 1, ordinal 10 empty
#   - the DLL imports system DLLs only (the runtimes are linked in)
#   - every entry point was compiled as __stdcall (_Name@bytes) in the engine
# Usage: check-dll.sh BUILD_DIR   (the build-win32 folder)
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:?usage: check-dll.sh BUILD_DIR}"
dll="$build/Velmora.dll"
engine="$build/src/libvelmora_dll_src.a"
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm
failures=0
fail() { echo "check-dll: $*"; failures=$((failures + 1)); }

[ -f "$dll" ] || { echo "check-dll: $dll is missing"; exit 1; }
headers="$("$objdump" -p "$dll")" || { echo "check-dll: $objdump cannot read $dll"; exit 1; }

# name ordinal pairs, sorted, from each of the three sources
from_def="$(awk '/^EXPORTS/ { on = 1; next } on && NF && $1 !~ /^;/ { sub("@", "", $2); print $1, $2 }' \
  "$build/exports/Velmora.def" | sort)"
from_test="$(grep -oE '\{"[A-Za-z_]+", [0-9]+\}' "$root/tests/win32/Win32Client.cpp" |
  tr -d '{}",' | sort)"
from_dll="$(printf '%s\n' "$headers" |
  awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
       on && /^$/ { on = 0 }
       on { gsub(/[][]/, " "); print $2, $1 + 1 }' | sort)"

[ "$(printf '%s\n' "$from_def" | grep -c .)" -eq 58 ] || fail "the module-definition file does not list 58 exports"
[ "$(printf '%s\n' "$from_test" | grep -c .)" -eq 58 ] || fail "the Windows client test does not list 58 exports"
[ "$from_def" = "$from_test" ] ||
  fail "the module-definition file and the Windows client test disagree: $(diff <(echo "$from_def") <(echo "$from_test") | grep '^[<>]' | tr '\n' ' ')"
[ "$from_dll" = "$from_def" ] ||
  fail "Velmora.dll exports differ from the export table (< expected, > built): $(diff <(echo "$from_def") <(echo "$from_dll") | grep '^[<>]' | tr '\n' ' ')"

grep -qE '^Name[[:space:]]+[0-9a-f]+ Velmora\.dll$' <<<"$headers" || fail "the module name is not Velmora.dll"
grep -qE '^Ordinal Base[[:space:]]+1$' <<<"$headers" || fail "the ordinal base is not 1"
grep -qE '^[[:space:]]*Export Address Table[[:space:]]+0000003b$' <<<"$headers" || fail "the export address table does not have 59 slots"
slots="$(printf '%s\n' "$headers" | grep -oE '\+base\[ *[0-9]+\]' | tr -dc '0-9\n' | sort -n | tr '\n' ' ')"
expected_slots="$(seq 1 59 | grep -vx 10 | tr '\n' ' ')"
[ "$slots" = "$expected_slots" ] || fail "ordinal slots in use are not 1-9 and 11-59: $slots"

imports="$(printf '%s\n' "$headers" | awk '/DLL Name:/ { print $3 }')"
bad="$(printf '%s\n' "$imports" | grep -viE '^(kernel32|msvcrt|ntdll|user32|advapi32)\.dll$' || true)"
[ -z "$bad" ] || fail "Velmora.dll needs non-system DLLs: $(echo $bad)"

symbols="$("$nm" --defined-only "$engine" 2>/dev/null | awk '$2 == "T" { print $3 }')"
while read -r name _; do
  decorated="$(printf '%s\n' "$symbols" | grep -cE "^_${name}@[0-9]+$")"
  plain="$(printf '%s\n' "$symbols" | grep -cxF "_${name}")"
  if [ "$decorated" -ne 1 ] || [ "$plain" -ne 0 ]; then
    fail "$name is not defined once as a __stdcall function (_${name}@bytes) in the engine"
  fi
done <<<"$from_def"

if [ "$failures" -gt 0 ]; then
  echo "check-dll: $failures check(s) failed"
  exit 1
fi
echo "Velmora.dll: 58 exports with their ordinals (10 empty), module Velmora.dll, imports $(echo $imports), entry points __stdcall"
