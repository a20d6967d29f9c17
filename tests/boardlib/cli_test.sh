#!/bin/sh
# Runs kestrane-board against a simulation file and checks each command's
# output and exit code. Usage: cli_test.sh TOOL WORKDIR
set -u
tool="$1"
work="$2"
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
# check NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
check() {
  name="$1"; want_rc="$2"; want_out="$3"; shift 3
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
  echo "ok   $name"
}

nl='
'
check read-mode1          0 "+ 0.197734"   read 000A 1 --mode 1
check read-mode1-negative 0 "- 0.000188"   read 000A 2 --mode 1
check read-mode1-full     0 "+ 202.671265" read 000A 3 --mode 1
check read-mode0          0 "1074790592"   read 000A 1
check read-mode0-explicit 0 "-1073741824"  read 000a 4 --mode 0
check read-volts          0 "- 11.949992"  read 000A 5 --mode 1
check read-shunt          0 "+ 0.037502"   read 0x000A 6 --mode 1
check firmware            0 "KESTRANE FW 2.14" firmware 000A
check list                1 "000A  product \"KESTRANEUNIT\"  manufacturer \"Morvane\"  version 0214${nl}000B  product \"Other Thing\"  manufacturer \"Morvane\"  version 0001" list
check watch               0 "1: + 0.197734   2: - 0.000188   3: + 202.671265   4: + 0.000212   5: - 11.949992   6: + 0.037502${nl}1: + 0.197734   2: - 0.000188   3: + 202.671265   4: + 0.000212   5: - 11.949992   6: + 0.037502" watch 000A --count 2 --interval 0
check help                0 "*"            --help
check absent-board        1 ""             read 000D 1
check upper-bits          1 ""             read 0001000A 1
check read-fails          1 ""             read 000B 1 --mode 1
check busy-board          1 ""             firmware 000C
check watch-fails         1 ""             watch 000B --count 1 --interval 0
check no-command          2 ""
check unknown-command     2 ""             frobnicate
check bad-pid             2 ""             read 00GZ 1
check pid-too-long        2 ""             read 123456789 1
check channel-zero        2 ""             read 000A 0
check channel-seven       2 ""             read 000A 7
check channel-eight       2 ""             read 000A 8
check bad-mode            2 ""             read 000A 1 --mode 2
check mode-missing        2 ""             read 000A 1 --mode
check extra-argument      2 ""             firmware 000A extra
check list-argument       2 ""             list 000A
check bad-count           2 ""             watch 000A --count 0
check bad-interval        2 ""             watch 000A --interval -5
check missing-pid         2 ""             watch

# The listing names a vendor-0000 device it cannot open and points to the
# udev rule, also when it is the only one.
"$tool" list >/dev/null 2>"$work/stderr"
if grep -q 'sim:2 (vendor 0000, product 000C) cannot be opened.*udev rule (README, "Giving users access to the board")' "$work/stderr"; then
  echo "ok   list-unopenable-message"
else
  echo "FAIL list-unopenable-message"; cat "$work/stderr"; failures=$((failures + 1))
fi
printf '[device]\nproduct-id = 000C\nfault = busy\n' > "$work/only-busy.sim"
KESTRANE_SIMULATION="$work/only-busy.sim" check list-only-unopenable 1 "" list
printf '[device]\nvendor-id = 046D\nfault = busy\n' > "$work/foreign-busy.sim"
KESTRANE_SIMULATION="$work/foreign-busy.sim" check list-foreign-unopenable 0 "No boards found." list

# A bus that cannot be listed: the simulation file is missing.
KESTRANE_SIMULATION="$work/missing.sim"
check unlistable          1 ""             list

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
