#!/usr/bin/python3
"""Works the real player through AT-SPI, as a screen reader does, and checks what it reads.

The test starts a private session bus with at-spi2-core's accessibility bus (no desktop session
needed, root allowed) and a virtual X display, and runs the player there with accessibility on
in a folder of one test file. Through pyatspi it chooses the file, types a genre, plays and
pauses; then it checks every control's role and name, that no node is nameless, the labels'
relations, the sliders' values in words, a volume set through AT-SPI and values that are no
number ignored, and that the player quits cleanly over MPRIS. Exits 77 (skipped) without
pyatspi.
"""

import importlib.util
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_support as e2e  # noqa: E402
from e2e_support import check  # noqa: E402

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SKIP = 77
# An ID3v2 tag naming its title, no trailer and no length header, and long enough to be paused
# while it plays, however busy the machine: tests/data/vbr_no_xing.mp3 (5 s) twelve times over.
FILE = "minute.mp3"
COPIES = 12
TITLE = b"A minute"
# An ID3v2.3 tag of one TIT2 frame in Latin-1, sizes in 7-bit bytes (header) and 8-bit (frame).
ID3V2_TAG = (b"ID3\x03\x00\x00" + bytes([0, 0, 0, 10 + 1 + len(TITLE)]) + b"TIT2" +
             (1 + len(TITLE)).to_bytes(4, "big") + b"\x00\x00\x00" + TITLE)
DETAILS = "ID3v2.3 tag at the file's start:\nTitle: A minute\nArtist: \nAlbum: "

# The window's controls and the strip's, as (role, name); the elapsed time is filled in from
# the position at which the file was paused.
FIELDS = ("Title", "Artist", "Album", "Year", "Comment")
WINDOW = [("label", name) for name in (*FIELDS, "Genre", "No tag (ID3v2 only)", "Total Time: 01:00",
                                       "Elapsed Time: 00:{seconds:02d}")] + \
    [("text", name) for name in (*FIELDS, "Genre number")] + \
    [("push button", name) for name in ("Close", "Save tag", "Play or stop")] + \
    [("list", "Folders"), ("list", "Files"), ("combo box", "Drive"), ("combo box", "Genre"),
     ("filler", "Media player"), ("image", e2e.WINDOW_TITLE)]
STRIP = [("push button", "Play or pause"), ("push button", "Stop"), ("slider", "Position"),
         ("slider", "Volume"), ("label", f"Paused {FILE}")]
LABELLED = [("text", name) for name in FIELDS] + [("combo box", "Genre")]


def shape(node):
    return [(child.getRoleName(), child.name) for child in node]


def find(node, role, name):
    import pyatspi  # once the scenario has made the accessibility bus
    return pyatspi.findDescendant(node, lambda n: (n.getRoleName(), n.name) == (role, name))


def need(node, role, name):
    found = find(node, role, name)
    if found is None:
        raise e2e.StepFailed(f"no {role} named {name!r} under {node.name!r}: {shape(node)!r}")
    return found


def press(node, action_name="press"):
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    action.doAction(names.index(action_name))


