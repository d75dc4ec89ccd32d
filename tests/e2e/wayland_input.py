"""A pointer and a launcher for a wlroots compositor, spoken straight on the Wayland socket
(WAYLAND_DISPLAY) with nothing but Python's standard library: Debian packages no command for
either.

  wayland_input.py pointer WIDTH HEIGHT STEP...
      adds a pointer device to the seat (wlr-virtual-pointer) and plays the steps on it, in
      the compositor's coordinates over a layout of WIDTH x HEIGHT:
        move X Y     the pointer goes to X, Y in one motion
        glide X Y    ... in ten motions, as a hand drags
        press / release    the left button
      then ends once the compositor has taken every step. With `hold` as the only step the
      device stays until the process is ended, so the seat keeps a pointer between steps.
  wayland_input.py token
      prints an activation token (xdg-activation), as a launcher gets one for the program it
      starts.
  wayland_input.py window TITLE
      shows a plain window titled TITLE until the process is ended: another program, to take
      the focus.

Exits 2 when the compositor lacks what the command needs.
"""
import os
import socket
import struct
import sys
import time

BUTTON_LEFT = 0x110  # evdev's code
PRESSED, RELEASED = 1, 0


class Connection:
    def __init__(self):
        name = os.environ["WAYLAND_DISPLAY"]
        path = name if name.startswith("/") else os.path.join(os.environ["XDG_RUNTIME_DIR"], name)
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.connect(path)
        self.next_id = 2  # 1 is the display
        self.received = b""
        self.globals = {}  # interface -> (name, version)
        self.registry = self.new()
        self.request(1, 1, self.registry)  # wl_display.get_registry
        self.roundtrip()

    def new(self):
        """An id for an object a request is about to create."""
        self.next_id += 1
        return self.next_id - 1

    def request(self, target, opcode, *arguments, fds=()):
        """Sends a request; its arguments are ints (int or uint) or strs; file descriptors go
        beside them."""
        body = b""
        for argument in arguments:
            if isinstance(argument, str):
                text = argument.encode() + b"\0"
                body += struct.pack("=I", len(text)) + text + b"\0" * (-len(text) % 4)
            else:
                body += struct.pack("=I", argument & 0xFFFFFFFF)
        message = struct.pack("=II", target, (8 + len(body)) << 16 | opcode) + body
        if fds:
            self.socket.sendmsg([message], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, struct.pack("=%di" % len(fds), *fds))])
        else:
            self.socket.sendall(message)

    def events(self):
        """Reads what is waiting and yields (object, opcode, body)."""
        chunk = self.socket.recv(65536)
        if not chunk:
            raise ConnectionError("the compositor closed the connection")
        self.received += chunk
        while len(self.received) >= 8:
            target, word = struct.unpack_from("=II", self.received)
            size = word >> 16
            if len(self.received) < size:
                break
            body, self.received = self.received[8:size], self.received[size:]
            if target == 1 and word & 0xFFFF == 0:  # wl_display.error
                object_id, code = struct.unpack_from("=II", body)
                raise RuntimeError(f"protocol error {code} on object {object_id}: {string_at(body, 8)}")
            yield target, word & 0xFFFF, body

    def roundtrip(self, until=None):
        """Waits until the compositor has handled every request sent so far (and `until`, given
        each event, has said yes, where one is given)."""
        callback = self.new()
        self.request(1, 0, callback)  # wl_display.sync
        synced = False
        satisfied = until is None
        while not (synced and satisfied):
            for target, opcode, body in self.events():
                if target == callback:
                    synced = True
                elif target == self.registry and opcode == 0:  # wl_registry.global
                    name = struct.unpack_from("=I", body)[0]
                    interface = string_at(body, 4)
                    version = struct.unpack_from("=I", body, 8 + padded(len(interface) + 1))[0]
                    self.globals[interface] = (name, version)
                elif until is not None and until(target, opcode, body):
                    satisfied = True

    def bind(self, interface, version):
        if interface not in self.globals:
            print(f"the compositor offers no {interface}", file=sys.stderr)
            sys.exit(2)
        name, offered = self.globals[interface]
        bound = self.new()
        self.request(self.registry, 0, name, interface, min(version, offered), bound)
        return bound


