#!/usr/bin/env bash
# Runs the velmora tool as a user would, on real table files in a fresh
# temporary folder: create, import with rejected rows, list, find, locate,
# info, check a sound table, damage an index and check again, rebuild, check,
# export and compare with the input, the table utilities, errors and --help.
# Usage: tool_test.sh PATH/TO/velmora
set -u
tool="$1"
work="$(mktemp -d /tmp/velmora-tool-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
# run ARGS...: runs the tool, keeping stdout, stderr and the exit status.
run() {
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
    echo "FAILED: $1"
    echo "--- expected:"
    printf '%s\n' "$2"
    echo "--- actual:"
    printf '%s\n' "$3"
  fi
}
# put_int32 FILE OFFSET VALUE: overwrites four bytes (little-endian, 0..255).
put_int32() {
  printf "\\x$(printf '%02x' "$3")\\x00\\x00\\x00" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# --- help
run --help
expect "tool help status" 0 "$status"
expect "tool help first line" "Usage: velmora COMMAND [ARGUMENTS...]" "$(head -1 out.txt)"
expect "tool help lists check" "  check     check the table's files for inconsistencies (read only)" "$(grep '^  check ' out.txt)"
for command in create info list find locate import export check rebuild copy rename drop demo; do
  run "$command" --help
  expect "$command --help status" 0 "$status"
  expect "$command --help usage" "Usage: velmora $command" "$(head -1 out.txt | cut -d' ' -f1-3)"
done
run
expect "no command status" 2 "$status"
run frobnicate
expect "unknown command status" 2 "$status"
expect "unknown command message" "velmora: unknown command 'frobnicate'
Try 'velmora --help'." "$err"

# --- create
run create people.vri --field Id:I --field Name:S:16 --field City:string:10 --field Score:R \
  --index ById:Id --index ByCity:City,Name
expect "create status" 0 "$status"
expect "create output" "created people.vri: 4 field(s), 2 index(es)" "$out"
expect "created files" "people.va1 96
people.va2 8
people.vb1 96
people.vb2 8
people.vrd 0
people.vri 3640" "$(for f in people.*; do echo "$f $(stat -c %s "$f")"; done)"
run create people.vri --field Id:I --index ById:Id
expect "create existing status" 1 "$status"
expect "create existing message" "velmora create: people.vri: the table exists already" "$err"
run create other.vri --field Id:Q --index ById:Id
expect "create bad type status" 2 "$status"
expect "create bad type message" "velmora create: field Id: unknown type 'Q' (use B C D F I R S)
Try 'velmora create --help'." "$err"
run create other.vri --field Id:I --index ById:Nope
expect "create bad index field" "velmora create: index ById: no field named 'Nope'" "$(head -1 err.txt)"
expect "nothing created on a refused definition" "" "$(ls other.* 2>/dev/null)"

# --- import: a duplicate key refused by the library, a value that does not convert
printf 'Id,Name,City,Score\r\n1,Ada,London,2.1\r\n2,"Smith, Jr",Oslo,\r\n2,Twice,Paris,1\r\n3,"",Oslo,-7.25\r\nx,Bad,Rome,1\r\n4,"Multi\r\nline",Bergen,1e30\r\n' >in.csv
run import people.vri in.csv
expect "import status" 1 "$status"
expect "import summary" "imported 4 of 6 rows" "$out"
expect "import rejections" "in.csv: line 4: Insertion Error. Key violation in Velmora. (unique index ById: another record has Id=2)
in.csv: line 6: field Id: 'x' is not a valid integer value" "$err"
printf 'Id,Name\n5,"unclosed\n' >broken.csv
run import people.vri broken.csv
expect "malformed CSV status" 1 "$status"
expect "malformed CSV message" "velmora import: broken.csv: line 2: quoted field is not closed; nothing imported" "$err"
printf 'Id,Nickname\n5,x\n' >columns.csv
run import people.vri columns.csv
expect "unknown column" "velmora import: no field named Nickname (fields: Id, Name, City, Score)" "$err"

# --- list
run list people.vri
expect "list status" 0 "$status"
expect "list output" "Id  Name           City     Score
--  -------------  ------  ------
 1  Ada            London     2.1
 2  Smith, Jr      Oslo    (null)
 3                 Oslo     -7.25
 4  Multi\\r\\nline  Bergen   1e+30
(4 records)" "$out"
run list people.vri --index ByCity --from Oslo --to Oslo
expect "list range" "Id  Name       City   Score
--  ---------  ----  ------
 3             Oslo   -7.25
 2  Smith, Jr  Oslo  (null)
(2 records)" "$out"
run list people.vri --index ByCity --from 'Oslo,Smith' --limit 5
expect "list from a two-field key" " 2  Smith, Jr  Oslo  (null)" "$(sed -n 3p out.txt)"
run list people.vri --limit 1
expect "list limit footer" "(1 of 4 records)" "$(tail -1 out.txt)"
run list people.vri --index Nope
expect "list unknown index" "velmora list: no index named Nope (indexes: ById, ByCity)" "$err"

# --- find and locate
run find people.vri 3
expect "find status" 0 "$status"
expect "find output" "Id  Name  City  Score
--  ----  ----  -----
 3        Oslo  -7.25" "$out"
run find people.vri --index ByCity London Ada
expect "find on a second index" " 1  Ada   London    2.1" "$(sed -n 3p out.txt)"
run find people.vri 99
expect "find missing status" 1 "$status"
expect "find missing message" "velmora find: no record with that key in index ById" "$err"
run find people.vri x
expect "find bad key" "velmora find: key field Id: 'x' is not a valid integer value" "$err"
run locate people.vri Name=smi --partial 3 --ignore-case
expect "locate partial caseless" " 2  Smith, Jr  Oslo  (null)" "$(sed -n 3p out.txt)"
run locate people.vri City=Oslo Name=
expect "locate through an index, empty value as null" "1" "$status"
run locate people.vri City=London Name=Ada
expect "locate through ByCity" " 1  Ada   London    2.1" "$(sed -n 3p out.txt)"

# --- info
run info people.vri
expect "info status" 0 "$status"
expect "info record line" "  4 record(s) of 48 bytes, format version 2.1" "$(sed -n 2p out.txt)"
expect "info field line" "1  Name   String(16) (S)       8    17" "$(grep '^1  Name' out.txt)"
expect "info index lines" "0  A     ById    Id               1          1        4  57.1%
1  B     ByCity  City,Name        1          1        4  57.1%" "$(grep -E '^[01]  [AB] ' out.txt)"

# --- check a sound table, damage an index, check again
run check people.vri
expect "check sound status" 0 "$status"
expect "check sound output" "people.vri: sound" "$out"
cp people.vb1 people.vb1.saved
# Block 2 of ByCity holds the records in key order Bergen(3) London(0) Oslo(2) Oslo(1):
# swap its first two slots.
expect "ByCity block before damage" "4 3 0 2 1" "$(od -An -t d4 -j 64 -N 20 people.vb1 | xargs)"
put_int32 people.vb1 68 0
put_int32 people.vb1 72 3
run check people.vri
expect "check damaged status" 1 "$status"
expect "check damaged output" "index B (ByCity): directory entry 0 gives first record 3 but block 2 starts with record 0
index B (ByCity): records 0 and 3 are out of key order (block 2 slot 2)
people.vri: 2 inconsistencies found
velmora rebuild people.vri repairs the data and index files: it rebuilds every index from the data file and leaves out records it cannot keep" "$out"
expect "check changes nothing" "" "$(cmp people.vb1 people.vb1.saved >/dev/null && echo same || echo changed | grep -v changed)"
put_int32 people.vb1 64 9
run check people.vri
expect "block count out of range" "index B (ByCity): block 2 has the count 9, outside 0..7" "$(sed -n 1p out.txt)"
expect "records missing after a bad block" "index B (ByCity): index holds 0 entries but the data file holds 4 records
index B (ByCity): record 0 is missing" "$(sed -n 2,3p out.txt)"
printf '\x02\x00\x00\x00\x03\x00\x00\x00' >>people.vb2
run check people.vri
expect "directory longer than the leaf file" "index B (ByCity): directory lists 2 blocks but the leaf file holds 1 live blocks" "$(sed -n 1p out.txt)"
expect "block listed twice" "index B (ByCity): block 2 is listed twice in the directory (entries 0 and 1)" "$(sed -n 3p out.txt)"

# --- rebuild repairs the indexes from the data file
run rebuild people.vri
expect "rebuild status" 0 "$status"
expect "rebuild output" "rebuilt people.vri: kept 4 of 4 records; the old data is in people.VXX" "$out"
run check people.vri
expect "check after rebuild status" 0 "$status"
expect "check after rebuild" "people.vri: sound" "$out"
run list people.vri --index ByCity
expect "ByCity order after rebuild" "4 1 3 2" "$(sed -n '3,$p' out.txt | grep -E '^ [0-9]' | awk '{print $1}' | xargs)"

# --- export reads back as the accepted input rows
run export people.vri out.csv
expect "export status" 0 "$status"
expect "export output" "exported 4 records to out.csv" "$out"
printf 'Id,Name,City,Score\r\n1,Ada,London,2.1\r\n2,"Smith, Jr",Oslo,\r\n3,"",Oslo,-7.25\r\n4,"Multi\r\nline",Bergen,1e+30\r\n' >expected.csv
expect "exported file" "same" "$(cmp out.csv expected.csv >/dev/null && echo same || cat -A out.csv)"
run export people.vri
expect "export to standard output" "$(cat expected.csv)" "$out"

# --- table utilities
run copy people.vri copy.vri
expect "copy output" "copied people.vri to copy.vri" "$out"
expect "copied files" "copy.va1 copy.va2 copy.vb1 copy.vb2 copy.vrd copy.vri" "$(ls copy.va1 copy.va2 copy.vb1 copy.vb2 copy.vri copy.vrd | xargs)"
run copy people.vri copy.vri
expect "copy onto an existing table" "velmora copy: cannot copy people.vri: copy.vri, copy.vrd, copy.va1, copy.va2, copy.vb1, copy.vb2 exist" "$err"
rm copy.va1
run list copy.vri
expect "library message reaches the user" "velmora list: Error on index file opening - unable to open index files." "$err"
expect "library failure status" 1 "$status"
run drop copy.vri
expect "drop with a missing file" "velmora drop: cannot drop copy.vri: missing copy.va1" "$err"
cp people.va1 copy.va1
run rename copy.vri moved.vri
expect "rename output" "renamed copy.vri to moved.vri" "$out"
run drop moved.vri
expect "drop output" "dropped moved.vri" "$out"
expect "no files left" "" "$(ls copy.* moved.* 2>/dev/null)"
run list missing.vri
expect "missing table" "velmora list: missing.vri: no such table" "$err"

# --- every field type through import, keys handed to the library, and export
run create events.vri --field When:DateTime --field Amount:C --field Rate:F --field Done:B --field Weight:Real \
  --index ByWhen:When --index ByRate:Rate,Done
expect "create types" "created events.vri: 5 field(s), 2 index(es)" "$out"
printf 'When,Amount,Rate,Done,Weight\r\n2024-03-15 13:05:09.250,$12.50,0.1,TRUE,2.1\r\n1850-01-01,-3,1e20,false,\r\n2024-03-15,0,0.1,maybe,1\r\n2024-02-30,0,0,true,1\r\n2000-01-01,1,-0.5,,1e39\r\n' >events.csv
run import events.vri events.csv
expect "import types summary" "imported 2 of 5 rows" "$out"
expect "import types rejections" "events.csv: line 4: field Done: maybe is not valid data for a boolean field (true/false, yes/no, 1/0, on/off, t/f, y/n).
events.csv: line 5: field When: '2024-02-30' is not a valid date and time
events.csv: line 6: field Weight: '1e39' is beyond the range of a Real field" "$err"
run find events.vri '2024-03-15 13:05:09.250'
expect "find by date and time" "2024-03-15 13:05:09.250    12.5   0.1  true     2.1" "$(sed -n 3p out.txt)"
run find events.vri '2024-03-15 13:05:09'
expect "a date a quarter second off is another key" "1" "$status"
run find events.vri --index ByRate 1E+20 FALSE
expect "find by float and boolean" "1850-01-01      -3  1e+20  false  (null)" "$(sed -n 3p out.txt)"
run list events.vri --index ByRate --from 1 --limit 5
expect "range from a float key" "(1 record)" "$(tail -1 out.txt)"
run export events.vri
expect "export types" "When,Amount,Rate,Done,Weight
1850-01-01,-3,1e+20,false,
2024-03-15 13:05:09.250,12.5,0.1,true,2.1" "$(tr -d '\r' <out.txt)"

# --- damaged data: a bad null flag, found by check and dropped by rebuild
run check events.vri
expect "events sound" "events.vri: sound" "$out"
# Records are 44 bytes; record 1 (1850-01-01) starts at byte 44, its flag for Done is byte 47.
printf '\x07' | dd of=events.vrd bs=1 seek=47 conv=notrunc status=none
run check events.vri
expect "bad null flag" "data: record 1 field Done has the null flag 7, neither 0 nor 1
events.vri: 1 inconsistency found
velmora rebuild events.vri repairs the data and index files: it rebuilds every index from the data file and leaves out records it cannot keep" "$out"
run rebuild events.vri
expect "rebuild drops the damaged record" "rebuilt events.vri: kept 1 of 2 records; the old data is in events.VXX
dropped 1 record(s); the last reason: Rebuild error - corrupt record" "$out"
run check events.vri
expect "sound after dropping" "events.vri: sound" "$out"
# --- damaged values: each kind the rebuild refuses or the indexes cannot order
cp events.vrd events.good
# Record 0 (2024-03-15) starts at byte 0; When at offset 8, Rate at 24.
nan='\x00\x00\x00\x00\x00\x00\xf8\x7f'
printf "$nan" | dd of=events.vrd bs=1 seek=24 conv=notrunc status=none
run check events.vri
expect "key value not a number" "data: record 0 field Rate holds a key value that is not a number
events.vri: 1 inconsistency found
velmora rebuild events.vri repairs the data and index files: it rebuilds every index from the data file and leaves out records it cannot keep" "$out"
cp events.good events.vrd
printf '\x00\x00\x00\x00\x00\x00\xf0\x7f' | dd of=events.vrd bs=1 seek=8 conv=notrunc status=none
run check events.vri
expect "infinite date key" "data: record 0 field When holds an infinite key value" "$(sed -n 1p out.txt)"
cp events.good events.vrd
printf '\x00\x00\x00\x00\xd0\x12\x63\x41' | dd of=events.vrd bs=1 seek=8 conv=notrunc status=none
run check events.vri
expect "date outside the calendar" "data: record 0 field When holds a date outside the calendar" "$(sed -n 1p out.txt)"
# A second record (another date), then Rate 2^127 in record 0 and -2^127 in record 1.
cat events.good events.good >events.vrd
printf '\x00\x00\x00\x00\x00\xf9\xe5\x40' | dd of=events.vrd bs=1 seek=52 conv=notrunc status=none
printf '\x00\x00\x00\x00\x00\x00\xe0\x47' | dd of=events.vrd bs=1 seek=24 conv=notrunc status=none
printf '\x00\x00\x00\x00\x00\x00\xe0\xc7' | dd of=events.vrd bs=1 seek=68 conv=notrunc status=none
run check events.vri
expect "key values too far apart" "data: key field Rate of records 1 and 0 holds values too far apart to be compared" "$(sed -n 1p out.txt)"
run rebuild events.vri
expect "rebuild keeps what can be ordered" "rebuilt events.vri: kept 1 of 2 records" "$(grep -o "^rebuilt events.vri: kept [0-9]* of [0-9]* records" out.txt)"
run check events.vri
expect "sound after the far key is dropped" "events.vri: sound" "$out"
cp events.good events.vrd
printf 'xyz' >>events.vrd
run check events.vri
expect "partial record" "data: the data file ends in a partial record of 3 bytes" "$(sed -n 1p out.txt)"
expect "partial record status" 1 "$status"

# --- long String fields: created, filled, exported and checked
run create notes.vri --field Id:I --field Text:S:300 --index ById:Id --index ByText:Text
expect "create long string status" 0 "$status"
long="$(printf 'x%.0s' $(seq 1 299))y"
printf 'Id,Text\n1,%s\n' "$long" >notes.csv
run import notes.vri notes.csv
expect "import long string" "imported 1 of 1 rows" "$(tail -1 out.txt)"
run export notes.vri
expect "export long string" "Id,Text
1,$long" "$(tr -d '\r' <out.txt)"
run check notes.vri
expect "long string sound" "notes.vri: sound" "$out"
run create toolong.vri --field Id:I --field Text:S:32767 --index ById:Id
expect "create too long string status" 2 "$status"

# --- a change left unfinished: check names it, the next open rolls it back
run check notes.vri
expect "notes sound before" "notes.vri: sound" "$out"
journal="$(ls | grep -ix 'notes.vrj')"
# Idle: the counter, then at most a finished change's record, retired by
# zeros over its magic.
expect "journal idle" "8 00000000" "$(head -c 8 "$journal" | wc -c) $(od -An -tx1 -j8 -N4 "$journal" | tr -d ' \n' | sed 's/^$/00000000/')"
# A record that names its checksum and was torn while being written.
printf 'VRJ2 an unfinished change' | dd of="$journal" bs=1 seek=8 conv=notrunc status=none
run check notes.vri
expect "check names the unfinished change" "notes.vri: a change left unfinished by a stopped program is waiting in its journal; the next command that opens the table (velmora info, for one) rolls it back" "$(sed -n 1p out.txt)"
run count notes.vri
expect "an open rolls it back" "0 8" "$status $(stat -c %s "$journal")"
run check notes.vri
expect "sound after the rollback" "notes.vri: sound" "$out"

# --- a damaged schema file: check says no command repairs it
cp notes.vri broken.vri
truncate -s 1000 broken.vri
run check broken.vri
expect "damaged schema status" 1 "$status"
expect "damaged schema advice" "no command repairs a damaged schema file: create the table again (velmora create) and import its records" "$(grep '^no command' out.txt)"
# --- a missing index file: a rebuild cannot open the table
cp notes.vri gone.vri
cp "$(ls | grep -ix notes.vrd)" gone.vrd
cp "$(ls | grep -ix notes.va1)" gone.va1
run check gone.vri
expect "missing file advice" "the table cannot be opened to rebuild it while a file is missing (gone.va2 gone.vb1 gone.vb2): put the file back, or create the table again and import its records" "$(tail -1 out.txt)"

# --- the demo runs to the end and finds its table sound
run demo
expect "demo status" 0 "$status"
expect "demo check" "the table is sound" "$(grep 'the table is' out.txt)"
expect "demo key violation" "posting a second record with Id 7 is refused: Insertion Error. Key violation in Velmora." "$(grep 'second record' out.txt)"

echo "tool: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
