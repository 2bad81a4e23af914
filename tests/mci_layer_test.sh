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
#             there is room (the failed allocation); and from 300 to 800 MiB, after the open of a
#             real 500 MB track, a small file opens, plays and closes: every command answers 0, 264
#             or 343 with its text (263 for a device whose open failed) and the process exits
#             cleanly, never an abort or a hang
#   dense     Stop of a 200,000-note chord and of a million events on one tick returns at once, on
#             the sound server and on the file output, and the next piece plays
#   end       a piece that ends by itself: the engine says so, and the process then sleeps (no
#             wake-up, no CPU); a note the file never releases falls silent after the end
#   alsa      where the sound server is not used, ALSA (a PCM the test defines, writing a file)
#             records the tune
#   server    the sound server killed while playing: the next Play answers 343; once it is back,
#             the next Play plays
# dense, end and server run a sound server of their own (pulseaudio, a null sink).
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
trap 'rm -rf "$dir"; kill ${layer_PID:-} ${server_PID:-} 2>/dev/null || true' EXIT
fail() { echo "FAIL: $*"; exit 1; }
tune=$here/../resources/demo/velmora-demo.mid

environment=()
start() { coproc layer { exec env "${environment[@]}" "$console" "${silent[@]}" "$@" 2>>"${dir}notices"; }; }
stop() { kill "$layer_PID"; wait "$layer_PID" || true; }
now() { echo $(($(date +%s%N) / 1000000)); }
# A sound server of the test's own, on its own socket, and the engine's output on it.
server() {
  mkdir -p "${dir}run" && silent=(--audio-driver=pulseaudio) && export PULSE_SERVER="unix:${dir}pulse.sock"
  XDG_RUNTIME_DIR="${dir}run" HOME="$dir" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-null-sink" --load="module-native-protocol-unix socket=${dir}pulse.sock auth-anonymous=1" \
    >/dev/null 2>&1 & server_PID=$!
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && return; sleep 0.1; done; fail "no sound server"
}
# Context switches and CPU ticks of all the engine's threads.
activity() { cat /proc/"$layer_PID"/task/*/stat | awk '{cpu += $14 + $15} END {printf "%d ", cpu}'
  cat /proc/"$layer_PID"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }
# The loudest sample of a 16-bit WAV after SECONDS, and its length in seconds.
level() { python3 -c 'import sys, array; d = open(sys.argv[1], "rb").read()[44:]; s = array.array("h", d[:len(d) // 4 * 4])
print(max(map(abs, s[int(float(sys.argv[2]) * 88200):]), default=0), len(s) / 88200)' "$@"; }
# Sends one command and waits for its answer: $code and $text.
send() { echo "$1" >&"${layer[1]}" && IFS=$'\t' read -r -t 20 code text <&"${layer[0]}" || fail "no answer to $1"; }
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
  for setting in "file 266 /nowhere.sf2" "file 262 ${dir}text.mid" "nowhere 343" "file 262 ${dir}fifo.mid" \
    "file 262 ${dir}folder.mid"; do
    read -r driver expected soundfont <<<"$setting"
    stop
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
  done
  python3 -c 'import sys; n = 125000000; f = open(sys.argv[1], "wb"); f.write(b"MThd\0\0\0\6\0\0\0\1\0\x60MTrk" +
(4 * n + 4).to_bytes(4, "big")); [f.write(b"\0\x90\x3c\x40" * 1000000) for _ in range(n // 1000000)]; f.write(b"\0\xff\x2f\0")' "${dir}track.mid"
  for mib in $(seq 300 50 800); do  # the session's sound server when there is one: its own threads
    answers=$(printf 'open %s alias h\nopen %s alias m\nplay m\nclose m\nclose h\nopen %s alias m\nplay m\nclose m\n' \
      "${dir}track.mid" "$tune" "$tune" | timeout 60 prlimit --as=$((mib << 20)) "$console") || fail "$mib MiB: exit $?"
    echo "$mib MiB:" $(cut -f1 <<<"$answers")
    grep -qvE $'^(0\t|264\t.|343\t.|263\t.)' <<<"$answers" && fail "$mib MiB: $answers"  # 263: not open
    [ "$(wc -l <<<"$answers")" = 8 ] || fail "$mib MiB: commands left unanswered"
  done
  rm "${dir}track.mid" ;;
dense)
  smf 'b"".join(bytes([0, 0x90 | c % 16, 24 + c % 80, 100]) for c in range(200000)) + b"\x83\x60\xff\x2f\0"' >"${dir}chord.mid"
  smf 'b"\0\x90\x3c\x64\0\x80\x3c\x40" * 500000 + b"\x83\x60\xff\x2f\0"' >"${dir}million.mid"
  server
  for output in --audio-driver=pulseaudio "--audio-driver=file --audio-file=/dev/null"; do
    silent=($output) && start
    for file in chord million chord; do
      send "open ${dir}$file.mid alias d"; began=$(now); send "play d"; play=$(($(now) - began)); sleep 0.3
      began=$(now); send "close d"; took=$(($(now) - began))
      send "open $tune alias t"; send "play t"; echo "$output, $file: Play in $play ms, close in $took ms, next Play $code"
      [ "$play" -lt 200 ] && [ "$took" -lt 200 ] && [ "$code" = 0 ] || fail "$file: too slow or silent"; send "close t"
    done
    stop
  done ;;
end)
  server && start
  smf 'b"\0\x90\x3c\x64\x83\0\x80\x3c\x40\0\xff\x2f\0"' >"${dir}2s.mid"
  send "open ${dir}2s.mid alias e"; send "play e"
  for _ in $(seq 80); do grep -q "piece ended" "${dir}notices" && break; sleep 0.1; done
  grep -q "piece ended" "${dir}notices" || fail "no notice of the end 8 s after Play"
  sleep 1 && before=$(activity) && sleep 5 && after=$(activity)
  echo "5 s after the end: CPU ticks and context switches $before, then $after"
  [ "$before" = "$after" ] || fail "the engine woke after the piece's end"
  send "close e"; [ "$(grep -c "piece ended" "${dir}notices")" = 1 ] || fail "notices: $(cat "${dir}notices")"
  # An organ note never released, its end at 2 s: silent well before the engine's 3 s limit on tails.
  smf 'b"\0\xc0\x13\0\x90\x3c\x64\x83\0\xff\x2f\0"' >"${dir}held.mid"
  { echo "open ${dir}held.mid alias h"; echo "play h"; sleep 2; echo "close h"; } |
    "$console" --audio-driver=file --audio-file="${dir}held.wav" >/dev/null 2>&1
  read -r loudest length < <(level "${dir}held.wav" 3)
  echo "a note never released: ${length} s rendered, loudest after 3 s: $loudest"
  [ "$loudest" -le 16 ] && [ "${length%.*}" -lt 4 ] || fail "the held note rang on" ;;
alsa)
  printf 'pcm.!default { type file slave.pcm { type null } file "%s" format raw }\n' "${dir}alsa.raw" >"${dir}asound.conf"
  answers=$({ echo "open $tune alias m"; echo "play m"; sleep 1; echo "close m"; } |
    ALSA_CONFIG_PATH="${dir}asound.conf" timeout 20 "$console" --audio-driver=alsa | cut -f1 | tr '\n' ' ')
  read -r peak seconds < <(python3 -c 'import sys, array; s = array.array("f", open(sys.argv[1], "rb").read())
print(round(max(map(abs, s), default=0), 3), len(s) / 88200)' "${dir}alsa.raw")
  echo "through ALSA: $answers, recorded ${seconds} s, peak $peak"
  [ "$answers" = "0 0 0 " ] && python3 -c "import sys; sys.exit(not ($peak > 0.05 and $seconds > 0.5))" ||
    fail "the tune was not recorded" ;;
server)
  server && start
  send "open $tune alias m"; send "play m"; [ "$code" = 0 ] || fail "first Play: $code"; sleep 0.5
  kill "$server_PID"; wait "$server_PID" || true
  began=$(now); send "play m"; echo "Play with the server gone: $code $text, in $(($(now) - began)) ms"
  [ "$code" = 343 ] && [ -n "$text" ] || fail "with the server gone: $code $text"
  server; send "play m"; [ "$code" = 0 ] || fail "with the server back: $code $text"; sleep 0.5
  pactl list sink-inputs | grep -c "Corked: no" | grep -qx 1 || fail "nothing plays on the server that came back"
  echo "with the server back: Play $code, its stream playing"
  send "close m" ;;
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
