#!/usr/bin/python3
# The real program in the hands of its users, on the private desktop of tests/desktop_session.sh.
# A screen reader's user, through the accessibility bus alone (AT-SPI): the window's tree, Get Mid
# File pressed, the tune chosen in the real open dialog, Play heard on the null sink, "Now Playing"
# and the name read, Stop silent. Then a keyboard user (keys through XTest): Tab and Escape change
# nothing, Space on Get Mid File, the name typed in the dialog, Enter on Play, heard again; closing
# while it plays (SIGTERM, as a session closes it: the close button's way) silences it, slides the
# window off the screen in 0.5-2 s and ends with 0, having written nothing of its own. A window
# minimised first ends at once.
#   tests/desktop_use_test.py BUILD/velmora
import array, os, re, shutil, signal, subprocess, sys, tempfile, threading, time
import pyatspi
from pyatspi import (ROLE_COMBO_BOX, ROLE_FILE_CHOOSER, ROLE_FRAME, ROLE_LABEL, ROLE_PUSH_BUTTON,
                     ROLE_TABLE, ROLE_TABLE_CELL)

if "VELMORA_TEST_SINK" not in os.environ:
    sys.exit(print("no desktop: run under tests/desktop_session.sh") or 77)
folder, home = tempfile.mkdtemp(), tempfile.mkdtemp()
shutil.copy(os.path.join(os.path.dirname(__file__), "../resources/demo/velmora-demo.mid"), folder)


def start():  # the program, in the tune's folder, with a home of its own
    env = dict(os.environ, HOME=home, GTK_USE_PORTAL="0")
    return subprocess.Popen([os.path.abspath(sys.argv[1])], cwd=folder, env=env)


def wait_for(what, seconds=10):  # what gives, once it gives something
    return next((found for _ in range(int(seconds / 0.05)) if (found := what()) or time.sleep(0.05)), None)


def walk(node, depth=99):  # the node and those under it, to the depth
    kids = filter(None, map(node.getChildAtIndex, range(node.childCount * (depth > 0))))
    return [node] + [under for child in kids for under in walk(child, depth - 1)]


def find(root, role, name=None):  # by the role's value: its name is the toolkit's wording
    return next((n for n in walk(root) if n.getRole() == role and name in (None, n.name)), None)


def showing():  # the buttons on the screen
    return [n.name for n in buttons.values() if n.getState().contains(pyatspi.STATE_SHOWING)]


def press(button):  # the action a screen reader names "click"
    (a := button.queryAction()).doAction([a.getName(i) for i in range(a.nActions)].index("click"))


def window(title):  # a window shown on the display, by its title
    return subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", f"^{title}$"],
                          capture_output=True, text=True, timeout=10).stdout.split()[0]


def keys(title, *names):  # keys pressed in a window, as a keyboard presses them (XTest)
    subprocess.run(["xdotool", "windowfocus", "--sync", window(title), "sleep", "0.3", "key", *names])


def loudest(seconds, enough=32768):  # the loudest sample the null sink plays in the next seconds
    record = subprocess.Popen(["parec", f"--device={os.environ['VELMORA_TEST_SINK']}.monitor",
                               "--raw", "--format=s16le", "--channels=1", "--latency-msec=10"],
                              stdout=subprocess.PIPE)
    top, end = 0, time.time() + seconds
    while time.time() < end and top < enough:  # 50 ms at a time
        top = max([top, *map(abs, array.array("h", record.stdout.read(4410)))])
    return record.kill() or top


moves = []  # when a window was moved or resized on the display (no window manager here): its width
xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                       stdout=subprocess.PIPE, text=True)
threading.Thread(target=lambda: [moves.append((time.time(), int(m[1]))) for line in xev.stdout
                                 if (m := re.search(r"width (\d+), height", line))], daemon=True).start()
