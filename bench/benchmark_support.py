"""What the benchmarks written in Python share: a private place for the real player to run in,
and the rows of the benchmarks' Markdown table."""

import os
import statistics

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


def timing_row(figure, milliseconds, goal_ms, goal):
    """A row of times with no baseline: their median and longest against the longest allowed."""
    median, longest = statistics.median(milliseconds), max(milliseconds)
    verdict = "met" if longest <= goal_ms else \
        f"missed by {round((longest / goal_ms - 1) * 100)}%"
    return (f"| {figure}, median of {len(milliseconds)} | {median:.1f} ms (max {longest:.1f} ms) "
            f"| - | - | {goal} | {verdict} |")
