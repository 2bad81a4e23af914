#!/usr/bin/env bash
# The Linux MCI layer as the program uses it, through mci_console, sound going to FluidSynth's file
# driver writing /dev/null:
#   codes     every kind of file and command gets its code (tests/mci_layer.codes) within a second,
#             every file of tests/midi-corpus opens and plays but the two that are not MIDI, a
#             missing SoundFont, a damaged one and a missing sound output get theirs, a file larger
#             than the memory free for it says what it needs, and a piece stopped among many voices
#             is not heard in the next
#   big       a 20 MB file plays in about its size of memory, gives it back at close with no thread
#             left, and the open of a small file right after its Stop does not wait for it; the
#             SoundFont is read once
#   limits    under an address-space limit (prlimit --as): a tune followed by 500 MB of padding
#             plays, a 500 MB track is refused as too large, also when the memory check is told
#             there is room (the failed allocation), and the process never aborts
#   soak      1000 Play/Stop cycles keep memory, open files and threads flat
#   memcheck  valgrind finds no error and no leak on open, play and close
#   timecode  a file timed by timecode, heard on the sound server of tests/desktop_session.sh
#             (skipped outside it): its notes recorded from the sink at the fixed rate it names
#   differential WINDOWS_CONSOLE  tests/mci_differential.commands through Wine's winmm as well: the
#             same code for every command but those marked as differing on purpose
# tests/mci_layer_test.sh CONSOLE CASE [WINDOWS_CONSOLE]
set -euo pipefail
console=$1 case=$2 here=$(cd "$(dirname "$0")" && pwd)
silent=(--audio-driver=file --audio-file=/dev/null)
dir=$(mktemp -d)/
trap 'rm -rf "$dir"; [ -z "${layer_PID:-}" ] || kill "$layer_PID"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
tune=$here/../resources/demo/velmora-demo.mid

