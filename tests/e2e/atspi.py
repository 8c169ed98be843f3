"""Reads what a running program shows through its accessibility tree (AT-SPI over D-Bus).

X gives us windows and pixels only; the texts in a dialog or an editor reach us here instead, from the
same interfaces a screen reader uses. The program must run inside the same D-Bus session (dbus-run-session)
with Qt's bridge switched on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1). Calls go through the gdbus tool, so only
Python's standard library is needed; gdbus prints GVariant text, parsed below.
"""

import re
import subprocess

CALL_TIMEOUT = 60

_TOKEN = re.compile(
    r"""\s*(?:
      (?P<str>'(?:[^'\\]|\\.)*'|"(?:[^"\\]|\\.)*")
    | (?P<num>-?(?:0x[0-9a-fA-F]+|\d+(?:\.\d+)?(?:[eE][-+]?\d+)?))
    | (?P<word>@\S+|[a-z][a-z0-9]*)
    | (?P<punct>[()\[\]{}<>,:])
    )""",
    re.X,
)

_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", "'": "'", '"': '"', "a": "\a", "b": "\b",
            "f": "\f", "v": "\v", "0": "\0"}

# Type annotations gdbus puts before a value; the value that follows is all we need.
_ANNOTATIONS = {"objectpath", "signature", "byte", "int16", "uint16", "int32", "uint32", "int64", "uint64",
                "handle", "double", "string"}


def _unquote(literal):
    body = literal[1:-1]
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = body[i + 1]
        if nxt == "u":
            out.append(chr(int(body[i + 2:i + 6], 16)))
            i += 6
        elif nxt == "U":
            out.append(chr(int(body[i + 2:i + 10], 16)))
            i += 10
        elif nxt == "x":
            out.append(chr(int(body[i + 2:i + 4], 16)))
            i += 4
        else:
            out.append(_ESCAPES.get(nxt, nxt))
            i += 2
    return "".join(out)


def parse_gvariant(text):
    """Turns gdbus's printed GVariant into tuples, lists, dicts, str, int, float and bool."""
    tokens = []
    pos = 0
    while pos < len(text):
        m = _TOKEN.match(text, pos)
        if not m:
            if text[pos:].strip() == "":
                break
            raise ValueError(f"cannot parse GVariant text at: {text[pos:pos + 40]!r}")
        pos = m.end()
        tokens.append((m.lastgroup, m.group(m.lastgroup)))

    index = 0

    def value():
        nonlocal index
        kind, tok = tokens[index]
        index += 1
        if kind == "str":
            return _unquote(tok)
        if kind == "num":
            return float(tok) if any(c in tok for c in ".eE") and not tok.startswith("0x") else int(tok, 0)
        if kind == "word":
            if tok == "true":
                return True
            if tok == "false":
                return False
            if tok in ("nothing", "nil"):
                return None
            if tok in _ANNOTATIONS or tok.startswith("@"):
                return value()
            if tok == "just":
                return value()
            raise ValueError(f"unexpected word {tok!r} in GVariant text")
        if tok == "(":
            return tuple(sequence(")"))
        if tok == "[":
            return list(sequence("]"))
        if tok == "<":
            inner = value()
            expect(">")
            return inner
        if tok == "{":
            result = {}
            while tokens[index][1] != "}":
                key = value()
                expect(":")
                result[key] = value()
                if tokens[index][1] == ",":
                    index += 1
            index += 1
            return result
        raise ValueError(f"unexpected {tok!r} in GVariant text")

    def expect(tok):
        nonlocal index
        if tokens[index][1] != tok:
            raise ValueError(f"expected {tok!r}, found {tokens[index][1]!r}")
        index += 1

    def sequence(close):
        nonlocal index
        items = []
        while tokens[index][1] != close:
            items.append(value())
            if tokens[index][1] == ",":
                index += 1
        index += 1
        return items

    result = value()
    if index != len(tokens):
        raise ValueError(f"trailing GVariant text: {tokens[index:]!r}")
    return result


class CallError(Exception):
    pass


def _gdbus(*args):
    done = subprocess.run(["gdbus", "call", *args], capture_output=True, text=True, timeout=CALL_TIMEOUT)
    if done.returncode != 0:
        raise CallError(done.stderr.strip() or f"gdbus call {' '.join(args)} failed")
    return parse_gvariant(done.stdout)


class Bus:
    """The accessibility bus of the current D-Bus session."""

    def __init__(self):
        (self.address,) = _gdbus("--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                                 "--method", "org.a11y.Bus.GetAddress")

    def call(self, dest, path, method, *args):
        (*results,) = _gdbus("--address", self.address, "--dest", dest, "--object-path", path,
                             "--method", method, *map(str, args))
        return results[0] if len(results) == 1 else tuple(results)

    def application_of(self, pid):
        """The root accessible of the process pid, or None while it has not registered yet."""
        apps = self.call("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                         "org.a11y.atspi.Accessible.GetChildren")
        for name, path in apps:
            try:
                owner = self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus.GetConnectionUnixProcessID", f"'{name}'")
            except CallError:
                continue  # an application that has gone away since the registry listed it
            if owner == pid:
                return Accessible(self, name, path)
        return None


class Accessible:
    def __init__(self, bus, name, path):
        self.bus = bus
        self.name = name
        self.path = path

    def __repr__(self):
        return f"Accessible({self.name}, {self.path})"

    def __eq__(self, other):
        return isinstance(other, Accessible) and (self.name, self.path) == (other.name, other.path)

    def __hash__(self):
        return hash((self.name, self.path))

    def _call(self, method, *args):
        return self.bus.call(self.name, self.path, method, *args)

    def _property(self, interface, prop):
        return self._call("org.freedesktop.DBus.Properties.Get", f"'{interface}'", f"'{prop}'")

    def label(self):
        """The accessible name: a button's or label's text, a window's title."""
        return self._property("org.a11y.atspi.Accessible", "Name")

    def role(self):
        return self._call("org.a11y.atspi.Accessible.GetRoleName")

    def children(self):
        return [Accessible(self.bus, name, path)
                for name, path in self._call("org.a11y.atspi.Accessible.GetChildren")]

    def extents(self):
        """(x, y, width, height) on the screen."""
        return tuple(self._call("org.a11y.atspi.Component.GetExtents", "uint32 0"))

    def text(self):
        """All the text of an editor or line edit."""
        return self._call("org.a11y.atspi.Text.GetText", "int32 0", "int32 -1")

    def walk(self, descend=lambda node: True):
        """This node and its descendants, depth first; descend decides whether to look below a node."""
        yield self
        if descend(self):
            for child in self.children():
                yield from child.walk(descend)
