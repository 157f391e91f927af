#!/usr/bin/python3
"""What the whole player costs while it plays, beside players that people pick for being light.

Usage: bench_playing.py <mp3player executable> <source folder> <bench_floor executable>

Runs the real player on a virtual X display with its window shown, its 60 ms tick running and
a 192 kbps file playing into the null sink of a private PulseAudio server, then, one after the
other into the same sink, the floor under it (bench_floor: a bare Qt window with a 60 ms timer,
playing through the player's own pipeline and sink settings), `audacious -H`, `mpg123 -o
pulse` and `gst-launch-1.0 playbin`. Each
is measured from /proc over 15 s after a 3 s settle: the CPU time of all its threads per second
of audio (from schedstat, in nanoseconds), the context switches of all its threads per second
and its resident memory. Two rounds, the second in the opposite order; the figures are the
means. Then the player plays and stops the file 150 times through its play & stop button, and
its resident memory after the first 10 cycles is compared with that after all 150.
Prints rows of the benchmarks' Markdown table.
"""

import os
import subprocess
import sys
import time

source_folder = os.path.abspath(sys.argv[2]) if len(sys.argv) == 4 else ""
sys.path.insert(0, os.path.join(source_folder, "tests", "e2e"))
import e2e_support as e2e  # noqa: E402
import benchmark_support as support  # noqa: E402
import x_desktop  # noqa: E402

SETTLE_SECONDS = 3
# A quick pass (MP3PLAYER_BENCH_SECONDS) shortens the measured span; the goals are for 15 s.
MEASURED_SECONDS = min(15.0, float(os.environ.get("MP3PLAYER_BENCH_SECONDS") or 15))
ROUNDS = 2
CYCLES = 150
WARM_CYCLES = 10
FILE_NAME = "noise-192.mp3"
CPU_GOAL_MPG123 = 1.5
FLOOR_GOAL = 1.15
SWITCHES_GOAL = 60
RSS_GOAL_MIB = 36
GROWTH_GOAL_MIB = 0.5


def make_test_file(folder, seconds):
    """Pink noise under a tone at 192 kbps: every frame full, as with dense music."""
    wav = os.path.join(folder, "noise.wav")
    length = str(seconds)
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", length,
                    "pinknoise", "synth", length, "sine", "mix", "330", "gain", "-8"], check=True)
    path = os.path.join(folder, FILE_NAME)
    subprocess.run(["lame", "--quiet", "--noreplaygain", "--cbr", "-b", "192", wav, path],
                   check=True)
    os.remove(wav)
    return path


def thread_counters(pid):
    """Per thread: nanoseconds on the CPU and context switches, voluntary or not."""
    counters = {}
    task_folder = f"/proc/{pid}/task"
    for tid in os.listdir(task_folder):
        try:
            with open(f"{task_folder}/{tid}/schedstat", encoding="ascii") as schedstat:
                nanoseconds = int(schedstat.read().split()[0])
            switches = 0
            with open(f"{task_folder}/{tid}/status", encoding="ascii") as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            continue  # the thread ended in between
        counters[tid] = (nanoseconds, switches)
    return counters