environment=()
start() { coproc layer { exec env "${environment[@]}" "$console" "${silent[@]}" "$@"; }; }
# Sends one command and waits for its answer: $code and $text.
send() { echo "$1" >&"${layer[1]}" && IFS=$'\t' read -r code text <&"${layer[0]}"; }
proc() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$layer_PID/$1"; }
# A Standard MIDI File of one track, its events the Python bytes in $1, its division those in $2
# (by default 96 ticks a quarter note).
smf() { python3 -c 'import sys; t = eval(sys.argv[1])
sys.stdout.buffer.write(b"MThd\0\0\0\6\0\0\0\1" + eval(sys.argv[2]) + b"MTrk" + len(t).to_bytes(4, "big") + t)' \
  "$1" "${2:-b'\0\x60'}"; }

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
  # What a piece stopped among 450 voices leaves in the synthesizer (its voices, its reverb and
  # chorus) is not heard at the start of the next one: a silent piece, recorded by the file driver.
  smf 'b"".join(bytes([0, 0xC0 | c, c * 7]) + b"".join(bytes([0, 0x90 | c, k, 100]) for k in range(40, 70))
for c in range(16) if c != 9) + b"\x83\x60\xff\x2f\0"' >"${dir}dense.mid" && smf 'b"\x83\x60\xff\x2f\0"' >"${dir}silent.mid"
  { echo "open ${dir}dense.mid alias d"; echo "play d"; sleep 0.5; echo "close d"; echo "open ${dir}silent.mid alias s"
    echo "play s"; sleep 0.5; echo "close s"; } | "$console" --audio-driver=file --audio-file="${dir}next.wav" >/dev/null
  peak=$(python3 -c 'import sys, array; d = open(sys.argv[1], "rb").read(); d = d[d.index(b"data") + 8:]
s = array.array("h", d[:len(d) // 2 * 2]); print(max(map(abs, s)), len(s))' "${dir}next.wav")
  echo "the piece after a stop among 450 voices: peak ${peak% *} in ${peak#* } samples"
  [ "${peak% *}" -le 64 ] && [ "${peak#* }" -gt 20000 ] || fail "the stopped piece was heard in the next"
  # A file larger than the memory free for it (2.6 MB, 2 MB) says what it needs.
  smf 'b"\0\x90\x3c\x64" + b"\1\x3c\x64" * 866666 + b"\0\xff\x2f\0"' >"${dir}2mb.mid"
  kill "$layer_PID"; wait "$layer_PID" || true
  start --free-memory-mb=2
  send "open ${dir}2mb.mid type sequencer alias m"
  [ "$code $text" = "264 too large to play: needs 3 MB, 2 MB free" ] || fail "too large: $code $text"
  # A missing SoundFont, a damaged one, no sound output.
  for setting in "file 266 /nowhere.sf2" "file 262 ${dir}text.mid" "nowhere 343"; do
    read -r driver expected soundfont <<<"$setting"
    kill "$layer_PID"; wait "$layer_PID" || true
    environment=(VELMORA_SOUNDFONT="$soundfont") silent=(--audio-driver="$driver" --audio-file=/dev/null) && start
    send "open $tune type sequencer alias m"; [ "$code" = "$expected" ] || fail "$setting: $code"
  done ;;
big)
  smf 'b"\0\x90\x3c\x64" + b"\1\x3c\x64" * 6666666 + b"\0\xff\x2f\0"' >"${dir}big.mid"
  start
  send "open $tune type sequencer alias m"; read0=$(proc io rchar); send "close m"
  send "open $tune type sequencer alias m"; [ $(($(proc io rchar) - read0)) -lt 100000 ] ||
    fail "the second open read the SoundFont again"
  send "close m"; before=$(proc status VmRSS) threads=$(proc status Threads)  # FluidSynth's loader's
  send "open ${dir}big.mid type sequencer alias m"; [ "$code" = 0 ] || fail "20 MB: $code $text"
  send "play m"; sleep 0.5; playing=$(proc status VmRSS)
  send "close m"; after=$(proc status VmRSS)
  echo "20 MB file: $((before / 1024)) MiB before, $((playing / 1024)) playing, $((after / 1024)) after close"
  [ "$playing" -gt $((before + 15000)) ] || fail "the 20 MB file was never read"
  [ "$playing" -lt $((before + 61440)) ] || fail "more than 3 MiB per MB of file while playing"
  [ "$after" -lt $((before + 5120)) ] || fail "its memory was kept"
  [ "$(proc status Threads)" = "$threads" ] || fail "a thread left running after close"
  # Stop, then at once another file: the open must not wait for anything of the big one.
  send "open ${dir}big.mid type sequencer alias m"; send "play m"; sleep 0.05; send "close m"
  began=$(date +%s%N); send "open $tune type sequencer alias s"
  echo "open of a small file right after Stop: $((($(date +%s%N) - began) / 1000000)) ms"
  [ "$code" = 0 ] && [ $(($(date +%s%N) - began)) -lt 500000000 ] || fail "the next open waited ($code)" ;;
limits)
  smf 'b"\0\x90\x3c\x64\x60\x80\x3c\x40\0\xff\x2f\0"' >"${dir}padded.mid" && truncate -s +500M "${dir}padded.mid"
  printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\35\315\145\0' >"${dir}huge.mid" && truncate -s 500000022 "${dir}huge.mid"
  for run in "0 ${dir}padded.mid" "264 ${dir}huge.mid" "264 ${dir}huge.mid --free-memory-mb=100000"; do
    set -- $run
    answers=$(printf 'open %s type sequencer alias m\nplay m\nclose m\n' "$2" |
      prlimit --as=$((400 * 1024 * 1024)) "$console" "${silent[@]}" ${3:-}) || fail "$run: exit $?"
    echo "${run#* }: $(head -n 1 <<<"$answers")"
    [ "$(head -n 1 <<<"$answers" | cut -f1)" = "$1" ] || fail "$run: $answers"
    [ "$1" = 0 ] || [[ "$(head -n 1 <<<"$answers")" =~ "too large to play: needs 5"[0-9][0-9]" MB" ]] || fail "$answers"
  done ;;
soak)
  start
  for cycle in $(seq 1000); do
    send "open $tune type sequencer alias m"; send "play m"; send "close m"
    [ "$cycle" = 20 ] && early=$(proc status VmRSS) files=$(ls "/proc/$layer_PID/fd" | wc -l) \
      threads=$(proc status Threads)
  done
  late=$(proc status VmRSS)
  echo "1000 cycles: $((early / 1024)) MiB after 20, $((late / 1024)) MiB after 1000"
  [ "$late" -lt $((early + 4096)) ] || fail "memory grew"
  [ "$(ls "/proc/$layer_PID/fd" | wc -l)" = "$files" ] || fail "files left open"
  [ "$(proc status Threads)" = "$threads" ] || fail "threads left running" ;;
