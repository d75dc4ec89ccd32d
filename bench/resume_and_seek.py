#!/usr/bin/env python3
"""How soon a Play after a pause is heard, and how soon a seek's new position is heard.

On a private desktop (sound_server_idle.Desktop: Xvfb, a session bus, PulseAudio with a null
sink and module-suspend-on-idle) the player plays a ten-minute file, 440 Hz for its first five
minutes and 1 kHz for the rest, while parec records the sink's monitor with a 10 ms latency
and every block is timestamped as it arrives. Through MPRIS:

- resume: Pause, a second's wait (the sink is still awake), Play; the time from the call to
  the first 10 ms of sound;
- seek: Seek by five minutes forward or back, in turn; the time from the call to the first
  20 ms window at the other pitch.

Each is done `--rounds` times (default 50); prints the median and the worst. The times
include a dbus-send call (a few milliseconds). A frame's time is its block's arrival less the
frames after it in the block; the monitor has what the sink renders, which a null sink renders
a whole latency ahead, so a time near zero or a little below it means "at once".

    bench/resume_and_seek.py build/dev/src/app/larkhaven [--rounds 50]

Run it under the system lock (it starts servers of its own):
    flock /tmp/larkhaven-system.lock bench/resume_and_seek.py …
"""
import argparse
import array
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sound_server_idle import Desktop, end  # noqa: E402

RATE = 44100
WINDOW = RATE // 50  # 20 ms, mono frames


class Monitor:
    """parec on the sink's monitor, mono float; frames kept with the time each block arrived."""

    def __init__(self, desktop):
        self.process = subprocess.Popen(["parec", "-d", "bench.monitor", "--raw", "--format=float32le", f"--rate={RATE}",
                                         "--channels=1", "--latency-msec=10"], env=desktop.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.samples = array.array("f")
        self.arrivals = []  # (time the block arrived, frame count after it)
        self.lock = threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        pending = b""
        while True:
            block = os.read(self.process.stdout.fileno(), 4096)
            if not block:
                return
            now = time.monotonic()
            block = pending + block
            whole = len(block) - len(block) % 4
            pending = block[whole:]
            with self.lock:
                self.samples.frombytes(block[:whole])
                self.arrivals.append((now, len(self.samples)))

    def frame_count(self):
        with self.lock:
            return len(self.samples)

    def time_of(self, frame):
        """When `frame` was heard: the arrival of its block less the frames after it in the block."""
        with self.lock:
            for arrived, count in self.arrivals:
                if count > frame:
                    return arrived - (count - 1 - frame) / RATE
        return None

    def first_window(self, start, is_wanted, timeout=5):
        """The first frame, from `start` on, of a 20 ms window that `is_wanted`; waits for it."""
        deadline = time.monotonic() + timeout
        frame = start
        while time.monotonic() < deadline:
            with self.lock:
                available = len(self.samples)
                while frame + WINDOW <= available:
                    if is_wanted(self.samples[frame:frame + WINDOW]):
                        return frame
                    frame += WINDOW // 4
            time.sleep(0.005)
        return None

    def close(self):
        self.process.kill()
        self.process.wait()


def is_loud(window):
    return sum(x * x for x in window) / len(window) > 1e-4


def crossings(window):
    return sum(1 for a, b in zip(window, window[1:]) if (a < 0) != (b < 0))


def is_high(window):
    return is_loud(window) and crossings(window) > 28  # 1 kHz gives 40, 440 Hz about 18


def is_low(window):
    return is_loud(window) and 8 < crossings(window) < 28


def mpris(desktop, method, *arguments):
    started = time.monotonic()
    desktop.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.larkhaven",
                 "/org/mpris/MediaPlayer2", f"org.mpris.MediaPlayer2.Player.{method}", *arguments])
    return started


def summary(name, values):
    values = sorted(values)
    if not values:
        return f"{name}: no measurement"
    return f"{name}: median {values[len(values) // 2] * 1000:.0f} ms, worst {values[-1] * 1000:.0f} ms ({len(values)} rounds)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--rounds", type=int, default=50)
    arguments = parser.parse_args()
    root = tempfile.mkdtemp(prefix="resume-and-seek-")
    desktop = Desktop(root)
    player = None
    monitor = None
    try:
        music = f"{root}/two-pitches.flac"
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=300",
                        "-f", "lavfi", "-i", "sine=frequency=1000:duration=300", "-filter_complex", "[0][1]concat=n=2:v=0:a=1",
                        "-ac", "2", "-ar", str(RATE), music], check=True)
        monitor = Monitor(desktop)
        home = tempfile.mkdtemp(dir=root)
        env = dict(desktop.env, HOME=home, XDG_CONFIG_HOME=f"{home}/c", XDG_CACHE_HOME=f"{home}/k",
                   SDL_AUDIODRIVER="pulseaudio")
        player = subprocess.Popen([os.path.abspath(arguments.program), music], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, start_new_session=True)
        if monitor.first_window(0, is_low, timeout=20) is None:
            raise RuntimeError("the player is not heard")
        resumes, seeks = [], []
        for round_ in range(arguments.rounds):
            mpris(desktop, "Pause")
            time.sleep(1)
            frame = monitor.frame_count()
            called = mpris(desktop, "Play")
            heard = monitor.first_window(frame, is_loud)
            if heard is not None:
                resumes.append(monitor.time_of(heard) - called)
            time.sleep(0.5)
            forward = round_ % 2 == 0
            frame = monitor.frame_count()
            called = mpris(desktop, "Seek", f"int64:{(300 if forward else -300) * 1000000}")
            heard = monitor.first_window(frame, is_high if forward else is_low)
            if heard is not None:
                seeks.append(monitor.time_of(heard) - called)
            time.sleep(0.5)
        print(summary("resume to sound", resumes))
        print(summary("seek to the new position heard", seeks))
    finally:
        if player:
            end(player)
        if monitor:
            monitor.close()
        desktop.close()
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
