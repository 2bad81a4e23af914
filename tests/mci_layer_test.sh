#!/usr/bin/env bash
# The Linux MCI layer as the program uses it, through mci_console, sound going to FluidSynth's file
# driver writing /dev/null:
#   codes     every kind of file and command gets its code (tests/mci_layer.codes) within a second,
#             every file of tests/midi-corpus opens and plays but the two that are not MIDI, and a
#             missing SoundFont and a missing sound output get theirs
#   big       a 20 MB file plays and its memory is given back; a file too big for the memory says
#             so; the SoundFont is read once; the output's thread ends after close
#   soak      1000 Play/Stop cycles keep memory, open files and threads flat
#   memcheck  valgrind finds no error and no leak on open, play and close
#   differential WINDOWS_CONSOLE  tests/mci_differential.commands through Wine's winmm as well: the
#             same code for every command but those marked as differing on purpose
# tests/mci_layer_test.sh CONSOLE CASE [WINDOWS_CONSOLE]
set -euo pipefail
console=$1 case=$2 here=$(cd "$(dirname "$0")" && pwd)
export VELMORA_AUDIO_DRIVER=file VELMORA_AUDIO_FILE=/dev/null
dir=$(mktemp -d)/
trap 'rm -rf "$dir"; [ -z "${layer_PID:-}" ] || kill "$layer_PID"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
tune=$here/../resources/demo/velmora-demo.mid

start() { coproc layer { exec "$@" "$console"; }; }
# Sends one command and waits for its answer: $code and $text.
send() { echo "$1" >&"${layer[1]}" && IFS=$'\t' read -r code text <&"${layer[0]}"; }
proc() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$layer_PID/$1"; }
settle() { for _ in $(seq 200); do [ "$(proc status Threads)" = 1 ] && return; sleep 0.01; done; }

case $case in
codes)
  cp "$tune" "${dir}tune.mid" && cp "$tune" "${dir}a b ü'\"@&.mid" && mkdir "${dir}folder.mid"
  : >"${dir}empty.mid" && printf 'MThd\0\0\0\6\0\0\0\1\0\140' >"${dir}header.mid"
  echo "notes, not a tune" >"${dir}text.mid" && mkfifo "${dir}fifo.mid"
  ln -s loop.mid "${dir}loop.mid" && truncate -s 1T "${dir}terabyte.mid"
  python3 -c 'import sys, struct; d = open(sys.argv[1], "rb").read(); sys.stdout.buffer.write(b"RIFF" +
