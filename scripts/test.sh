#!/usr/bin/env bash
# Builds everything and runs every test:
#   native     build/        CMake default build type, ctest (unit and export tests),
#                            and the shared library exports exactly the 58 entry points
#   sanitizers build-asan/   AddressSanitizer and UndefinedBehaviorSanitizer, ctest
#   win32      build-win32/  Velmora.dll cross-built with MinGW-w64; needs only system
#                            DLLs; the Windows test programs run under Wine
# Ends with a summary line and a non-zero exit status if any stage failed.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs=2
start=$(date +%s)

"$root/scripts/setup.sh" || { echo "TESTS FAILED: setup"; exit 1; }

failed=()
passed=()
stage() {
  local name="$1"
  shift
  echo
  echo "==== $name"
  local t0=$(date +%s)
  if "$@"; then
    passed+=("$name")
    echo "==== $name: passed ($(( $(date +%s) - t0 ))s)"
  else
    failed+=("$name")
    echo "==== $name: FAILED ($(( $(date +%s) - t0 ))s)"
  fi
}

build() {  # build <dir> [cmake options...]
  local dir="$1"
  shift
  mkdir -p "$root/$dir"
  cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >"$root/$dir/configure.log" 2>&1 ||
    { cat "$root/$dir/configure.log"; return 1; }
  ninja -C "$root/$dir" -j"$jobs"
}

# The names the shared library must export: those of the export table.
expected_exports() {
  awk '/^EXPORTS/ { on = 1; next } on && NF { print $1 }' "$root/src/dll_src/win32/Velmora.def" | sort
}

check_native_exports() {
  local expected actual
  expected="$(expected_exports)"
  actual="$(nm -D --defined-only "$root/build/libvelmora.so" | awk '{ print $NF }' | sort)"
  if [ "$(printf '%s\n' "$expected" | wc -l)" -ne 58 ]; then
    echo "export table does not list 58 names"
    return 1
  fi
  if [ "$expected" != "$actual" ]; then
    echo "libvelmora.so exports differ from the export table (< expected, > exported):"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")
    return 1
  fi
  echo "libvelmora.so exports exactly the 58 entry points"
}

native() {
  build build &&
    ctest --test-dir "$root/build" --output-on-failure &&
    check_native_exports
}

sanitizers() {
  build build-asan -DVELMORA_SANITIZE=ON &&
    ctest --test-dir "$root/build-asan" --output-on-failure
}

# Velmora.dll may import system DLLs only: the C, C++ and thread runtimes are linked in.
check_dll_imports() {
  local imports bad
  imports="$(i686-w64-mingw32-objdump -p "$root/build-win32/Velmora.dll" | awk '/DLL Name:/ { print $3 }')"
  echo "Velmora.dll imports:" $imports
  bad="$(printf '%s\n' "$imports" | grep -viE '^(kernel32|msvcrt|ntdll|user32|advapi32)\.dll$' || true)"
  if [ -n "$bad" ]; then
    echo "Velmora.dll needs non-system DLLs: $bad"
    return 1
  fi
}

win32() {
  build build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || return 1
  check_dll_imports || return 1
  export WINEPREFIX="$root/build-win32/wineprefix" WINEDEBUG=-all WINEARCH=win32
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix"
    wineboot --init >"$root/build-win32/wineboot.log" 2>&1 || { cat "$root/build-win32/wineboot.log"; return 1; }
    wineserver -w
  fi
  local status=0
  ctest --test-dir "$root/build-win32" --output-on-failure || status=1
  wineserver -w
  return $status
}

stage native native
stage sanitizers sanitizers
stage win32 win32

echo
echo "Elapsed: $(( $(date +%s) - start ))s"
echo "stages: ${#passed[@]} passed, ${#failed[@]} failed"
if [ "${#failed[@]}" -eq 0 ]; then
  echo "ALL TESTS PASSED (native, sanitizers, win32)"
  exit 0
fi
echo "TESTS FAILED in: ${failed[*]}"
exit 1
