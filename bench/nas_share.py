#!/usr/bin/python3
"""A music library on a slow network share, as a NAS user meets it (run as root).

    bench/nas_share.py PROGRAM [--size quick|flac10k|full] [--freeze-play S] [--freeze-walk S]
                       [--play-window S] [--keep]

Sets up, all private to this run and stopped by pid at its end:
  * an sshd on 127.0.0.1 serving a generated library, mounted with sshfs through a ProxyCommand
    (nas_delay_proxy.py) that delays every chunk 10 ms each way; stopping the proxy (SIGSTOP)
    freezes the share as a file server that stops answering does;
  * Xvfb with openbox, a private session bus, PulseAudio with a null sink whose monitor is
    recorded in 10 ms chunks;
  * a probe that sends the player's window _NET_WM_PING every 100 ms: a window answers from its
    event loop, so the reply's delay is how long the window could not react.
The library (made once per size with ffmpeg, then hard-linked, so a new size takes seconds):
  full:    400 album folders of 50 four-second tracks (FLAC and MP3 in turn), 50 of them with an
           album image (six tracks) and its cue sheet, 20 with a 15 MB WAV as well: 20,320 rows;
  flac10k: 200 folders of 50 four-second FLACs: 10,000 rows;
  quick:   8 folders of 10 tracks, 2 images, 1 large file: 93 rows.
Then the player is launched with the share's root folder and measured: time to the window, to
the first rows and to all rows (rows counted in the stored playlist, which the player writes at
each change), the window's worst delay during the walk, threads, copies ahead 2 s and 10 s
after playback starts (complete copies in the cache other than the playing file's), silence
between share tracks while it plays, and MPRIS statuses between tracks. --freeze-play freezes
the share that long while playing (worst delay, where it plays afterwards); --freeze-walk
freezes it that long three seconds into the walk (rows kept, whether the rest comes).
At the end the player is quit, the share frozen and the player launched again on its stored
playlist: time to the window, its worst delay, and how many rows have a duration the metadata
cache knows (what the relaunch can show without the share).
Prints one JSON object; logs and a screenshot go under $NB (default ~/.cache/nasbench).
"""
import argparse
import array
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from Xlib import X, display as xdisplay, protocol

HERE = os.path.dirname(os.path.abspath(__file__))
NB = os.environ.get("NB", os.path.expanduser("~/.cache/nasbench"))
TRACK_SECONDS = 4
THRESH = 328            # -40 dBFS on s16 samples
CHUNK = 441 * 2 * 2     # 10 ms of s16le stereo at 44.1 kHz
SIZES = {
    # folders, tracks per folder, folders with an image, folders with a large file
    "quick": (8, 10, 2, 1),
    "flac10k": (200, 50, 0, 0),
    "full": (400, 50, 50, 20),
}
NEEDS = {"Xvfb": "xvfb", "openbox": "openbox", "pulseaudio": "pulseaudio", "parec": "pulseaudio-utils",
         "sshfs": "sshfs", "ffmpeg": "ffmpeg", "playerctl": "playerctl", "dbus-daemon": "dbus-daemon",
         "import": "imagemagick", "xdotool": "xdotool"}

started = []            # (name, Popen) to stop at the end, by pid


def log_path(name):
    os.makedirs(os.path.join(NB, "logs"), exist_ok=True)
    return os.path.join(NB, "logs", name)


def start(name, argv, **kw):
    log = open(log_path(name + ".log"), "w")
    proc = subprocess.Popen(argv, stdout=kw.pop("stdout", log), stderr=log, stdin=subprocess.DEVNULL, **kw)
    started.append((name, proc))
    return proc


def stop_all():
    for name, proc in reversed(started):
        if proc.poll() is None:
            try:
                os.kill(proc.pid, signal.SIGCONT)
                proc.terminate()
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            except ProcessLookupError:
                pass
    started.clear()


