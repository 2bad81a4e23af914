#!/usr/bin/python3
# The real program in the hands of its users, on the private desktop of tests/desktop_session.sh.
# A screen reader's user, through the accessibility bus alone (AT-SPI): the window's tree, Get Mid
# File pressed, the tune chosen in the real open dialog, Play heard on the null sink, "Now Playing"
# and the name read, Stop silent. Then a keyboard user (keys through XTest): Tab and Escape change
# nothing, Space on Get Mid File, the name typed in the dialog, Enter on Play, heard again; closing
# while it plays (SIGTERM, as a session closes it: the close button's way) silences it, slides the
# window off the screen in 0.5-2 s and ends with 0, having written nothing of its own. A window
# minimised first ends at once.
#
# With --ways-in, the ways in from outside the window: the command line, a second launch handing its
# file over, a drop, and the desktop's now-playing controls (playerctl, a real MPRIS client).
#   tests/desktop_use_test.py BUILD/velmora [--ways-in]
import array, os, re, shutil, signal, subprocess, sys, tempfile, threading, time, urllib.parse
import pyatspi
from pyatspi import (ROLE_COMBO_BOX, ROLE_FILE_CHOOSER, ROLE_FRAME, ROLE_LABEL, ROLE_PUSH_BUTTON,
                     ROLE_TABLE, ROLE_TABLE_CELL)

if "VELMORA_TEST_SINK" not in os.environ:
    sys.exit(print("no desktop: run under tests/desktop_session.sh") or 77)
folder, home = tempfile.mkdtemp(), tempfile.mkdtemp()
shutil.copy(os.path.join(os.path.dirname(__file__), "../resources/demo/velmora-demo.mid"), folder)


def start(*arguments, run=subprocess.Popen, env={}, **options):  # in the tune's folder, at home
    env = dict(os.environ, HOME=home, GTK_USE_PORTAL="0", **env)
    return run([os.path.abspath(sys.argv[1]), *arguments], cwd=folder, env=env, **options)


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


def frame_of(velmora):  # the program's window on the accessibility bus: it, its buttons and status
    global buttons
    desktop = pyatspi.Registry.getDesktop(0)
    frame = wait_for(lambda: next((find(a, ROLE_FRAME, "Velmora") for a in walk(desktop, 1)
                                   if a.get_process_id() == velmora.pid), None))
    assert frame, "no frame named Velmora on the bus"
    buttons = {b.name: b for b in walk(frame) if b.getRole() == ROLE_PUSH_BUTTON}
    return frame, [n for n in walk(frame) if n.getRole() == ROLE_LABEL]


def users():
    moves = []  # when a window was moved or resized on the display (no window manager here): its width
    xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                           stdout=subprocess.PIPE, text=True)
    threading.Thread(target=lambda: [moves.append((time.time(), int(m[1]))) for line in xev.stdout
                                     if (m := re.search(r"width (\d+), height", line))], daemon=True).start()
    velmora = start()
    try:
        frame, labels = frame_of(velmora)
        status, notice = labels
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


def drag_source(kind, data):  # a file manager's part in a drop: a window whose button drags data
    import gi
    gi.require_version("Gdk", "3.0"), gi.require_version("Gtk", "3.0")
    from gi.repository import Gdk, Gtk
    window, button = Gtk.Window(title="source"), Gtk.Button(label="drag me")
    window.add(button), window.move(800, 500), window.set_default_size(200, 100)
    button.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [Gtk.TargetEntry.new(kind, 0, 0)],
                           Gdk.DragAction.COPY)
    button.connect("drag-data-get", lambda w, c, selection, i, t: selection.set_uris([data])
                   if kind == "text/uri-list" else selection.set_text(data, -1))
    button.connect("drag-end", lambda *_: Gtk.main_quit())
    window.show_all(), Gtk.main()


def drop(kind, data):  # dragged by the mouse (XTest) from the source onto Velmora's window
    source = subprocess.Popen([sys.executable, __file__, "--drag-source", kind, data])
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^source$", "sleep", "0.5",
                    "mousemove", "900", "550", "mousedown", "1", "sleep", "0.2",
                    *[a for x in range(880, 0, -100) for a in ("mousemove", str(x), "100", "sleep", "0.05")],
                    "sleep", "0.3", "mouseup", "1"], timeout=10)
    source.wait(5)


