#!/usr/bin/env python3
"""The real program launched on a restored playlist of N rows, as a user with a large library
meets it: resident memory and processor time once it has settled.

    bench/restored_playlist.py build/dev/src/app/larkhaven 1000 100000 1000000

Each run gets private XDG folders holding a stored playlist of N paths in artist/album folders
(the files need not exist: a missing file is what a share that went away looks like, and the
player must not pay for rows nobody looks at). The program runs on Qt's offscreen platform with
SDL's dummy driver; the time to the first drawn window is measured by bench_window
(launchToWindowShown), which sees inside the process. Prints one line per size: RSS once idle
and the CPU the process spent in its first seconds.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

SETTLE_SECONDS = 12


def playlist(count):
    rows = []
    for i in range(count):
        artist, album = i // 1000, (i // 10) % 100
        rows.append({
            "path": f"/home/me/Music/Artist {artist:04d}/Album {album:02d} of the artist/{i % 10 + 1:02d} Song number {i}.flac",
            "remote": False,
        })
    return rows


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(program, count):
    with tempfile.TemporaryDirectory() as home:
        config = os.path.join(home, "config", "Larkhaven")
        os.makedirs(config)
        with open(os.path.join(config, "preferences.json"), "w") as out:
            json.dump({"savedPlaylist": playlist(count)}, out)
        runtime = os.path.join(home, "runtime")
        os.makedirs(runtime, mode=0o700)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"), XDG_RUNTIME_DIR=runtime,
                   QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        player = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(SETTLE_SECONDS)
            rss, cpu = rss_mb(player.pid), cpu_seconds(player.pid)
        finally:
            player.terminate()
            player.wait(timeout=30)
    return rss, cpu


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    program = sys.argv[1]
    print(f"{'rows':>10}  {'RSS idle (MB)':>13}  {'CPU in first ' + str(SETTLE_SECONDS) + ' s':>16}")
    for count in map(int, sys.argv[2:]):
        rss, cpu = measure(program, count)
        print(f"{count:>10}  {rss:>13.0f}  {cpu:>14.2f} s")


if __name__ == "__main__":
    main()
