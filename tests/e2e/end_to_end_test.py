#!/usr/bin/python3
"""Drives the real player on a virtual X display with real mouse and keyboard input.

The player starts in a fresh folder of two test files and a large file, under a file-size limit
a little above the large file's size. The test retitles and saves the first file, plays and
stops it, retags the second (its trailer and its ID3v2 tag take the new artist), saves to the
large file, which the limit refuses, leaves through the credit box and checks every byte the
player wrote. Labels cannot be read back from X, so the test watches what it can observe
exactly (open descriptors, file bytes, windows, the exit status) and otherwise compares screen
regions before and after each step.
"""

import io
import os
import shutil
import sys

import mutagen.id3

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# bench/bench_exit.py drives the player through these names too.
from e2e_support import (SCREEN_SIZE, WINDOW_SIZE, StepFailed, check, die_with_parent,  # noqa
                         poll, run_test, start_xvfb, step, stop_process)
from x_desktop import (ARTIST_BOX, CLOSE_BUTTON, ELAPSED_TIME_LABEL, MESSAGE_LABEL,  # noqa
                       PLAY_STOP_BUTTON, SAVE_BUTTON, STRIP_PLAY_PAUSE, TITLE_BOX,
                       TOTAL_TIME_LABEL, Desktop, PlayerWindow, file_row, open_descriptor_on,
                       text_box_inside, wait_until_held)

# A minute of frames with no tag and no length header, so that it still plays when the test
# stops it, however busy the machine. First in the list.
PLAIN_FILE = "a_long_song.mp3"
PLAIN_FILE_COPIES = 12  # of tests/data/vbr_no_xing.mp3, 5 s each
TAGGED_FILE = "id3v2_id3v1.mp3"
NEW_TITLE = "End to end title"
NEW_ARTIST = "End to end artist"
# Sorted after the other two, so third in the list. Larger than anything else the player
# writes (GStreamer's registry included), so that the limit stops only the save to it.
LIMIT_FILE = "size_limit.mp3"
LIMIT_FILE_SIZE = 8 * 1024 * 1024
SIZE_LIMIT = LIMIT_FILE_SIZE + 50
SAVE_ERROR_TITLE = "MP3 Tag Save Error"

TRAILER_SIZE = 128
# The trailer's fields that a retag of the artist leaves as they were: (start, length).
UNTOUCHED_FIELDS = {"title": (3, 30), "album": (63, 30), "year": (93, 4), "comment": (97, 28),
                    "genre": (127, 1)}


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def field(text):
    return text.encode("latin-1").ljust(30, b" ")


def check_saved_over_no_trailer(original, saved):
    if saved[:len(original)] != original:
        raise StepFailed(f"saving changed the audio bytes of {PLAIN_FILE}")
    check(f"the trailer added to {PLAIN_FILE} (its length, start and title)",
          (len(saved) - len(original), saved[len(original):][:33]),
          (TRAILER_SIZE, b"TAG" + field(NEW_TITLE)))


def id3v2_tag(data):
    """The ID3v2 tag that the bytes begin with, as other players read it."""
    try:
        return mutagen.id3.ID3(io.BytesIO(data), load_v1=False)
    except mutagen.id3.ID3NoHeaderError:
        raise StepFailed(f"{TAGGED_FILE} no longer begins with its ID3v2 tag") from None


def check_saved_over_trailer(original, saved):
    before, after = id3v2_tag(original), id3v2_tag(saved)
    if saved[after.size:-TRAILER_SIZE] != original[before.size:-TRAILER_SIZE]:
        raise StepFailed(f"saving changed the audio of {TAGGED_FILE}")
    # The ID3v2 tag, which other players show, takes the edit too.
    check(f"the ID3v2 artist and title of {TAGGED_FILE}",
          (str(after.get("TPE1")), str(after.get("TIT2"))), (NEW_ARTIST, str(before.get("TIT2"))))
    old, new = original[-TRAILER_SIZE:], saved[-TRAILER_SIZE:]
    check(f"the rewritten trailer of {TAGGED_FILE} (its start and artist)",
          new[:3] + new[33:63], b"TAG" + field(NEW_ARTIST))

    def untouched(trailer):
        """The fields as the player shows them."""
        return {name: trailer[start:start + length].rstrip(b"\0 ")
                for name, (start, length) in UNTOUCHED_FIELDS.items()}

    check(f"the fields of {TAGGED_FILE} that the user did not touch", untouched(new),
          untouched(old))


