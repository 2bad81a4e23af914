#!/usr/bin/env bash
# Runs a command inside a private desktop: an Xvfb display at a known DPI and a PulseAudio server
# whose only sink is a null sink (these machines have no screen and no sound card). Everything
# started here is stopped when the command ends.
#   tests/desktop_session.sh COMMAND [ARGS...]
set -euo pipefail

session=$(mktemp -d /tmp/velmora-desktop.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$session"
}
trap cleanup EXIT

# Display: the first free number from 90 up.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1920x1080x24 -dpi 96 -nolisten tcp -noreset >"$session/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"

# Sound server: private runtime folder, null sink, socket inside the session folder.
mkdir -p "$session/runtime" "$session/home"
chmod 700 "$session/runtime"
XDG_RUNTIME_DIR="$session/runtime" HOME="$session/home" pulseaudio -n --daemonize=no \
  --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --load="module-null-sink sink_name=velmora_null" \
  --load="module-native-protocol-unix socket=$session/pulse.sock auth-anonymous=1" \
  >"$session/pulse.log" 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$session/pulse.sock"
export VELMORA_TEST_SINK=velmora_null

for _ in $(seq 1 100); do
  if xdpyinfo >/dev/null 2>&1 && pactl info >/dev/null 2>&1; then break; fi
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start:"; cat "$session/xvfb.log"; exit 1; }
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:"; cat "$session/pulse.log"; exit 1; }

"$@"
