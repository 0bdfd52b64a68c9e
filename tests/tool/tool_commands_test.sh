#!/usr/bin/env bash
# Runs the velmora tool's record commands and output options on real table
# files in a fresh temporary folder: --version and help COMMAND, count,
# insert, update, delete, schema, --format, every match of find and locate,
# "-" for standard input and output, output to a full device, the byte
# lengths of String fields, wide characters, import options and limits, and
# the messages that name the cause of a refusal.
# Usage: tool_commands_test.sh PATH/TO/velmora
set -u
tool="$(realpath "$1")"
package="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../python" && pwd)"
work="$(mktemp -d /tmp/velmora-commands-XXXXXX)"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
run() {  # run ARGS...: the tool's stdout, stderr and exit status
  "$tool" "$@" >out.txt 2>err.txt
  status=$?
  out="$(cat out.txt)"
  err="$(cat err.txt)"
}
expect() {  # expect NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n--- expected:\n%s\n--- actual:\n%s\n' "$1" "$2" "$3"
  fi
}

# --- version, help COMMAND, misuse
run --version
expect "version" "velmora 2.1.0" "$out"
run help list
expect "help COMMAND is the command's help" "$("$tool" list --help)" "$out"
run help frobnicate
expect "help of an unknown command" "2 velmora help: unknown command 'frobnicate'" "$status $(head -1 err.txt)"
run --help
expect "limits in the help" "Limits of a table: at most 30000 records, 26 fields and 13 indexes; an index" \
  "$(grep '^Limits' out.txt)"
for command in count insert update delete schema; do
  run "$command" --help
  expect "$command --help usage" "Usage: velmora $command" "$(head -1 out.txt | cut -d' ' -f1-3)"
done

# --- create: a name that is not a schema file's, a missing folder
run create x.csv --field Id:I --index ById:Id
expect "create x.csv refused" "2 velmora create: x.csv: a table is named NAME.vri or NAME (its files are NAME.vri, NAME.vrd, ...), not .csv" \
  "$status $(head -1 err.txt)"
expect "nothing created for x.csv" "" "$(ls x.* 2>/dev/null)"
run create t.vri --field "$(printf 'é%.0s' {1..32}):I" --index ById:Id
expect "name lengths count bytes" "velmora create: field name $(printf 'é%.0s' {1..32}) is longer than 63 bytes" "$(head -1 err.txt)"
run create nowhere/t.vri --field Id:I --index ById:Id
expect "create in a missing folder" "1 velmora create: nowhere/t.vri: the folder nowhere does not exist" "$status $err"
run create t.vri --field Id:I --field Name:S:10 --field City:S:12 --field Active:B --index ById:Id --index ByCity:City
expect "create" "created t.vri: 4 field(s), 2 index(es)" "$out"

# --- schema prints the command that makes the same table
run schema t.vri copy.vri
expect "schema" "velmora create copy.vri \\
    --field Id:I \\
    --field Name:S:10 \\
    --field City:S:12 \\
    --field Active:B \\
    --index ById:Id \\
    --index ByCity:City" "$out"
(cd "$work" && PATH="$(dirname "$tool"):$PATH" && eval "$out" >/dev/null)
expect "schema recreates the table" "same" "$(cmp t.vri copy.vri >/dev/null && echo same || echo differs)"

run create "odd name.vri" --field "Full Name:S:5" --field "it's:B" --index "By Name:Full Name,it's"
run schema "odd name.vri" "odd copy.vri"
expect "schema quotes names for the shell" "velmora create 'odd copy.vri' \\
    --field 'Full Name:S:5' \\
    --field 'it'\\''s:B' \\
    --index 'By Name:Full Name,it'\\''s'" "$out"
(cd "$work" && PATH="$(dirname "$tool"):$PATH" && eval "$out" >/dev/null)
expect "quoted schema recreates the table" "same" "$(cmp "odd name.vri" "odd copy.vri" >/dev/null && echo same || echo differs)"

# --- insert, the byte length of String fields, key violations with their index and values
run insert t.vri Id=1 Name=Ada City=Oslo Active=yes
expect "insert" "0 inserted 1 record" "$status $out"
run insert t.vri Id=1 Name=Bob
expect "key violation names the unique index and value" \
  "1 velmora insert: Insertion Error. Key violation in Velmora. (unique index ById: another record has Id=1)" "$status $err"
run insert t.vri Id=2 Name=éééééé
expect "String lengths count bytes" \
  "velmora insert: field Name: 'éééééé' is 12 bytes long, longer than the 10 bytes of field Name (its 6 characters take more than one byte each in UTF-8)" "$err"