def wait_for(check, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(step)
    return None


# ------------------------------------------------------------------ the library
def ffmpeg(args, out):
    subprocess.run(["ffmpeg", "-v", "error", "-y"] + args + [out], check=True)


def tone(seconds, hz):
    return ["-f", "lavfi", "-i", f"sine=frequency={hz}:sample_rate=44100:duration={seconds}", "-ac", "2"]


def make_sources(folder):
    os.makedirs(folder, exist_ok=True)
    ffmpeg(tone(TRACK_SECONDS, 440), os.path.join(folder, "a.flac"))
    ffmpeg(tone(TRACK_SECONDS, 550) + ["-b:a", "128k"], os.path.join(folder, "b.mp3"))
    ffmpeg(tone(6 * TRACK_SECONDS, 660), os.path.join(folder, "image.flac"))
    ffmpeg(tone(85, 330), os.path.join(folder, "large.wav"))   # 15 MB


def cue_sheet(album):
    lines = [f'PERFORMER "Artist {album}"', f'TITLE "Image {album}"', 'FILE "Image.flac" WAVE']
    for i in range(6):
        seconds = i * TRACK_SECONDS
        lines += [f"  TRACK {i + 1:02d} AUDIO", f'    TITLE "Part {i + 1}"',
                  f"    INDEX 01 {seconds // 60:02d}:{seconds % 60:02d}:00"]
    return "\n".join(lines) + "\n"


def make_library(size):
    folders, tracks, images, large = SIZES[size]
    root = os.path.join(NB, "library-" + size)
    done = os.path.join(NB, f"library-{size}.done")
    if os.path.exists(done):
        return root, rows_of(size)
    sources = os.path.join(NB, "sources")
    if not os.path.exists(os.path.join(sources, "large.wav")):
        make_sources(sources)
    shutil.rmtree(root, ignore_errors=True)
    for f in range(folders):
        album = os.path.join(root, f"Artist {f:03d} - Album {f:03d}")
        os.makedirs(album)
        for t in range(tracks):
            source = "a.flac" if size == "flac10k" or t % 2 == 0 else "b.mp3"
            os.link(os.path.join(sources, source), os.path.join(album, f"{t + 1:02d} - Song {t + 1}{source[1:]}"))
        if f < images:
            os.link(os.path.join(sources, "image.flac"), os.path.join(album, "Image.flac"))
            with open(os.path.join(album, "Image.cue"), "w") as sheet:
                sheet.write(cue_sheet(f))
        if f < large:
            os.link(os.path.join(sources, "large.wav"), os.path.join(album, "99 - Long Take.wav"))
    open(done, "w").close()
    return root, rows_of(size)


def rows_of(size):
    folders, tracks, images, large = SIZES[size]
    return folders * tracks + images * 6 + large


# ------------------------------------------------------------------ the desktop and the share
def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def desktop(run):
    r, w = os.pipe()
    start("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-ac"],
          pass_fds=(w,))
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not report a display")
        number += chunk
    os.close(r)
    env = {"PATH": os.environ["PATH"], "DISPLAY": ":" + number.decode().strip(), "XDG_RUNTIME_DIR": run}
    start("openbox", ["openbox"], env=env)
    bus = os.path.join(run, "bus")
    start("dbus", ["dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus], env=env)
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus
    pulse = os.path.join(run, "pulse")
    os.makedirs(pulse, exist_ok=True)
    with open(os.path.join(run, "bench.pa"), "w") as pa:
        pa.write(f"load-module module-native-protocol-unix auth-anonymous=1 socket={pulse}/native\n"
                 "load-module module-null-sink sink_name=bench rate=44100 channels=2\n"
                 "set-default-sink bench\n")
    start("pulse", ["pulseaudio", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "-n",
                    "-F", os.path.join(run, "bench.pa"), "--log-target=stderr"],
          env=dict(env, HOME=run, PULSE_RUNTIME_PATH=pulse))
    env["PULSE_SERVER"] = "unix:" + pulse + "/native"
    if not wait_for(lambda: subprocess.run(["pactl", "info"], env=env, capture_output=True).returncode == 0, 10):
        raise RuntimeError("PulseAudio did not start")
    if not wait_for(lambda: os.path.exists(bus), 5):
        raise RuntimeError("the session bus did not start")
    return env


def share(run, served, delay_ms):
    keys = os.path.join(run, "ssh")
    os.makedirs(keys)
    for key in ("host_key", "client_key"):
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, key)], check=True)
    shutil.copy(os.path.join(keys, "client_key.pub"), os.path.join(keys, "authorized_keys"))
    port = free_port()
    config = os.path.join(keys, "sshd_config")
    with open(config, "w") as c:
        c.write(f"ListenAddress 127.0.0.1\nPort {port}\nHostKey {keys}/host_key\n"
                f"AuthorizedKeysFile {keys}/authorized_keys\nPermitRootLogin prohibit-password\n"
                "PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                "PidFile none\nSubsystem sftp internal-sftp\n")
    os.makedirs("/run/sshd", exist_ok=True)
    start("sshd", ["/usr/sbin/sshd", "-D", "-e", "-f", config])
    wait_for(lambda: "Server listening" in open(log_path("sshd.log")).read(), 10)
    mount = os.path.join(run, "share")
    os.makedirs(mount)
    proxy_pid = os.path.join(run, "proxy.pid")
    proxy = f"/usr/bin/python3 {HERE}/nas_delay_proxy.py 127.0.0.1 {port} {delay_ms} {proxy_pid}"
    start("sshfs", ["sshfs", "-f", "-o", "IdentityFile=" + keys + "/client_key", "-o", "StrictHostKeyChecking=no",
                    "-o", "UserKnownHostsFile=/dev/null", "-o", "BatchMode=yes", "-o", "LogLevel=ERROR",
                    "-o", "ProxyCommand=" + proxy, "root@127.0.0.1:" + served, mount])
    if not wait_for(lambda: os.path.ismount(mount) and len(os.listdir(mount)) > 0, 20, 0.2):
        raise RuntimeError("the share did not mount; see " + log_path("sshfs.log"))
    return mount, int(open(proxy_pid).read())


def unmount(mount):
    subprocess.run(["umount", "-l", mount], capture_output=True)


# ------------------------------------------------------------------ probes
class PingProbe:
    """_NET_WM_PING to the window every 100 ms; answers arrive on the root window."""

    def __init__(self, env, pid):
        self.d = xdisplay.Display(env["DISPLAY"])
        self.root = self.d.screen().root
        # Qt answers with a mask of StructureNotify (older) or SubstructureNotify (newer)
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
        self.protocols = self.d.intern_atom("WM_PROTOCOLS")
        self.ping = self.d.intern_atom("_NET_WM_PING")
        self.client_list = self.d.intern_atom("_NET_CLIENT_LIST")
        self.wm_pid = self.d.intern_atom("_NET_WM_PID")
        self.pid = pid
        self.window = None
        self.sent = {}          # id -> send time
        self.answered = {}      # id -> answer time
        self.lock = threading.Lock()
        self.stopped = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def find_window(self):
        prop = self.root.get_full_property(self.client_list, X.AnyPropertyType)
        for wid in (prop.value if prop else []):
            w = self.d.create_resource_object("window", wid)
            p = w.get_full_property(self.wm_pid, X.AnyPropertyType)
            if p and p.value and p.value[0] == self.pid:
                return w
        return None

    def run(self):
        next_ping, serial = time.monotonic(), 1_000_000
        while not self.stopped:
            now = time.monotonic()
            if self.window is None:
                self.window = self.find_window()
                self.window_time = now
            if self.window is not None and now >= next_ping:
                serial += 1
                event = protocol.event.ClientMessage(window=self.window, client_type=self.protocols,
                                                     data=(32, [self.ping, serial, self.window.id, 0, 0]))
                with self.lock:
                    self.sent[serial] = now
                self.window.send_event(event, event_mask=0)
                self.d.flush()
                next_ping = now + 0.1
            select.select([self.d.fileno()], [], [], 0.01)
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == X.ClientMessage and e.client_type == self.protocols:
                    serial_back = e.data[1][1]
                    with self.lock:
                        if serial_back in self.sent and serial_back not in self.answered:
                            self.answered[serial_back] = time.monotonic()

    def worst(self, a, b):
        """The longest wait for an answer to a ping sent in [a, b), unanswered ones counted to now."""
        now = time.monotonic()
        with self.lock:
            waits = [self.answered.get(s, now) - t for s, t in self.sent.items() if a <= t < b]
        return round(max(waits) * 1000) if waits else None

    def stop(self):
        self.stopped = True
        self.thread.join()
        with open(log_path("pings.txt"), "w") as out:
            for s, t in sorted(self.sent.items()):
                answer = self.answered.get(s)
                out.write(f"{t:.3f} {'-' if answer is None else round((answer - t) * 1000)}\n")


class Monitor:
    """parec on the null sink's monitor: (arrival time, peak) per 10 ms chunk."""

    def __init__(self, env):
        self.proc = start("parec", ["parec", "-d", "bench.monitor", "--raw", "--format=s16le", "--rate=44100",
                                    "--channels=2", "--latency-msec=10"], env=env, stdout=subprocess.PIPE, bufsize=0)
        self.chunks = []
        self.lock = threading.Lock()
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        buf = b""
        while True:
            data = self.proc.stdout.read(CHUNK)
            if not data:
                return
            buf += data
            now = time.monotonic()
            while len(buf) >= CHUNK:
                a = array.array("h", buf[:CHUNK])
                buf = buf[CHUNK:]
                with self.lock:
                    self.chunks.append((now, max(max(a), -min(a))))

    def silences(self, a, b):
        """Runs of silent chunks between the first and the last sound in [a, b), in ms."""
        with self.lock:
            sel = [p > THRESH for t, p in self.chunks if a <= t < b]
        if True not in sel:
            return None
        first, last = sel.index(True), len(sel) - 1 - sel[::-1].index(True)
        runs, n = [], 0
        for loud in sel[first:last + 1]:
            if loud:
                if n:
                    runs.append(n * 10)
                n = 0
            else:
                n += 1
        return runs


class Mpris:
    """playerctl following the player's status and track."""

    def __init__(self, env):
        self.events = []
        self.proc = start("playerctl", ["playerctl", "-p", "larkhaven", "--follow", "metadata", "--format",
                                        "{{status}}|{{xesam:url}}"], env=env, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        for line in self.proc.stdout:
            status, _, url = line.strip().partition("|")
            self.events.append((time.monotonic(), status, url))

    def first(self, status):
        return next((t for t, s, _ in list(self.events) if s == status), None)

    def url_at(self, t):
        urls = [u for tt, s, u in list(self.events) if tt <= t and u]
        return urls[-1] if urls else None


def stored_rows(home):
    try:
        with open(os.path.join(home, "config", "Larkhaven", "preferences.json"), "rb") as f:
            return f.read().count(b'"path"')
    except FileNotFoundError:
        return 0


def copies(home):
    folder = os.path.join(home, "cache", "Larkhaven")
    try:
        return sum(1 for n in os.listdir(folder) if not n.startswith(".") and not n.endswith(".partial")
                   and os.path.isfile(os.path.join(folder, n)))
    except FileNotFoundError:
        return 0


def known_durations(home):
    """Rows of the stored playlist whose duration the metadata cache holds: what a relaunch shows."""
    import glob
    import sqlite3
    try:
        with open(os.path.join(home, "config", "Larkhaven", "preferences.json")) as f:
            text = f.read()
    except OSError:
        return 0
    known = 0
    for db in glob.glob(os.path.join(home, "cache", "Larkhaven", "metadata", "*")):
        if db.endswith(("-wal", "-shm", "-journal")):
            continue
        try:
            con = sqlite3.connect(f"file:{db}?mode=ro", uri=True)
            paths = [bytes(p).decode("utf-8", "replace") for (p,) in
                     con.execute("SELECT path FROM files WHERE duration IS NOT NULL")]
            con.close()
        except sqlite3.Error:
            continue
        known += sum(1 for p in paths if json.dumps(p)[1:-1] in text or p in text)
    return known


def relaunch_frozen(program, env, home, proxy, player):
    """Quits the player, freezes the share and launches it again on the stored playlist."""
    player.terminate()
    try:
        player.wait(timeout=10)
    except subprocess.TimeoutExpired:
        player.kill()
    os.kill(proxy, signal.SIGSTOP)
    t0 = time.monotonic()
    again = start("player-relaunch", [program], env=env, cwd=home)
    probe = PingProbe(env, again.pid)
    wait_for(lambda: probe.window is not None, 10)
    window = probe.window_time - t0 if probe.window else None
    time.sleep(5)
    res = {"window_s": round(window, 2) if window else None, "worst_ping_ms": probe.worst(t0, time.monotonic()),
           "rows": stored_rows(home), "rows_with_known_duration": known_durations(home)}
    probe.stopped = True
    again.kill()
    os.kill(proxy, signal.SIGCONT)
    return res


def threads(pid):
    try:
        return len(os.listdir(f"/proc/{pid}/task"))
    except FileNotFoundError:
        return 0


# ------------------------------------------------------------------ one run
def measure(program, env0, mount, proxy, expected, a):
    home = os.path.join(NB, "home")
    shutil.rmtree(home, ignore_errors=True)
    for sub in ("config", "cache", "data"):
        os.makedirs(os.path.join(home, sub))
    env = dict(env0, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_CACHE_HOME=home + "/cache",
               XDG_DATA_HOME=home + "/data", QT_QPA_PLATFORM="xcb")
    res = {"rows_expected": expected}
    monitor = Monitor(env)
    mpris = Mpris(env)
    t0 = time.monotonic()
    player = start("player", [program, mount], env=env, cwd=home)
    probe = PingProbe(env, player.pid)
    peak_threads, first_rows, all_rows, rows_seen = 0, None, None, 0
    froze_at = t0 + 3 if a.freeze_walk else None
    thawed = froze_at is None
    deadline = t0 + a.walk_timeout + (a.freeze_walk or 0)
    while time.monotonic() < deadline and player.poll() is None:
        now = time.monotonic()
        if froze_at and now >= froze_at and "rows_at_freeze" not in res:
            os.kill(proxy, signal.SIGSTOP)
            res["rows_at_freeze"] = stored_rows(home)
        if froze_at and not thawed and now >= froze_at + a.freeze_walk:
            os.kill(proxy, signal.SIGCONT)
            thawed = True
            res["rows_at_thaw"] = stored_rows(home)
        peak_threads = max(peak_threads, threads(player.pid))
        rows_seen = stored_rows(home)
        if rows_seen and first_rows is None:
            first_rows = now - t0
        if rows_seen >= expected and thawed:
            all_rows = now - t0
            break
        time.sleep(0.1)
    walk_end = time.monotonic()
    res.update(window_s=round(probe.window_time - t0, 2) if probe.window else None,
               first_rows_s=round(first_rows, 2) if first_rows else None,
               all_rows_s=round(all_rows, 2) if all_rows else None, rows=rows_seen,
               walk_worst_ping_ms=probe.worst(t0, walk_end), walk_peak_threads=peak_threads)

    t_play = wait_for(lambda: mpris.first("Playing"), 10)
    if t_play:
        for after in (2, 10):
            time.sleep(max(0, t_play + after - time.monotonic()))
            peak_threads = max(peak_threads, threads(player.pid))
            res[f"copies_ahead_{after}s"] = max(0, copies(home) - 1)
        end = t_play + a.play_window
        while time.monotonic() < end:
            peak_threads = max(peak_threads, threads(player.pid))
            time.sleep(0.2)
        gaps = monitor.silences(t_play, end)
        res["play_window_s"] = a.play_window
        res["silences_ms"] = gaps
        changes = [e for e in mpris.events if t_play <= e[0] < end]
        res["tracks_played"] = len({u for _, _, u in changes if u})
        res["statuses_between_tracks"] = sorted({s for _, s, _ in changes})
        res["play_worst_ping_ms"] = probe.worst(t_play, end)
        res["copies_at_end_of_window"] = copies(home)
        if a.freeze_play:
            before = mpris.url_at(time.monotonic())
            f0 = time.monotonic()
            os.kill(proxy, signal.SIGSTOP)
            time.sleep(a.freeze_play)
            os.kill(proxy, signal.SIGCONT)
            time.sleep(3)
            res["freeze_play"] = {"seconds": a.freeze_play, "worst_ping_ms": probe.worst(f0, time.monotonic()),
                                  "track_before": before, "track_after": mpris.url_at(time.monotonic()),
                                  "statuses": sorted({s for t, s, _ in mpris.events if t >= f0})}
    res["peak_threads"] = max(peak_threads, threads(player.pid))
    subprocess.run(["import", "-window", "root", log_path("screen.png")], env=env, capture_output=True)
    probe.stop()
    res["relaunch_frozen"] = relaunch_frozen(program, env, home, proxy, player)
    return res


def dialog_on_frozen_share(program, env0, mount, proxy, a):
    """Add Files… opened with the share frozen, a path on it typed and Enter pressed: the
    window's worst delay while the share stays frozen (a.dialog seconds), and what the dialog
    said (its screenshot)."""
    home = os.path.join(NB, "home")
    shutil.rmtree(home, ignore_errors=True)
    for sub in ("config", "cache", "data"):
        os.makedirs(os.path.join(home, sub))
    env = dict(env0, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_CACHE_HOME=home + "/cache",
               XDG_DATA_HOME=home + "/data", QT_QPA_PLATFORM="xcb")
    player = start("player", [program], env=env, cwd=home)
    probe = PingProbe(env, player.pid)
    if not wait_for(lambda: probe.window is not None, 20):
        return {"dialog": "no window"}
    time.sleep(1)
    xdo = lambda *args: subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True)
    xdo("windowactivate", "--sync", str(probe.window.id))
    os.kill(proxy, signal.SIGSTOP)
    f0 = time.monotonic()
    xdo("key", "--clearmodifiers", "ctrl+o")
    found = wait_for(lambda: xdo("search", "--name", "^Add Files").stdout.strip(), 10)
    xdo("key", "ctrl+a")
    xdo("type", "--delay", "50", os.path.join(mount, "Artist 000 - Album 000", ""))
    xdo("key", "Return")
    entered = time.monotonic()
    time.sleep(max(0, f0 + a.dialog - time.monotonic()))
    res = {"dialog_found": bool(found), "dialog_frozen_s": a.dialog, "dialog_worst_ping_ms": probe.worst(f0, time.monotonic()),
           "dialog_worst_ping_after_enter_ms": probe.worst(entered, time.monotonic()),
           "dialog_entered_after_s": round(entered - f0, 2)}
    subprocess.run(["import", "-window", "root", log_path("dialog.png")], env=env, capture_output=True)
    os.kill(proxy, signal.SIGCONT)
    time.sleep(2)
    res["dialog_worst_ping_with_thaw_ms"] = probe.worst(f0, time.monotonic())
    probe.stop()
    return res


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("--size", choices=sorted(SIZES), default="quick")
    ap.add_argument("--delay-ms", type=float, default=10)
    ap.add_argument("--walk-timeout", type=float, default=120)
    ap.add_argument("--play-window", type=float, default=20)
    ap.add_argument("--freeze-play", type=float, default=0)
    ap.add_argument("--freeze-walk", type=float, default=0)
    ap.add_argument("--dialog", type=float, default=0)
    a = ap.parse_args()
    if os.geteuid() != 0:
        sys.exit("needs root (sshd, sshfs)")
    missing = sorted({pkg for tool, pkg in NEEDS.items() if not shutil.which(tool)})
    if missing:
        subprocess.run(["apt-get", "install", "-y", "-qq"] + missing, check=True)
    program = os.path.abspath(a.program)
    served, expected = make_library(a.size)
    run = os.path.join(NB, "run")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run, mode=0o700)
    mount = None
    try:
        env = desktop(run)
        mount, proxy = share(run, served, a.delay_ms)
        res = {"size": a.size, "delay_ms": a.delay_ms}
        res.update(dialog_on_frozen_share(program, env, mount, proxy, a) if a.dialog
                   else measure(program, env, mount, proxy, expected, a))
        print(json.dumps(res, indent=1))
    finally:
        for name, proc in started:
            if name.startswith("player") and proc.poll() is None:
                proc.kill()     # a player blocked on the share ends only once sshfs does
        if mount:
            unmount(mount)
        stop_all()


if __name__ == "__main__":
    main()
