#!/usr/bin/env bash
# scripts/services/pulseaudio.sh chooses the sound server for the real-audio
# tests. With fake programs first on a PATH that holds nothing else of
# sound: no server at all gives a reason in STATE/unavailable (and exit 0,
# so the tests skip with it); PipeWire's trio is started privately, gets the
# null sink, and is stopped again.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d /tmp/kestrane-sound-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT
tools="$work/tools"
mkdir -p "$tools"
# Only the basic tools the script needs, so no real sound program is found.
for t in bash cat mkdir mktemp chmod rm seq sleep tail tr setsid dirname; do
  ln -s "$(command -v "$t")" "$tools/$t"
done

failures=0
check() {
  if eval "$2"; then echo "PASS $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

# No server installed.
state="$work/none"
PATH="$tools" bash "$root/scripts/services/pulseaudio.sh" start "$state" 2>/dev/null
status=$?
check "no server: start exits 0" '[ $status -eq 0 ]'
check "no server: the reason is written" 'grep -q "no Pulse-compatible server" "$state/unavailable" 2>/dev/null'
check "no server: no address" '[ ! -e "$state/server" ]'

# PipeWire: each fake daemon stays up until killed; pactl answers once the
# Pulse socket's folder exists and logs what it is asked.
fakes="$work/fakes"
mkdir -p "$fakes"
for d in pipewire wireplumber pipewire-pulse; do
  printf '#!%s\nwhile :; do sleep 1; done\n' "$(command -v bash)" >"$fakes/$d"
done
cat >"$fakes/pactl" <<EOF2
#!$(command -v bash)
echo "\$PULSE_SERVER \$*" >>"$work/pactl.log"
exit 0
EOF2
chmod +x "$fakes"/*
state="$work/pipewire"
PATH="$fakes:$tools" bash "$root/scripts/services/pulseaudio.sh" start "$state" 2>/dev/null
status=$?
check "pipewire: start exits 0" '[ $status -eq 0 ]'
check "pipewire: the address is written" 'grep -q "^unix:/tmp/kestrane-pulse\..*/pulse/native$" "$state/server" 2>/dev/null'
check "pipewire: the null sink is loaded" 'grep -q "load-module module-null-sink sink_name=kestrane_null" "$work/pactl.log"'
check "pipewire: it becomes the default sink" 'grep -q "set-default-sink kestrane_null" "$work/pactl.log"'
pids=()
for d in pipewire wireplumber pipewire-pulse; do pids+=("$(cat "$state/$d.pid" 2>/dev/null)"); done
check "pipewire: three daemons run" '[ ${#pids[@]} -eq 3 ] && kill -0 "${pids[0]}" "${pids[1]}" "${pids[2]}" 2>/dev/null'
runtime="$(cat "$state/runtime" 2>/dev/null)"
PATH="$fakes:$tools" bash "$root/scripts/services/pulseaudio.sh" stop "$state" 2>/dev/null
sleep 0.3
check "pipewire: stop ends the daemons" '! kill -0 "${pids[0]}" 2>/dev/null && ! kill -0 "${pids[1]}" 2>/dev/null && ! kill -0 "${pids[2]}" 2>/dev/null'
check "pipewire: stop removes the runtime folder" '[ -n "$runtime" ] && [ ! -e "$runtime" ]'
for p in "${pids[@]}"; do [ -n "$p" ] && kill "$p" 2>/dev/null; done

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
