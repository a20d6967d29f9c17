#!/bin/sh
# Runs kestrane-board against a simulation file and checks each command's
# output, message and exit code. Usage: cli_test.sh TOOL WORKDIR VERSION
set -u
tool="$1"
work="$2"
version="$3"
mkdir -p "$work"
sim="$work/cli.sim"
cat > "$sim" <<'SIM'
[device]
product-id = 000A
manufacturer = Morvane
version = 0214
firmware = KESTRANE FW 2.14
channel1 = word 0x401000C0
channel2 = word 0x3FFFFF40
channel3 = word 0x7FFFFFFF
channel4 = word 0xC0000000
channel5 = -11.95
channel6 = 0.0375
[device]
product-id = 000B
product = Other Thing
version = 0001
fault = read-fails
[device]
product-id = 000C
fault = busy
SIM
export KESTRANE_SIMULATION="$sim"

failures=0
# Volts come back quantised to the nearest count (about 24 uV).
# check NAME EXPECTED_EXIT EXPECTED_STDOUT STDERR_PATTERN ARGS...
# "*" as EXPECTED_STDOUT takes any output; STDERR_PATTERN is a fixed
# string stderr must hold ("" for none). A failure always says why on
# stderr, and a usage error prints nothing on stdout.
check() {
  name="$1"; want_rc="$2"; want_out="$3"; want_err="$4"; shift 4
  out="$("$tool" "$@" 2>"$work/stderr")"
  rc=$?
  if [ "$rc" -ne "$want_rc" ]; then
    echo "FAIL $name: exit $rc, wanted $want_rc"; cat "$work/stderr"; failures=$((failures + 1)); return
  fi
  if [ "$want_out" != "*" ] && [ "$out" != "$want_out" ]; then
    echo "FAIL $name: output"; echo "  got:    [$out]"; echo "  wanted: [$want_out]"; failures=$((failures + 1)); return
  fi
  if [ "$want_rc" -ne 0 ] && [ ! -s "$work/stderr" ]; then
    echo "FAIL $name: no message on stderr"; failures=$((failures + 1)); return
  fi
  if [ -n "$want_err" ] && ! grep -qF -- "$want_err" "$work/stderr"; then
    echo "FAIL $name: stderr lacks [$want_err]"; cat "$work/stderr"; failures=$((failures + 1)); return
  fi
  echo "ok   $name"
}

nl='
'
watch_line="1: + 0.197734   2: - 0.000188   3: + 202.671265   4: + 0.000212   5: - 11.949992   6: + 0.037502"
listing="000A  product \"KESTRANEUNIT\"  manufacturer \"Morvane\"  version 0214${nl}000B  product \"Other Thing\"  manufacturer \"Morvane\"  version 0001"
udev='install the udev rule (README, "Giving users access to the board")'

# Commands.
check read-mode1          0 "+ 0.197734"   "" read 000A 1 --mode 1
check read-mode1-negative 0 "- 0.000188"   "" read 000A 2 --mode 1
check read-mode1-full     0 "+ 202.671265" "" read 000A 3 --mode 1
check read-mode0          0 "1074790592"   "" read 000A 1
check read-mode0-explicit 0 "-1073741824"  "" read 000a 4 --mode 0
check read-volts          0 "- 11.949992"  "" read 000A 5 --mode 1
check read-shunt          0 "+ 0.037502"   "" read 0x000A 6 --mode 1
check read-short-pid      0 "1074790592"   "" read A 1
check firmware            0 "KESTRANE FW 2.14" "" firmware 000A
# The busy device 000C stands for one this user may not open.
check list                1 "$listing"     "sim:2 (vendor 0000, product 000C) cannot be opened" list
check list-udev-hint      1 "*"            "$udev" list
check watch               0 "$watch_line${nl}$watch_line" "" watch 000A --count 2 --interval 0

