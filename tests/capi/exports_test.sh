#!/usr/bin/env bash
# The C interface library offers every export of the export table as vr_ +
# the name without "DLL_", plus the last-error and version functions, and
# nothing else.
# Usage: exports_test.sh PATH/TO/libvelmora_c.so PATH/TO/Velmora.def
set -u
expected="$( (awk '/^EXPORTS/ { on = 1; next } on && NF { print $1 }' "$2" | sed 's/^DLL_//; s/^/vr_/'
  printf '%s\n' vr_LastErrorMessage vr_LastErrorClass vr_LastErrorIOCode vr_LastErrorStatus vr_Version) | sort)"
actual="$(nm -D --defined-only "$1" | awk '{ print $NF }' | sort)"
if [ "$(printf '%s\n' "$expected" | wc -l)" -ne 63 ]; then
  echo "expected 58 exports and 5 functions of the interface's own"
  exit 1
fi
if [ "$expected" != "$actual" ]; then
  echo "libvelmora_c.so exports differ (< expected, > exported):"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual")
  exit 1
fi
echo "libvelmora_c.so offers all 58 operations"