def ways_in():
    for name in ("Ünï tune.mid", "second.mid"):
        shutil.copy(os.path.join(folder, "velmora-demo.mid"), os.path.join(folder, name))
    os.mkdir(os.path.join(folder, "a folder"))
    with open(os.path.join(folder, "short.mid"), "wb") as short:  # a chord, 1.5 s
        short.write(bytes.fromhex("4d546864000000060000000101e04d54726b0000001900903c7f00407f00437f"
                                  "8b20803c4000404000434000ff2f00"))
    uri = lambda name: "file://" + urllib.parse.quote(os.path.join(folder, name))
    # The command line, answered without a display or a bus.
    for arguments, code, out, err in ((["--help"], 0, "Usage: velmora [FILE]\n\n", ""),
                                      (["--version"], 0, "velmora 1.0.0\n", ""),
                                      (["-x", "a"], 2, "", "velmora: unknown option -x\nUsage")):
        line = start(*arguments, run=subprocess.run, env=dict(DISPLAY="", DBUS_SESSION_BUS_ADDRESS=""),
                     capture_output=True, text=True, timeout=5)
        assert (line.returncode, line.stdout[:len(out)], line.stderr[:len(err)]) == (code, out, err)
    mpris = lambda *a: subprocess.run(["playerctl", "-p", "velmora", *a], capture_output=True,
                                      text=True, timeout=5).stdout.strip()
    playing = lambda: wait_for(lambda: mpris("status") == "Playing") and loudest(5, 1000) > 1000
    stopped = lambda: wait_for(lambda: mpris("status") == "Stopped") and silent()
    silent = lambda: time.sleep(0.3) or loudest(1.0) <= 64  # once what the server buffered drains
    windows = lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Velmora$"],
                                     capture_output=True, text=True).stdout.split()
    velmora, alone = start(), None
    try:
        frame, (status, _) = frame_of(velmora)
        shows = lambda text: wait_for(lambda: status.name == text) or status.name
        assert stopped() and mpris("play") == "" and stopped() and status.name == "", "Play, no file"
        # Second launches hand over and end: a name with a space and non-ASCII letters, relative to
        # their folder; another file while it plays; nothing, which leaves it as it is.
        for name, title in ("Ünï tune.mid", "Ünï tune.mid"), ("second.mid", "second.mid"), ("", ""):
            assert start(name, run=subprocess.run, timeout=5).returncode == 0, name
            if name:
                assert shows("Now Playing \n" + name) is True and playing(), name
                assert mpris("metadata", "xesam:title") == title, name
        assert len(windows()) == 1 and status.name == "Now Playing \nsecond.mid", windows()
        for command, then in ("stop", stopped), ("play", playing), ("play-pause", stopped), \
                ("play-pause", playing), ("open", playing):
            mpris(command, *[uri("short.mid")] * (command == "open"))
            assert then(), command
        assert shows("Now Playing \nshort.mid") is True and mpris("metadata", "xesam:url") == uri("short.mid")
        assert wait_for(lambda: mpris("metadata", "mpris:length") == "1500000"), "the length"  # µs
        assert stopped() and status.name == "Now Playing \nshort.mid", "the end of the piece"
        mpris("play")
        assert playing(), "played again after its end"
        for bad, title in ("a folder", "a folder"), ("http://example.org/x.mid", "x.mid"):
            start(bad, run=subprocess.run, timeout=5)  # the dialog path's errors, no sound
            assert wait_for(lambda: mpris("metadata", "xesam:title") == title), bad
            assert status.name.startswith("open: ") and stopped(), status.name
        drop("text/uri-list", uri("Ünï tune.mid"))
        assert shows("Now Playing \nÜnï tune.mid") is True and playing(), ("the drop", status.name, mpris("metadata"))
        drop("text/plain", os.path.join(folder, "second.mid"))  # refused: text, not a file
        assert not wait_for(lambda: status.name != "Now Playing \nÜnï tune.mid", 1), status.name
        subprocess.run(["gdbus", "call", "--session", "-d", "org.mpris.MediaPlayer2.velmora", "-o",
                        "/org/mpris/MediaPlayer2", "-m", "org.mpris.MediaPlayer2.Quit"],
                       capture_output=True, timeout=5)
        assert silent() and velmora.wait(5) == 0, "Quit"
        # A first launch with a URI plays it; without a session bus a launch runs on its own.
        velmora = start(uri("second.mid"))
        assert playing() and wait_for(lambda: len(windows()) == 1)
        alone = start("Ünï tune.mid", env=dict(DBUS_SESSION_BUS_ADDRESS="unix:path=/none"))
        assert wait_for(lambda: len(windows()) == 2) and alone.poll() is None, "without a bus"
        print("command line, hand-over, playerctl, end of piece, bad files, drop, Quit: ok")
    finally:
        velmora.kill(), alone and alone.kill()


try:
    if sys.argv[1] == "--drag-source":
        drag_source(*sys.argv[2:])
    else:
        (ways_in if sys.argv[2:] == ["--ways-in"] else users)()
finally:
    shutil.rmtree(folder), shutil.rmtree(home)
