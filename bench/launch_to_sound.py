#!/usr/bin/env python3
"""Launch to sound, alternating the player with its peers, as the peer comparison launches them.

    bench/launch_to_sound.py PEERBENCH_DIR PROGRAM [--runs 10] [--players larkhaven,ffplay]

Uses the peer comparison's own code (measure_player.py in PEERBENCH_DIR) for the players' command
lines, the monitor of the null sink and the threshold, and launches each player as it does: a
fresh HOME, the file as the only argument, a private network namespace, output to a log. Each
launch only waits for the first sound and half a second more, so ten launches of each player
take a minute instead of the comparison's half an hour; players alternate, so a busy moment of
the machine falls on both. Prints the absolute times (CLOCK_MONOTONIC, as steady_clock in the
player), so a timestamped trace of the player can be laid beside them, and the medians.

Needs the comparison's environment running (PEERBENCH_DIR/setup_env.sh, under the system lock:
    /work/bin/build-slot flock /tmp/larkhaven-system.lock bench/launch_to_sound.py …).
"""
import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import time


def launch_once(mp, name, media, env0, run_id):
    build, cfg, _ = mp.PLAYERS[name]
    home = os.path.join(mp.PB, "homes", f"quick-{name}-{run_id}")
    subprocess.run(["rm", "-rf", home])
    os.makedirs(home)
    cfg(home)
    env = dict(env0, HOME=home)
    launch = ["unshare", "-n", "--", "sh", "-c", 'ip link set lo up && exec "$0" "$@"'] + build(media)
    os.makedirs(os.path.join(mp.PB, "logs"), exist_ok=True)
    with open(os.path.join(mp.PB, "logs", f"quick-{name}-{run_id}.log"), "w") as log:
        monitor = mp.Monitor(env)
        if not monitor.wait_streaming():
            raise RuntimeError("parec is not delivering data")
        t0 = time.monotonic()
        proc = subprocess.Popen(launch, env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL, cwd=home)
        sound = None
        while sound is None and time.monotonic() < t0 + 10 and proc.poll() is None:
            sound = monitor.first_sound_after(t0)
            time.sleep(0.005)
        time.sleep(0.5)
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=8)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        monitor.stop()
    return {"player": name, "run": run_id, "t0": round(t0, 4),
            "sound": round(sound, 4) if sound else None,
            "latency_s": round(sound - t0, 3) if sound else None}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("peerbench")
    parser.add_argument("program")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--players", default="larkhaven,ffplay")
    args = parser.parse_args()
    os.environ["LARKHAVEN_BIN"] = os.path.abspath(args.program)
    sys.path.insert(0, os.path.abspath(args.peerbench))
    import measure_player as mp  # noqa: E402 (lives in the comparison's folder)

    if not os.path.exists(os.path.join(mp.PB, "env.sh")):
        subprocess.run([os.path.join(args.peerbench, "setup_env.sh")], check=True)
    subprocess.run([os.path.join(args.peerbench, "gen_material.sh")], check=True, stdout=subprocess.DEVNULL)
    env = mp.load_env()
    media = os.path.join(mp.PB, "media", "song.flac")
    players = args.players.split(",")
    results = {name: [] for name in players}
    for run in range(args.runs + 1):  # the first round warms the page cache
        for name in players:
            row = launch_once(mp, name, media, env, run)
            print(json.dumps(row), flush=True)
            if run > 0 and row["latency_s"] is not None:
                results[name].append(row["latency_s"])
            time.sleep(0.5)
    for name, values in results.items():
        if values:
            print(f"{name}: median {statistics.median(values):.3f} s, min {min(values):.3f}, "
                  f"max {max(values):.3f}, n {len(values)}")


if __name__ == "__main__":
    sys.exit(main())
