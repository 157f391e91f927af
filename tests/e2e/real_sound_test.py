#!/usr/bin/python3
"""Plays through a real sound server and listens to what comes out of it.

The test starts its own PulseAudio with a null sink (no sound card needed, root allowed), runs
the real player with its default audio output (GStreamer's pulse sink) on a virtual X display,
and records the sink's monitor. It plays a 440 Hz tone and checks the tone's level and pitch,
the stream's name, role and icon, silence within a second of a pause or a stop, the volume that
the mixers show (`pactl`) against the one the window's slider and MPRIS set, the amplitude at
that volume, and silence once the program has ended. How soon the silence comes is a benchmark
(bench/bench_silence.py), with a goal no busy machine could be held to.
"""

import array
import math
import os
import re
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
SILENT_WITHIN_SECONDS = 1.0
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
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for data in iter(lambda: os.read(self.process.stdout.fileno(), 4096), b""):
            with self.lock:
                self.pieces.append((time.monotonic(), data))

    def _pieces(self, start, end, heard_by):
        """The pieces that came from `start` to `end`, once the recorder has got to `heard_by`."""
        e2e.poll("the recorder hears the sink",
                 lambda: self.pieces and self.pieces[-1][0] >= heard_by)
        with self.lock:
            return [(at, piece) for at, piece in self.pieces if start <= at < end]

    def samples(self, seconds=LISTEN_SECONDS):
        """What comes out over the next `seconds`, after the latency has passed."""
        start = time.monotonic() + SETTLE_SECONDS
        end = start + seconds
        data = b"".join(piece for _, piece in self._pieces(start, end, end))
        return array.array("h", data[:len(data) // 2 * 2])

    def wait_for_sound(self, since):
        """Returns once the recorder has got a loud sample after `since`."""
        def heard():
            with self.lock:
                return any(at >= since and is_loud(piece) for at, piece in self.pieces)
        e2e.poll("the sound is heard", heard)

    def last_sound_after(self, moment, seconds=2 * SILENT_WITHIN_SECONDS):
        """Seconds from `moment` until the recorder got the last loud sample of the `seconds`
        that follow: an upper bound on when the sink played it."""
        last_loud = moment
        end = moment + seconds
        for at, piece in self._pieces(moment, end, end + SETTLE_SECONDS):
            if is_loud(piece):
                last_loud = at
        return last_loud - moment


def is_loud(piece):
    samples = array.array("h", piece[:len(piece) // 2 * 2])
    return any(abs(sample) > LOUD_SAMPLE for sample in samples)


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


def check_tone(samples, amplitude, what):
    """The level is about the tone's, and nearly all of it is at the tone's frequency: a tone
    half a hertz off, or one among other sound, falls short."""
    level = rms(samples)
    expected = amplitude * FULL_SCALE / math.sqrt(2)
    at_tone = amplitude_at(samples, TONE_HZ)
    print(f"   {what}: level {level:.0f} (expected {expected:.0f}), {TONE_HZ} Hz amplitude "
          f"{at_tone:.0f}", flush=True)
    if not 0.7 * expected < level < 1.3 * expected:
        raise e2e.StepFailed(f"{what}: the level is {level:.0f}, not about {expected:.0f}")
    if at_tone < 0.9 * math.sqrt(2) * level:
        raise e2e.StepFailed(f"{what}: the sound is not a pure {TONE_HZ} Hz tone")
    return level


def check_silence(samples, what):
    level = rms(samples)
    print(f"   {what}: level {level:.0f}", flush=True)
    if level > SILENCE_RMS:
        raise e2e.StepFailed(f"{what}: sound at level {level:.0f} where there should be none")


def check_silenced(recorder, clicked_at, what):
    """The sound ends within SILENT_WITHIN_SECONDS of the click and stays away."""
    heard = recorder.last_sound_after(clicked_at)
    print(f"   {what}: last sound {heard * 1000:.0f} ms after the click", flush=True)
    if heard > SILENT_WITHIN_SECONDS:
        raise e2e.StepFailed(f"{what}: sound went on {heard * 1000:.0f} ms after the click")
    check_silence(recorder.samples(), f"after {what}")


def check_stream_properties(environment):
    """What mixers read of the player's stream from the sound server."""
    listing = subprocess.run(["pactl", "list", "sink-inputs"], env=environment, check=True,
                             capture_output=True, text=True, timeout=e2e.STEP_TIMEOUT).stdout
    shown = {}
    for line in listing.splitlines():
        name, equals, value = line.strip().partition(" = ")
        if equals and name in STREAM_PROPERTIES:
            shown[name] = value.strip('"')
    e2e.check("the sound server shows the stream as", shown, STREAM_PROPERTIES)


def mixer_volume(environment):
    """The player's stream volume in percent, as `pactl` and the mixers show it."""
    listing = subprocess.run(["pactl", "list", "sink-inputs"], env=environment, check=True,
                             capture_output=True, text=True, timeout=e2e.STEP_TIMEOUT).stdout
    shown = re.search(r"^\s*Volume: .*?(\d+)%", listing, re.MULTILINE)
    return int(shown.group(1)) if shown else None


def mpris_volume(environment, level=None):
    """The player's MPRIS Volume, set to `level` first when given."""
    call = ["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.mp3player",
            "/org/mpris/MediaPlayer2"]
    player = "string:org.mpris.MediaPlayer2.Player"
    if level is not None:
        subprocess.run(call + ["org.freedesktop.DBus.Properties.Set", player, "string:Volume",
                               f"variant:double:{level}"], env=environment, check=True,
                       capture_output=True, timeout=e2e.STEP_TIMEOUT)
    reply = subprocess.run(call + ["org.freedesktop.DBus.Properties.Get", player, "string:Volume"],
                           env=environment, check=True, capture_output=True, text=True,
                           timeout=e2e.STEP_TIMEOUT).stdout
    return float(reply.split()[-1])


def check_one_volume(environment, recorder, level, full, what):
    """The mixers show `level` as its percent, and the tone plays at `level` cubed of `full`:
    the cubic scale on which mixers number volumes."""
    percent = round(level * 100)
    try:
        e2e.poll(f"the mixers show {what}", lambda: mixer_volume(environment) == percent)
    except e2e.StepFailed:
        raise e2e.StepFailed(f"the mixers show {what} {level} as {mixer_volume(environment)}%, "
                             f"not {percent}%") from None
    expected = TONE_AMPLITUDE * level ** 3
    heard = check_tone(recorder.samples(), expected, what)
    if not 0.8 < heard / full / level ** 3 < 1.25:
        raise e2e.StepFailed(f"{what} {level} gives {heard / full:.3f} of the amplitude")


def make_tone(folder):
    wav = subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-t", "wav", "-", "synth", "30",
                          "sine", str(TONE_HZ), "gain", "-6"], check=True,
                         capture_output=True).stdout
    subprocess.run(["lame", "--quiet", "--noreplaygain", "-b", "128", "-",
                    os.path.join(folder, TONE_FILE)], input=wav, check=True)


def start_sound_server(environment):
    """A private PulseAudio with one null sink named "out", once it takes clients."""
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1",
         "--disallow-exit", "--load=module-null-sink sink_name=out",
         "--load=module-native-protocol-unix"],
        env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=e2e.die_with_parent)
    e2e.poll("the sound server takes clients", lambda: subprocess.run(
        ["pactl", "info"], env=environment, capture_output=True).returncode == 0)
    return server


