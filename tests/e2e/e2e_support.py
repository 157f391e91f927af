"""What the tests of the real player share: a virtual X display, a private session bus, child
processes that end with the test, waiting for a condition, and the verdict with what was kept."""

import contextlib
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Tamsel's MP3 Player"
WINDOW_SIZE = (575, 447)
SCREEN_SIZE = (1024, 768)

# What takes a moment on an idle machine can take many times as long on a busy one; each wait
# ends as soon as what it waits for has happened.
STEP_TIMEOUT = 30.0
POLL_INTERVAL = 0.05


class StepFailed(Exception):
    pass


def poll(description, condition, timeout=STEP_TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise StepFailed(f"timed out after {timeout:.0f} s waiting until {description}")
        time.sleep(POLL_INTERVAL)


def check(what, seen, expected):
    if seen != expected:
        raise StepFailed(f"{what}: {seen!r}, not {expected!r}")


def die_with_parent():
    """Runs in each child before exec: a test killed by a timeout must not leave them behind."""
    pr_set_pdeathsig = 1
    ctypes.CDLL(None, use_errno=True).prctl(pr_set_pdeathsig, signal.SIGTERM)


def stop_process(process):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def start_xvfb():
    """Starts Xvfb on a display number it picks itself, so parallel runs never collide."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
         f"{SCREEN_SIZE[0]}x{SCREEN_SIZE[1]}x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=die_with_parent)
    os.close(write_end)
    with os.fdopen(read_end) as reader:
        number = reader.readline().strip()
    if not number:
        raise StepFailed(f"Xvfb stopped before it was ready (status {server.wait()})")
    return server, f":{number}"


def start_session_bus(environment):
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           env=environment, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
    address = bus.stdout.readline().decode().strip()
    if not address:
        raise StepFailed(f"dbus-daemon gave no address (status {bus.wait()})")
    return bus, address


def quit_over_mpris(environment, player):
    """Asks the player to quit, as a desktop's media panel does; it must end with status 0."""
    subprocess.run(["dbus-send", "--session", "--print-reply",
                    "--dest=org.mpris.MediaPlayer2.mp3player", "/org/mpris/MediaPlayer2",
                    "org.mpris.MediaPlayer2.Quit"], env=environment, check=True,
                   stdout=subprocess.DEVNULL, timeout=STEP_TIMEOUT)
    try:
        status = player.wait(timeout=STEP_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise StepFailed("the player did not end after MPRIS Quit") from None
    check("the player's exit status", status, 0)


def check_running(player):
    if player.poll() is not None:
        raise StepFailed(f"the player stopped with status {player.returncode}")


def step(player, text):
    check_running(player)
    print(f"== {text}", flush=True)


class TestRun:
    """What a scenario works in: the player, the source and work folders, the log that the
    player's output goes to, and the children, which end (the last started first) with it."""

    def __init__(self, player_path, source_folder, work_folder, log, children):
        self.player_path = player_path
        self.source_folder = source_folder
        self.work_folder = work_folder
        self.log = log
        self.children = children

    def private_environment(self, leave_out=()):
        """This environment without `leave_out`, with a runtime and home folder of its own."""
        runtime = os.path.join(self.work_folder, "runtime")
        os.mkdir(runtime, 0o700)
        environment = {name: value for name, value in os.environ.items()
                       if name not in leave_out}
        environment.update(XDG_RUNTIME_DIR=runtime, HOME=runtime)
        return environment

    def start(self, command, environment, folder=None, log=None):
        process = subprocess.Popen(command, cwd=folder or self.work_folder, env=environment,
                                   stdout=log or self.log, stderr=subprocess.STDOUT,
                                   preexec_fn=die_with_parent)
        self.children.callback(stop_process, process)
        return process

    def start_xvfb(self):
        server, display = start_xvfb()
        self.children.callback(stop_process, server)
        return display

    def start_session_bus(self, environment):
        bus, address = start_session_bus(environment)
        self.children.callback(stop_process, bus)
        return address


def run_test(tools, packages, work_prefix, scenario):
    """Checks that `tools` are there, runs scenario(TestRun) and prints PASS, or FAIL with the
    player's output, keeping the work folder for a look."""
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <mp3player executable> <source folder>")
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"FAIL: {tool} is missing; it comes with the Debian packages {packages}")
    # A termination (ctest's timeout) goes through the scenario's cleanup.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: terminated"))

    work_folder = tempfile.mkdtemp(prefix=work_prefix)
    log_path = os.path.join(work_folder, "player.log")
    started = time.monotonic()
    try:
        with open(log_path, "wb") as log, contextlib.ExitStack() as children:
            scenario(TestRun(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]),
                             work_folder, log, children))
    except StepFailed as failure:
        with open(log_path, encoding="utf-8", errors="replace") as log:
            print(f"--- player output:\n{log.read()}---", flush=True)
        sys.exit(f"FAIL: {failure}\n(what the test kept, the player's output among it, is in "
                 f"{work_folder})")
    shutil.rmtree(work_folder)
    print(f"PASS in {time.monotonic() - started:.1f} s")
