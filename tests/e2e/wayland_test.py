#!/usr/bin/python3
"""Runs the real player as a client of a Wayland compositor and checks what the two say.

The test starts weston's headless backend (no display or session needed, root allowed) and a
private session bus, and runs the player there with WAYLAND_DEBUG=client, which logs every
request and event of its connection. From that log it checks that the player's top-level
window, under its title, is a 575 x 447 surface (window geometry and buffer) that the
compositor has put on its output; then that the player quits cleanly over MPRIS, as a desktop's
media panel asks. Exits 77 (skipped) without weston.
"""

import os
import re
import shutil
import socket
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_support as e2e  # noqa: E402

SOCKET_NAME = "mp3player-test"
SKIP = 77

# One line of WAYLAND_DEBUG: the time, the event queue's name where libwayland gives one, and a
# request (" -> ") or an event on an object, with its arguments.
MESSAGE = re.compile(r"^\[\s*[\d.]+\]\s+(?:\{[^}]*\}\s+)?(?:-> )?(\w+)[@#](\d+)\.(\w+)\((.*)\)$")


def shown_toplevels(log_path):
    """(title, window geometry, size of the attached buffer) of each top-level surface that the
    compositor has put on an output, from what the player's side of the connection logged."""
    surface_of_role = {}  # xdg_surface id -> wl_surface id
    toplevel_role = {}  # xdg_toplevel id -> xdg_surface id
    titles = {}
    geometries = {}
    buffer_sizes = {}
    attached = {}
    on_output = set()
    with open(log_path, encoding="utf-8", errors="replace") as log:
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
    return [(titles.get(toplevel), geometries.get(role), attached.get(surface_of_role.get(role)))
            for toplevel, role in toplevel_role.items() if surface_of_role.get(role) in on_output]


def run_scenario(run):
    environment = run.private_environment(("DISPLAY", "WAYLAND_DISPLAY",
                                           "DBUS_SESSION_BUS_ADDRESS"))
    with open(os.path.join(run.work_folder, "weston.log"), "wb") as compositor_log:
        compositor = run.start(["weston", "--backend=headless-backend.so",
                                f"--socket={SOCKET_NAME}", "--idle-time=0", "--no-config"],
                               environment, log=compositor_log)

    socket_path = os.path.join(environment["XDG_RUNTIME_DIR"], SOCKET_NAME)

    def accepts_clients():
        if compositor.poll() is not None:
            raise e2e.StepFailed(f"weston stopped with status {compositor.returncode}")
        with socket.socket(socket.AF_UNIX) as probe:
            return probe.connect_ex(socket_path) == 0

    e2e.poll("weston takes clients", accepts_clients)
    environment["DBUS_SESSION_BUS_ADDRESS"] = run.start_session_bus(environment)

    player = run.start([run.player_path], dict(
        environment, WAYLAND_DISPLAY=SOCKET_NAME, QT_QPA_PLATFORM="wayland",
        WAYLAND_DEBUG="client", MP3PLAYER_AUDIO_SINK="fakesink sync=true"))

    def window_shown():
        e2e.check_running(player)
        return shown_toplevels(run.log.name)

    shown = e2e.poll("the compositor shows the player's window", window_shown)
    e2e.check("the compositor shows (title, geometry, buffer size)", shown,
              [(e2e.WINDOW_TITLE, (0, 0) + e2e.WINDOW_SIZE, e2e.WINDOW_SIZE)])

    e2e.step(player, "asking the player to quit over MPRIS")
    e2e.quit_over_mpris(environment, player)


if __name__ == "__main__":
    if shutil.which("weston") is None:
        print("SKIP: weston is not installed (Debian package weston)")
        sys.exit(SKIP)
    e2e.run_test(("weston", "dbus-daemon", "dbus-send"), "weston and dbus-bin",
                 "mp3player-wayland-", run_scenario)
