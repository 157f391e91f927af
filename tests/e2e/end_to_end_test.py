#!/usr/bin/python3
"""Drives the real player on a virtual X display with real mouse and keyboard input.

Usage: end_to_end_test.py <mp3player executable> <source folder>

The player opens on the folder it starts in, so it starts in a fresh folder holding copies of
two test files and a large file, under a file-size limit a little above the large file's size.
The test picks a file, retitles it, saves, plays and stops it, retags a file that already has a
trailer and an ID3v2 tag (both take the new artist), saves to the large file, which the limit
refuses, and leaves through the credit box; then it checks every byte the player wrote. Labels
cannot be read back from X, so the test watches what it can observe exactly (open file
descriptors, file bytes, windows, the exit status) and otherwise compares screen regions before
and after each step.
Needs: Xvfb, xdotool, ImageMagick's import, prlimit and python3-mutagen.
"""

import io
import os
import shutil
import subprocess
import sys

import mutagen.id3

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (SCREEN_SIZE, STEP_TIMEOUT, WINDOW_SIZE,  # noqa: E402
                         WINDOW_TITLE, StepFailed, die_with_parent, poll, run_test, start_xvfb,
                         stop_process)
from x_desktop import (ARTIST_BOX, CLOSE_BUTTON, ELAPSED_TIME_LABEL, FILE_LIST,  # noqa: E402
                       FILE_LIST_TOP_MARGIN, FILE_ROW_HEIGHT, MESSAGE_LABEL, PLAY_STOP_BUTTON,
                       SAVE_BUTTON, STRIP_PLAY_PAUSE, TITLE_BOX, TOTAL_TIME_LABEL, Desktop,
                       PlayerWindow, open_descriptor_on, text_box_inside)

PLAIN_FILE = "cbr.mp3"
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
FIELD_SIZE = 30


def read_bytes(path):
    with open(path, "rb") as file:
        return file.read()


def wait_for_save(desktop, main_window, description, saved):
    """Waits for the file to change; a box the player opens instead is a refusal."""

    def saved_or_refused():
        if saved():
            return True
        for window in desktop.visible_windows("."):
            if window != main_window:
                title = desktop.run("xdotool", "getwindowname", window).strip()
                raise StepFailed(f"the player refused to save, with the box \"{title}\"")
        return False

    poll(description, saved_or_refused)


def field(text):
    return text.encode("latin-1").ljust(FIELD_SIZE, b" ")


def shown(field_bytes):
    return field_bytes.rstrip(b"\0 ")


def check_saved_over_no_trailer(original, saved):
    if saved[:len(original)] != original:
        raise StepFailed(f"saving changed the audio bytes of {PLAIN_FILE}")
    trailer = saved[len(original):]
    if len(trailer) != TRAILER_SIZE:
        raise StepFailed(f"{PLAIN_FILE} grew by {len(trailer)} bytes, not by one "
                         f"{TRAILER_SIZE}-byte trailer")
    if trailer[:3] != b"TAG":
        raise StepFailed(f"the trailer added to {PLAIN_FILE} starts with {trailer[:3]!r}")
    if trailer[3:33] != field(NEW_TITLE):
        raise StepFailed(f"the saved title is {trailer[3:33]!r}, not {field(NEW_TITLE)!r}")


def id3v2_size(data):
    """The size of the ID3v2 tag the bytes begin with: header, syncsafe body, 2.4 footer."""
    if data[:3] != b"ID3":
        return 0
    body = 0
    for byte in data[6:10]:
        body = body << 7 | byte
    footer = 10 if data[3] == 4 and data[5] & 0x10 else 0
    return 10 + body + footer


def check_saved_over_trailer(original, saved):
    old_tag, new_tag = id3v2_size(original), id3v2_size(saved)
    if not old_tag or not new_tag:
        raise StepFailed(f"{TAGGED_FILE} no longer begins with its ID3v2 tag")
    if saved[new_tag:-TRAILER_SIZE] != original[old_tag:-TRAILER_SIZE]:
        raise StepFailed(f"saving changed the audio of {TAGGED_FILE}")
    # The ID3v2 tag, which other players show, takes the edit too; mutagen reads it as they do.
    before, after = (mutagen.id3.ID3(io.BytesIO(data)) for data in (original, saved))
    if str(after.get("TPE1")) != NEW_ARTIST:
        raise StepFailed(f"the ID3v2 artist is {after.get('TPE1')!r}, not {NEW_ARTIST!r}")
    if str(after.get("TIT2")) != str(before.get("TIT2")):
        raise StepFailed(f"the ID3v2 title changed from {before.get('TIT2')!r} to "
                         f"{after.get('TIT2')!r}")
    old, new = original[-TRAILER_SIZE:], saved[-TRAILER_SIZE:]
    if new[:3] != b"TAG":
        raise StepFailed(f"the rewritten trailer of {TAGGED_FILE} starts with {new[:3]!r}")
    if new[33:63] != field(NEW_ARTIST):
        raise StepFailed(f"the saved artist is {new[33:63]!r}, not {field(NEW_ARTIST)!r}")
    # The fields the user did not touch come back as the player showed them.
    for name, start, length in (("title", 3, 30), ("album", 63, 30), ("year", 93, 4),
                                ("comment", 97, 28), ("genre", 127, 1)):
        if shown(new[start:start + length]) != shown(old[start:start + length]):
            raise StepFailed(f"the {name} of {TAGGED_FILE} changed from "
                             f"{old[start:start + length]!r} to {new[start:start + length]!r}")


