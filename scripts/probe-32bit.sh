#!/usr/bin/env bash
# Can this machine run 32-bit x86 programs (and so the 32-bit Wine that runs
# the Windows tests)?  Runs one tiny program and answers with the exit status:
#   0  it ran: 32-bit programs work here
#   1  it could not be executed; the reason is printed on one line
# With no argument the program is a 93-byte static i386 executable written
# here, which needs no 32-bit libraries: it only calls exit(0) through
# int 0x80.  A kernel built without 32-bit support refuses it with "Exec
# format error".  An argument names another program to try instead (the tests
# use this to check both answers).
set -uo pipefail

program="${1:-}"
scratch=""
cleanup() { [ -n "$scratch" ] && rm -rf "$scratch"; }
trap cleanup EXIT

if [ -z "$program" ]; then
  scratch="$(mktemp -d)"
  program="$scratch/exit0-i386"
  # ELF header (52 bytes): 32-bit, little-endian, executable, Intel 80386,
  # entry 0x08048054, one program header at offset 52.
  # Program header (32 bytes): one loadable segment, the whole file at
  # 0x08048000, readable and executable.
  # Code (9 bytes): mov eax, 1; xor ebx, ebx; int 0x80  (exit(0)).
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$program"
  chmod +x "$program"
fi

if [ "${VELMORA_PROBE_WRITE_ONLY:-0}" = 1 ]; then
  # Used by the tests to inspect the probe program itself.
  cp "$program" "${VELMORA_PROBE_COPY_TO:?}"
  exit 0
fi

output="$("$program" 2>&1)"
status=$?
if [ "$status" -eq 0 ]; then
  exit 0
fi
case "$output" in
  *"Exec format error"* | *"cannot execute binary file"*)
    echo "this kernel cannot run 32-bit programs" ;;
  *)
    detail=""
    [ -n "$output" ] && detail=": ${output//$'\n'/ }"
    echo "a 32-bit test program failed to run (exit status $status)$detail" ;;
esac
exit 1
