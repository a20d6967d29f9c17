#!/usr/bin/env bash
# A private PulseAudio daemon with one null sink ("kestrane_null"), for tests
# that play real audio and record it back from the sink's monitor. Where
# pulseaudio is not installed (a PipeWire desktop, where installing it would
# remove pipewire-pulse), a private PipeWire with its Pulse server
# (pipewire, wireplumber, pipewire-pulse) serves instead.
#
#   pulseaudio.sh start STATE_DIR   start it; STATE_DIR/server then holds the
#                                   PULSE_SERVER address, or STATE_DIR/unavailable
#                                   says why no daemon could be started
#   pulseaudio.sh stop STATE_DIR    stop it and remove its files
#
# Start always exits 0 so the tests that need the daemon run and skip with
# the reason instead of being reported as not run. The socket lives in a
# short temporary directory because socket paths are limited to 107 bytes.
set -u

cmd="${1:-}"
state="${2:-}"
if [ -z "$cmd" ] || [ -z "$state" ]; then
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
fi

# Ends one daemon this script started: STATE/<file> holds its pid, and it
# must still be the named program.
stop_one() {
  local file="$1" name="$2" pid
  [ -f "$state/$file" ] || return 0
  pid="$(cat "$state/$file")"
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
  fi
}

stop_daemon() {
  stop_one pid pulseaudio
  stop_one pipewire-pulse.pid pipewire-pulse
  stop_one wireplumber.pid wireplumber
  stop_one pipewire.pid pipewire
  if [ -f "$state/runtime" ]; then
    local runtime
    runtime="$(cat "$state/runtime")"
    case "$runtime" in
      /tmp/kestrane-pulse.*) rm -rf "$runtime" ;;
    esac
  fi
  rm -rf "$state"
}

unavailable() {
  echo "$1" > "$state/unavailable"
  echo "pulseaudio.sh: $1" >&2
  exit 0
}

# Waits for the Pulse server at $1, then adds the null sink and makes it the
# default through pactl (PipeWire's Pulse server has no startup script).
wait_for_server() {
  local server="$1" daemon_pid="$2" log="$3"
  for _ in $(seq 1 100); do
    if PULSE_SERVER="$server" pactl info >/dev/null 2>&1; then
      return 0
    fi
    if ! kill -0 "$daemon_pid" 2>/dev/null; then
      unavailable "the server exited: $(tail -n 3 "$log" | tr '\n' ' ')"
    fi
    sleep 0.2
  done
  unavailable "the server did not answer within 20 s"
}

# A private PipeWire graph with its session manager and Pulse server, all in
# the temporary directory; the desktop's own sound server is not touched.
start_pipewire() {
  runtime="$(mktemp -d /tmp/kestrane-pulse.XXXXXX)" || unavailable "no temporary directory"
  echo "$runtime" > "$state/runtime"
  mkdir -p "$runtime/home" "$runtime/pulse"
  chmod 700 "$runtime"
  export HOME="$runtime/home" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/home"
  export XDG_STATE_HOME="$runtime/state" PIPEWIRE_RUNTIME_DIR="$runtime" PULSE_RUNTIME_PATH="$runtime/pulse"
  unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
  local daemon
  for daemon in pipewire wireplumber pipewire-pulse; do
    setsid "$daemon" </dev/null >"$runtime/$daemon.log" 2>&1 &
    echo $! > "$state/$daemon.pid"
    sleep 0.5
  done
  server="unix:$runtime/pulse/native"
  wait_for_server "$server" "$(cat "$state/pipewire-pulse.pid")" "$runtime/pipewire-pulse.log"
  PULSE_SERVER="$server" pactl load-module module-null-sink sink_name=kestrane_null \
    rate=48000 channels=2 >/dev/null 2>&1 || unavailable "PipeWire's Pulse server refused the null sink"
  PULSE_SERVER="$server" pactl set-default-sink kestrane_null >/dev/null 2>&1
  PULSE_SERVER="$server" pactl set-default-source kestrane_null.monitor >/dev/null 2>&1
  echo "$server" > "$state/server"
  exit 0
}

case "$cmd" in
  start)
    stop_daemon
    mkdir -p "$state"
    if ! command -v pulseaudio >/dev/null 2>&1; then
      if command -v pipewire >/dev/null 2>&1 && command -v pipewire-pulse >/dev/null 2>&1 &&
        command -v wireplumber >/dev/null 2>&1; then
        start_pipewire
      fi
      unavailable "no Pulse-compatible server: neither pulseaudio nor pipewire, wireplumber and pipewire-pulse are installed"
    fi
    runtime="$(mktemp -d /tmp/kestrane-pulse.XXXXXX)" || unavailable "no temporary directory"
    echo "$runtime" > "$state/runtime"
    mkdir -p "$runtime/home" "$runtime/pulse"
    chmod 700 "$runtime"
    cat > "$runtime/default.pa" <<PA
load-module module-native-protocol-unix socket=$runtime/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=kestrane_null rate=48000 channels=2
set-default-sink kestrane_null
set-default-source kestrane_null.monitor
PA
    # Everything the daemon writes stays in the temporary directory.
    export HOME="$runtime/home" XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/home"
    export PULSE_RUNTIME_PATH="$runtime/pulse" PULSE_STATE_PATH="$runtime/state"
    unset PULSE_SERVER
    setsid pulseaudio --daemonize=no --system=false --disallow-exit --exit-idle-time=-1 \
      --use-pid-file=no --disable-shm=yes -n -F "$runtime/default.pa" --log-target=stderr \
      </dev/null >"$runtime/daemon.log" 2>&1 &
    echo $! > "$state/pid"
    server="unix:$runtime/pulse/native"
    for _ in $(seq 1 100); do
      if PULSE_SERVER="$server" pactl info >/dev/null 2>&1; then
        echo "$server" > "$state/server"
        exit 0
      fi
      if ! kill -0 "$(cat "$state/pid")" 2>/dev/null; then
        unavailable "the daemon exited: $(tail -n 3 "$runtime/daemon.log" | tr '\n' ' ')"
      fi
      sleep 0.2
    done
    unavailable "the daemon did not answer within 20 s"
    ;;
  stop)
    stop_daemon
    ;;
  *)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
