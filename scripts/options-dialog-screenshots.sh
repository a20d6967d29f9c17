#!/bin/bash
# Photographs the Voltmeter Options dialog, with a window manager's title
# bar, on a 1366 x 768 screen and on a 1920 x 1080 screen at 150 % scaling,
# into docs/screenshots/. Needs Xvfb, twm and ImageMagick's import.
# Usage: scripts/options-dialog-screenshots.sh [build-dir] [display-number]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
display=:${2:-57}
program=$build/tests/dialogs/options_dialog_screenshot
out=docs/screenshots
mkdir -p "$out"
# twm with the server's built-in font, so no X font package is needed.
twmrc=$(mktemp)
trap 'rm -f "$twmrc"' EXIT
printf '%s\n' 'TitleFont "fixed"' 'ResizeFont "fixed"' 'MenuFont "fixed"' 'IconFont "fixed"' \
    'IconManagerFont "fixed"' 'RandomPlacement' 'NoGrabServer' 'DecorateTransients' >"$twmrc"
ninja -C "$build" options_dialog_screenshot >/dev/null

shoot() {
    local size=$1 scale=$2 file=$3
    Xvfb "$display" -screen 0 "${size}x24" -br -nolisten tcp &
    local xvfb=$!
    for _ in $(seq 50); do DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
    DISPLAY=$display LANG=C twm -f "$twmrc" >/dev/null 2>&1 &
    local wm=$!
    sleep 0.5
    DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$program" 6000 &
    local app=$!
    sleep 4
    DISPLAY=$display import -window root "$out/$file"
    wait "$app" || true
    kill "$wm" "$xvfb" 2>/dev/null || true
    wait "$wm" "$xvfb" 2>/dev/null || true
    echo "$out/$file"
}

shoot 1366x768 1 options-dialog-1366x768.png
shoot 1920x1080 1.5 options-dialog-1920x1080-150.png
