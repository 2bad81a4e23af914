#!/usr/bin/env bash
# Runs a command inside a private desktop: an Xvfb display at 96 DPI, 1920 x 1080, a PulseAudio
# server whose only sink is a null sink (these machines have no screen and no sound card), and a
# session bus with the accessibility bus that screen readers read (AT-SPI).
# Everything started here is stopped when the command ends.
#   tests/desktop_session.sh COMMAND [ARGS...]
set -euo pipefail
session=$(mktemp -d /tmp/velmora-desktop.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$session"' EXIT

display=90  # the first free number from 90 up
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1920x1080x24 -dpi 96 -nolisten tcp -noreset >"$session/xvfb.log" 2>&1 &
mkdir -m 700 "$session/runtime"
XDG_RUNTIME_DIR="$session/runtime" HOME="$session" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --disallow-exit --use-pid-file=no --load="module-null-sink sink_name=velmora_null" \
  --load="module-native-protocol-unix socket=$session/pulse.sock auth-anonymous=1" >"$session/pulse.log" 2>&1 &
dbus-daemon --session --nofork --address="unix:path=$session/bus" >"$session/dbus.log" 2>&1 &
export DISPLAY=":$display" PULSE_SERVER="unix:$session/pulse.sock" VELMORA_TEST_SINK=velmora_null \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$session/bus"
for _ in $(seq 100); do [ -S "$session/bus" ] && break; sleep 0.1; done
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$session/atspi.log" 2>&1 &
a11y() { dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress; }
for _ in $(seq 100); do xdpyinfo && pactl info && a11y && break; sleep 0.1; done >/dev/null 2>&1
xdpyinfo >/dev/null 2>&1 || { cat "$session/xvfb.log"; exit 1; }
pactl info >/dev/null 2>&1 || { cat "$session/pulse.log"; exit 1; }
"$@"
