#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each of them for a while.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 30); TARGETs among schema data leaf0 leaf1
# directory sequence (default all).  Each target starts from its seed corpus in
# tests/fuzz/corpus/KIND and keeps what it finds in build-fuzz/corpus/KIND;
# a failing input is written to build-fuzz/artifacts/.  Before the targets,
# the filter and refused-change export tests run in the same build, where the
# sanitizer also checks the type of every call through a function pointer.
# Exits non-zero when the build fails or any target reports a finding.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(schema data leaf0 leaf1 directory sequence)
build="$root/build-fuzz"

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
ninja -C "$build" -j2 velmora_abi_tests $(printf 'fuzz_%s ' "${targets[@]}") || exit 1

failed=()
echo "==== export tests under clang sanitizers"
if ! "$build/tests/velmora_abi_tests" --gtest_brief=1 --gtest_filter='Filter*:RefusedChanges*'; then
  failed+=("export tests")
fi

mkdir -p "$build/artifacts"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  max_len=16384
  [ "$target" = sequence ] && max_len=4096
  echo "==== fuzz_$target for ${seconds}s"
  log="$build/fuzz_$target.log"
  "$build/tests/fuzz/fuzz_$target" "$corpus" "$root/tests/fuzz/corpus/$target" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=30 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1
  status=$?
  runs="$(grep -o 'Done [0-9]* runs' "$log" | awk '{ print $2 }')"
  if [ $status -ne 0 ]; then
    failed+=("fuzz_$target")
    grep -E 'FINDING|ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20
    echo "==== fuzz_$target: FINDING (log: $log)"
  else
    echo "==== fuzz_$target: ${runs:-?} executions, no finding"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "FUZZ FAILED: ${failed[*]}"
  exit 1
fi
echo "FUZZ PASSED: ${targets[*]}"