# The benchmarks end the server they start through this name.
stop_sound_server = e2e.stop_process


def run_scenario(run):
    sound_environment = run.private_environment(("PULSE_SERVER", "MP3PLAYER_AUDIO_SINK"))
    make_tone(run.work_folder)
    tone_path = os.path.join(run.work_folder, TONE_FILE)
    run.children.callback(e2e.stop_process, start_sound_server(sound_environment))
    recorder = Recorder(sound_environment)
    run.children.callback(e2e.stop_process, recorder.process)
    display = run.start_xvfb()
    sound_environment["DBUS_SESSION_BUS_ADDRESS"] = run.start_session_bus(sound_environment)
    player = run.start([run.player_path],
                       dict(sound_environment, DISPLAY=display, QT_QPA_PLATFORM="xcb"))

    e2e.step(player, "waiting for the window")
    window, _ = x_desktop.PlayerWindow.shown(x_desktop.Desktop(display))
    check_silence(recorder.samples(), "before playing")

    e2e.step(player, f"playing {TONE_FILE}")
    stopped_button = window.region(x_desktop.STRIP_PLAY_PAUSE)
    window.click_file_row(0)
    clicked_at = time.monotonic()
    window.click(x_desktop.PLAY_STOP_BUTTON)
    x_desktop.wait_until_held(player.pid, tone_path)
    recorder.wait_for_sound(clicked_at)
    full = check_tone(recorder.samples(), TONE_AMPLITUDE, "playing")
    check_stream_properties(sound_environment)

    e2e.step(player, "pausing from the strip")
    playing_button = window.region(x_desktop.STRIP_PLAY_PAUSE)

    def click_strip_button_and_step_aside():
        """The pointer leaves, so the button shows its state and not the hover."""
        window.click(x_desktop.STRIP_PLAY_PAUSE)
        window.click(BANNER)

    paused_at = time.monotonic()
    click_strip_button_and_step_aside()
    window.wait_for_look(x_desktop.STRIP_PLAY_PAUSE, stopped_button, "the strip shows it paused")
    check_silenced(recorder, paused_at, "pausing")

    e2e.step(player, "playing on at the volume slider's middle, then at MPRIS Volume 0.5")
    click_strip_button_and_step_aside()
    window.wait_for_look(x_desktop.STRIP_PLAY_PAUSE, playing_button, "the strip plays again")
    window.click(VOLUME_SLIDER)
    e2e.poll("the slider sets the volume", lambda: mpris_volume(sound_environment) < 1)
    check_one_volume(sound_environment, recorder, mpris_volume(sound_environment), full,
                     "the slider's volume")
    check_one_volume(sound_environment, recorder, mpris_volume(sound_environment, 0.5), full,
                     "MPRIS Volume")

    e2e.step(player, "stopping")
    stopped_at = time.monotonic()
    window.click(x_desktop.PLAY_STOP_BUTTON)
    x_desktop.wait_until_held(player.pid, tone_path, held=False)
    check_silenced(recorder, stopped_at, "stopping")

    e2e.step(player, "playing again and leaving through the credit box")
    clicked_at = time.monotonic()
    window.click(x_desktop.PLAY_STOP_BUTTON)
    x_desktop.wait_until_held(player.pid, tone_path)
    recorder.wait_for_sound(clicked_at)
    check_tone(recorder.samples(0.5), TONE_AMPLITUDE / 8, "playing again")
    window.leave_through_credit_box(player)
    check_silence(recorder.samples(), "after the player ended")


if __name__ == "__main__":
    e2e.run_test(("pulseaudio", "parec", "pactl", "sox", "lame", "Xvfb", "xdotool", "import",
                  "dbus-daemon", "dbus-send"),
                 "pulseaudio, pulseaudio-utils, sox, lame, xvfb, xdotool, imagemagick and dbus-bin",
                 "mp3player-sound-", run_scenario)