struct.pack("<I", len(d) + 12) + b"RMIDdata" + struct.pack("<I", len(d)) + d)' "$tune" >"${dir}riff.rmi"
  cp "${dir}riff.rmi" "${dir}RIFF.RMI" && cp "${dir}riff.rmi" "${dir}riff.mid"
  start
  while IFS=$'\t' read -r expected command; do
    command=${command//@DIR@/$dir} began=$(date +%s%N)
    send "$command"
    echo "$code $command"
    [ "$code" = "$expected" ] || fail "$command: $code, not $expected ($text)"
    [ $(($(date +%s%N) - began)) -lt 1000000000 ] || fail "$command kept the caller a second"
  done < <(grep -v -e '^#' -e '^$' "$here/mci_layer.codes")
  for file in "$here"/midi-corpus/*.mid; do  # the corpus: all open and play but the two not MIDI
    case $(basename "$file") in test-empty-file.mid | test-not-a-midi-file.mid) expected=296 ;; *) expected=0 ;; esac
    send "open \"$file\" type sequencer alias c"; [ "$code" = "$expected" ] || fail "$file: $code"
    send "play c"; send "close c"
  done
  for setting in "VELMORA_SOUNDFONT=/nowhere.sf2 266" "VELMORA_AUDIO_DRIVER=nowhere 343"; do
    kill "$layer_PID"; wait "$layer_PID" || true
    start env "${setting% *}"
    send "open $tune type sequencer alias m"; [ "$code" = "${setting#* }" ] || fail "$setting: $code"
  done ;;
big)
  python3 -c 'import sys; n = b"\0\x90\x3c\x64" + b"\1\x3c\x64" * 6666666 + b"\0\xff\x2f\0"
sys.stdout.buffer.write(b"MThd\0\0\0\6\0\0\0\1\0\x60MTrk" + len(n).to_bytes(4, "big") + n)' >"${dir}big.mid"
  start
  send "open $tune type sequencer alias m"; read0=$(proc io rchar); send "close m"; settle
  send "open $tune type sequencer alias m"; [ $(($(proc io rchar) - read0)) -lt 100000 ] ||
    fail "the second open read the SoundFont again"
  send "close m"; settle; before=$(proc status VmRSS)
  send "open ${dir}big.mid type sequencer alias m"; [ "$code" = 0 ] || fail "20 MB: $code $text"
  send "play m"; for _ in $(seq 100); do [ "$(proc status VmRSS)" -gt $((before + 200000)) ] && break; sleep 0.1; done
  playing=$(proc status VmRSS); send "close m"; settle; after=$(proc status VmRSS)
  echo "20 MB file: $((before / 1024)) MiB before, $((playing / 1024)) playing, $((after / 1024)) after"
  [ "$playing" -gt $((before + 200000)) ] || fail "the 20 MB file was never read"
  [ "$after" -lt $((before + 8192)) ] || fail "its memory was kept"
  [ "$(proc status Threads)" = 1 ] || fail "a thread left running after close"
  kill "$layer_PID"; wait "$layer_PID" || true
  start env VELMORA_MEMORY_AVAILABLE_MB=100
  send "open ${dir}big.mid type sequencer alias m"
  [ "$code $text" = "264 too large to play: 20 MB" ] || fail "too big: $code $text" ;;
soak)
  start
  for cycle in $(seq 1000); do
    send "open $tune type sequencer alias m"; send "play m"; send "close m"
    [ "$cycle" = 20 ] && settle && early=$(proc status VmRSS) files=$(ls "/proc/$layer_PID/fd" | wc -l)
  done
  settle; late=$(proc status VmRSS)
  echo "1000 cycles: $((early / 1024)) MiB after 20, $((late / 1024)) MiB after 1000"
  [ "$late" -lt $((early + 4096)) ] || fail "memory grew"
  [ "$(ls "/proc/$layer_PID/fd" | wc -l)" = "$files" ] || fail "files left open"
  [ "$(proc status Threads)" = 1 ] || fail "threads left running" ;;
memcheck)
  { echo "open $tune type sequencer alias m"; echo "play m"; sleep 1; echo "close m"; } |
    valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite "$console" ;;
differential)
  cp "$tune" "${dir}velmora-demo.mid" && mkdir "${dir}with blank" && echo notes >"${dir}notes.txt"
  cp "$tune" "${dir}with blank/demo tune.mid"
  script=$(grep -v -e '^#' -e '^$' "$here/mci_differential.commands")
  windows=$(sed -e 's/^~//' -e "s|@DIR@|Z:${dir//\//\\\\}|g" -e 's|@SEP@|\\|g' <<<"$script" |
    "$here/../cmake/wine64-run.sh" "$3" 2>/dev/null | tr -d '\r' | cut -f1)
  linux=$(sed -e 's/^~//' -e "s|@DIR@|$dir|g" -e 's|@SEP@|/|g' <<<"$script" | "$console" | cut -f1)
  while IFS=$'\t' read -r on w l; do
    echo "winmm $w, Linux $l: ${on#\~}"
    [ "$w" = "$l" ] || [ "${on:0:1}" = "~" ] || fail "the two answer differently"
  done < <(paste <(echo "$script") <(echo "$windows") <(echo "$linux")) ;;
esac