memcheck)
  { echo "open $tune type sequencer alias m"; echo "play m"; sleep 1; echo "close m"; } |
    valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite "$console" "${silent[@]}" ;;
timecode)
  [ -n "${VELMORA_TEST_SINK:-}" ] || exit 77
  # 25 frames a second of 40 ticks: claves (channel 10) at ticks 0, 1500, 3000 and 4500, each 1.5 s
  # after the one before (24 frames would give 1.56 s); its tempo event, a quarter note in 0.25 s,
  # must change nothing.
  smf 'b"\0\xff\x51\x03\x03\xd0\x90\0" + b"\x99\x4b\x7f\x83\x00\x89\x4b\x40\x88\x5c" * 4 + b"\xff\x2f\0"' \
    'b"\xe7\x28"' >"${dir}timecode.mid"
  timeout 20 parec -d "$VELMORA_TEST_SINK.monitor" --raw --channels=1 --latency-msec=10 >"${dir}heard.raw" &
  record=$! && for _ in $(seq 100); do [ -s "${dir}heard.raw" ] && break; sleep 0.1; done
  silent=() && start && send "open ${dir}timecode.mid alias t" && send "play t"
  [ "$code" = 0 ] || fail "the timecode file: $code $text"
  sleep 5 && send "close t" && kill "$record"
  # Each note starts at its first sample of 300 or more after 0.1 s below; the gaps, least first.
  set -- $(python3 -c 'import sys, array; onsets, quiet = [], 4410
for at, sample in enumerate(array.array("h", open(sys.argv[1], "rb").read())):
    onsets += [at] * (abs(sample) >= 300 and quiet >= 4410); quiet = quiet + 1 if abs(sample) < 300 else 0
print(*sorted(round((b - a) / 44.1) for a, b in zip(onsets, onsets[1:])))' "${dir}heard.raw")
  echo "timecode file: its notes heard $* ms apart (1.5 s at 1000 ticks a second)"
  # An underrun on a loaded machine delays what follows it: a gap may be longer, never shorter.
  [ $# = 3 ] && [ "$1" -ge 1475 ] && [ "$1" -le 1525 ] || fail "not 4 notes 1.5 s apart" ;;
differential)
  cp "$tune" "${dir}velmora-demo.mid" && mkdir "${dir}with blank" && echo notes >"${dir}notes.txt"
  cp "$tune" "${dir}with blank/demo tune.mid"
  script=$(grep -v -e '^#' -e '^$' "$here/mci_differential.commands")
  windows=$(sed -e 's/^~//' -e "s|@DIR@|Z:${dir//\//\\\\}|g" -e 's|@SEP@|\\|g' <<<"$script" |
    "$here/../cmake/wine64-run.sh" "$3" 2>/dev/null | tr -d '\r' | cut -f1)
  linux=$(sed -e 's/^~//' -e "s|@DIR@|$dir|g" -e 's|@SEP@|/|g' <<<"$script" | "$console" "${silent[@]}" | cut -f1)
  while IFS=$'\t' read -r on w l; do
    echo "winmm $w, Linux $l: ${on#\~}"
    [ "$w" = "$l" ] || [ "${on:0:1}" = "~" ] || fail "the two answer differently"
  done < <(paste <(echo "$script") <(echo "$windows") <(echo "$linux")) ;;
esac
