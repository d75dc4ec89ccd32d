#!/usr/bin/env python3
"""An ssh ProxyCommand that delays every chunk by a fixed time in each direction.

    nas_delay_proxy.py HOST PORT DELAY_MS PIDFILE

Stands in for a slow link where the kernel has no netem: each chunk read from one side is
written to the other DELAY_MS later, without holding back the chunks behind it (a latency, not
a bandwidth limit). Writes its pid to PIDFILE, so the benchmark can freeze the share by
stopping this process (SIGSTOP) and thaw it (SIGCONT) while ssh keeps its connection.
"""
import os
import queue
import socket
import sys
import threading
import time


def pump(read, write, delay):
    chunks = queue.Queue()

    def reader():
        while True:
            data = read()
            chunks.put((time.monotonic() + delay, data))
            if not data:
                return

    threading.Thread(target=reader, daemon=True).start()
    while True:
        due, data = chunks.get()
        wait = due - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        if not data:
            return
        write(data)


def main():
    host, port, delay_ms, pidfile = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
    with open(pidfile, "w") as f:
        f.write(str(os.getpid()))
    delay = delay_ms / 1000
    sock = socket.create_connection((host, port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    stdin, stdout = sys.stdin.fileno(), sys.stdout.fileno()

    def write_all(fd):
        def write(data):
            view = memoryview(data)
            while view:
                view = view[os.write(fd, view):]
        return write

    upstream = threading.Thread(
        target=pump, args=(lambda: os.read(stdin, 65536), sock.sendall, delay), daemon=True)
    upstream.start()
    pump(lambda: sock.recv(65536), write_all(stdout), delay)
    os._exit(0)


if __name__ == "__main__":
    main()
