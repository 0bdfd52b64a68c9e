#!/usr/bin/env bash
# The 32-bit probe decides whether the Windows tests run under Wine or are
# skipped, so both of its answers are checked here: a broken probe must not
# silently skip the Windows tests on a machine that could run them.
# Usage: probe_test.sh PATH/TO/probe-32bit.sh
set -uo pipefail
probe="${1:?usage: probe_test.sh PROBE}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

# A program that runs: the answer is yes, silently.
out="$("$probe" /bin/true)"; status=$?
check "a program that runs answers 0" "0" "$status"
check "a program that runs prints nothing" "" "$out"

# A program the kernel cannot execute: the answer the probe gives on a kernel
# without 32-bit support.
printf '\177ELF\002\001\001\000garbage-after-the-magic' >"$work/broken"
chmod +x "$work/broken"
out="$("$probe" "$work/broken")"; status=$?
check "a program that cannot be executed answers 1" "1" "$status"
check "its reason" "this kernel cannot run 32-bit programs" "$out"

# A program that starts but fails is reported as such, not as a kernel limit.
printf '#!/bin/sh\nexit 3\n' >"$work/fails"
chmod +x "$work/fails"
out="$("$probe" "$work/fails")"; status=$?
check "a program that fails answers 1" "1" "$status"
check "its reason" "a 32-bit test program failed to run (exit status 3)" "$out"

# The built-in probe program is a valid static i386 executable.
VELMORA_PROBE_WRITE_ONLY=1 VELMORA_PROBE_COPY_TO="$work/exit0" "$probe"
header="$(readelf -h "$work/exit0" 2>&1)"
check "probe program class" "ELF32" "$(awk -F: '/Class:/ { gsub(/ /, "", $2); print $2 }' <<<"$header")"
check "probe program machine" "Intel 80386" "$(awk -F: '/Machine:/ { sub(/^ +/, "", $2); print $2 }' <<<"$header")"
check "probe program entry" "0x8048054" "$(awk -F: '/Entry point/ { gsub(/ /, "", $2); print $2 }' <<<"$header")"

# Where an i386 emulator is at hand, the probe program really runs and exits 0,
# and the emulator really runs it: the same program patched to exit(7) exits 7.
if command -v qemu-i386 >/dev/null 2>&1; then
  qemu-i386 "$work/exit0"
  check "probe program under qemu-i386 exits" "0" "$?"
  cp "$work/exit0" "$work/exit7"
  printf '\263\007' | dd of="$work/exit7" bs=1 seek=89 conv=notrunc status=none  # mov bl, 7
  qemu-i386 "$work/exit7"
  check "patched probe program under qemu-i386 exits" "7" "$?"
else
  echo "skipped: qemu-i386 is not installed, the probe program was not emulated"
fi

# The probe agrees with the i386 loader where one is installed: either both
# run or neither does.
if [ -e /lib/ld-linux.so.2 ]; then
  loader=1
  /lib/ld-linux.so.2 --help >/dev/null 2>&1 || loader=0
  answer=1
  "$probe" >/dev/null || answer=0
  check "the probe agrees with the i386 loader" "$loader" "$answer"
fi

[ "$failures" -eq 0 ] && echo "probe: all checks passed"
exit $((failures > 0))
