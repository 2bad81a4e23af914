#!/usr/bin/env bash
# Velmora's own program at rest and its open dialog, on a private display: CPU time, context
# switches, threads and resident memory over 5 s with the window open, then Get Mid File -> the
# "Open File" dialog visible (the first showing, which loads the dialog's toolkit, and later ones),
# then the same rest figures again with the dialog closed.
#   bench/program_idle.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target velmora -j2 >/dev/null

exec "$root/tests/desktop_session.sh" bash -c '
  program=$1
  cd "$(dirname "$0")/../resources/demo"
  "$program" & pid=$!
  trap "kill $pid 2>/dev/null" EXIT
  window=$(xdotool search --sync --onlyvisible --name "^Velmora$" | head -1)
  sleep 1
  switches() { cat /proc/$pid/task/*/status | awk "/ctxt_switches/ {n += \$2} END {print n}"; }
  ticks() { awk "{print \$14 + \$15}" /proc/$pid/stat; }
  rest() {
    s0=$(switches); t0=$(ticks); sleep 5; s1=$(switches); t1=$(ticks)
    echo "at rest, $1, 5 s: $(( (t1 - t0) * 1000 / $(getconf CLK_TCK) )) ms CPU," \
      "$(( s1 - s0 )) context switches, $(ls /proc/$pid/task | wc -l) thread(s)," \
      "$(awk "/VmRSS/ {print int(\$2 / 1024)}" /proc/$pid/status) MiB resident"
  }
  rest "window open"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  for showing in first second third fourth; do
    start=$(date +%s%N)
    xdotool mousemove $((X + 80)) $((Y + 20)) click 1
    until dialog=$(xdotool search --onlyvisible --name "^Open File$" 2>/dev/null | head -1) &&
      [ -n "$dialog" ]; do :; done
    echo "Get Mid File -> Open File visible, $showing showing: $(( ($(date +%s%N) - start) / 1000000 )) ms"
    sleep 0.3
    xdotool windowfocus --sync "$dialog" key Escape
    while xdotool search --onlyvisible --name "^Open File$" >/dev/null; do sleep 0.05; done
    sleep 0.3
  done
  rest "after the dialog"
' "$0" "$build/velmora"
