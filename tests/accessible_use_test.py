#!/usr/bin/python3
# The real program used as a screen reader's user uses it, through the accessibility bus alone
# (AT-SPI): its window's tree, Get Mid File pressed, the tune chosen in the real open dialog, Play
# heard on the null sink, "Now Playing" and the name read, Stop silent, then closed by SIGTERM as a
# session closes it, ending with 0 and having written nothing of its own.
#   tests/accessible_use_test.py BUILD/velmora    (inside tests/desktop_session.sh)
import array, os, re, shutil, signal, subprocess, sys, tempfile, time
import pyatspi

if "VELMORA_TEST_SINK" not in os.environ:
    sys.exit(print("no desktop: run under tests/desktop_session.sh") or 77)
here = os.path.dirname(os.path.abspath(__file__))
folder, home = tempfile.mkdtemp(), tempfile.mkdtemp()
shutil.copy(os.path.join(here, "../resources/demo/velmora-demo.mid"), folder)
env = dict(os.environ, HOME=home, GTK_USE_PORTAL="0")
velmora = subprocess.Popen([os.path.abspath(sys.argv[1])], cwd=folder, env=env)


def fail(why):
    velmora.kill()
    sys.exit(f"FAIL: {why}")


def wait_for(what, why, seconds=10):
    for _ in range(int(seconds / 0.05)):
        found = what()
        if found:
            return found
        time.sleep(0.05)
    fail(why)


def walk(node):
    yield node
    for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
        yield from walk(child)


def find(root, role, name=None):
    return next((n for n in walk(root) if n.getRoleName() == role and name in (None, n.name)), None)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def press(button):  # a button's action as a screen reader names it
    actions = button.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if "click" not in names:
        fail(f"{button.name}: no click action ({names})")
    actions.doAction(names.index("click"))


def loudest(seconds, enough=32768):  # the loudest sample the null sink plays in the next seconds
    record = subprocess.Popen(["parec", f"--device={os.environ['VELMORA_TEST_SINK']}.monitor", "--raw",
                               "--format=s16le", "--channels=1", "--latency-msec=10"],
                              stdout=subprocess.PIPE)
    top, end = 0, time.time() + seconds
    while time.time() < end and top < enough:  # 50 ms at a time
        top = max([top, *map(abs, array.array("h", record.stdout.read(4410)))])
    record.kill()
    return top


desktop = pyatspi.Registry.getDesktop(0)
app = wait_for(lambda: next((a for a in filter(None, (desktop.getChildAtIndex(i) for i in range(
    desktop.childCount))) if a.get_process_id() == velmora.pid), None), "not on the bus")
frame = wait_for(lambda: find(app, "frame", "Velmora"), "no frame named Velmora")
buttons = {b.name: b for b in walk(frame) if b.getRoleName() == "push button"}
labels = [n.name for n in walk(frame) if n.getRoleName() == "label"]
if sorted(buttons) != ["Get Mid File", "Play", "Stop"] or labels != ["", " Velmora MIDI player "]:
    fail(f"the tree: push buttons {sorted(buttons)}, labels {labels}")
if [n for n, b in buttons.items() if showing(b)] != ["Get Mid File"]:
    fail("at start only Get Mid File shows")
status = find(frame, "label", "")

press(buttons["Get Mid File"])
dialog = wait_for(lambda: find(app, "file chooser", "Open File"), "no Open File dialog")
if not find(dialog, "combo box", "Mid Files (*.mid) (*.Mid)"):
    fail("the file type is not named as the program names it")
files = wait_for(lambda: find(dialog, "table", "Files"), "no file list")
wait_for(lambda: find(files, "table cell", "velmora-demo.mid"), "the tune is not listed")
files.queryTable().addRowSelection(0)
press(find(dialog, "push button", "Open"))
wait_for(lambda: showing(buttons["Play"]), "choosing the tune did not show Play")

press(buttons["Play"])
wait_for(lambda: status.name == "Now Playing \nvelmora-demo.mid", f"the status reads {status.name!r}")
heard = loudest(5, enough=1000)
if heard <= 1000:
    fail(f"the tune is not heard (peak {heard})")
press(buttons["Stop"])
wait_for(lambda: showing(buttons["Get Mid File"]) and status.name == "", "Stop did not return")
time.sleep(0.3)  # what the sound server buffered drains
if loudest(1.0) > 64:
    fail("sound after Stop")

velmora.send_signal(signal.SIGTERM)
try:
    code = velmora.wait(5)
except subprocess.TimeoutExpired:
    fail("SIGTERM did not end the program")
# What the desktop's libraries keep: GTK's recent files (the desktop's own list, written when a
# file is chosen), PulseAudio's client cookie, and GSettings' and the accessibility bridge's
# runtime files, which go to HOME when no XDG_RUNTIME_DIR is set.
own = [os.path.join(d, f) for d, _, names in os.walk(home) for f in names
       if not re.search(r"recently-used\.xbel$|/pulse/cookie$|/dconf/|at-spi", os.path.join(d, f))]
shutil.rmtree(folder), shutil.rmtree(home)
if code != 0 or own:
    sys.exit(f"FAIL: exit code {code}, wrote {own}")
print("tree, dialog, Play heard, Now Playing read, Stop silent, closed by SIGTERM: ok")
