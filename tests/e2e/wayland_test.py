#!/usr/bin/python3
"""Runs the real player as a client of a Wayland compositor and checks what the two say.

Usage: wayland_test.py <mp3player executable> <source folder>

The test starts weston with its headless backend (no display or session needed, root allowed)
on a socket in a private runtime folder, and a private session bus. It runs the player there
with QT_QPA_PLATFORM=wayland and WAYLAND_DEBUG=client, which logs every request the player
makes of the compositor and every event it gets back. From that log it checks that the
player's top-level window, under its title, is a surface of 575 x 447 pixels (its window
geometry and its buffer) that the compositor has put on its output. Then it asks the player to
quit over MPRIS, as a desktop's media panel does, and checks that the player ends with status 0.
Exits 77 (skipped) when weston is not installed.
Needs: weston, qt6-wayland, dbus-daemon and dbus-send (dbus-bin).
"""

import os
import re
import shutil
import socket
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_support as e2e  # noqa: E402

SOCKET_NAME = "mp3player-test"
SKIP = 77

# One line of WAYLAND_DEBUG: the time, the event queue's name where libwayland gives one, and a
# request (" -> ") or an event on an object, with its arguments.
MESSAGE = re.compile(r"^\[\s*[\d.]+\]\s+(?:\{[^}]*\}\s+)?(?:-> )?(\w+)[@#](\d+)\.(\w+)\((.*)\)$")


class WaylandLog:
    """What the player's side of the Wayland connection has said and heard so far."""

    def __init__(self, path):
        self.path = path

    def shown_toplevels(self):
        """(title, window geometry, size of the attached buffer) of each top-level surface
        that the compositor has put on an output."""
        surface_of_role = {}  # xdg_surface id -> wl_surface id
        toplevel_role = {}  # xdg_toplevel id -> xdg_surface id
        titles = {}
        geometries = {}
        buffer_sizes = {}
        attached = {}
        on_output = set()
        with open(self.path, encoding="utf-8", errors="replace") as log:
            for line in log:
                match = MESSAGE.match(line.strip())
                if not match:
                    continue
                interface, number, message, arguments = match.groups()
                ids = re.findall(r"[@#](\d+)", arguments)
                numbers = [int(value) for value in re.findall(r"(?<![@#\w])-?\d+", arguments)]
                if message == "get_xdg_surface":
                    surface_of_role[ids[0]] = ids[1]
                elif message == "get_toplevel":
                    toplevel_role[ids[0]] = number
                elif interface == "xdg_toplevel" and message == "set_title":
                    titles[number] = arguments.strip('"')
                elif message == "set_window_geometry":
                    geometries[number] = tuple(numbers)
                elif message == "create_buffer":
                    buffer_sizes[ids[0]] = tuple(numbers[1:3])
                elif interface == "wl_surface" and message == "attach" and ids:
                    attached[number] = buffer_sizes.get(ids[0])
                elif interface == "wl_surface" and message == "enter":
                    on_output.add(number)
        shown = []
        for toplevel, role in toplevel_role.items():
            surface = surface_of_role.get(role)
            if surface in on_output:
                shown.append((titles.get(toplevel), geometries.get(role), attached.get(surface)))
        return shown


def start_compositor(environment, log):
    compositor = subprocess.Popen(
        ["weston", "--backend=headless-backend.so", f"--socket={SOCKET_NAME}",
         "--idle-time=0", "--no-config"],
        env=environment, stdout=log, stderr=subprocess.STDOUT, preexec_fn=e2e.die_with_parent)
    path = os.path.join(environment["XDG_RUNTIME_DIR"], SOCKET_NAME)

    def accepts_clients():
        if compositor.poll() is not None:
            raise e2e.StepFailed(f"weston stopped with status {compositor.returncode}")
        with socket.socket(socket.AF_UNIX) as probe:
            return probe.connect_ex(path) == 0

    e2e.poll("weston takes clients", accepts_clients)
    return compositor


def run_scenario(player_path, source_folder, work_folder, log):
    del source_folder  # the player needs no test file here
    runtime = os.path.join(work_folder, "runtime")
    os.mkdir(runtime, 0o700)
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    environment.update(XDG_RUNTIME_DIR=runtime, HOME=runtime)

    compositor = None
    bus = None
    player = None
    try:
        with open(os.path.join(work_folder, "weston.log"), "wb") as compositor_log:
            compositor = start_compositor(environment, compositor_log)
        bus, bus_address = e2e.start_session_bus(environment)
        environment["DBUS_SESSION_BUS_ADDRESS"] = bus_address

        print("== starting the player on Wayland", flush=True)
        player_environment = dict(environment, WAYLAND_DISPLAY=SOCKET_NAME,
                                  QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="client",
                                  MP3PLAYER_AUDIO_SINK="fakesink sync=true")
        player = subprocess.Popen([player_path], cwd=work_folder, env=player_environment,
                                  stdout=log, stderr=subprocess.STDOUT,
                                  preexec_fn=e2e.die_with_parent)
        wayland = WaylandLog(log.name)

        def window_shown():
            if player.poll() is not None:
                raise e2e.StepFailed(f"the player stopped with status {player.returncode}")
            return wayland.shown_toplevels()

        shown = e2e.poll("the compositor shows the player's window", window_shown)
        expected = [(e2e.WINDOW_TITLE, (0, 0) + e2e.WINDOW_SIZE, e2e.WINDOW_SIZE)]
        if shown != expected:
            raise e2e.StepFailed(f"the compositor shows (title, geometry, buffer size) {shown}, "
                                 f"not {expected}")
        print(f"== shown: {shown[0]}", flush=True)

        print("== asking the player to quit over MPRIS", flush=True)
        subprocess.run(["dbus-send", "--session", "--print-reply",
                        "--dest=org.mpris.MediaPlayer2.mp3player", "/org/mpris/MediaPlayer2",
                        "org.mpris.MediaPlayer2.Quit"],
                       env=environment, check=True, stdout=subprocess.DEVNULL,
                       timeout=e2e.STEP_TIMEOUT)
        try:
            status = player.wait(timeout=e2e.STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise e2e.StepFailed("the player did not end after MPRIS Quit") from None
        if status != 0:
            raise e2e.StepFailed(f"the player ended with status {status}")
    finally:
        for process in (player, bus, compositor):
            e2e.stop_process(process)


if __name__ == "__main__":
    if shutil.which("weston") is None:
        print("SKIP: weston is not installed (Debian package weston)")
        sys.exit(SKIP)
    e2e.run_test(("weston", "dbus-daemon", "dbus-send"), "weston and dbus-bin",
                 "mp3player-wayland-", run_scenario)
