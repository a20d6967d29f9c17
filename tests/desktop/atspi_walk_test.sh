#!/usr/bin/env bash
# Runs the desktop tour under Xvfb on a private D-Bus session bus with the
# accessibility bus started from it, and walks its windows over AT-SPI.
# Also checks that the main window's X11 class is the desktop entry's
# StartupWMClass. Skipped (77) where Xvfb, dbus-run-session or pyatspi is
# missing.
#   atspi_walk_test.sh TOUR_PROGRAM WALKER DESKTOP_FILE
set -euo pipefail
tour=$1
walker=$2
wmClass=$(sed -n 's/^StartupWMClass=//p' "$3")
for tool in xvfb-run dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
# The distribution's Python, where python3-pyatspi installs, even when
# another python3 comes first in PATH.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is missing"; exit 77; }
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is missing"; exit 77; }

inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -euo pipefail
tour=$1
walker=$2
python=$3
wmClass=$4
# The accessibility bus of this private session; Qt then exposes its tree.
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=0
out=$(mktemp)
coproc TOUR { exec "$tour" 60 >"$out" 2>&1; }
tourPid=$TOUR_PID
for _ in $(seq 300); do grep -q READY "$out" && break; sleep 0.1; done
status=0
grep -q READY "$out" || { echo "the tour did not start"; cat "$out"; status=2; }
if [ "$status" -eq 0 ]; then
  "$python" "$walker" "$tourPid" || status=$?
  window=$(xwininfo -root -tree | grep '"Morvane Kestrane"' | head -1 | awk '{print $1}')
  class=$(xprop -id "$window" WM_CLASS | sed 's/.*= //')
  echo "main window WM_CLASS: $class"
  case "$class" in
    *"\"$wmClass\"") ;;
    *) echo "FAIL: the window class is not the entry's StartupWMClass $wmClass"; status=1 ;;
  esac
fi
eval "exec ${TOUR[1]}>&-"
wait "$tourPid" || true
cat "$out" | grep -v READY || true
kill "$launcher" 2>/dev/null || true
rm -f "$out"
exit "$status"
INNER
xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- bash "$inner" "$tour" "$walker" "$python" "$wmClass"