def padded(length):
    return length + (-length % 4)


def string_at(body, offset):
    length = struct.unpack_from("=I", body, offset)[0]
    return body[offset + 4:offset + 4 + length - 1].decode()


def milliseconds():
    return int(time.monotonic() * 1000) & 0xFFFFFFFF


def pointer(connection, width, height, steps):
    manager = connection.bind("zwlr_virtual_pointer_manager_v1", 1)
    device = connection.new()
    connection.request(manager, 0, 0, device)  # create_virtual_pointer, on any seat
    connection.roundtrip()
    # Where this is the seat's first pointer, clients learn of it from the seat first: give them
    # time to take it up.
    time.sleep(0.3)
    at = (0, 0)

    def move_to(x, y):
        connection.request(device, 1, milliseconds(), x, y, width, height)  # motion_absolute
        connection.request(device, 4)  # frame

    def button(code, state):
        connection.request(device, 2, milliseconds(), code, state)
        connection.request(device, 4)

    words = list(steps)
    while words:
        step = words.pop(0)
        if step == "hold":
            while True:
                time.sleep(3600)
        elif step in ("move", "glide"):
            target = (int(words.pop(0)), int(words.pop(0)))
            count = 10 if step == "glide" else 1
            for i in range(1, count + 1):
                move_to(at[0] + (target[0] - at[0]) * i // count, at[1] + (target[1] - at[1]) * i // count)
                if count > 1:
                    connection.roundtrip()
                    time.sleep(0.03)
            at = target
        elif step in ("press", "release"):
            button(BUTTON_LEFT, PRESSED if step == "press" else RELEASED)
        else:
            raise ValueError(f"unknown step {step}")
        connection.roundtrip()
    connection.request(device, 8)  # destroy
    connection.roundtrip()


def token(connection):
    activation = connection.bind("xdg_activation_v1", 1)
    request = connection.new()
    connection.request(activation, 1, request)  # get_activation_token
    connection.request(request, 3)  # commit
    done = []

    def is_done(target, opcode, body):
        if target == request and opcode == 0:
            done.append(string_at(body, 0))
        return bool(done)

    connection.roundtrip(until=is_done)
    print(done[0])


def window(connection, title):
    compositor = connection.bind("wl_compositor", 4)
    shm = connection.bind("wl_shm", 1)
    shell = connection.bind("xdg_wm_base", 1)
    width, height = 240, 120
    memory = os.memfd_create("window")
    os.ftruncate(memory, width * height * 4)
    os.pwrite(memory, b"\x99" * (width * height * 4), 0)  # grey
    pool, buffer, surface, role, toplevel = (connection.new() for _ in range(5))
    connection.request(shm, 0, pool, width * height * 4, fds=[memory])  # create_pool; the fd travels beside
    connection.request(pool, 0, buffer, 0, width, height, width * 4, 1)  # create_buffer, xrgb8888
    connection.request(compositor, 0, surface)  # create_surface
    connection.request(shell, 2, role, surface)  # get_xdg_surface
    connection.request(role, 1, toplevel)  # get_toplevel
    connection.request(toplevel, 2, title)  # set_title
    connection.request(toplevel, 3, "another-program")  # set_app_id
    connection.request(surface, 6)  # commit: asks for the first configure
    shown = False
    while True:
        for target, opcode, body in connection.events():
            if target == shell and opcode == 0:  # ping
                connection.request(shell, 3, struct.unpack_from("=I", body)[0])
            elif target == role and opcode == 0:  # configure
                connection.request(role, 4, struct.unpack_from("=I", body)[0])  # ack_configure
                if not shown:
                    connection.request(surface, 1, buffer, 0, 0)  # attach
                    connection.request(surface, 2, 0, 0, width, height)  # damage
                    shown = True
                connection.request(surface, 6)


def main():
    connection = Connection()
    if sys.argv[1:2] == ["pointer"]:
        pointer(connection, int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:])
    elif sys.argv[1:2] == ["token"]:
        token(connection)
    elif sys.argv[1:2] == ["window"]:
        window(connection, sys.argv[2])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(64)


main()
