#!/usr/bin/env bash
# Velmora's own program at rest: started on a private display, left alone with its window open, it
# should use no CPU and wake up not once. Prints CPU time, context switches and threads over 5 s.
#   bench/program_idle.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target velmora -j2 >/dev/null

exec "$root/tests/desktop_session.sh" bash -c '
  program=$1
  "$program" & pid=$!
  trap "kill $pid 2>/dev/null" EXIT
  xdotool search --sync --onlyvisible --name "^Velmora$" >/dev/null
  sleep 1
  switches() { cat /proc/$pid/task/*/status | awk "/ctxt_switches/ {n += \$2} END {print n}"; }
  ticks() { awk "{print \$14 + \$15}" /proc/$pid/stat; }
  s0=$(switches); t0=$(ticks)
  sleep 5
  s1=$(switches); t1=$(ticks)
  threads=$(ls /proc/$pid/task | wc -l)
  echo "Velmora idle with its window open, 5 s: $(( (t1 - t0) * 1000 / $(getconf CLK_TCK) )) ms CPU, $(( s1 - s0 )) context switches, $threads thread(s)"
' _ "$build/velmora"
