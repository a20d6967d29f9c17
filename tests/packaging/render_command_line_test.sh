#!/usr/bin/env bash
# plotwick-render's command line, run for real: --help and --version on
# standard output with exit 0, both --option=value and --option value,
# usage errors on standard error with exit 2, failures on a named file with
# exit 1, and '-' as the output writing the same PNG to standard output.
#   render_command_line_test.sh PLOTWICK_RENDER VERSION
set -uo pipefail
render="$1"
version="$2"
work="$(mktemp -d /tmp/kestrane-render-cli.XXXXXX)"
trap 'rm -rf "$work"' EXIT
printf '07 Dec 2026;01:00:00 PM;+ 12.305\r\n07 Dec 2026;01:00:10 PM;+ 12.405\r\n' >"$work/c.log"
log="$work/c.log"
png="$work/out.png"

failures=0
# check NAME EXPECTED_STATUS STREAM(out|err|none) PATTERN -- ARGS...
check() {
  local name="$1" want="$2" stream="$3" pattern="$4"
  shift 5
  "$render" "$@" >"$work/stdout" 2>"$work/stderr"
  local status=$? ok=1
  [ "$status" -eq "$want" ] || { ok=0; echo "  exit $status, expected $want"; }
  case "$stream" in
    out)
      grep -qE -- "$pattern" "$work/stdout" || { ok=0; echo "  stdout lacks /$pattern/"; }
      [ ! -s "$work/stderr" ] || { ok=0; echo "  unexpected stderr: $(head -n 2 "$work/stderr")"; }
      ;;
    err)
      grep -qE -- "$pattern" "$work/stderr" || { ok=0; echo "  stderr lacks /$pattern/: $(head -n 2 "$work/stderr")"; }
      [ ! -s "$work/stdout" ] || { ok=0; echo "  unexpected stdout"; }
      ;;
    none)
      [ ! -s "$work/stdout" ] && [ ! -s "$work/stderr" ] || { ok=0; echo "  unexpected output"; }
      ;;
  esac
  if [ $ok -eq 1 ]; then echo "PASS $name"; else echo "FAIL $name ($*)"; failures=$((failures + 1)); fi
}

check "help" 0 out '^Usage: plotwick-render .*LOGFILE OUT.png' -- --help
check "short help" 0 out '^Usage: plotwick-render' -- -h
check "version" 0 out "^plotwick-render $version\$" -- --version
check "size with =" 0 none '' -- "$log" "$png" --size=100x50
check "size as next argument" 0 none '' -- "$log" "$png" --size 100x50
check "view and hover with =" 0 none '' -- "$log" "$png" --view=10,200 --hover=3,4 --amps
check "view and hover as two arguments" 0 none '' -- "$log" "$png" --view 10 200 --hover 3 4
check "options before the files" 0 none '' -- --size 80x40 "$log" "$png"
check "missing value at the end" 2 err '^plotwick-render: --size needs a value' -- "$log" "$png" --size
check "missing view value" 2 err '^plotwick-render: --view needs a value' -- "$log" "$png" --view
check "bad size" 2 err "bad --size '0x5'" -- "$log" "$png" --size 0x5
check "bad size text" 2 err "bad --size 'big'" -- "$log" "$png" --size=big
check "bad view" 2 err "bad --view '10'" -- "$log" "$png" --view=10
check "unknown option" 2 err "unknown option '--bogus'" -- "$log" "$png" --bogus
check "missing output" 2 err 'missing arguments' -- "$log"
check "extra argument" 2 err "unexpected argument 'more'" -- "$log" "$png" more
check "log missing" 1 err "cannot load log file" -- "$work/none.log" "$png"
check "output unwritable" 1 err "cannot write PNG file" -- "$log" "$work/no/such/dir/out.png"

# '-' writes the very PNG the file output holds.
"$render" "$log" "$work/file.png" --size 120x60 && "$render" "$log" - --size 120x60 >"$work/stream.png"
if cmp -s "$work/file.png" "$work/stream.png" && [ "$(head -c 4 "$work/stream.png" | od -An -tx1 | tr -d ' ')" = "89504e47" ]; then
  echo "PASS dash writes the PNG to stdout"
else
  echo "FAIL dash writes the PNG to stdout"
  failures=$((failures + 1))
fi

if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all cases passed"
