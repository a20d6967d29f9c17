#!/usr/bin/env bash
# Regenerates the user's guide pictures in docs/guide/ from the running
# client over the simulated demo boards, headless: an empty installation for
# the first-run Add Device dialog, and the demo installation (the settings
# run-demo.sh uses) for the main window, the Options and Logging dialogs, a
# chart, the live view and the main window reconnecting to a lost board. Runs under Xvfb when there is no display and xvfb-run is present,
# otherwise on Qt's offscreen platform.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${KESTRANE_BUILD_DIR:-$root/build}"
out="${1:-$root/docs/guide}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)" --target Kestrane kestrane-demo-settings kestrane-guide-shots

work="/tmp/kestrane-guide"  # a short path, as the dialogs show it
rm -rf "$work"
mkdir -p "$work/config" "$work/logs" "$work/shots"
# Everything stays in the scratch folder: the install record, both
# installations, the logs and the sounds.
export XDG_CONFIG_HOME="$work/config"
# A copy of the demo boards: the shots make them stop answering for a while.
cp "$root/packaging/demo/demo-board.sim" "$work/demo-board.sim"
export KESTRANE_SIMULATION="$work/demo-board.sim"
unset KESTRANE_ODBC
"$build/client/ui/Kestrane" --install "$work/empty" >/dev/null
"$build/client/ui/Kestrane" --install "$work/app" >/dev/null
"$build/client/ui/kestrane-demo-settings" "$work/app/Kestrane.MDB" "$work/logs/" >/dev/null

# shoot FOLDER [SCREEN]: one round of pictures into FOLDER.
shoot() {
  local shots=("$build/packaging/kestrane-guide-shots" "$1" "$work/empty/Kestrane" "$work/app/Kestrane"
    "$work/logs/house-battery.log")
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a -s "-screen 0 ${2:-1280x800}x24" "${shots[@]}"
  elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    QT_QPA_PLATFORM=offscreen "${shots[@]}"
  else
    "${shots[@]}"
  fi
}
shoot "$work/shots"
# The main window at 2x scaling, and the main window and a chart under a
# dark palette (the chart keeps its own colours inside the themed frame).
mkdir -p "$work/shots-2x" "$work/shots-dark"
QT_SCALE_FACTOR=2 shoot "$work/shots-2x" 2560x1600
KESTRANE_GUIDE_THEME=dark shoot "$work/shots-dark"
mkdir -p "$out"
cp "$work/shots/"*.png "$out/"
cp "$work/shots-2x/main-window.png" "$out/main-window-2x.png"
cp "$work/shots-dark/main-window.png" "$out/main-window-dark.png"
cp "$work/shots-dark/chart.png" "$out/chart-dark.png"
echo "Guide pictures written to $out"
