#!/bin/sh
# Stops the server started by pulse_start.sh, by the process id it saved.
dir="$1"
[ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null
rm -rf "$dir"
exit 0