def run_scenario(run):
    music = os.path.join(run.work_folder, "music")
    os.mkdir(music)
    with open(os.path.join(run.source_folder, "tests", "data", "vbr_no_xing.mp3"), "rb") as frames:
        data = frames.read()
    with open(os.path.join(music, FILE), "wb") as file:
        file.write(ID3V2_TAG + data * COPIES)
    environment = run.private_environment(("AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY"))
    environment["DISPLAY"] = run.start_xvfb()
    environment["DBUS_SESSION_BUS_ADDRESS"] = run.start_session_bus(environment)
    run.start([BUS_LAUNCHER, "--launch-immediately"], environment)
    e2e.poll("the accessibility bus is up", lambda: subprocess.run(
        ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
         "org.a11y.Bus.GetAddress"], env=environment, capture_output=True).returncode == 0)
    os.environ.update(environment)  # pyatspi finds the bus through them
    import pyatspi

    player = run.start([run.player_path], dict(
        environment, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
        MP3PLAYER_AUDIO_SINK="fakesink sync=true"), folder=music)
    e2e.step(player, "starting the player with accessibility on")
    desktop = pyatspi.Registry.getDesktop(0)
    # Read afresh each time: Qt tells of changed names only to a listener of those events.
    desktop.setCacheMask(pyatspi.cache.NONE)
    window = e2e.poll("the player's window is in the tree", lambda: next(
        (app[0] for app in desktop if app is not None and app.name == e2e.WINDOW_TITLE
         and app.childCount > 0 and app[0].childCount > 0), None))
    check("the window", (window.getRoleName(), window.name), ("frame", e2e.WINDOW_TITLE))

    e2e.step(player, f"choosing {FILE} through AT-SPI")
    press(need(window, "list item", FILE), "toggle")
    told = e2e.poll("the player says the file has only an ID3v2 tag",
                    lambda: find(window, "label", "No tag (ID3v2 only)"))
    check("what the message line describes from the click on", told.description, DETAILS)
    genre = need(window, "combo box", "Genre")
    need(genre, "text", "Genre").queryEditableText().setTextContents("Reggae")

    e2e.step(player, "playing and pausing")
    press(need(window, "push button", "Play or stop"))
    strip = need(window, "filler", "Media player")
    position = need(strip, "slider", "Position")
    e2e.poll(f"the strip plays {FILE}", lambda: find(strip, "label", f"Playing {FILE}"))
    e2e.poll("the position passes a second", lambda: position.queryValue().currentValue >= 1)
    press(need(strip, "push button", "Play or pause"))
    e2e.poll("the strip says it paused", lambda: find(strip, "label", f"Paused {FILE}"))

    seconds = int(position.queryValue().currentValue)
    e2e.poll("the elapsed time shows where it paused",
             lambda: find(window, "label", f"Elapsed Time: 00:{seconds:02d}"))

    e2e.step(player, "reading the tree")
    expected = [(role, name.format(seconds=seconds)) for role, name in WINDOW]
    check("the window's controls", sorted(shape(window)), sorted(expected))
    check("the strip's controls", shape(strip), STRIP)
    check("nodes without a name", [(n.getRoleName(), n.parent.name) for n in
                                   pyatspi.findAllDescendants(window, lambda n: not n.name)], [])
    for role, name in LABELLED:
        relations = need(window, role, name).getRelationSet()
        check(f"what labels the {role} {name}",
              [(r.getRelationType(), r.getTarget(0).name) for r in relations],
              [(pyatspi.RELATION_LABELLED_BY, name)])
    check("the genre box's parts", shape(genre), [("list", "Genres"), ("text", "Genre")])
    check("the genre box's text", need(genre, "text", "Genre").queryText().getText(0, -1),
          "Reggae")
    drives = need(window, "combo box", "Drive")[0]
    check("the drive list's selected entries",
          len([d for d in drives if d.getState().contains(pyatspi.STATE_SELECTED)]), 1)
    value = position.queryValue()
    check("the position", (position.description, value.currentValue, value.maximumValue),
          (f"0:{seconds:02d} of 1:00", seconds, 60))
    volume = need(strip, "slider", "Volume")
    check("the volume", (volume.description, volume.queryValue().currentValue), ("100%", 100))
    volume.queryValue().currentValue = 50
    e2e.poll("the volume set through AT-SPI reads 50%", lambda: volume.description == "50%")
    for slider in (position, volume):
        before = slider.queryValue().currentValue
        slider.queryValue().currentValue = float("nan")
        check(f"the {slider.name} after a value that is no number",
              slider.queryValue().currentValue, before)

    e2e.step(player, "asking the player to quit over MPRIS")
    e2e.quit_over_mpris(environment, player)


if __name__ == "__main__":
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: pyatspi is not installed (Debian package python3-pyatspi)")
        sys.exit(SKIP)
    if not os.path.exists(BUS_LAUNCHER):
        sys.exit(f"FAIL: {BUS_LAUNCHER} is missing; it comes with the Debian package at-spi2-core")
    e2e.run_test(("Xvfb", "dbus-daemon", "dbus-send"), "xvfb and dbus-bin",
                 "mp3player-a11y-", run_scenario)
