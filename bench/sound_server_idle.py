#!/usr/bin/env python3
"""What a player costs the machine when it has little or nothing to do.

For the player and for mpv, on a private desktop (Xvfb, openbox, a session bus and a
PulseAudio server with a null sink and module-suspend-on-idle, as desktop configurations
have it): wake-ups per second (context switches of all the process's threads) and CPU
seconds per minute while playing with the window shown, playing with it hidden, paused and
stopped; and how long after a pause the sink reports SUSPENDED. For the player also how long
Pause and Play hold its main thread: the time to the reply of a D-Bus Pause or Play, less
that of a property read (which the main thread also answers), medians of eight.

    bench/sound_server_idle.py build/dev/src/app/larkhaven [--seconds 20]

Run it under the system lock (it starts servers of its own):
    /work/bin/build-slot flock /tmp/larkhaven-system.lock bench/sound_server_idle.py …
Figures vary with the machine's load: compare the rows of one run.
"""
import argparse
import glob
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")


class Desktop:
    def __init__(self, root):
        self.root = root
        self.processes = []
        for name in ("runtime", "home"):
            os.makedirs(f"{root}/{name}", mode=0o700)
        self.env = {"PATH": os.environ["PATH"], "HOME": f"{root}/home", "XDG_RUNTIME_DIR": f"{root}/runtime",
                    "LANG": "C.UTF-8", "PULSE_SERVER": f"unix:{root}/runtime/pulse/native"}
        read, write = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"], pass_fds=(write,))
        os.close(write)
        self.env["DISPLAY"] = ":" + os.read(read, 16).decode().strip()
        os.close(read)
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1",
                              f"--address=unix:path={root}/bus"], capture_output=True, text=True, env=self.env, check=True)
        address, pid = bus.stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.bus_pid = int(pid)
        self.start(["openbox", "--sm-disable"])
        self.start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                    "-L", "module-native-protocol-unix auth-anonymous=1", "-L", "module-null-sink sink_name=bench",
                    "-L", "module-suspend-on-idle"])
        for _ in range(100):
            if self.run(["pactl", "info"]).returncode == 0:
                break
            time.sleep(0.1)
        self.run(["pactl", "set-default-sink", "bench"])
        time.sleep(1)

    def start(self, argv, **options):
        process = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True, **options)
        self.processes.append(process)
        return process

    def run(self, argv):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=20)

    def sink_state(self):
        return self.run(["pactl", "list", "short", "sinks"]).stdout.split()[-1:]

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        os.kill(self.bus_pid, signal.SIGTERM)


def usage(pid):
    switches = 0
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(status) as file:
                for line in file:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return switches, (int(fields[11]) + int(fields[12])) / TICKS


def measure(pid, seconds):
    time.sleep(3)  # settle after the change of state
    switches, cpu = usage(pid)
    time.sleep(seconds)
    later_switches, later_cpu = usage(pid)
    return (later_switches - switches) / seconds, (later_cpu - cpu) * 60 / seconds


def seconds_to_suspend(desktop):
    start = time.monotonic()
    while time.monotonic() - start < 30:
        if desktop.sink_state() == ["SUSPENDED"]:
            return time.monotonic() - start
        time.sleep(0.2)
    return float("inf")


def end(player):
    os.killpg(player.pid, signal.SIGKILL)
    player.wait()


def pause_and_stop(desktop, player, pause, stop, seconds, rows):
    """Pauses, sees how soon the sink sleeps, stops; measures both states and ends the player."""
    pause()
    suspended = seconds_to_suspend(desktop)
    rows["paused"] = measure(player.pid, seconds)
    stop()
    rows["stopped"] = measure(player.pid, seconds)
    end(player)
    return rows, suspended


