"""What the tests of the real player share: a virtual X display, a private session bus, child
processes that end with the test, waiting for a condition, and the verdict with what was kept."""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

WINDOW_TITLE = "Tamsel's MP3 Player"
WINDOW_SIZE = (575, 447)
SCREEN_SIZE = (1024, 768)

STEP_TIMEOUT = 10.0
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
    number = b""
    deadline = time.monotonic() + STEP_TIMEOUT
    while not number.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
            stop_process(server)
            raise StepFailed("Xvfb did not tell its display number")
        chunk = os.read(read_end, 16)
        if not chunk:
            raise StepFailed(f"Xvfb stopped before it was ready (status {server.wait()})")
        number += chunk
    os.close(read_end)
    return server, f":{number.decode().strip()}"


def start_session_bus(environment):
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           env=environment, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
    address = bus.stdout.readline().decode().strip()
    if not address:
        raise StepFailed(f"dbus-daemon gave no address (status {bus.wait()})")
    return bus, address


def run_test(tools, packages, work_prefix, scenario):
    """Checks that `tools` are there, runs scenario(player_path, source_folder, work_folder, log)
    and prints PASS, or FAIL with the player's output, keeping the work folder for a look."""
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} <mp3player executable> <source folder>")
    player_path = os.path.abspath(sys.argv[1])
    source_folder = os.path.abspath(sys.argv[2])
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"FAIL: {tool} is missing; it comes with the Debian packages {packages}")
    # A termination (ctest's timeout) goes through the scenario's cleanup.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: terminated"))

    work_folder = tempfile.mkdtemp(prefix=work_prefix)
    log_path = os.path.join(work_folder, "player.log")
    started = time.monotonic()
    try:
        with open(log_path, "wb") as log:
            scenario(player_path, source_folder, work_folder, log)
    except StepFailed as failure:
        with open(log_path, encoding="utf-8", errors="replace") as log:
            print(f"--- player output:\n{log.read()}---", flush=True)
        sys.exit(f"FAIL: {failure}\n(what the test kept, the player's output among it, is in "
                 f"{work_folder})")
    shutil.rmtree(work_folder)
    print(f"PASS in {time.monotonic() - started:.1f} s")