def resident_mebibytes(pid):
    with open(f"/proc/{pid}/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    raise e2e.StepFailed(f"process {pid} has no VmRSS")


def measure(process, name):
    """CPU milliseconds and context switches a second of playing, and MiB resident."""
    time.sleep(SETTLE_SECONDS)
    if process.poll() is not None:
        raise e2e.StepFailed(f"{name} ended with status {process.returncode} before measuring")
    before, started = thread_counters(process.pid), time.monotonic()
    time.sleep(MEASURED_SECONDS)
    after, ended = thread_counters(process.pid), time.monotonic()
    if process.poll() is not None:
        raise e2e.StepFailed(f"{name} ended with status {process.returncode} while measured")
    # A thread that began within the span counts whole; one that ended in it is lost, which
    # only a player that ends threads while it plays would notice.
    cpu = sum(ns - before.get(tid, (0, 0))[0] for tid, (ns, _) in after.items())
    switches = sum(s - before.get(tid, (0, 0))[1] for tid, (_, s) in after.items())
    seconds = ended - started
    return {"cpu": cpu / 1e6 / seconds, "switches": switches / seconds,
            "rss": resident_mebibytes(process.pid), "threads": len(after)}


class Player:
    """The real player on the virtual display, started in the folder of the test file."""

    def __init__(self, player_path, folder, environment, display, log):
        self.desktop = x_desktop.Desktop(display)
        self.process = subprocess.Popen([player_path], cwd=folder, env=environment, stdout=log,
                                        stderr=subprocess.STDOUT,
                                        preexec_fn=e2e.die_with_parent)
        self.file = os.path.join(folder, FILE_NAME)
        window_id = e2e.poll("the player's window is shown", self.desktop.visible_windows)[0]
        left, top, _, _ = self.desktop.geometry(window_id)
        self.window = x_desktop.PlayerWindow(self.desktop, left, top)
        self.window.wait_until_painted()
        self.window.click_file_row(0)

    def holds_file(self):
        return x_desktop.open_descriptor_on(self.process.pid, self.file)

    def press_play_stop(self, playing_after):
        self.window.click(x_desktop.PLAY_STOP_BUTTON)
        deadline = time.monotonic() + e2e.STEP_TIMEOUT
        while self.holds_file() != playing_after:
            if time.monotonic() > deadline:
                raise e2e.StepFailed("the player did not " +
                                     ("open" if playing_after else "close") + " the file")
            time.sleep(0.005)

    def stop(self):
        e2e.stop_process(self.process)


def run_tool(command, environment):
    return subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, preexec_fn=e2e.die_with_parent)


def play_side_by_side(player_path, floor_path, folder, environment, display, log):
    path = os.path.join(folder, FILE_NAME)
    tools = {
        "floor": [floor_path, path],
        "audacious -H": ["audacious", "-H", path],
        "mpg123 -o pulse": ["mpg123", "-q", "-o", "pulse", path],
        "gst-launch-1.0 playbin": ["gst-launch-1.0", "-q", "playbin",
                                   "uri=file://" + path],
    }
    # Audacious scans its plugins and writes its settings on its first start in a new home.
    warm_up = run_tool(["audacious", "-H", path], environment)
    time.sleep(SETTLE_SECONDS)
    e2e.stop_process(warm_up)

    figures = {name: [] for name in ["player", *tools]}
    for round_number in range(ROUNDS):
        order = ["player", *tools] if round_number % 2 == 0 else [*reversed(tools), "player"]
        for name in order:
            print(f"Round {round_number + 1}: playing with {name}", file=sys.stderr, flush=True)
            if name == "player":
                player = Player(player_path, folder, environment, display, log)
                try:
                    player.press_play_stop(playing_after=True)
                    figures[name].append(measure(player.process, name))
                finally:
                    player.stop()
            else:
                process = run_tool(tools[name], environment)
                try:
                    figures[name].append(measure(process, name))
                finally:
                    e2e.stop_process(process)
    return {name: {key: sum(run[key] for run in runs) / len(runs) for key in runs[0]} |
            {"rss": max(run["rss"] for run in runs)} for name, runs in figures.items()}


def memory_over_cycles(player_path, folder, environment, display, log):
    print(f"Playing and stopping {CYCLES} times", file=sys.stderr, flush=True)
    player = Player(player_path, folder, environment, display, log)
    try:
        for cycle in range(1, CYCLES + 1):
            player.press_play_stop(playing_after=True)
            player.press_play_stop(playing_after=False)
            if cycle == WARM_CYCLES:
                warm = resident_mebibytes(player.process.pid)
        return warm, resident_mebibytes(player.process.pid)
    finally:
        player.stop()


def verdict_at_most(value, limit):
    return "met" if value <= limit else f"missed by {round((value / limit - 1) * 100)}%"


