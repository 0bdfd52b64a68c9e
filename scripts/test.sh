#!/usr/bin/env bash
# Builds everything and runs every test, or only the stages named:
#   scripts/test.sh [native] [sanitizers] [release] [fuzz] [win32]
#   native     build/          default build type, ctest (unit, export, tool and script
#                              tests), and the shared library exports exactly the 58
#                              entry points
#   sanitizers build-asan/     AddressSanitizer and UndefinedBehaviorSanitizer, ctest
#   release    build-release/  the Release configuration (-O3), ctest, so that an
#                              optimiser-only warning is seen here first
#   fuzz       build-fuzz/     the libFuzzer targets built with clang and the sanitizers, each
#                              run for 30 s from its seed corpus as a smoke run
#   win32      build-win32/    Velmora.dll and the Windows test programs cross-built with
#                              MinGW-w64; the DLL's export directory, imports and calling
#                              convention checked without running it; the Windows test
#                              programs run under Wine where this machine can run 32-bit
#                              programs, and are reported as skipped where it cannot
# Warnings are errors in every build here.  Ends with a summary line and a non-zero
# exit status if any stage failed.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs=2
start=$(date +%s)
all_stages=(native sanitizers release fuzz win32)

stages=("$@")
[ "${#stages[@]}" -eq 0 ] && stages=("${all_stages[@]}")
for s in "${stages[@]}"; do
  case " ${all_stages[*]} " in
    *" $s "*) ;;
    *) echo "test.sh: unknown stage '$s' (stages: ${all_stages[*]})" >&2; exit 2 ;;
  esac
done

"$root/scripts/setup.sh" test || { echo "TESTS FAILED: setup"; exit 1; }

failed=()
passed=()
notes=()
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
  cmake -S "$root" -B "$root/$dir" -G Ninja -DVELMORA_WERROR=ON "$@" >"$root/$dir/configure.log" 2>&1 ||
    { cat "$root/$dir/configure.log"; return 1; }
  ninja -C "$root/$dir" -j"$jobs"
}

# The names the shared library must export: those of the export table (the
# module-definition file that the build writes from the list of exports).
expected_exports() {
  awk '/^EXPORTS/ { on = 1; next } on && NF && $1 !~ /^;/ { print $1 }' "$root/build/exports/Velmora.def" | sort
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
  build build -DVELMORA_TESTS=ON &&
    ctest --test-dir "$root/build" --output-on-failure &&
    check_native_exports
}

sanitizers() {
  build build-asan -DVELMORA_TESTS=ON -DVELMORA_SANITIZE=ON &&
    ctest --test-dir "$root/build-asan" --output-on-failure
}

release() {
  build build-release -DVELMORA_TESTS=ON -DCMAKE_BUILD_TYPE=Release &&
    ctest --test-dir "$root/build-release" --output-on-failure
}

fuzz() {
  "$root/scripts/fuzz.sh" 30
}

win32() {
  build build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || return 1
  "$root/scripts/check-dll.sh" "$root/build-win32" || return 1
  # One cheap probe before any Windows program runs: a kernel without 32-bit
  # support cannot start 32-bit Wine, so only the Wine runs are skipped there.
  # Where 32-bit programs do run, a Wine failure fails the stage.
  local reason
  if ! reason="$("$root/scripts/probe-32bit.sh")"; then
    echo "win32: Wine tests skipped: $reason"
    notes+=("win32: built and checked, Wine tests skipped: $reason")
    return 0
  fi
  if ! command -v wineboot >/dev/null 2>&1; then
    echo "win32: Wine tests skipped: Wine is not installed (setup could not install it; see its warning)"
    notes+=("win32: built and checked, Wine tests SKIPPED: Wine is not installed")
    return 0
  fi
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

for s in "${stages[@]}"; do
  stage "$s" "$s"
done

echo
echo "Elapsed: $(( $(date +%s) - start ))s"
for note in "${notes[@]}"; do echo "$note"; done
echo "stages: ${#passed[@]} passed, ${#failed[@]} failed"
if [ "${#failed[@]}" -eq 0 ]; then
  summary="$(IFS=,; echo "${stages[*]}")"
  summary="${summary//,/, }"
  for note in "${notes[@]}"; do summary="${summary}; ${note}"; done
  echo "ALL TESTS PASSED (${summary})"
  exit 0
fi
echo "TESTS FAILED in: ${failed[*]}"
exit 1
