"""What the benchmarks written in Python share: a private place for the real player to run in,
with a sound server and an X display of its own, and the rows of the benchmarks' Markdown table.
The benchmark puts the source folder's tests/e2e on the module path before it imports this."""

import contextlib
import os
import shutil
import statistics
import sys
import tempfile

import e2e_support as e2e
import real_sound_test as sound

TABLE_HEADER = ("| Figure | This program | Baseline (same run) | Ratio | Goal | Result |\n"
                "| --- | ---: | ---: | ---: | --- | --- |")


def private_environment(folder):
    """This environment with a runtime and home folder of its own in `folder`, so that the
    player and the sound server it meets run as root too and leave the user's settings alone,
    and without the settings that would send the sound elsewhere."""
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    environment = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime)
    for name in ("MP3PLAYER_AUDIO_SINK", "PULSE_SERVER"):
        environment.pop(name, None)
    return environment


@contextlib.contextmanager
def desktop_with_sound(benchmark):
    """Yields a private folder and an environment whose player meets a sound server and an X
    display of their own, both ended afterwards. A failed step ends the benchmark with its
    reason and keeps the folder to look into."""
    folder = tempfile.mkdtemp(prefix=f"mp3player-bench-{benchmark}-")
    server = xvfb = None
    try:
        environment = private_environment(folder)
        server = sound.start_sound_server(environment)
        xvfb, display = e2e.start_xvfb()
        environment.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
        yield folder, environment
    except e2e.StepFailed as failure:
        sys.exit(f"bench_{benchmark}: {failure} (output kept in {folder})")
    finally:
        e2e.stop_process(xvfb)
        sound.stop_sound_server(server)
    shutil.rmtree(folder)


def timing_row(figure, milliseconds, goal_ms, goal):
    """A row of times with no baseline: their median and longest against the longest allowed."""
    median, longest = statistics.median(milliseconds), max(milliseconds)
    verdict = "met" if longest <= goal_ms else \
        f"missed by {round((longest / goal_ms - 1) * 100)}%"
    return (f"| {figure}, median of {len(milliseconds)} | {median:.1f} ms (max {longest:.1f} ms) "
            f"| - | - | {goal} | {verdict} |")