run insert t.vri Id=2 Name=ééééé City=東京 Active=0
expect "five two-byte letters fit ten bytes" "0" "$status"
run insert t.vri -n 2
expect "a mistyped short option" "2 velmora insert: unknown option -n (options are written --name)" "$status $(head -1 err.txt)"

# --- import from standard input, with a delimiter, header names in any case, more boolean spellings
printf 'id;NAME;city;active\n3;Cy;Oslo;Y\n4;Di;Oslo;off\n5;Ed;Bergen;1\n6;Fay;Oslo;maybe\n' | "$tool" import t.vri - --delimiter ';' >out.txt 2>err.txt
expect "import from standard input" "1 imported 3 of 4 rows" "$? $(cat out.txt)"
expect "rejected row of standard input" \
  "standard input: line 5: field Active: maybe is not valid data for a boolean field (true/false, yes/no, 1/0, on/off, t/f, y/n)." \
  "$(cat err.txt)"
run count t.vri
expect "count" "5" "$out"
run count t.vri --index ByCity --from Oslo --to Oslo
expect "count of a range" "3" "$out"

# --- find and locate print every match
run find t.vri --index ByCity Oslo
expect "find every match" "Id  Name  City  Active
--  ----  ----  ------
 1  Ada   Oslo  true
 3  Cy    Oslo  true
 4  Di    Oslo  false
(3 records)" "$out"
run find t.vri --index ByCity Oslo --limit 1
expect "find with a limit" "(1 of 3 records)" "$(tail -1 out.txt)"
run find t.vri --index ByCity Oslo --format csv
expect "find as CSV" "Id,Name,City,Active
1,Ada,Oslo,true
3,Cy,Oslo,true
4,Di,Oslo,false" "$(tr -d '\r' <out.txt)"
run find t.vri 2 --format json
expect "find as JSON" '[
 {"Id": 2, "Name": "ééééé", "City": "東京", "Active": false}
]' "$out"
run locate t.vri City=oslo --ignore-case --format csv
expect "locate every match" "1 3 4" "$(tr -d '\r' <out.txt | sed 1d | cut -d, -f1 | xargs)"
run locate t.vri City=Os --partial 2 --limit 2
expect "locate with a limit" "(2 of 3 records)" "$(tail -1 out.txt)"
run list t.vri --format json --limit 1
expect "list as JSON" '[
 {"Id": 1, "Name": "Ada", "City": "Oslo", "Active": true}
]' "$out"
run list t.vri --format xml
expect "unknown format" "2" "$status"

# --- wide characters keep the columns in line
run list t.vri
expect "wide characters aligned: two columns each" "Id  Name   City    Active
--  -----  ------  ------
 1  Ada    Oslo    true
 2  ééééé  東京    false
 3  Cy     Oslo    true
 4  Di     Oslo    false
 5  Ed     Bergen  true" "$(sed '$d' out.txt)"

# --- update and delete one record by key
run update t.vri 4 --set Name=Dora --set Active=
expect "update" "0 updated 1 record" "$status $out"
run find t.vri 4 --format csv
expect "updated values" "4,Dora,Oslo," "$(tr -d '\r' <out.txt | sed -n 2p)"
run update t.vri 9 --set Name=X
expect "update of a missing key" "1 velmora update: no record with that key in index ById" "$status $err"
run update t.vri --index ByCity Oslo --set Name=X
expect "update of a key many records share" \
  "1 velmora update: 3 records have that key in index ByCity; update works on one record: give the key of the unique index ById" \
  "$status $err"
run update t.vri 4 --set Id=1
expect "update into a key violation" \
  "velmora update: Error. Edit changes will create a key violation in Velmora. (unique index ById: another record has Id=1)" "$err"
run delete t.vri 4
expect "delete" "0 deleted 1 record" "$status $out"
run delete t.vri 4
expect "delete of a missing key" "1" "$status"
run count t.vri
expect "count after delete" "4" "$out"

# --- "-" is standard output for export
run export t.vri -
expect "export to -" "Id,Name,City,Active" "$(head -1 out.txt | tr -d '\r')"
expect "no file named -" "" "$(ls -- - 2>/dev/null)"

# --- output that cannot be written is a failure
for command in "list t.vri" "info t.vri" "find t.vri 1" "locate t.vri Name=Ada" "check t.vri" "count t.vri" \
  "export t.vri -" "schema t.vri" "--help" "--version"; do
  # shellcheck disable=SC2086
  "$tool" $command >/dev/full 2>err.txt
  expect "$command to a full device" "1 standard output: write failed: No space left on device" \
    "$? $(sed 's/^velmora [a-z-]*: //' err.txt)"