def run_scenario(player_path, source_folder, work_folder, log):
    originals = {}
    for name in (PLAIN_FILE, TAGGED_FILE):
        shutil.copyfile(os.path.join(source_folder, "tests", "data", name),
                        os.path.join(work_folder, name))
        originals[name] = read_bytes(os.path.join(work_folder, name))
    if originals[PLAIN_FILE][-TRAILER_SIZE:][:3] == b"TAG":
        raise StepFailed(f"tests/data/{PLAIN_FILE} already ends in a trailer: this test needs one "
                         "without")
    if originals[TAGGED_FILE][-TRAILER_SIZE:][:3] != b"TAG":
        raise StepFailed(f"tests/data/{TAGGED_FILE} has no trailer: this test needs one")
    plain_path = os.path.join(work_folder, PLAIN_FILE)
    tagged_path = os.path.join(work_folder, TAGGED_FILE)
    limit_path = os.path.join(work_folder, LIMIT_FILE)
    with open(limit_path, "wb") as limit_file:
        limit_file.truncate(LIMIT_FILE_SIZE)
    originals[LIMIT_FILE] = read_bytes(limit_path)

    xvfb, display = start_xvfb()
    player = None
    try:
        desktop = Desktop(display)
        environment = dict(desktop.environment, QT_QPA_PLATFORM="xcb")
        environment.pop("MP3PLAYER_AUDIO_SINK", None)
        player = subprocess.Popen(["prlimit", f"--fsize={SIZE_LIMIT}", player_path],
                                  cwd=work_folder, env=environment, stdout=log,
                                  stderr=subprocess.STDOUT, preexec_fn=die_with_parent)

        def step(text):
            if player.poll() is not None:
                raise StepFailed(f"the player stopped with status {player.returncode}")
            print(f"== {text}", flush=True)

        step("waiting for the window")
        window_id = poll("the player's window is shown", desktop.visible_windows)[0]
        left, top, width, height = desktop.geometry(window_id)
        if (width, height) != WINDOW_SIZE:
            raise StepFailed(f"the window is {width}x{height}, not {WINDOW_SIZE[0]}x"
                             f"{WINDOW_SIZE[1]}")
        if abs(left + width // 2 - SCREEN_SIZE[0] // 2) > 1 or \
                abs(top + height // 2 - SCREEN_SIZE[1] // 2) > 1:
            raise StepFailed(f"the window is at {left},{top}, not centred on the screen")
        window = PlayerWindow(desktop, left, top)
        window.wait_until_painted()
        empty_message = window.region(MESSAGE_LABEL)
        empty_artist = window.region(text_box_inside(ARTIST_BOX))
        first_row = (FILE_LIST[0] + 2, FILE_LIST[1] + FILE_LIST_TOP_MARGIN,
                     FILE_LIST[2] - 4, FILE_ROW_HEIGHT)
        unselected_row = window.region(first_row)

        step(f"clicking {PLAIN_FILE}, the first file")
        window.click_file_row(0)
        window.wait_for_change(first_row, unselected_row, f"the row of {PLAIN_FILE} is selected")
        window.wait_for_change(MESSAGE_LABEL, empty_message,
                               f"the player reads {PLAIN_FILE} and says it has no tag (lblMsg "
                               "stayed empty: the click on the file list did not load the file)")

        step("typing a new title")
        untitled = window.region(text_box_inside(TITLE_BOX))
        window.click(TITLE_BOX)
        desktop.keys("ctrl+a")
        desktop.type(NEW_TITLE)
        window.wait_for_change(text_box_inside(TITLE_BOX), untitled,
                               "the typed title shows in txtTitle")
        desktop.save_picture(os.path.join(work_folder, "1-title-typed.png"))

        step("saving the tag")
        window.click(SAVE_BUTTON)
        wait_for_save(desktop, window_id, f"{PLAIN_FILE} grows by a trailer",
                      lambda: read_bytes(plain_path) != originals[PLAIN_FILE])
        check_saved_over_no_trailer(originals[PLAIN_FILE], read_bytes(plain_path))

        step("playing")
        stopped_button = window.region(STRIP_PLAY_PAUSE)
        idle_total = window.region(TOTAL_TIME_LABEL)
        idle_elapsed = window.region(ELAPSED_TIME_LABEL)
        window.click(PLAY_STOP_BUTTON)
        poll(f"GStreamer opens {PLAIN_FILE}", lambda: open_descriptor_on(player.pid, plain_path))
        window.wait_for_change(STRIP_PLAY_PAUSE, stopped_button,
                               "the media strip shows that it plays")
        window.wait_for_change(TOTAL_TIME_LABEL, idle_total, "lblTotalTime shows the length")
        window.wait_for_change(ELAPSED_TIME_LABEL, idle_elapsed,
                               "lblElapsedTime counts the played time", timeout=3)
        desktop.save_picture(os.path.join(work_folder, "2-playing.png"))
        if not open_descriptor_on(player.pid, plain_path):
            raise StepFailed(f"{PLAIN_FILE} finished playing before the test could stop it")

        step("stopping")
        window.click(PLAY_STOP_BUTTON)
        poll(f"the player closes {PLAIN_FILE}",
             lambda: not open_descriptor_on(player.pid, plain_path))
        window.wait_for_look(STRIP_PLAY_PAUSE, stopped_button,
                             "the media strip shows that it stopped")

        step(f"clicking {TAGGED_FILE}, the second file")
        window.click_file_row(1)
        window.wait_for_change(text_box_inside(ARTIST_BOX), empty_artist,
                               f"the artist in the trailer of {TAGGED_FILE} shows in txtArtist")

        step("typing a new artist and saving")
        window.click(ARTIST_BOX)
        desktop.keys("ctrl+a")
        desktop.type(NEW_ARTIST)
        window.click(SAVE_BUTTON)
        wait_for_save(desktop, window_id, f"the trailer of {TAGGED_FILE} is rewritten",
                      lambda: read_bytes(tagged_path) != originals[TAGGED_FILE])
        check_saved_over_trailer(originals[TAGGED_FILE], read_bytes(tagged_path))

        step(f"saving to {LIMIT_FILE}, beyond the file-size limit")
        tagged_message = window.region(MESSAGE_LABEL)
        window.click_file_row(2)
        window.wait_for_change(MESSAGE_LABEL, tagged_message,
                               f"the player reads {LIMIT_FILE} and says it has no tag")
        window.click(SAVE_BUTTON)
        error_box = poll("the save error box appears",
                         lambda: desktop.visible_windows(f"^{SAVE_ERROR_TITLE}$"))[0]
        desktop.save_picture(os.path.join(work_folder, "3-size-limit.png"))
        if player.poll() is not None:
            raise StepFailed(f"the player stopped with status {player.returncode} at the limit")
        if read_bytes(limit_path) != originals[LIMIT_FILE]:
            raise StepFailed(f"the failed save left {LIMIT_FILE} changed")
        desktop.focus(error_box)
        desktop.keys("Return")
        poll("the save error box closes",
             lambda: not desktop.visible_windows(f"^{SAVE_ERROR_TITLE}$"))

        step("closing through the credit box")
        window.click(CLOSE_BUTTON)
        credit_box = poll("the credit box appears",
                          lambda: [w for w in desktop.visible_windows() if w != window_id])[0]
        desktop.save_picture(os.path.join(work_folder, "4-credit-box.png"))
        desktop.focus(credit_box)
        desktop.keys("Return")
        poll("the player exits", lambda: player.poll() is not None, timeout=5)
        if player.returncode != 0:
            raise StepFailed(f"the player exited with status {player.returncode}")

        print("== checking the files after the player exited", flush=True)
        check_saved_over_no_trailer(originals[PLAIN_FILE], read_bytes(plain_path))
        check_saved_over_trailer(originals[TAGGED_FILE], read_bytes(tagged_path))
        if read_bytes(limit_path) != originals[LIMIT_FILE]:
            raise StepFailed(f"{LIMIT_FILE} changed after the player exited")
    except StepFailed:
        if player is not None and player.poll() is None:
            desktop.save_picture(os.path.join(work_folder, "failure.png"))
        raise
    finally:
        stop_process(player)
        stop_process(xvfb)


if __name__ == "__main__":
    run_test(("Xvfb", "xdotool", "import", "prlimit"), "xvfb, xdotool, imagemagick and util-linux",
             "mp3player-e2e-", run_scenario)