def median(values):
    return sorted(values)[len(values) // 2]


def toggle_costs(desktop):
    """Milliseconds the main thread spends on a Pause and on a Play, beyond answering a call."""
    def reply_ms(*words):
        start = time.monotonic()
        desktop.run(["dbus-send", "--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.larkhaven",
                     "/org/mpris/MediaPlayer2", *words])
        return (time.monotonic() - start) * 1000

    read, pause, play = [], [], []
    for _ in range(8):
        read.append(reply_ms("org.freedesktop.DBus.Properties.Get", "string:org.mpris.MediaPlayer2.Player",
                             "string:PlaybackStatus"))
        pause.append(reply_ms("org.mpris.MediaPlayer2.Player.Pause"))
        time.sleep(0.8)
        play.append(reply_ms("org.mpris.MediaPlayer2.Player.Play"))
        time.sleep(0.8)
    return median(pause) - median(read), median(play) - median(read)


def larkhaven(desktop, program, music, seconds):
    home = tempfile.mkdtemp(dir=desktop.root)
    env = dict(desktop.env, HOME=home, XDG_CONFIG_HOME=f"{home}/c", XDG_CACHE_HOME=f"{home}/k",
               XDG_RUNTIME_DIR=desktop.env["XDG_RUNTIME_DIR"], SDL_AUDIODRIVER="pulseaudio")
    player = subprocess.Popen([program, music], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              start_new_session=True)
    window = ""
    for _ in range(150):
        window = desktop.run(["xdotool", "search", "--onlyvisible", "--name", "(^| — )Larkhaven$"]).stdout.split()
        if window:
            break
        time.sleep(0.2)
    window = window[0]

    def key(keys):
        desktop.run(["xdotool", "windowactivate", "--sync", window])
        desktop.run(["xdotool", "key", "--clearmodifiers", keys])

    rows = {"playing, shown": measure(player.pid, seconds)}
    print("larkhaven main thread per Pause: %.1f ms, per Play: %.1f ms" % toggle_costs(desktop))
    # The stream as mixers see it: who plays what, and the latency the meter is delayed by.
    for line in desktop.run(["pactl", "list", "sink-inputs"]).stdout.splitlines():
        if any(word in line for word in ("application.name", "application.icon_name", "application.id", "media.role",
                                          "media.name", "Latency")):
            print("larkhaven stream:", line.strip())
    desktop.run(["xdotool", "mousemove", "--window", window, "14", "14", "click", "1"])  # the close button hides
    rows["playing, hidden"] = measure(player.pid, seconds)
    subprocess.run([program], env=env, timeout=30)  # a second launch shows the window again
    return pause_and_stop(desktop, player, lambda: key("space"), lambda: key("ctrl+period"), seconds, rows)


def mpv(desktop, music, seconds):
    if not shutil.which("mpv"):
        return {}, None
    ipc = f"{desktop.root}/mpv.sock"

    def command(*words):
        with socket.socket(socket.AF_UNIX) as connection:
            connection.connect(ipc)
            connection.sendall(json.dumps({"command": list(words)}).encode() + b"\n")
            connection.recv(4096)

    def launch(*options):
        player = subprocess.Popen(["mpv", "--no-config", "--idle=yes", f"--input-ipc-server={ipc}", *options, music],
                                  env=desktop.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        for _ in range(100):
            if os.path.exists(ipc):
                break
            time.sleep(0.1)
        return player

    player = launch("--force-window=yes")
    rows = {"playing, shown": measure(player.pid, seconds)}
    end(player)
    os.remove(ipc)
    player = launch("--force-window=no")  # no window at all: the least a hidden one could cost
    rows["playing, hidden"] = measure(player.pid, seconds)
    return pause_and_stop(desktop, player, lambda: command("set_property", "pause", True), lambda: command("stop"),
                          seconds, rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--seconds", type=float, default=20)
    arguments = parser.parse_args()
    root = tempfile.mkdtemp(prefix="sound-server-idle-")
    desktop = Desktop(root)
    try:
        music = f"{root}/tone.flac"
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=600",
                        "-ac", "2", "-ar", "44100", music], check=True)
        results = {"larkhaven": larkhaven(desktop, os.path.abspath(arguments.program), music, arguments.seconds),
                   "mpv": mpv(desktop, music, arguments.seconds)}
    finally:
        desktop.close()
        shutil.rmtree(root, ignore_errors=True)
    print(f"{'player':<10} {'state':<16} {'wake-ups/s':>10} {'CPU s/min':>10}")
    for name, (rows, suspended) in results.items():
        for state, (wakeups, cpu) in rows.items():
            print(f"{name:<10} {state:<16} {wakeups:>10.1f} {cpu:>10.3f}")
        if suspended is not None:
            print(f"{name:<10} sink SUSPENDED {suspended:.1f} s after the pause")
    return 0


if __name__ == "__main__":
    sys.exit(main())
