#!/usr/bin/python3
"""Plays through a real sound server and listens to what comes out of it.

Usage: real_sound_test.py <mp3player executable> <source folder>

The test starts its own PulseAudio with a null sink in a private runtime folder (no sound card
needed, root allowed), runs the real player on a virtual X display with its default audio
output, and records the sink's monitor with parec. It plays a 440 Hz tone and checks that the
tone is heard at its level and pitch, that the sound server knows the stream by the program's
name, role and icon, that pausing and stopping bring silence within 50 ms of the click, that
half volume halves the amplitude, and that the sound ends with the program.
Needs: pulseaudio, parec (pulseaudio-utils), GStreamer's pulse sink (gstreamer1.0-pulseaudio),
sox, lame, Xvfb and xdotool.
"""

import array
import math
import os
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_support as e2e  # noqa: E402
import x_desktop  # noqa: E402

RATE = 8000
TONE_HZ = 440
TONE_AMPLITUDE = 0.5  # sox's gain -6
FULL_SCALE = 32768
TONE_FILE = "tone.mp3"
# The volume slider: the last 80 pixels of the strip's top row, less its 2-pixel margin.
VOLUME_SLIDER = (16 + 545 - 2 - 80, 392, 80, 22)
# A spot of the window's picture that takes no click.
BANNER = (300, 40, 10, 10)
LISTEN_SECONDS = 1.0
SETTLE_SECONDS = 0.4  # the sound server's and the recorder's latency
SILENCE_RMS = 100  # about -50 dB below full scale
LOUD_SAMPLE = 1000  # a sample of the tone, well above the silence
SILENT_WITHIN_SECONDS = 0.05
# How the sound server's mixers are to show the player's stream.
STREAM_PROPERTIES = {"media.name": e2e.WINDOW_TITLE, "application.name": e2e.WINDOW_TITLE,
                     "media.role": "music", "application.icon_name": "mp3player"}


