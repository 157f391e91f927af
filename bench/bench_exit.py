#!/usr/bin/python3
"""How soon the real player is gone once it is told to end, while it plays and counts.

Usage: bench_exit.py <mp3player executable> <source folder>

Runs the player on a virtual X display, playing through a private PulseAudio null sink, a file
of about 600 MB of frames with no length header, dropped from the page cache first, so that
its frames are still being counted from the disk.
It then ends the player, through the credit box's OK or by closing its window the way a window
manager does (WM_DELETE_WINDOW), and times from that input to the process's end. Prints rows
of the benchmarks' Markdown table.
"""

import ctypes
import os
import subprocess
import sys
import threading
import time

source_folder = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else ""
sys.path.insert(0, os.path.join(source_folder, "tests", "e2e"))
import e2e_support as e2e  # noqa: E402
import benchmark_support as support  # noqa: E402
import x_desktop  # noqa: E402

TRIALS = 5
GOAL_MS = 300
COPIES = 16000  # of tests/data/vbr_no_xing.mp3 (36.6 kB), about 600 MB


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                ("pad", ctypes.c_long * 12)]


def close_like_a_window_manager(display, window):
    """Sends the window the WM_DELETE_WINDOW request that a close box or Alt+F4 sends."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise e2e.StepFailed(f"cannot open the X display {display}")
    event = XClientMessageEvent()
    event.type = 33  # ClientMessage
    event.window = int(window)
    event.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(connection)
    x11.XCloseDisplay(connection)


def long_file(folder):
    frames = open(os.path.join(source_folder, "tests", "data", "vbr_no_xing.mp3"), "rb").read()
    path = os.path.join(folder, "long.mp3")
    with open(path, "wb") as file:
        for _ in range(COPIES):
            file.write(frames)
    return path


def one_exit(player_path, folder, environment, display, how):
    """Milliseconds from the input that ends the player to its end."""
    # Out of the page cache, so that the count reads from the disk and is still going.
    with open(os.path.join(folder, "long.mp3"), "rb") as file:
        os.posix_fadvise(file.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)
    desktop = x_desktop.Desktop(display)
    with open(os.path.join(folder, "player.log"), "ab") as log:
        player = subprocess.Popen([player_path], cwd=folder, env=environment, stdout=log,
                                  stderr=subprocess.STDOUT, preexec_fn=e2e.die_with_parent)
    ended = threading.Event()
    ended_at = [0.0]

    def wait_for_end():
        player.wait()
        ended_at[0] = time.monotonic()
        ended.set()

    threading.Thread(target=wait_for_end, daemon=True).start()
    try:
        window_id = e2e.poll("the player's window is shown", desktop.visible_windows)[0]
        left, top, _, _ = desktop.geometry(window_id)
        window = x_desktop.PlayerWindow(desktop, left, top)
        window.wait_until_painted()
        window.click_file_row(0)
        window.click(x_desktop.PLAY_STOP_BUTTON)
        path = os.path.join(folder, "long.mp3")
        e2e.poll("the player opens the file",
                 lambda: x_desktop.open_descriptor_on(player.pid, path))
        # Timed from before the input is sent, so the figure includes sending it.
        if how == "credit":
            window.click(x_desktop.CLOSE_BUTTON)
            box = e2e.poll("the credit box appears",
                           lambda: [w for w in desktop.visible_windows() if w != window_id])[0]
            desktop.focus(box)
            told_at = time.monotonic()
            desktop.keys("Return")
        else:
            told_at = time.monotonic()
            close_like_a_window_manager(display, window_id)
        if not ended.wait(10):
            raise e2e.StepFailed("the player did not end within 10 s")
        if player.returncode != 0:
            raise e2e.StepFailed(f"the player ended with status {player.returncode}")
        return max(ended_at[0] - told_at, 0.0) * 1000
    finally:
        e2e.stop_process(player)


def main():
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <mp3player executable> <source folder>")
    player_path = os.path.abspath(sys.argv[1])
    with support.desktop_with_sound("exit") as (folder, environment):
        print("Writing a file of about 600 MB of frames", file=sys.stderr)
        long_file(folder)
        display = environment["DISPLAY"]
        rows = []
        for how, figure in (("credit", "Exit: credit box OK to process end"),
                            ("close", "Exit: window closed by the platform to process end")):
            print(f"Ending the player {TRIALS} times: {figure}", file=sys.stderr)
            times = [one_exit(player_path, folder, environment, display, how)
                     for _ in range(TRIALS)]
            rows.append(support.timing_row(f"{figure}, playing and counting 600 MB", times,
                                           GOAL_MS, f"under {GOAL_MS} ms"))
        print(support.TABLE_HEADER)
        print("\n".join(rows), flush=True)


if __name__ == "__main__":
    main()
