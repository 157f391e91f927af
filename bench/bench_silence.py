#!/usr/bin/python3
"""How soon the real player falls silent after a pause or a stop, heard through a sound server.

Usage: bench_silence.py <mp3player executable> <source folder>

Runs the player on a virtual X display, playing a 440 Hz tone into a private PulseAudio null
sink whose monitor is recorded, and pauses it from the media strip and stops it with play &
stop, five times each. Each figure runs from the click to the last loud sample the recorder got:
an upper bound on when the sink played it. Prints rows of the benchmarks' Markdown table.
"""

import os
import subprocess
import sys
import time

source_folder = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else ""
sys.path.insert(0, os.path.join(source_folder, "tests", "e2e"))
import e2e_support as e2e  # noqa: E402
import benchmark_support as support  # noqa: E402
import real_sound_test as sound  # noqa: E402
import x_desktop  # noqa: E402

TRIALS = 5
GOAL_MS = 50


def silenced_after(recorder, click):
    """Milliseconds from a click to the last sound after it."""
    clicked_at = time.monotonic()
    click()
    return recorder.last_sound_after(clicked_at) * 1000


def play_and_wait_for_sound(recorder, click):
    clicked_at = time.monotonic()
    click()
    recorder.wait_for_sound(clicked_at)


def measure(player_path, folder, environment):
    """The times to silence after each pause and each stop."""
    recorder = sound.Recorder(environment)
    player = None
    try:
        with open(os.path.join(folder, "player.log"), "ab") as log:
            player = subprocess.Popen([player_path], cwd=folder, env=environment, stdout=log,
                                      stderr=subprocess.STDOUT, preexec_fn=e2e.die_with_parent)
        window, _ = x_desktop.PlayerWindow.shown(x_desktop.Desktop(environment["DISPLAY"]))
        tone_path = os.path.join(folder, sound.TONE_FILE)
        window.click_file_row(0)
        play_and_wait_for_sound(recorder, lambda: window.click(x_desktop.PLAY_STOP_BUTTON))
        pauses, stops = [], []
        for _ in range(TRIALS):
            pauses.append(silenced_after(recorder,
                                         lambda: window.click(x_desktop.STRIP_PLAY_PAUSE)))
            play_and_wait_for_sound(recorder, lambda: window.click(x_desktop.STRIP_PLAY_PAUSE))
            stops.append(silenced_after(recorder,
                                        lambda: window.click(x_desktop.PLAY_STOP_BUTTON)))
            x_desktop.wait_until_held(player.pid, tone_path, held=False)
            play_and_wait_for_sound(recorder, lambda: window.click(x_desktop.PLAY_STOP_BUTTON))
        return pauses, stops
    finally:
        e2e.stop_process(player)
        e2e.stop_process(recorder.process)


def row(figure, times):
    return support.timing_row(figure, times, GOAL_MS, f"within {GOAL_MS} ms")


def main():
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <mp3player executable> <source folder>")
    player_path = os.path.abspath(sys.argv[1])
    with support.desktop_with_sound("silence") as (folder, environment):
        sound.make_tone(folder)
        print(f"Pausing and stopping a tone {TRIALS} times each", file=sys.stderr)
        pauses, stops = measure(player_path, folder, environment)
        print(support.TABLE_HEADER)
        print(row("Silence after a pause from the media strip, click to last sound", pauses))
        print(row("Silence after a stop with play & stop, click to last sound", stops),
              flush=True)


if __name__ == "__main__":
    main()