class Recorder:
    """parec on the null sink's monitor; every piece read is kept with the time it came."""

    def __init__(self, environment):
        self.pieces = []
        self.lock = threading.Lock()
        self.process = subprocess.Popen(
            ["parec", "-d", "out.monitor", "--raw", "--format=s16le", "--channels=1",
             f"--rate={RATE}", "--latency-msec=20"],
            env=environment, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            preexec_fn=e2e.die_with_parent)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            data = os.read(self.process.stdout.fileno(), 4096)
            if not data:
                return
            with self.lock:
                self.pieces.append((time.monotonic(), data))

    def samples(self, seconds=LISTEN_SECONDS):
        """What comes out over the next `seconds`, after the latency has passed."""
        start = time.monotonic() + SETTLE_SECONDS
        end = start + seconds
        e2e.poll("the recorder hears the sink", lambda: self._latest() >= end, timeout=10)
        with self.lock:
            data = b"".join(piece for at, piece in self.pieces if start <= at < end)
        data = data[:len(data) // 2 * 2]
        return array.array("h", data)

    def last_sound_after(self, moment, seconds=LISTEN_SECONDS):
        """Seconds from `moment` until the recorder got the last loud sample of the `seconds`
        that follow: an upper bound on when the sink played it."""
        e2e.poll("the recorder hears the sink",
                 lambda: self._latest() >= moment + seconds + SETTLE_SECONDS, timeout=10)
        with self.lock:
            pieces = [(at, piece) for at, piece in self.pieces if moment <= at < moment + seconds]
        last_loud = moment
        for at, piece in pieces:
            samples = array.array("h", piece[:len(piece) // 2 * 2])
            if any(abs(sample) > LOUD_SAMPLE for sample in samples):
                last_loud = at
        return last_loud - moment

    def _latest(self):
        with self.lock:
            return self.pieces[-1][0] if self.pieces else 0

    def stop(self):
        e2e.stop_process(self.process)


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


def amplitude_at(samples, frequency):
    """The amplitude of one frequency in the samples (Goertzel's algorithm)."""
    coefficient = 2 * math.cos(2 * math.pi * frequency / RATE)
    before, before_that = 0.0, 0.0
    for sample in samples:
        before, before_that = sample + coefficient * before - before_that, before
    power = before * before + before_that * before_that - coefficient * before * before_that
    return 2 * math.sqrt(max(power, 0.0)) / len(samples)


def pitch(samples):
    """The frequency from upward zero crossings, for a pure tone."""
    crossings = [i for i in range(1, len(samples)) if samples[i - 1] < 0 <= samples[i]]
    if len(crossings) < 2:
        return 0.0
    return (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0])


def check_tone(samples, amplitude, what):
    level = rms(samples)
    expected = amplitude * FULL_SCALE / math.sqrt(2)
    heard = pitch(samples)
    at_tone = amplitude_at(samples, TONE_HZ)
    print(f"   {what}: level {level:.0f} (expected {expected:.0f}), pitch {heard:.1f} Hz, "
          f"{TONE_HZ} Hz amplitude {at_tone:.0f}", flush=True)
    if not 0.7 * expected < level < 1.3 * expected:
        raise e2e.StepFailed(f"{what}: the level is {level:.0f}, not about {expected:.0f}")
    if abs(heard - TONE_HZ) > 5:
        raise e2e.StepFailed(f"{what}: the pitch is {heard:.1f} Hz, not {TONE_HZ} Hz")
    if at_tone < 0.9 * math.sqrt(2) * level:
        raise e2e.StepFailed(f"{what}: the sound is not a pure {TONE_HZ} Hz tone")
    return level


def check_silence(samples, what):
    level = rms(samples)
    print(f"   {what}: level {level:.0f}", flush=True)
    if level > SILENCE_RMS:
        raise e2e.StepFailed(f"{what}: sound at level {level:.0f} where there should be none")


def check_silent_soon(recorder, moment, what):
    """The sound ends within SILENT_WITHIN_SECONDS of `moment` and stays away."""
    heard = recorder.last_sound_after(moment)
    print(f"   {what}: last sound {heard * 1000:.0f} ms after the click", flush=True)
    if heard > SILENT_WITHIN_SECONDS:
        raise e2e.StepFailed(f"{what}: sound went on {heard * 1000:.0f} ms after the click")


def check_stream_properties(environment):
    """What mixers read of the player's stream from the sound server."""
    listing = subprocess.run(["pactl", "list", "sink-inputs"], env=environment, check=True,
                             capture_output=True, text=True, timeout=e2e.STEP_TIMEOUT).stdout
    shown = {}
    for line in listing.splitlines():
        name, equals, value = line.strip().partition(" = ")
        if equals and name in STREAM_PROPERTIES:
            shown[name] = value.strip('"')
    print(f"   the stream: {shown}", flush=True)
    if shown != STREAM_PROPERTIES:
        raise e2e.StepFailed(f"the sound server shows the stream as {shown}, "
                             f"not as {STREAM_PROPERTIES}")


def make_tone(folder):
    wav = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", wav, "synth", "30", "sine",
                    str(TONE_HZ), "gain", "-6"], check=True)
    subprocess.run(["lame", "--quiet", "--noreplaygain", "-b", "128", wav,
                    os.path.join(folder, TONE_FILE)], check=True)
    os.remove(wav)


def start_sound_server(environment):
    """A private PulseAudio with one null sink named "out"; returns its pid."""
    subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--system=no", "--exit-idle-time=-1",
                    "--disallow-exit", "--load=module-null-sink sink_name=out",
                    "--load=module-native-protocol-unix"],
                   env=environment, check=True, timeout=e2e.STEP_TIMEOUT,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    pid_file = os.path.join(environment["XDG_RUNTIME_DIR"], "pulse", "pid")
    with open(pid_file, encoding="ascii") as file:
        return int(file.read().strip())


def process_ended(pid):
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


def stop_sound_server(pid):
    if pid is None or process_ended(pid):
        return
    os.kill(pid, signal.SIGTERM)
    e2e.poll("the sound server ends", lambda: process_ended(pid))


