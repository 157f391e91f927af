"""Driving the real player's window on a virtual X display: where its controls are, mouse and
keyboard input through xdotool, pixels through ImageMagick's import, and what files the
player's process holds open."""

import contextlib
import os
import subprocess

from e2e_support import STEP_TIMEOUT, WINDOW_SIZE, WINDOW_TITLE, StepFailed, check, poll

# Control rectangles (left, top, width, height) relative to the window's top-left corner.
FILE_LIST = (152, 96, 201, 244)
MESSAGE_LABEL = (152, 80, 201, 17)
TITLE_BOX = (424, 80, 137, 19)
ARTIST_BOX = (424, 104, 137, 19)
SAVE_BUTTON = (424, 224, 137, 25)
PLAY_STOP_BUTTON = (264, 352, 89, 25)
CLOSE_BUTTON = (528, 8, 41, 25)
TOTAL_TIME_LABEL = (368, 296, 193, 41)
ELAPSED_TIME_LABEL = (368, 336, 193, 33)
# The media strip's play/pause button: it shows a pause sign only while the strip plays.
STRIP_PLAY_PAUSE = (16, 392, 30, 24)

FILE_ROW_HEIGHT = 13
FILE_LIST_TOP_MARGIN = 2


def file_row(row):
    """A row of the file list, inside the list's frame."""
    left, top, width, _ = FILE_LIST
    return (left + 2, top + FILE_LIST_TOP_MARGIN + row * FILE_ROW_HEIGHT, width - 4,
            FILE_ROW_HEIGHT)


def text_box_inside(box):
    """The part of a text box where its first characters show and the caret never blinks."""
    left, top, width, height = box
    return (left + 10, top + 2, 60, height - 4)


class Desktop:
    def __init__(self, display):
        self.environment = dict(os.environ, DISPLAY=display)
        self.pointer = None

    def run(self, *arguments):
        try:
            result = subprocess.run(arguments, env=self.environment, capture_output=True,
                                    text=True, timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise StepFailed(f"{' '.join(arguments)} did not finish") from None
        if result.returncode != 0 and arguments[:2] != ("xdotool", "search"):
            raise StepFailed(f"{' '.join(arguments)} failed: {result.stderr.strip()}")
        return result.stdout

    def visible_windows(self, name_pattern=f"^{WINDOW_TITLE}$"):
        return self.run("xdotool", "search", "--onlyvisible", "--name", name_pattern).split()

    def geometry(self, window):
        values = dict(line.split("=", 1) for line in
                      self.run("xdotool", "getwindowgeometry", "--shell", window).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y):
        # mousemove --sync waits for the pointer to move, forever when it is already there.
        if self.pointer != (x, y):
            self.run("xdotool", "mousemove", "--sync", str(x), str(y))
            self.pointer = (x, y)
        self.run("xdotool", "click", "1")

    def keys(self, *names):
        self.run("xdotool", "key", "--clearmodifiers", *names)

    def type(self, text):
        self.run("xdotool", "type", "--delay", "20", text)

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", window)

    def grab(self):
        """The whole screen as (width, pixels): 3 bytes a pixel, rows from the top."""
        picture = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                                 env=self.environment, capture_output=True,
                                 timeout=STEP_TIMEOUT).stdout
        fields = picture.split(maxsplit=4)
        if len(fields) < 5 or fields[0] != b"P6":
            raise StepFailed("import gave no screen picture")
        return int(fields[1]), fields[4]

    def save_picture(self, path):
        self.run("import", "-window", "root", path)


class PlayerWindow:
    def __init__(self, desktop, left, top, window_id=None):
        self.desktop = desktop
        self.left = left
        self.top = top
        self.id = window_id

    @classmethod
    def shown(cls, desktop):
        """The player's window once it is shown and painted, and its geometry."""
        window_id = poll("the player's window is shown", desktop.visible_windows)[0]
        geometry = desktop.geometry(window_id)
        window = cls(desktop, geometry[0], geometry[1], window_id)
        window.wait_until_painted()
        return window, geometry

    def click(self, rectangle):
        left, top, width, height = rectangle
        self.desktop.click(self.left + left + width // 2, self.top + top + height // 2)

    def click_file_row(self, row):
        self.click(file_row(row))

    def type_into(self, box, text):
        self.click(box)
        self.desktop.keys("ctrl+a")
        self.desktop.type(text)

    def leave_through_credit_box(self, player):
        self.click(CLOSE_BUTTON)
        credit_box = poll("the credit box appears",
                          lambda: [w for w in self.desktop.visible_windows() if w != self.id])[0]
        self.desktop.focus(credit_box)
        self.desktop.keys("Return")
        poll("the player exits", lambda: player.poll() is not None, timeout=5)
        check("the player's exit status", player.returncode, 0)

    def region(self, rectangle):
        screen_width, pixels = self.desktop.grab()
        left, top, width, height = rectangle
        rows = []
        for y in range(self.top + top, self.top + top + height):
            start = (y * screen_width + self.left + left) * 3
            rows.append(pixels[start:start + width * 3])
        return b"".join(rows)

    def wait_until_painted(self):
        """Baselines taken before the first paint would make every later region differ."""
        whole = (0, 0, *WINDOW_SIZE)
        previous = [None]

        def painted_and_still():
            now = self.region(whole)
            still = now == previous[0]
            previous[0] = now
            colours = {now[i:i + 3] for i in range(0, len(now), 3)}
            return still and len(colours) > 1

        poll("the window is painted", painted_and_still)

    def wait_for_change(self, rectangle, before, description, timeout=STEP_TIMEOUT):
        poll(description, lambda: self.region(rectangle) != before, timeout)

    def wait_for_look(self, rectangle, look, description, timeout=STEP_TIMEOUT):
        poll(description, lambda: self.region(rectangle) == look, timeout)


def open_descriptor_on(pid, path):
    """Whether the process holds a descriptor on the file: proof that GStreamer opened it."""
    target = os.path.realpath(path)
    folder = f"/proc/{pid}/fd"
    with contextlib.suppress(FileNotFoundError):  # the process has ended
        for descriptor in os.listdir(folder):
            with contextlib.suppress(OSError):  # closed since the listing
                if os.readlink(f"{folder}/{descriptor}") == target:
                    return True
    return False


def wait_until_held(pid, path, held=True):
    poll(f"the player {'opens' if held else 'closes'} {os.path.basename(path)}",
         lambda: open_descriptor_on(pid, path) == held)
