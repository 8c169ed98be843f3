"""One run of the real planner in the X server of $DISPLAY, with the helpers the end-to-end tests share.

Each session gets a scratch directory of its own, which becomes the planner's current directory and so holds
its plan files. The program is killed whenever a session ends with it still running, so a failed check never
leaves it behind. Every wait has a generous time-out that only guards against hanging: no check depends on
how fast anything happens.

Run a test module as:  python3 test_x.py /path/to/day-planner [unittest options]
inside an X server and a D-Bus session, e.g.  xvfb-run -a dbus-run-session -- python3 test_x.py ...
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import atspi
import x11

TITLE = "カレンダー"
TITLE_REGEX = "^カレンダー$"
WAIT = 60  # seconds; generous, as the machine may be busy with a parallel build

# Client-area rectangles (x, y, width, height) of the controls, which is also how the tests find them in the
# accessibility tree: each control is the node that covers exactly its rectangle.
CONTROLS = {
    "EditYear": (248, 88, 33, 20),
    "ComboMonth": (324, 88, 65, 20),
    "EditDate": (432, 88, 25, 20),
    "ButtonView": (324, 120, 65, 25),
    "ButtonDel": (432, 120, 65, 25),
    "RichEdit1": (224, 152, 273, 81),
    "ButtonRefresh": (324, 256, 65, 25),
    "Button5": (432, 256, 65, 25),
    "SGToDo": (48, 0, 408, 49),
}
STRIP_HEADER_HEIGHT = 25
STRIP_COLUMN_WIDTH = 50

PLANNER = None  # the program under test; set by main()


def wait_until(predicate, what, timeout=WAIT, interval=0.05, detail=lambda: ""):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            extra = detail()
            raise AssertionError(f"gave up after {timeout} s waiting for {what}" + (f"; {extra}" if extra else ""))
        time.sleep(interval)
        interval = min(interval * 1.5, 0.5)


def plan_name(date):
    return f"{date.year}{date.month:02d}{date.day:02d}.txt"


class Dialog:
    def __init__(self, wid, caption, text, accessible):
        self.wid = wid
        self.caption = caption
        self.text = text
        self.accessible = accessible

    def __repr__(self):
        return f"Dialog({self.caption!r}: {self.text!r})"


class Planner:
    """The planner running in a scratch directory. Use as a context manager."""

    def __init__(self, plans=None):
        self.plans = plans or {}  # file name -> bytes, written before the program starts
        self.process = None
        self.log = None
        self.window = None
        self.app = None
        self._controls = {}

    # --- life cycle ----------------------------------------------------------------------------------------

    def __enter__(self):
        self.scratch = tempfile.mkdtemp(prefix="planner-e2e-")
        self.dir = os.path.join(self.scratch, "plans")
        runtime = os.path.join(self.scratch, "runtime")
        os.mkdir(self.dir)
        os.mkdir(runtime, 0o700)
        for name, content in self.plans.items():
            self.write(name, content)
        env = dict(os.environ)
        env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_RUNTIME_DIR=runtime)
        try:
            self.log = open(os.path.join(self.scratch, "planner.log"), "w+b")
            self.process = subprocess.Popen([PLANNER], cwd=self.dir, env=env, stdin=subprocess.DEVNULL,
                                            stdout=self.log, stderr=subprocess.STDOUT)
            self.window = wait_until(self._main_window, f"the window named {TITLE!r} to be mapped",
                                     detail=self._exit_detail)
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, kind, error, trace):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=WAIT)
        if self.log is not None:
            self.log.seek(0)
            output = self.log.read().decode(errors="replace")
            self.log.close()
            if kind is not None and output.strip():
                sys.stderr.write(f"--- the planner's output ---\n{output}\n---\n")
        shutil.rmtree(self.scratch, ignore_errors=True)
        return False

    def _main_window(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the planner exited with code {self.process.returncode} before showing its window; "
                                 + self._exit_detail())
        windows = x11.search(TITLE_REGEX, pid=self.process.pid)
        return windows[0] if len(windows) == 1 else None

    def _exit_detail(self):
        self.log.flush()
        self.log.seek(0)
        out = self.log.read().decode(errors="replace")
        self.log.seek(0, os.SEEK_END)
        return f"its output: {out.strip()!r}" if out.strip() else ""

    def wait_exit(self):
        """The exit code, once the process has ended."""
        try:
            return self.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the planner did not exit within {WAIT} s") from None

    # --- plan files ----------------------------------------------------------------------------------------

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content)

    def read(self, name):
        """The file's bytes, or None when it does not exist."""
        try:
            with open(self.path(name), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def files(self):
        return sorted(os.listdir(self.dir))

    # --- accessibility ---------------------------------------------------------------------------------------

    def accessible_app(self):
        if self.app is None:
            bus = atspi.Bus()
            self.app = wait_until(lambda: bus.application_of(self.process.pid),
                                  "the planner to register with the accessibility bus")
        return self.app

    def _top_levels(self):
        return self.accessible_app().children()

    def control(self, name):
        """The accessible of a control, found as the node that covers exactly its rectangle."""
        if name not in self._controls:
            info = x11.window_info(self.window)
            x, y, w, h = CONTROLS[name]
            target = (info.x + x, info.y + y, w, h)

            def covers(node):
                nx, ny, nw, nh = node.extents()
                return nx <= target[0] and ny <= target[1] and nx + nw >= target[0] + w and ny + nh >= target[1] + h

            form = self._form()
            found = [node for node in form.walk(lambda node: node == form or covers(node))
                     if node.extents() == target and node != form]
            if not found:
                raise AssertionError(f"no accessible covers {name} at {CONTROLS[name]}")
            self._controls[name] = found[0]
        return self._controls[name]

    def _form(self):
        for top in self._top_levels():
            if top.label() == TITLE and top.extents()[2:] == (518, 297):
                return top
        raise AssertionError("the form is not in the accessibility tree")

    def text_of(self, name):
        return self.control(name).text()

    def strip_cells(self):
        """The strip's texts from left to right: (the 8 header labels, "ToDo" first; the 8 cells below them)."""
        strip = self.control("SGToDo")
        headers, cells = [], []
        for child in strip.children():
            role = child.role()
            if role == "column header":
                headers.append((child.extents()[0], child.label()))
            elif role == "cell":
                cells.append((child.extents()[0], child.label()))
        headers = [label for _, label in sorted(headers)]
        cells = [label for _, label in sorted(cells)]
        return headers, cells

    # --- dialogs --------------------------------------------------------------------------------------------

    def windows_of_type(self, kind):
        """The planner's visible windows whose _NET_WM_WINDOW_TYPE is kind (DIALOG, COMBO, ...)."""
        found = []
        for wid in x11.search(".*", pid=self.process.pid):
            try:
                if f"_NET_WM_WINDOW_TYPE_{kind}" in x11.window_property(wid, "_NET_WM_WINDOW_TYPE"):
                    found.append(wid)
            except subprocess.CalledProcessError:
                continue  # closed while we looked
        return found

    def dialogs(self):
        """The message boxes showing now, each with its caption and text."""
        windows = []
        for wid in self.windows_of_type("DIALOG"):
            try:
                windows.append((wid, x11.window_info(wid), x11.window_name(wid)))
            except subprocess.CalledProcessError:
                continue
        if not windows:
            return []
        tops = {top.extents(): top for top in self._top_levels()}
        dialogs = []
        for wid, info, caption in windows:
            top = tops.get((info.x, info.y, info.width, info.height))
            if top is None:
                return []  # not in the accessibility tree yet
            texts = [node.label() for node in top.walk() if node.role() == "label" and node.label()]
            dialogs.append(Dialog(wid, caption, "\n".join(texts), top))
        return dialogs

    def describe_dialogs(self):
        try:
            return f"dialogs showing: {self.dialogs()!r}"
        except Exception as error:  # only adds detail to a failure already being reported
            return f"(could not list the dialogs: {error})"

    def wait_dialog(self, what="a dialog"):
        """The message box, once exactly one shows."""
        def single():
            shown = self.dialogs()
            return shown[0] if len(shown) == 1 else None
        return wait_until(single, what, detail=self._exit_detail)

    def expect_dialog(self, text, caption=TITLE):
        """Waits for the one message box, checks its caption, text and button, and dismisses it with Return."""
        dialog = self.wait_dialog(f"a dialog saying {text!r}")
        assert (dialog.caption, dialog.text) == (caption, text), \
            f"dialog {dialog.caption!r}: {dialog.text!r}, expected {caption!r}: {text!r}"
        buttons = [node.label() for node in dialog.accessible.walk() if node.role() == "push button"]
        assert buttons == ["OK"], f"dialog buttons {buttons!r}, expected OK alone"
        x11.focus(dialog.wid)
        x11.key("Return")
        wait_until(lambda: dialog.wid not in x11.search(".*", pid=self.process.pid),
                   f"the dialog {text!r} to close after Return")

    def expect_no_dialog(self):
        shown = self.dialogs()
        assert not shown, f"unexpected {shown!r}"

    def wait_file(self, name, content):
        """Waits until the file holds exactly content (None: until it is gone)."""
        wait_until(lambda: self.read(name) == content,
                   f"{name} to hold {content!r}" if content is not None else f"{name} to be removed",
                   detail=lambda: f"it holds {self.read(name)!r}; {self.describe_dialogs()}")

    def wait_editor(self, text):
        wait_until(lambda: self.editor_text() == text, f"the editor to hold {text!r}",
                   detail=lambda: f"it holds {self.editor_text()!r}; {self.describe_dialogs()}")

    # --- input ----------------------------------------------------------------------------------------------

    def click(self, name):
        x, y, w, h = CONTROLS[name]
        x11.click(self.window, x + w // 2, y + h // 2)

    def click_strip(self, column):
        """Clicks the strip's cell under its header column (0 is "ToDo", 1 to 7 the days from today)."""
        x, y, _, _ = CONTROLS["SGToDo"]
        x11.click(self.window, x + column * STRIP_COLUMN_WIDTH + STRIP_COLUMN_WIDTH // 2,
                  y + STRIP_HEADER_HEIGHT + 12)

    def replace_text(self, name, text):
        """Clicks into a line edit, selects what it holds and types text over it."""
        self.click(name)
        x11.key("ctrl+a")
        x11.type_text(text)
        wait_until(lambda: self.text_of(name) == text, f"{name} to hold {text!r}",
                   detail=lambda: f"it holds {self.text_of(name)!r}")

    def choose_month(self, month):
        """Opens the month list with a click, moves to the month with the arrow keys and takes it with Return.

        Arrow keys rather than typing the digits: the list's search by typing restarts after a pause, so on a
        busy machine "04" could become a search for "4"."""
        self.click("ComboMonth")
        wait_until(self._month_list, "the month list to open")
        x11.key("Home", *["Down"] * (month - 1), "Return")
        wait_until(lambda: self.month_text() == f"{month:02d}", f"month {month:02d} to be chosen",
                   detail=lambda: f"the combo shows {self.month_text()!r}")

    def _month_list(self):
        """The popup list of the combo, once it shows: a popup window that starts where the combo does."""
        form = x11.window_info(self.window)
        for wid in x11.search(".*", pid=self.process.pid):
            try:
                info = x11.window_info(wid)
            except subprocess.CalledProcessError:
                continue
            if wid != self.window and info.override_redirect and info.x == form.x + CONTROLS["ComboMonth"][0]:
                return wid
        return None

    def month_text(self):
        """The chosen month's text; with none chosen, the combo is known by its label's text instead."""
        return self.control("ComboMonth").label()

    def enter_date(self, date):
        self.replace_text("EditYear", str(date.year))
        self.choose_month(date.month)
        self.replace_text("EditDate", f"{date.day:02d}")

    def type_plan(self, lines):
        """Clicks into the editor and types the lines, pressing Return between them."""
        self.click("RichEdit1")
        x11.bind_characters("".join(lines))
        for i, line in enumerate(lines):
            if i:
                x11.key("Return")
            if line:
                x11.type_text(line)
        self.wait_editor("\n".join(lines))

    def editor_text(self):
        return self.text_of("RichEdit1")


def main():
    global PLANNER
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} /path/to/day-planner [unittest options]")
    PLANNER = os.path.abspath(sys.argv[1])
    if "DISPLAY" not in os.environ or "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        sys.exit("run inside an X server and a D-Bus session: xvfb-run -a dbus-run-session -- python3 ...")
    unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]])

