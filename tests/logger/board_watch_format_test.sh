#!/bin/sh
# kestrane-board watch --format: one row per reading with the logger's
# fields and time format. Usage: board_watch_format_test.sh KESTRANE_BOARD WORK_DIR
set -u
tool="$1"
work="$2"
mkdir -p "$work"
cat > "$work/board.sim" <<'SIM'
[device]
product-id = 000A
channel1 = word 0x401000C0
channel2 = word 0x3FFFFF40
channel3 = 12.5
SIM
export KESTRANE_SIMULATION="$work/board.sim"
failures=0
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
time_re='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z'

csv="$("$tool" watch 000a --count 2 --interval 0 --format csv)" || fail "csv exit status"
[ "$(printf '%s\n' "$csv" | head -n 1)" = "$(printf 'time,board,channel,name,value,unit\r')" ] || fail "csv header"
[ "$(printf '%s\n' "$csv" | grep -c 'T')" -eq 12 ] || fail "csv: 12 rows expected"
printf '%s\n' "$csv" | grep -Eq "^${time_re},000A,1,,0\.197734,V.?$" || fail "csv channel 1: $csv"
printf '%s\n' "$csv" | grep -Eq "^${time_re},000A,2,,-0\.000188,V" || fail "csv channel 2 (negative, no blank)"

jsonl="$("$tool" watch 000A --count 1 --interval 0 --format jsonl)" || fail "jsonl exit status"
[ "$(printf '%s\n' "$jsonl" | wc -l)" -eq 6 ] || fail "jsonl: 6 rows expected"
printf '%s\n' "$jsonl" | grep -Eq "^\{\"time\":\"${time_re}\",\"board\":\"000A\",\"channel\":2,\"name\":\"\",\"value\":-0\.000188,\"unit\":\"V\"\}$" ||
  fail "jsonl channel 2: $jsonl"

text="$("$tool" watch 000A --count 1 --interval 0 --format text)" || fail "text exit status"
printf '%s\n' "$text" | grep -Eq "^${time_re}  000A  3  12\.5[0-9]* V$" || fail "text channel 3: $text"

"$tool" watch 000A --count 1 --format xml >/dev/null 2>&1
[ $? -eq 2 ] || fail "unknown format must be a usage error"
"$tool" watch 000A --count 1 --format >/dev/null 2>&1
[ $? -eq 2 ] || fail "missing format must be a usage error"

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "all watch formats pass"
