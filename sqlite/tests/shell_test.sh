#!/bin/sh
# The README's one-line migration in the sqlite3 shell: a table of the engine
# copied into an ordinary SQLite table and back into an empty table.
# Usage: shell_test.sh VELMORA_TOOL MODULE_PATH [SQLITE3_SHELL]
set -eu
tool=$1
module=$2
sqlite=${3:-sqlite3}
# A sanitizer build's module needs the sanitizer's runtime loaded first in the shell.
preload=${VELMORA_SHELL_PRELOAD:-}
shell() { if [ -n "$preload" ]; then LD_PRELOAD=$preload "$sqlite" "$@"; else "$sqlite" "$@"; fi; }
dir=$(mktemp -d /tmp/velmora-sqlshell-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
"$tool" create staff.vri --field Id:I --field Name:S:20 --field Hired:D --index ById:Id --index ByName:Name >/dev/null
"$tool" create empty.vri --field Id:I --field Name:S:20 --field Hired:D --index ById:Id >/dev/null

out=$(shell saved.db <<SQL
.load ${module%.so}
CREATE VIRTUAL TABLE staff USING velmora('staff.vri', readwrite);
INSERT INTO staff VALUES (2, 'Bob', '2024-03-15'), (1, 'Ann', NULL), (3, 'Cid', '1999-12-31 23:59:59');
CREATE TABLE copy AS SELECT * FROM staff;
CREATE VIRTUAL TABLE empty USING velmora('empty.vri', readwrite);
INSERT INTO empty SELECT * FROM copy;
SELECT Id, Name, Hired FROM empty ORDER BY Id;
EXPLAIN QUERY PLAN SELECT * FROM staff WHERE Name = 'Bob';
SQL
)
expected="1|Ann|
2|Bob|2024-03-15
3|Cid|1999-12-31 23:59:59
QUERY PLAN
\`--SCAN staff VIRTUAL TABLE INDEX 17:index ByName (Name=?)"
if [ "$out" != "$expected" ]; then
  echo "unexpected output:"; echo "$out"; exit 1
fi
# The table's definition stays in the database: a later session reopens it.
again=$(shell saved.db ".load ${module%.so}" "SELECT count(*) FROM empty; SELECT Name FROM copy WHERE Id = 3;")
[ "$again" = "3
Cid" ] || { echo "reopened: $again"; exit 1; }
# The tool reads what the shell wrote.
"$tool" find empty.vri 2 | grep -q Bob
echo "shell migration ok"