def run_scenario(run):
    paths = {name: os.path.join(run.work_folder, name)
             for name in (PLAIN_FILE, TAGGED_FILE, LIMIT_FILE)}
    test_data = os.path.join(run.source_folder, "tests", "data")
    frames = read_bytes(os.path.join(test_data, "vbr_no_xing.mp3"))
    with open(paths[PLAIN_FILE], "wb") as plain_file:
        plain_file.write(frames * PLAIN_FILE_COPIES)
    shutil.copyfile(os.path.join(test_data, TAGGED_FILE), paths[TAGGED_FILE])
    with open(paths[LIMIT_FILE], "wb") as limit_file:
        limit_file.truncate(LIMIT_FILE_SIZE)
    originals = {name: read_bytes(path) for name, path in paths.items()}
    check("whether the test files end in a trailer",
          [originals[name][-TRAILER_SIZE:][:3] == b"TAG" for name in (PLAIN_FILE, TAGGED_FILE)],
          [False, True])

    display = run.start_xvfb()
    desktop = Desktop(display)
    environment = dict(desktop.environment, QT_QPA_PLATFORM="xcb")
    environment.pop("MP3PLAYER_AUDIO_SINK", None)
    player = run.start(["prlimit", f"--fsize={SIZE_LIMIT}", run.player_path], environment)

    def picture_of_a_failure():
        if player.poll() is None:
            desktop.save_picture(os.path.join(run.work_folder, "failure.png"))

    run.children.callback(picture_of_a_failure)

    def wait_for_save(name):
        """Its bytes are checked once the player has ended, with those of the other files."""
        poll(f"the player saves {name}", lambda: read_bytes(paths[name]) != originals[name])

    step(player, "waiting for the window")
    window, (left, top, width, height) = PlayerWindow.shown(desktop)
    check("the window's size", (width, height), WINDOW_SIZE)
    if abs(left + width // 2 - SCREEN_SIZE[0] // 2) > 1 or \
            abs(top + height // 2 - SCREEN_SIZE[1] // 2) > 1:
        raise StepFailed(f"the window is at {left},{top}, not centred on the screen")
    empty_message = window.region(MESSAGE_LABEL)
    empty_artist = window.region(text_box_inside(ARTIST_BOX))
    unselected_row = window.region(file_row(0))

    step(player, f"clicking {PLAIN_FILE}, the first file")
    window.click_file_row(0)
    window.wait_for_change(file_row(0), unselected_row, f"the row of {PLAIN_FILE} is selected")
    window.wait_for_change(MESSAGE_LABEL, empty_message,
                           f"the player reads {PLAIN_FILE} and says it has no tag (lblMsg "
                           "stayed empty: the click on the file list did not load the file)")

    step(player, "typing a new title and saving")
    untitled = window.region(text_box_inside(TITLE_BOX))
    window.type_into(TITLE_BOX, NEW_TITLE)
    window.wait_for_change(text_box_inside(TITLE_BOX), untitled,
                           "the typed title shows in txtTitle")
    window.click(SAVE_BUTTON)
    wait_for_save(PLAIN_FILE)

    step(player, "playing")
    stopped_button = window.region(STRIP_PLAY_PAUSE)
    idle_total = window.region(TOTAL_TIME_LABEL)
    idle_elapsed = window.region(ELAPSED_TIME_LABEL)
    window.click(PLAY_STOP_BUTTON)
    wait_until_held(player.pid, paths[PLAIN_FILE])
    window.wait_for_change(STRIP_PLAY_PAUSE, stopped_button, "the media strip shows that it plays")
    window.wait_for_change(TOTAL_TIME_LABEL, idle_total, "lblTotalTime shows the length")
    window.wait_for_change(ELAPSED_TIME_LABEL, idle_elapsed,
                           "lblElapsedTime counts the played time")
    if not open_descriptor_on(player.pid, paths[PLAIN_FILE]):
        raise StepFailed(f"{PLAIN_FILE} finished playing before the test could stop it")

    step(player, "stopping")
    window.click(PLAY_STOP_BUTTON)
    wait_until_held(player.pid, paths[PLAIN_FILE], held=False)
    window.wait_for_look(STRIP_PLAY_PAUSE, stopped_button, "the media strip shows that it stopped")

    step(player, f"clicking {TAGGED_FILE}, the second file, typing a new artist and saving")
    window.click_file_row(1)
    window.wait_for_change(text_box_inside(ARTIST_BOX), empty_artist,
                           f"the artist in the trailer of {TAGGED_FILE} shows in txtArtist")
    window.type_into(ARTIST_BOX, NEW_ARTIST)
    window.click(SAVE_BUTTON)
    wait_for_save(TAGGED_FILE)

    step(player, f"saving to {LIMIT_FILE}, beyond the file-size limit")
    tagged_message = window.region(MESSAGE_LABEL)
    window.click_file_row(2)
    window.wait_for_change(MESSAGE_LABEL, tagged_message,
                           f"the player reads {LIMIT_FILE} and says it has no tag")
    window.click(SAVE_BUTTON)
    error_box = poll("the save error box appears",
                     lambda: desktop.visible_windows(f"^{SAVE_ERROR_TITLE}$"))[0]
    step(player, "closing the save error box")
    desktop.focus(error_box)
    desktop.keys("Return")
    poll("the save error box closes", lambda: not desktop.visible_windows(f"^{SAVE_ERROR_TITLE}$"))

    step(player, "closing through the credit box")
    window.leave_through_credit_box(player)

    print("== checking every byte the player wrote", flush=True)
    check_saved_over_no_trailer(originals[PLAIN_FILE], read_bytes(paths[PLAIN_FILE]))
    check_saved_over_trailer(originals[TAGGED_FILE], read_bytes(paths[TAGGED_FILE]))
    if read_bytes(paths[LIMIT_FILE]) != originals[LIMIT_FILE]:
        raise StepFailed(f"the failed save changed {LIMIT_FILE}")


if __name__ == "__main__":
    run_test(("Xvfb", "xdotool", "import", "prlimit"), "xvfb, xdotool, imagemagick and util-linux",
             "mp3player-e2e-", run_scenario)