def rows(figures, warm, cycled):
    own = figures["player"]
    floor, audacious, mpg123, gst = (figures[name] for name in (
        "floor", "audacious -H", "mpg123 -o pulse", "gst-launch-1.0 playbin"))
    run = (f"192 kbps into a PulseAudio null sink, {MEASURED_SECONDS:.0f} s after "
           f"{SETTLE_SECONDS} s, mean of {ROUNDS} rounds")
    figure = "Playing, whole program (window shown, 60 ms tick)"

    def cpu_row(peer, name, goal, limit):
        ratio = own["cpu"] / peer["cpu"]
        return (f"| {figure}: CPU a second of audio, {run} | {own['cpu']:.2f} ms/s | "
                f"{peer['cpu']:.2f} ms/s {name} | {ratio:.2f}x | {goal} | "
                f"{verdict_at_most(ratio, limit) if limit else '-'} |")

    return [
        cpu_row(floor, "floor (bare window, same pipeline)", f"within {FLOOR_GOAL}x of the floor",
                FLOOR_GOAL),
        cpu_row(audacious, "audacious -H", "no more than audacious -H", 1.0),
        cpu_row(mpg123, "mpg123 -o pulse", f"within {CPU_GOAL_MPG123}x of mpg123",
                CPU_GOAL_MPG123),
        cpu_row(gst, "gst-launch-1.0 playbin", "(for information)", None),
        f"| {figure}: context switches a second, all threads, {run} | "
        f"{own['switches']:.0f}/s | {audacious['switches']:.0f}/s audacious -H, "
        f"{mpg123['switches']:.0f}/s mpg123, {gst['switches']:.0f}/s gst-launch | "
        f"{own['switches'] / audacious['switches']:.2f}x | at most {SWITCHES_GOAL}/s | "
        f"{verdict_at_most(own['switches'], SWITCHES_GOAL)} |",
        f"| {figure}: resident memory while playing, most of {ROUNDS} rounds | "
        f"{own['rss']:.1f} MiB, {own['threads']:.0f} threads | {audacious['rss']:.1f} MiB "
        f"audacious -H, {mpg123['rss']:.1f} MiB mpg123, {gst['rss']:.1f} MiB gst-launch | "
        f"{own['rss'] / audacious['rss']:.2f}x | at most {RSS_GOAL_MIB} MiB | "
        f"{verdict_at_most(own['rss'], RSS_GOAL_MIB)} |",
        f"| {figure}: resident memory while playing beside the floor, most of {ROUNDS} rounds | "
        f"{own['rss']:.1f} MiB | {floor['rss']:.1f} MiB floor (bare window, same pipeline) | "
        f"{own['rss'] / floor['rss']:.2f}x | within {FLOOR_GOAL}x of the floor | "
        f"{verdict_at_most(own['rss'] / floor['rss'], FLOOR_GOAL)} |",
        f"| Resident memory after {CYCLES} play/stop cycles, less after the first {WARM_CYCLES} "
        f"| {cycled - warm:+.2f} MiB ({cycled:.1f} MiB) | {warm:.1f} MiB after {WARM_CYCLES} | "
        f"- | no growth (under {GROWTH_GOAL_MIB} MiB) | "
        f"{'met' if cycled - warm < GROWTH_GOAL_MIB else 'missed'} |",
    ]


def main():
    if len(sys.argv) != 4:
        sys.exit(f"usage: {sys.argv[0]} <mp3player executable> <source folder> "
                 "<bench_floor executable>")
    player_path = os.path.abspath(sys.argv[1])
    floor_path = os.path.abspath(sys.argv[3])
    with support.desktop_with_sound("playing") as (folder, environment):
        music = os.path.join(folder, "music")
        os.mkdir(music)
        make_test_file(music, SETTLE_SECONDS + MEASURED_SECONDS + 10)
        bus, address = e2e.start_session_bus(environment)
        try:
            environment["DBUS_SESSION_BUS_ADDRESS"] = address
            display = environment["DISPLAY"]
            with open(os.path.join(folder, "player.log"), "ab") as log:
                figures = play_side_by_side(player_path, floor_path, music, environment, display,
                                            log)
                warm, cycled = memory_over_cycles(player_path, music, environment, display, log)
        finally:
            e2e.stop_process(bus)
        print(support.TABLE_HEADER)
        print("\n".join(rows(figures, warm, cycled)), flush=True)


if __name__ == "__main__":
    main()
