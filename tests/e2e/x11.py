"""Drives the X server of $DISPLAY as a person would: xdotool for the pointer and the keyboard, xwininfo for
what is mapped where, and a few raw X11 requests for the one thing neither tool can do, asking a window to
close the way a window manager's close button does (WM_DELETE_WINDOW)."""

import os
import re
import socket
import struct
import subprocess

TOOL_TIMEOUT = 60


def _run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=TOOL_TIMEOUT).stdout


def xdotool(*args):
    return _run("xdotool", *map(str, args))


def search(name_regex, pid=None, visible=True):
    """Window ids whose title matches name_regex, optionally only those of one process."""
    args = ["search"]
    if visible:
        args.append("--onlyvisible")
    if pid is not None:
        args += ["--pid", pid]
    args += ["--name", name_regex]
    try:
        return [int(w) for w in xdotool(*args).split()]
    except subprocess.CalledProcessError:
        return []  # xdotool exits 1 when nothing matches


class WindowInfo:
    def __init__(self, x, y, width, height, viewable, override_redirect):
        self.x, self.y, self.width, self.height = x, y, width, height
        self.viewable = viewable
        self.override_redirect = override_redirect  # popups: menus, lists, tool tips


def window_info(wid):
    """Position on the screen, size of the client area, whether it is mapped and visible, and whether it is a
    popup that no window manager handles."""
    out = _run("xwininfo", "-id", str(wid))

    def field(label):
        return int(re.search(rf"{label}:\s+(-?\d+)", out).group(1))

    return WindowInfo(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                      field("Height"), "Map State: IsViewable" in out, "Override Redirect State: yes" in out)


def window_property(wid, prop):
    return _run("xprop", "-id", str(wid), prop)


def window_name(wid):
    return xdotool("getwindowname", wid).rstrip("\n")


def click(wid, x, y):
    """A left click at (x, y) inside the window's client area.

    No --sync: the server handles the move and the click in the order they were sent, so the click lands
    where the pointer went; and --sync waits for a motion that never comes when the pointer is already there."""
    xdotool("mousemove", "--window", wid, x, y, "click", "1")


def key(*keys):
    """Key presses through XTEST, so they go where the keyboard focus is, as a person's would."""
    xdotool("key", "--clearmodifiers", *keys)


def type_text(text):
    bind_characters(text)
    xdotool("type", "--clearmodifiers", "--delay", "20", text)


def focus(wid):
    xdotool("windowfocus", "--sync", wid)


# --- raw X11 -----------------------------------------------------------------------------------------------

def _pad(n):
    return (4 - n % 4) % 4


def _display_number():
    m = re.fullmatch(r"(?:unix)?:(\d+)(?:\.\d+)?", os.environ["DISPLAY"])
    if not m:
        raise RuntimeError(f"only local displays are supported, not {os.environ['DISPLAY']!r}")
    return m.group(1)


def _cookie(display):
    """The MIT-MAGIC-COOKIE-1 for the display from $XAUTHORITY, or None when the server needs none."""
    path = os.environ.get("XAUTHORITY") or os.path.expanduser("~/.Xauthority")
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    pos = 0
    while pos < len(data):
        fields = []
        pos += 2  # address family
        for _ in range(4):
            (length,) = struct.unpack_from(">H", data, pos)
            fields.append(data[pos + 2:pos + 2 + length])
            pos += 2 + length
        _, number, name, secret = fields
        if number.decode() == display and name == b"MIT-MAGIC-COOKIE-1":
            return secret
    return None


