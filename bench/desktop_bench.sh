#!/usr/bin/env bash
# Velmora's program on a private desktop (tests/desktop_session.sh: Xvfb, the accessibility bus),
# as a user meets it: start to the window mapped (and the CPU time the process has used by then,
# which other work on the machine changes less), resident memory with the window open, the
# "Open File" dialog mapped after a click on Get Mid File (the first showing, which loads the
# chooser, and three later ones), memory after the dialog, and CPU time and context switches over
# 5 s at rest before and after it (and, in the first run, once the dialog's worker threads have
# ended). Then the ways in: started with a file, to the window mapped and to the first sound; a
# second launch with another file, to its first sound and to its own end. Each run is a fresh
# process; medians of RUNS runs (7), printed beside reference figures for FLTK 1.3 and a GTK 3
# prototype of the same window: constants from an earlier measurement, not measured by this script.
#   bench/desktop_bench.sh [BUILD_DIR]     RUNS=11 for more runs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target velmora -j2 >/dev/null

exec "$root/tests/desktop_session.sh" bash -c '
  set -euo pipefail
  program=$1 runs=${RUNS:-7} out=$(mktemp -d) bench=$(cd "$(dirname "$0")" && pwd)
  trap "kill \$(jobs -p) 2>/dev/null; rm -rf $out" EXIT
  # A piece that plays 30 s of silence: one rest, then its end.
  printf "MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\6\201\207\100\377\57\0" >"$out/silent.mid"
  cd "$(dirname "$0")/../resources/demo"
  # Top-level windows mapped on the display, a line each with the moment it was seen, read from a
  # pipe: the wait for the next one blocks instead of polling, which would take CPU from the
  # program it times (the machine may have two cores, shared with Xvfb and the accessibility bus).
  mkfifo "$out/maps"
  stdbuf -oL xev -root -event substructure | while read -r line; do
    [[ $line == MapNotify* ]] && echo "${EPOCHREALTIME/./}"; done >"$out/maps" &
  exec 3<"$out/maps"
  sleep 0.5
  forget_maps() { while read -r -t 0.05 _ <&3; do :; done; }
  map_ms=0
  next_map_since() {  # waits for the next map; map_ms: ms from $1 to it
    local seen && read -r seen <&3 && map_ms=$(( (seen - $1) / 1000 ))
  }
  rss() { awk "/VmRSS/ {printf \"%.1f\", \$2 / 1024}" /proc/$pid/status; }
  switches() {  # context switches by thread: id count
    for task in /proc/$pid/task/*; do
      echo "${task##*/} $(awk "/ctxt_switches/ {n += \$2} END {print n}" "$task/status")"; done
  }
  rest() {  # CPU ms of the process, and context switches of its threads (new ones whole) over 5 s
    local t0; switches >"$out/switches" && t0=$(awk "{print \$14 + \$15}" /proc/$pid/stat)
    sleep 5
    echo "$(( ($(awk "{print \$14 + \$15}" /proc/$pid/stat) - t0) * 1000 / $(getconf CLK_TCK) ))" \
      "$(switches | awk -v f="$out/switches" "BEGIN {while ((getline l < f) > 0) {split(l, a); n[a[1]] = a[2]}}
        {s += \$2 - n[\$1]} END {print s}")"
  }
  for run in $(seq "$runs"); do
    forget_maps && start=${EPOCHREALTIME/./}
    "$program" & pid=$!
    next_map_since "$start" && echo "start $map_ms" >>"$out/figures"
    echo "start_cpu $(cat /proc/$pid/task/*/schedstat | awk "{ns += \$1} END {print int(ns / 1e6)}")" >>"$out/figures"
    window=$(xdotool search --sync --onlyvisible --name "^Velmora$" | head -1)
    sleep 1
    echo "rss_mapped $(rss)" >>"$out/figures"
    read -r cpu switches < <(rest) && echo "idle_cpu $cpu" "idle_switches $switches" | xargs -n2 >>"$out/figures"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    for showing in first later later later; do
      xdotool mousemove $((X + 80)) $((Y + 20)) && forget_maps && start=${EPOCHREALTIME/./}
      xdotool click 1 && next_map_since "$start" && echo "dialog_$showing $map_ms" >>"$out/figures"
      dialog=$(xdotool search --sync --onlyvisible --name "^Open File$" | head -1)
      sleep 0.3 && xdotool windowfocus --sync "$dialog" key Escape
      while xdotool search --onlyvisible --name "^Open File$" >/dev/null; do sleep 0.05; done
      sleep 0.3
    done
    echo "rss_dialog $(rss)" >>"$out/figures"
    read -r cpu switches < <(rest) && echo "after_cpu $cpu" "after_switches $switches" | xargs -n2 >>"$out/figures"
    if [ "$run" -eq 1 ]; then  # once the worker threads of the dialog have ended (15 s idle)
      sleep 11 && read -r cpu switches < <(rest) && echo "later_cpu $cpu" "later_switches $switches" | xargs -n2 >>"$out/figures"
    fi
    kill -TERM $pid && wait $pid

    # Opened with a file: launch to first sound and to the window mapped. Then a second launch
    # with another file while the first plays a silent piece: to the new first sound, and to the
    # second process gone.
    forget_maps
    read -r start heard pid < <("$bench/first_sound.py" "$program" velmora-demo.mid)
    next_map_since "$start" && echo "file_start $map_ms" >>"$out/figures"
    echo "file_sound $heard" >>"$out/figures"
    sleep 1 && echo "rss_file $(rss)" >>"$out/figures"
    kill -TERM $pid && sleep 2
    "$program" "$out/silent.mid" & pid=$!
    next_map_since "${EPOCHREALTIME/./}" && sleep 1
    read -r _ heard ended _ < <("$bench/first_sound.py" --wait "$program" velmora-demo.mid)
    echo "handed_sound $heard" "handed_gone $ended" | xargs -n2 >>"$out/figures"
    kill -TERM $pid && wait $pid
  done
  median() { awk -v k="$1" "\$1 == k {print \$2}" "$out/figures" | sort -n |
    awk "{v[NR] = \$1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}"; }
  range() { awk -v k="$1" "\$1 == k {print \$2}" "$out/figures" | sort -n | sed -n "1p;\$p" | paste -sd-; }
  echo "FLTK 1.3 and GTK prototype: reference constants from an earlier measurement, not measured here"
  printf "%-40s %10s %14s %16s\n" "medians of $runs runs (range)" "FLTK 1.3" "GTK prototype" "Velmora (GTK 3)"
  row() { printf "%-40s %10s %14s %16s\n" "$1" "$2" "$3" "$(median "$4") ($(range "$4"))"; }
  row "start -> window mapped, ms" 16 46 start
  row "  CPU time spent by then, ms" - - start_cpu
  row "memory with the window mapped, MiB" 6.9 23.2 rss_mapped
  row "Open File mapped after the click, ms" 30 54 dialog_first
  row "  later showings, ms" 10 36 dialog_later
  row "memory after the dialog, MiB" 24.0 30.0 rss_dialog
  row "velmora FILE: start -> window mapped, ms" - - file_start
  row "  start -> first sound, ms" - - file_sound
  row "  memory 1 s after its sound, MiB" - - rss_file
  row "second launch with a file -> its sound, ms" - - handed_sound
  row "  -> the second process gone, ms" - - handed_gone
  row "at rest 5 s: CPU ms" - - idle_cpu
  row "at rest 5 s: context switches" - - idle_switches
  row "at rest 1-6 s after the dialog: CPU ms" - - after_cpu
  row "  context switches" - - after_switches
  row "at rest 17-22 s after it (run 1): CPU ms" - - later_cpu
  row "  context switches" - - later_switches
' "$0" "$build/velmora"