velmora = start()
try:
    desktop = pyatspi.Registry.getDesktop(0)
    frame = wait_for(lambda: next((find(a, ROLE_FRAME, "Velmora") for a in walk(desktop, 1)
                                   if a.get_process_id() == velmora.pid), None))
    assert frame, "no frame named Velmora on the bus"
    buttons = {b.name: b for b in walk(frame) if b.getRole() == ROLE_PUSH_BUTTON}
    status, notice = labels = [n for n in walk(frame) if n.getRole() == ROLE_LABEL]
    assert sorted(buttons) == ["Get Mid File", "Play", "Stop"] and showing() == ["Get Mid File"]
    assert [n.name for n in labels] == ["", " Velmora MIDI player "], "the labels"

    press(buttons["Get Mid File"])
    dialog = wait_for(lambda: find(frame.parent, ROLE_FILE_CHOOSER, "Open File"))
    assert find(dialog, ROLE_COMBO_BOX, "Mid Files (*.mid) (*.Mid)"), "the type named as given"
    files = wait_for(lambda: find(dialog, ROLE_TABLE, "Files"))
    assert wait_for(lambda: find(files, ROLE_TABLE_CELL, "velmora-demo.mid")), "the tune not listed"
    files.queryTable().addRowSelection(0)
    press(find(dialog, ROLE_PUSH_BUTTON, "Open"))
    assert wait_for(lambda: showing() == ["Play"]), "no Play after the choice"
    press(buttons["Play"])
    assert wait_for(lambda: status.name == "Now Playing \nvelmora-demo.mid"), status.name
    assert loudest(5, enough=1000) > 1000, "the tune is not heard"
    press(buttons["Stop"])
    assert wait_for(lambda: showing() == ["Get Mid File"] and not status.name), "Stop"
    time.sleep(0.3)  # what the sound server buffered drains
    assert loudest(1.0) <= 64, "sound after Stop"

    keys("Velmora", "Tab", "Escape", "space")  # a Windows window does not close on Escape
    assert wait_for(lambda: find(frame.parent, ROLE_FILE_CHOOSER, "Open File")), "Space on Get Mid File"
    keys("Open File", "ctrl+l", "sleep", "0.3", "type", "velmora-demo.mid")
    keys("Open File", "Return")
    assert wait_for(lambda: showing() == ["Play"]), "no Play after the choice by keys"
    keys("Velmora", "Return")
    assert wait_for(lambda: showing() == ["Stop"]), "Enter on Play"
    assert loudest(5, enough=1000) > 1000, "the tune is not heard again"

    moves.clear(), velmora.send_signal(signal.SIGTERM)
    time.sleep(0.3)  # what the sound server buffered drains
    assert loudest(0.5) <= 64, "sound while the window slides away"
    assert velmora.wait(5) == 0, "closing did not end the program cleanly"
    took, smallest = moves[-1][0] - moves[0][0], min(width for _, width in moves)
    assert 0.5 <= took <= 2 and smallest < moves[0][1], f"the slide: {took:.2f} s, {moves[:3]}"
    # What the desktop's libraries keep: GTK's recent files (the desktop's own list, written when a
    # file is chosen), PulseAudio's client cookie, and GSettings' and the accessibility bridge's
    # runtime files, which go to HOME when no XDG_RUNTIME_DIR is set.
    own = [f"{d}/{f}" for d, _, names in os.walk(home) for f in names
           if not re.search(r"recently-used\.xbel$|/pulse/cookie$|/dconf/|at-spi", f"{d}/{f}")]
    assert not own, f"the program wrote {own}"

    velmora = start()  # minimised, as a window manager minimises: unmapped
    subprocess.run(["xdotool", "windowunmap", "--sync", window("Velmora"), "sleep", "0.3"])
    closed = velmora.send_signal(signal.SIGTERM) or time.time()
    assert velmora.wait(5) == 0 and time.time() - closed < 0.3, "a minimised window slid on"
    print(f"tree, dialog, Play heard, Now Playing read, Stop silent, keys, slide {took:.2f} s: ok")
finally:
    velmora.kill(), xev.kill()
    shutil.rmtree(folder), shutil.rmtree(home)
