#!/bin/sh
# Starts a private PulseAudio server with a null sink for the sound tests,
# in its own runtime folder, so no sound card or user session is needed.
# Always exits 0: the tests skip with a message when the socket is missing.
dir="$1"
rm -rf "$dir"
mkdir -p "$dir" && chmod 700 "$dir" || exit 0
command -v pulseaudio >/dev/null 2>&1 || { echo "pulseaudio not installed"; exit 0; }
HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
    -L "module-null-sink sink_name=kestrane_null" \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    --log-target=file:"$dir/pulse.log" >/dev/null 2>&1 &
echo $! > "$dir/pid"
i=0
while [ ! -S "$dir/native" ] && [ $i -lt 100 ]; do
  sleep 0.1
  i=$((i + 1))
done
[ -S "$dir/native" ] && echo "PulseAudio running at $dir/native" || echo "PulseAudio did not start"
exit 0