class _Connection:
    def __init__(self):
        display = _display_number()
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(TOOL_TIMEOUT)
        self.sock.connect(f"/tmp/.X11-unix/X{display}")
        secret = _cookie(display)
        name = b"MIT-MAGIC-COOKIE-1" if secret else b""
        secret = secret or b""
        self.sock.sendall(struct.pack("<BxHHHHxx", ord("l"), 11, 0, len(name), len(secret))
                          + name + b"\0" * _pad(len(name)) + secret + b"\0" * _pad(len(secret)))
        head = self._read(8)
        status, _, _, _, extra = struct.unpack("<BBHHH", head)
        body = self._read(extra * 4)
        if status != 1:
            raise RuntimeError(f"X server refused the connection: {body!r}")
        self.min_keycode, self.max_keycode = body[26], body[27]

    def _read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise RuntimeError("X server closed the connection")
            data += chunk
        return data

    def _reply(self):
        while True:
            packet = self._read(32)
            if packet[0] == 0:
                raise RuntimeError(f"X error {packet[1]} for request {packet[10]}")
            if packet[0] == 1:
                (extra,) = struct.unpack_from("<I", packet, 4)
                return packet + self._read(extra * 4)
            # An event: MappingNotify reaches every client, asked for or not.

    def intern_atom(self, name):
        raw = name.encode()
        self.sock.sendall(struct.pack("<BBHHxx", 16, 0, 2 + (len(raw) + _pad(len(raw))) // 4, len(raw))
                          + raw + b"\0" * _pad(len(raw)))
        return struct.unpack_from("<I", self._reply(), 8)[0]

    def send_client_message(self, wid, message_type, *data):
        values = list(data) + [0] * (5 - len(data))
        event = struct.pack("<BBHII5I", 33, 32, 0, wid, message_type, *values)
        self.sock.sendall(struct.pack("<BBHII", 25, 0, 11, wid, 0) + event)

    def keyboard_mapping(self):
        """{keycode: [keysym, ...]} for every keycode."""
        count = self.max_keycode - self.min_keycode + 1
        self.sock.sendall(struct.pack("<BxHBBxx", 101, 2, self.min_keycode, count))
        reply = self._reply()
        per = reply[1]
        syms = struct.unpack_from(f"<{count * per}I", reply, 32)
        return {self.min_keycode + i: list(syms[i * per:(i + 1) * per]) for i in range(count)}

    def bind_keysym(self, keycode, keysym):
        self.sock.sendall(struct.pack("<BBHBBxxII", 100, 1, 4, keycode, 2, keysym, keysym))

    def sync(self):
        """Waits until the server has handled every request sent so far (and reports their errors)."""
        self.sock.sendall(struct.pack("<BxH", 43, 1))  # GetInputFocus
        self._reply()

    def close(self):
        self.sock.close()


def request_close(wid):
    """Asks the window to close, as a window manager does when its close button is pressed."""
    conn = _Connection()
    try:
        protocols = conn.intern_atom("WM_PROTOCOLS")
        delete = conn.intern_atom("WM_DELETE_WINDOW")
        conn.send_client_message(wid, protocols, delete, 0)
        conn.sync()
    finally:
        conn.close()


def _keysym(char):
    code = ord(char)
    return code if 0x20 <= code <= 0x7E or 0xA0 <= code <= 0xFF else 0x1000000 + code


def bind_characters(text):
    """Gives every character of text a key of its own in the server's keyboard map, for as long as the server
    runs, so that typing it needs no change of the map.

    Left to itself, xdotool types a character missing from the map by binding it to a spare key just for
    that key press and unbinding it right after; a program that reads the map only when told it changed
    (as Qt does) may read it after the unbinding and lose the character. That was seen under load."""
    needed = {_keysym(c) for c in text}
    conn = _Connection()
    try:
        mapping = conn.keyboard_mapping()
        present = {sym for syms in mapping.values() for sym in syms}
        # Spare keys: unbound ones, then those bound here before to characters not needed now.
        free = [code for code, syms in sorted(mapping.items()) if not any(syms)]
        free += [code for code, syms in sorted(mapping.items())
                 if syms[0] > 0x1000000 and syms[0] == syms[1] and syms[0] not in needed]
        for sym in sorted(needed - present):
            if not free:
                raise RuntimeError("no spare key left in the keyboard map")
            conn.bind_keysym(free.pop(0), sym)
        conn.sync()
    finally:
        conn.close()