done

# --- refusals that name their cause
mkdir folder.vri
run list folder.vri
expect "a folder" "velmora list: folder.vri: is a folder, not a table's schema file (TABLE.vri)" "$err"
printf 'a,b\n1,2\n' >out.csv
run info out.csv
expect "a file that is no schema file" \
  "velmora info: out.csv: not a Velmora schema file (a table is named by its .vri file, whose size is 520 bytes for the header and for each field and index)" "$err"
run copy t.vri nowhere/t.vri
expect "copy into a missing folder" "velmora copy: cannot copy t.vri: the folder nowhere does not exist" "$err"
run list nowhere/t.vri
expect "a table in a missing folder" "velmora list: nowhere/t.vri: no such table (the folder nowhere does not exist)" "$err"
if [ "$(id -u)" -ne 0 ]; then
  chmod a-w t.vrd
  run insert t.vri Id=8
  expect "read-only data file named" "velmora insert: File access denied (table t.vri: t.vrd is read-only)" "$err"
  chmod u+w t.vrd
fi

# --- a table another program holds open: the library refuses, the tool says why
library="$(dirname "$tool")/libvelmora_c.so"
if [ -f "$library" ] && [ -x /usr/bin/python3 ]; then
  run create held.vri --field Id:I --index ById:Id
  # A sanitizer build's library needs its runtime loaded into the interpreter first.
  preload="$(ldd "$library" | awk '/libasan|libstdc\+\+/ { printf "%s ", $3 }')"
  case "$preload" in *libasan*) ;; *) preload="" ;; esac
  coproc HOLDER {
    LD_PRELOAD="$preload" ASAN_OPTIONS=detect_leaks=0 VELMORA_C_LIBRARY="$library" PYTHONPATH="$package" \
      PYTHONDONTWRITEBYTECODE=1 timeout 60 /usr/bin/python3 -c \
      'import sys, velmora; t = velmora.open("held.vri"); print("open", flush=True); sys.stdin.readline()'
  }
  line=""
  read -r -t 30 line <&"${HOLDER[0]}"
  expect "another program holds the table" "open" "$line"
  run drop held.vri
  expect "drop of a table in use" "velmora drop: cannot drop held.vri: the table is in use by another program" "$err"
  run insert held.vri Id=1
  expect "writing to a table in use" \
    "velmora insert: held.vri: the table cannot be opened for writing (another program has it open)" "$err"
  run count held.vri
  expect "reading a table in use" "0" "$out"
  [ -n "${HOLDER[1]:-}" ] && echo >&"${HOLDER[1]}"
  wait "$HOLDER_PID" 2>/dev/null
  run drop held.vri
  expect "drop once released" "dropped held.vri" "$out"
fi

# --- rebuild keeps the old data of an earlier rebuild; drop deletes both
run rebuild t.vri
run rebuild t.vri
expect "second rebuild keeps the first copy" "kept the copy of an earlier rebuild as t.VXX.1" "$(head -1 out.txt)"
run drop t.vri
expect "drop deletes the rebuild copies" "dropped t.vri
deleted t.VXX
deleted t.VXX.1" "$out"
expect "no files of t left" "" "$(ls t.* 2>/dev/null)"

# --- an import that cannot fit is announced, and stops when the table is full
run create full.vri --field Id:I --index ById:Id
head -c $((29999 * 8)) /dev/zero >full.vrd  # 29999 records (Id 0) behind the index's back
printf 'Id\n1\n2\n3\n' >three.csv
run import full.vri three.csv
expect "import that cannot fit" "velmora import: warning: the table holds 29999 records and three.csv has 3 rows; a table holds at most 30000 records, so at most 1 row can go in
three.csv: line 3: the table is full (30000 records); this row and the 1 after it were not imported" "$err"
expect "import stops when full" "1 imported 1 of 3 rows" "$status $out"

# --- the progress bar of a long import on a terminal ends at 100%
if command -v script >/dev/null 2>&1; then
  run create long.vri --field Id:I --index ById:Id
  { echo Id; seq 1 2000; } >long.csv
  script -qec "$tool import long.vri long.csv" /dev/null >terminal.txt 2>&1
  expect "progress bar reaches 100%" "importing [#########################] 100% 2000/2000" \
    "$(tr '\r' '\n' <terminal.txt | grep -a '100%' | tail -1 | sed 's/[[:space:]]*$//')"
  expect "long import summary" "imported 2000 of 2000 rows" "$(tr '\r' '\n' <terminal.txt | grep -a '^imported' | tr -d '\r')"
fi

echo "tool commands: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