def run_scenario(player_path, work_folder, log):
    runtime = os.path.join(work_folder, "runtime")
    os.mkdir(runtime, 0o700)
    sound_environment = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime)
    sound_environment.pop("PULSE_SERVER", None)
    make_tone(work_folder)
    tone_path = os.path.join(work_folder, TONE_FILE)

    server = start_sound_server(sound_environment)
    recorder = None
    xvfb = None
    player = None
    try:
        recorder = Recorder(sound_environment)
        xvfb, display = e2e.start_xvfb()
        desktop = x_desktop.Desktop(display)
        environment = dict(sound_environment, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        environment.pop("MP3PLAYER_AUDIO_SINK", None)
        player = subprocess.Popen([player_path], cwd=work_folder, env=environment, stdout=log,
                                  stderr=subprocess.STDOUT, preexec_fn=e2e.die_with_parent)

        def step(text):
            if player.poll() is not None:
                raise e2e.StepFailed(f"the player stopped with status {player.returncode}")
            print(f"== {text}", flush=True)

        step("waiting for the window")
        window_id = e2e.poll("the player's window is shown", desktop.visible_windows)[0]
        left, top, _, _ = desktop.geometry(window_id)
        window = x_desktop.PlayerWindow(desktop, left, top)
        window.wait_until_painted()
        check_silence(recorder.samples(), "before playing")

        step(f"playing {TONE_FILE}")
        stopped_button = window.region(x_desktop.STRIP_PLAY_PAUSE)
        window.click_file_row(0)
        window.click(x_desktop.PLAY_STOP_BUTTON)
        e2e.poll(f"the player opens {TONE_FILE}",
                 lambda: x_desktop.open_descriptor_on(player.pid, tone_path))
        full = check_tone(recorder.samples(), TONE_AMPLITUDE, "playing")
        check_stream_properties(sound_environment)

        step("pausing from the strip")
        playing_button = window.region(x_desktop.STRIP_PLAY_PAUSE)

        def click_and_step_aside(rectangle):
            """The pointer leaves, so the button shows its state and not the hover."""
            window.click(rectangle)
            window.click(BANNER)

        paused_at = time.monotonic()
        click_and_step_aside(x_desktop.STRIP_PLAY_PAUSE)
        window.wait_for_look(x_desktop.STRIP_PLAY_PAUSE, stopped_button, "the strip shows it paused")
        check_silent_soon(recorder, paused_at, "pausing")
        check_silence(recorder.samples(), "paused")

        step("playing on at half volume")
        click_and_step_aside(x_desktop.STRIP_PLAY_PAUSE)
        window.wait_for_look(x_desktop.STRIP_PLAY_PAUSE, playing_button, "the strip plays again")
        window.click(VOLUME_SLIDER)
        half = check_tone(recorder.samples(), TONE_AMPLITUDE / 2, "half volume")
        if not 0.4 < half / full < 0.6:
            raise e2e.StepFailed(f"half volume gives {half / full:.2f} of the amplitude")

        step("stopping")
        stopped_at = time.monotonic()
        window.click(x_desktop.PLAY_STOP_BUTTON)
        e2e.poll(f"the player closes {TONE_FILE}",
                 lambda: not x_desktop.open_descriptor_on(player.pid, tone_path))
        check_silent_soon(recorder, stopped_at, "stopping")
        check_silence(recorder.samples(), "stopped")

        step("playing again and leaving through the credit box")
        window.click(x_desktop.PLAY_STOP_BUTTON)
        e2e.poll(f"the player opens {TONE_FILE}",
                 lambda: x_desktop.open_descriptor_on(player.pid, tone_path))
        check_tone(recorder.samples(0.5), TONE_AMPLITUDE / 2, "playing again")
        window.click(x_desktop.CLOSE_BUTTON)
        credit_box = e2e.poll("the credit box appears",
                              lambda: [w for w in desktop.visible_windows() if w != window_id])[0]
        desktop.focus(credit_box)
        desktop.keys("Return")
        e2e.poll("the player exits", lambda: player.poll() is not None, timeout=5)
        if player.returncode != 0:
            raise e2e.StepFailed(f"the player exited with status {player.returncode}")
        check_silence(recorder.samples(), "after the player ended")
    finally:
        e2e.stop_process(player)
        if recorder is not None:
            recorder.stop()
        e2e.stop_process(xvfb)
        stop_sound_server(server)


if __name__ == "__main__":
    e2e.run_test(("pulseaudio", "parec", "pactl", "sox", "lame", "Xvfb", "xdotool", "import"),
                 "pulseaudio, pulseaudio-utils, sox, lame, xvfb, xdotool and imagemagick",
                 "mp3player-sound-",
                 lambda player, _source, work, log: run_scenario(player, work, log))
