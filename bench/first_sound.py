#!/usr/bin/python3
# Launches a command and times its first sound on the sink (VELMORA_TEST_SINK's monitor, read in
# 5 ms blocks): prints the launch's wall-clock time in microseconds (for the display's map events),
# the milliseconds to the first sample louder than 64, and with --wait, to the command's end. The
# command keeps running otherwise; its process id comes last.
#   bench/first_sound.py [--wait] COMMAND [ARGS...]
import array, os, subprocess, sys, time

wait = sys.argv[1] == "--wait"
command = sys.argv[1 + wait:]
record = subprocess.Popen(["parec", f"--device={os.environ['VELMORA_TEST_SINK']}.monitor", "--raw",
                           "--format=s16le", "--channels=1", "--latency-msec=5"],
                          stdout=subprocess.PIPE)
loud = lambda block: max(map(abs, array.array("h", block[:len(block) // 2 * 2])), default=0) > 64
quiet_since = time.monotonic()
while time.monotonic() - quiet_since < 0.3:  # what played before has drained
    if loud(os.read(record.stdout.fileno(), 4096)):
        quiet_since = time.monotonic()
launched, start = time.time(), time.monotonic()
program = subprocess.Popen(command)
heard = ended = None
while heard is None or (wait and ended is None):
    block = os.read(record.stdout.fileno(), 4096)  # every 5 ms
    now = (time.monotonic() - start) * 1000
    heard = heard if heard is not None or not loud(block) else now
    ended = ended if ended is not None or program.poll() is None else now
    if now > 10000:
        sys.exit(f"{command}: no sound within 10 s")
record.kill()
print(int(launched * 1e6), round(heard), *([round(ended)] if wait else []), program.pid)