# Option spellings: with "=" or apart, before, between or after operands.
check mode-equals         0 "+ 0.197734"   "" read 000A 1 --mode=1
check mode-first          0 "+ 0.197734"   "" --mode 1 read 000A 1
check mode-between        0 "+ 0.197734"   "" read 000A --mode=1 1
check watch-equals        0 "$watch_line"  "" watch --count=1 --interval=0 000A
check operands-after-dashes 0 "1074790592" "" -- read 000A 1
check help                0 "*"            "" --help
check help-short          0 "*"            "" -h
check help-command        0 "*"            "" help
check version             0 "kestrane-board (Kestrane) $version" "" --version
check version-short       0 "kestrane-board (Kestrane) $version" "" -V

# Boards that fail.
check absent-board        1 ""             "board 000D failed" read 000D 1
check read-fails          1 ""             "" read 000B 1 --mode 1
check busy-board          1 ""             "" firmware 000C
check watch-fails         1 ""             "reading channel 1 of board 000B failed" watch 000B --count 1 --interval 0

# Usage errors: exit 2, the reason on stderr.
check no-command          2 ""             "no command given"
check unknown-command     2 ""             "unknown command 'frobnicate'" frobnicate
check bad-pid             2 ""             "'00GZ'" read 00GZ 1
check pid-five-digits     2 ""             "'0001A'" read 0001A 1
check pid-upper-bits      2 ""             "'0001000A'" read 0001000A 1
check pid-prefixed-long   2 ""             "'0x1000A'" firmware 0x1000A
check pid-empty           2 ""             "PID" read "" 1
check channel-zero        2 ""             "CHANNEL" read 000A 0
check channel-seven       2 ""             "CHANNEL" read 000A 7
check channel-eight       2 ""             "CHANNEL" read 000A 8
check bad-mode            2 ""             "--mode must be 0 or 1" read 000A 1 --mode 2
check empty-mode          2 ""             "--mode must be 0 or 1" read 000A 1 --mode=
check mode-missing        2 ""             "--mode needs a value" read 000A 1 --mode
check count-missing       2 ""             "--count needs a value" watch 000A --count
check interval-missing    2 ""             "--interval needs a value" watch 000A --interval
check unknown-option      2 ""             "unknown option '--bogus'" read 000A 1 --bogus=3
check unknown-short       2 ""             "unknown option '-x'" -x list
check foreign-option      2 ""             "--mode does not apply to list" list --mode 1
check watch-takes-no-mode 2 ""             "--mode does not apply to watch" watch 000A --mode 1
check read-takes-no-count 2 ""             "--count does not apply to read" read 000A 1 --count 2
check extra-argument      2 ""             "unexpected argument 'extra'" firmware 000A extra
check read-extra          2 ""             "unexpected argument '9'" read 000A 1 9
check list-argument       2 ""             "list takes no arguments" list 000A
check bad-count           2 ""             "--count" watch 000A --count 0
check bad-interval        2 ""             "--interval" watch 000A --interval -5
check bad-format          2 ""             "--format must be text, csv or jsonl" watch 000A --format xml
check read-takes-no-format 2 ""           "--format does not apply to read" read 000A 1 --format csv
check missing-pid         2 ""             "watch needs PID" watch
check read-missing-channel 2 ""            "read needs PID and CHANNEL" read 000A

# Only vendor-0000 devices that cannot be opened are named.
printf '[device]\nproduct-id = 000C\nfault = busy\n' > "$work/only-busy.sim"
KESTRANE_SIMULATION="$work/only-busy.sim"
check list-only-unopenable 1 ""            "$udev" list
printf '[device]\nvendor-id = 046D\nfault = busy\n' > "$work/foreign-busy.sim"
KESTRANE_SIMULATION="$work/foreign-busy.sim"
check list-foreign-unopenable 0 "No boards found." "" list

# A bus that cannot be listed: the simulation file is missing.
KESTRANE_SIMULATION="$work/missing.sim"
check unlistable          1 ""             "cannot be listed" list

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
