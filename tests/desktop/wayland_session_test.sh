#!/usr/bin/env bash
# Runs the desktop tour (the connected main window, every dialog and a
# chart) under a headless weston compositor on Qt's Wayland platform. It
# passes when the tour logs no Qt warning and every toplevel window the
# client creates announces the app ID that equals the desktop entry's file
# name. The app ID is read from the client's own Wayland protocol log
# (WAYLAND_DEBUG=client): the xdg_toplevel.set_app_id requests it sends to
# the compositor. Skipped (77) where weston or Qt's Wayland platform is
# missing.
#   wayland_session_test.sh TOUR_PROGRAM DESKTOP_FILE
set -euo pipefail
tour=$1
desktopFile=$2
command -v weston >/dev/null || { echo "SKIP: weston is missing"; exit 77; }
appId=$(basename "$desktopFile" .desktop)

runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
socket=kestrane-test-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston=$!
cleanup() {
  kill "$weston" 2>/dev/null || true
  wait "$weston" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -S "$runtime/$socket" ] && break; sleep 0.1; done
[ -S "$runtime/$socket" ] || { echo "weston did not start"; cat "$runtime/weston.log"; exit 1; }

status=0
# The tour closes itself after 8 seconds (standard input stays open). The
# socket is named by its full path: the tour gives itself a private runtime
# folder for its board locks before it connects to the compositor.
WAYLAND_DISPLAY=$runtime/$socket QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
  "$tour" 8 < <(sleep 30) >"$runtime/tour.out" 2>"$runtime/tour.err" || status=$?
grep -v '^\[' "$runtime/tour.err" || true
cat "$runtime/tour.out"
if ! grep -q READY "$runtime/tour.out"; then
  echo "FAIL: the tour did not get as far as opening its windows"
  status=1
fi
toplevels=$(grep -c 'xdg_surface@[0-9]*\.get_toplevel' "$runtime/tour.err" || true)
ids=$(grep -o 'xdg_toplevel@[0-9]*\.set_app_id("[^"]*")' "$runtime/tour.err" | sed 's/.*set_app_id("\(.*\)")/\1/' | sort | uniq -c)
echo "toplevel windows: $toplevels; app IDs sent:"
echo "$ids"
if [ "$toplevels" -lt 8 ]; then
  echo "FAIL: expected the main window, six dialogs and a chart as toplevels"
  status=1
fi
if [ -z "$ids" ] || echo "$ids" | awk '{print $2}' | grep -vqx "$appId"; then
  echo "FAIL: an app ID other than $appId"
  status=1
fi
exit "$status"
