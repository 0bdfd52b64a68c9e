#!/usr/bin/env bash
# Times `velmora import` of a CSV of the benchmark's rows against the sqlite3
# shell's `.import` into a table with the same columns and indexes
# (synchronous=OFF, journal in memory), then `velmora rebuild` of the imported
# table.  The rows come from velmora_bench with the same seed, so they are the
# benchmark's records.  Both tables must end with the same contents.
#
# Usage: bench/import_rebuild.sh [--build DIR] [--records N] [--seed N] [--runs N]
#   --build DIR   the build folder holding velmora and velmora_bench (default: build)
#   --records N   rows (default 30000); --seed N (default 1)
#   --runs N      repetitions; the median is reported (default 1)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
records=30000
seed=1
runs=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --records) records="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--records N] [--seed N] [--runs N]" >&2; exit 2 ;;
  esac
done
velmora="$build/velmora"
bench="$build/velmora_bench"
for tool in "$velmora" "$bench"; do
  [ -x "$tool" ] || { echo "$tool not found: build first (ninja -C build)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "the sqlite3 shell is not installed (Debian: sqlite3)" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-import-XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$bench" --write-csv "$work/rows.csv" --records "$records" --seed "$seed"

# Runs a command, its output to $work/out; sets elapsed and cpu (seconds).
timed() {
  local TIMEFORMAT='%R %U %S' real user sys
  { time "$@" >"$work/out" 2>&1; } 2>"$work/time" || { cat "$work/out" >&2; return 1; }
  read -r real user sys <"$work/time"
  elapsed="$real"
  cpu="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')"
}

expect_output() {
  grep -qF "$1" "$work/out" || { echo "expected \"$1\", got:" >&2; cat "$work/out" >&2; exit 1; }
}

sqlite_import() {
  sqlite3 "$work/s.db" <<SQL
PRAGMA synchronous=OFF;
PRAGMA journal_mode=MEMORY;
.import --csv --skip 1 $work/rows.csv t
SQL
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

import_s=() import_c=() sqlite_s=() sqlite_c=() rebuild_s=() rebuild_c=()
for run in $(seq 1 "$runs"); do
  rm -f "$work"/t.* "$work/s.db"
  "$velmora" create "$work/t.vri" --field Id:I --field Name:S:24 --field City:S:20 --field Amount:I \
    --field Score:F --index ById:Id --index ByName:Name --index ByCity:City,Amount >/dev/null
  sqlite3 "$work/s.db" "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT NOT NULL, city TEXT NOT NULL,
    amount INTEGER NOT NULL, score REAL NOT NULL); CREATE INDEX t_name ON t(name);
    CREATE INDEX t_city ON t(city, amount);"

  timed "$velmora" import "$work/t.vri" "$work/rows.csv"
  expect_output "imported $records of $records rows"
  import_s+=("$elapsed") import_c+=("$cpu")

  timed sqlite_import
  [ "$(sqlite3 "$work/s.db" 'SELECT count(*) FROM t')" = "$records" ] ||
    { echo "sqlite3 .import did not load $records rows" >&2; exit 1; }
  sqlite_s+=("$elapsed") sqlite_c+=("$cpu")

  timed "$velmora" rebuild "$work/t.vri"
  expect_output "kept $records of $records records"
  rebuild_s+=("$elapsed") rebuild_c+=("$cpu")
  echo "run $run/$runs: import ${import_s[-1]} s, sqlite3 .import ${sqlite_s[-1]} s, rebuild ${rebuild_s[-1]} s" >&2

  # The engine's table, exported, must hold exactly what SQLite holds.
  "$velmora" export "$work/t.vri" "$work/velmora.csv" >/dev/null
  differing="$(sqlite3 "$work/s.db" <<SQL
.import --csv $work/velmora.csv v
SELECT (SELECT count(*) FROM v) - $records + (SELECT count(*) FROM (
  SELECT id, name, city, amount, score FROM t EXCEPT
  SELECT CAST(Id AS INTEGER), Name, City, CAST(Amount AS INTEGER), CAST(Score AS REAL) FROM v));
SQL
)"
  [ "$differing" = "0" ] || { echo "THE TABLES DIFFER after the import (velmora export against sqlite3)" >&2; exit 1; }
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { r = a / b; printf (r >= 9.95 ? "%.0f×" : "%.1f×"), r }'; }
grouped="$(echo "$records" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')"
is="$(median "${import_s[@]}")" ic="$(median "${import_c[@]}")"
ss="$(median "${sqlite_s[@]}")" sc="$(median "${sqlite_c[@]}")"
rs="$(median "${rebuild_s[@]}")" rc="$(median "${rebuild_c[@]}")"
echo "Import and rebuild of $grouped rows (seed $seed), median of $runs run(s), seconds elapsed (processor):"
echo
echo "| step | velmora | sqlite3 shell | ratio (elapsed) | ratio (processor) |"
echo "|---|---|---|---|---|"
echo "| import $grouped rows from CSV | $is ($ic) | $ss ($sc) | $(ratio "$is" "$ss") | $(ratio "$ic" "$sc") |"
echo "| rebuild $grouped records | $rs ($rc) | | | |"
