"""End-to-end harness for mivra-window: a private X server (and window manager
when asked), an isolated home, the demo page served with a test driver, the
program with its log, and xdotool/xwininfo to look at and drive its window.

Every wait is bounded; every process started here is stopped on cleanup.
"""

import os
import queue
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[2] / "demo"))
from serve import DemoServer, Route  # noqa: E402

PROGRAM = os.environ.get("MIVRA_WINDOW", "")
# A launch project takes the place of a URL on the command line, so tests that
# give one serve the page at the default interface address.
INTERFACE_PORT = 8790
SCREEN = (1920, 1080)
NOTE_PREFIX = "[fenetre] "


def wait_until(probe, timeout, what, interval=0.05):
    """Calls probe until it returns something true; that value is returned."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def port_is_free(port):
    with socket.socket() as probe:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def stop_process(process, group=False, timeout=5):
    """Stops the process (and with `group`, every process of its session,
    such as WebKit's helpers, which may outlive it for a moment)."""
    send = (lambda sig: os.killpg(process.pid, sig)) if group else process.send_signal
    try:
        if process.poll() is None:
            send(signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                send(signal.SIGKILL)
                process.wait(timeout)
        if group:
            send(signal.SIGKILL)
    except ProcessLookupError:
        pass


# Everything started here, so that a run stopped by a signal leaves nothing behind.
_started = []


def spawn(command, group=False, **options):
    """Popen that remembers the process; with `group`, in a session of its own."""
    process = subprocess.Popen(command, start_new_session=group, **options)
    _started.append((process, group))
    return process


def _stop_everything(signum, frame):
    for process, group in reversed(_started):
        stop_process(process, group, timeout=2)
    os._exit(128 + signum)


def x11(*command, display, timeout=10):
    """Runs an X client (xdotool, xwininfo, xprop) and returns its output."""
    result = subprocess.run(command, env={**os.environ, "DISPLAY": display},
                            capture_output=True, text=True, timeout=timeout)
    return result.stdout if result.returncode == 0 else ""


class Display:
    """Xvfb on a display number it picks itself, optionally with openbox."""

    def __init__(self, window_manager):
        self.window_manager = window_manager
        self.name = None
        self._xvfb = None
        self._openbox = None
        self._home = tempfile.mkdtemp(prefix="mivra-wm-")

    def start(self):
        reader, writer = os.pipe()
        self._xvfb = spawn(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp"],
            pass_fds=(writer,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writer)
        with os.fdopen(reader) as announced:
            if not select.select([announced], [], [], 20)[0]:
                raise RuntimeError("Xvfb did not start")
            self.name = ":" + announced.readline().strip()
        if self.window_manager:
            self._start_openbox()
        return self

    def _start_openbox(self):
        env = {**os.environ, "DISPLAY": self.name, "HOME": self._home,
               "XDG_CONFIG_HOME": os.path.join(self._home, "config")}
        self._openbox = spawn(["openbox", "--sm-disable"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: "window id" in x11("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                              display=self.name),
                   10, "openbox to manage the screen")

    def stop(self):
        for process in (self._openbox, self._xvfb):
            if process:
                stop_process(process)
        shutil.rmtree(self._home, ignore_errors=True)


class Home:
    """A private home and XDG folders, so the kept window size, the Desktop
    and the default applications belong to the test alone."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="mivra-home-"))
        self.home = self.root / "home"
        self.config = self.root / "config"
        self.data = self.root / "data"
        self.runtime = self.root / "runtime"
        for folder in (self.home / "Desktop", self.config, self.data, self.root / "cache",
                       self.root / "state", self.runtime):
            folder.mkdir(parents=True)
        self.runtime.chmod(0o700)

    def environment(self, display):
        env = {key: value for key, value in os.environ.items()
               if key not in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        env.update({
            "DISPLAY": display,
            "GDK_BACKEND": "x11",
            "GSK_RENDERER": "cairo",
            "HOME": str(self.home),
            "XDG_CONFIG_HOME": str(self.config),
            "XDG_DATA_HOME": str(self.data),
            "XDG_CACHE_HOME": str(self.root / "cache"),
            "XDG_STATE_HOME": str(self.root / "state"),
            "XDG_RUNTIME_DIR": str(self.runtime),
            # No session bus: the program must work without one.
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.runtime}/no-bus",
        })
        return env

    def install_browser(self):
        """Makes a recording script the default https handler; returns the file
        in which it writes each URL it is asked to open."""
        record = self.root / "browser-record"
        script = self.root / "fake-browser"
        script.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{record}'\n")
        script.chmod(0o755)
        applications = self.data / "applications"
        applications.mkdir(exist_ok=True)
        (applications / "mivra-test-browser.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=Test browser\n"
            f"Exec={script} %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n")
        (self.config / "mimeapps.list").write_text(
            "[Default Applications]\n"
            "x-scheme-handler/https=mivra-test-browser.desktop\n"
            "x-scheme-handler/http=mivra-test-browser.desktop\n")
        return record

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class TestServer(DemoServer):
    """The demo page with the driver script: tests run scripts in the page
    with run() and read what the page reported."""

    def __init__(self, port=0):
        self._scripts = queue.Queue()
        super().__init__(port=port, scripts=["/driver.js"], routes={
            "/driver.js": lambda query: Route(200, "text/javascript; charset=utf-8",
                                              (HERE / "driver.js").read_bytes()),
            "/next": self._next,
        })

    def _next(self, query):
        try:
            return Route(200, body=self._scripts.get(timeout=1).encode("utf-8"))
        except queue.Empty:
            return Route(204)

    def run(self, script):
        self._scripts.put(script)

    def named(self, name):
        with self.changed:
            return [report for report in self.reports if report.name == name]

    def wait_report(self, name, timeout=15, count=1):
        """Waits until `count` reports of that name arrived; returns the count-th."""
        with self.changed:
            found = self.changed.wait_for(
                lambda: len([r for r in self.reports if r.name == name]) >= count, timeout)
        if not found:
            raise AssertionError(f"the page reported {count} x {name} within {timeout} s: "
                                 f"got {[(r.name, r.args) for r in self.reports][-20:]}")
        return self.named(name)[count - 1]

    def requests_for(self, path):
        with self.changed:
            return [request for request in self.requests if request.path == path]


class SilentListener:
    """Accepts connections, records each request's first line and closes the
    connection without an answer: every load of the page fails."""

    def __init__(self):
        self.requests = []
        self._socket = socket.create_server(("127.0.0.1", 0))
        self._socket.settimeout(0.2)
        self.port = self._socket.getsockname()[1]
        self.url = f"http://127.0.0.1:{self.port}/"
        self._running = True
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while self._running:
            try:
                connection, _ = self._socket.accept()
            except socket.timeout:
                continue
            with connection:
                connection.settimeout(2)
                try:
                    head = connection.recv(4096).decode("latin-1")
                except OSError:
                    continue
                if head:
                    self.requests.append((head.split("\r\n", 1)[0], time.monotonic()))

    def stop(self):
        self._running = False
        self._thread.join(5)
        self._socket.close()


class MivraWindow:
    """One run of the program: its log lines and its X window."""

    def __init__(self, args, env, display, program=None):
        self.display = display
        self.started = time.monotonic()
        self.started_epoch = time.time()
        self.lines = []
        self._changed = threading.Condition()
        self.process = spawn([program or PROGRAM, *args], group=True, env=env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
        self._reader = threading.Thread(target=self._read_log, daemon=True)
        self._reader.start()
        self._id = None

    def _read_log(self):
        for raw in self.process.stderr:
            with self._changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._changed.notify_all()

    def notes(self):
        """The log records, without their prefix."""
        with self._changed:
            return [line[len(NOTE_PREFIX):] for line in self.lines if line.startswith(NOTE_PREFIX)]

    def wait_note(self, text, timeout=15):
        with self._changed:
            found = self._changed.wait_for(lambda: NOTE_PREFIX + text in self.lines, timeout)
        if not found:
            raise AssertionError(f"no log record {text!r} within {timeout} s: {self.lines[-20:]}")

    def window(self, timeout=20):
        """The id of the program's visible window named Mivra."""
        if self._id is None:
            self._id = wait_until(
                lambda: self._xdotool("search", "--all", "--onlyvisible", "--pid",
                                      str(self.process.pid), "--name", "^Mivra$").split(),
                timeout, "the Mivra window")[0]
        return self._id

    def visible_windows(self):
        return self._xdotool("search", "--all", "--onlyvisible", "--pid",
                             str(self.process.pid), "").split()

    def dialog(self, timeout=15):
        """The id of a visible window of the program other than the main one."""
        main_window = self.window()
        return wait_until(lambda: [w for w in self.visible_windows() if w != main_window],
                          timeout, "a panel or dialog")[0]

    def wait_no_dialog(self, timeout=10):
        main_window = self.window()
        wait_until(lambda: self.visible_windows() == [main_window], timeout,
                   "the panel or dialog to close")

    def geometry(self):
        """(x, y, width, height) of the window on the screen."""
        info = x11("xwininfo", "-id", self.window(), display=self.display)
        fields = {key: int(value) for key, value in
                  re.findall(r"(Absolute upper-left X|Absolute upper-left Y|Width|Height):\s+(-?\d+)",
                             info)}
        return (fields["Absolute upper-left X"], fields["Absolute upper-left Y"],
                fields["Width"], fields["Height"])

    def settled_geometry(self, expected, timeout=10):
        """The geometry once it equals `expected`, or the last one read at the timeout."""
        deadline = time.monotonic() + timeout
        while (geometry := self.geometry()) != expected and time.monotonic() < deadline:
            time.sleep(0.1)
        return geometry

    def title(self):
        return self._xdotool("getwindowname", self.window()).strip()

    def resize(self, width, height):
        self._xdotool("windowsize", self.window(), str(width), str(height))

    def focus(self, window=None):
        """Gives the window the keyboard, and waits until the window manager says so."""
        window = window or self.window()
        self._xdotool("windowactivate", "--sync", window)
        wait_until(lambda: self._xdotool("getactivewindow").strip() == window, 10,
                   f"window {window} to be active")

    def key(self, *keys):
        self._xdotool("key", "--delay", "60", *keys)

    def type(self, text):
        self._xdotool("type", "--delay", "20", text)

    def close(self, timeout=20):
        """Closes the window as a user would, with the window manager's Alt+F4,
        and returns the exit status. A key press lost while the window manager
        settles is repeated as long as the window is still shown."""
        deadline = time.monotonic() + timeout
        while self.window() in self.visible_windows() and time.monotonic() < deadline:
            self.focus()
            self.key("alt+F4")
            try:
                return self.process.wait(3)
            except subprocess.TimeoutExpired:
                pass
        return self.wait_exit(max(deadline - time.monotonic(), 1))

    def wait_exit(self, timeout=15):
        return self.process.wait(timeout)

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        stop_process(self.process, group=True)
        self._reader.join(5)
        self.process.stderr.close()

    def _xdotool(self, *command):
        return x11("xdotool", *command, display=self.display)


class WindowTestCase(unittest.TestCase):
    """One X server per test file; a private home, server and program per test."""

    window_manager = False

    @classmethod
    def setUpClass(cls):
        if not PROGRAM:
            raise unittest.SkipTest("give the path of mivra-window as first argument")
        cls.display = Display(cls.window_manager)
        cls.addClassCleanup(cls.display.stop)
        cls.display.start()

    def setUp(self):
        self.home = Home()
        self.addCleanup(self.home.remove)

    def serve(self, port=0):
        server = TestServer(port).start()
        self.addCleanup(server.stop)
        return server

    def interface_server(self):
        """A server for the default interface address, not started yet."""
        wait_until(lambda: port_is_free(INTERFACE_PORT), 60, f"port {INTERFACE_PORT} to be free")
        server = TestServer(INTERFACE_PORT)
        self.addCleanup(server.stop)
        return server

    def launch(self, *args):
        window = MivraWindow(args, self.home.environment(self.display.name), self.display.name)
        self.addCleanup(self._assert_no_sanitizer_report, window)
        self.addCleanup(window.stop)
        return window

    def _assert_no_sanitizer_report(self, window):
        reports = [line for line in window.lines
                   if "ERROR: AddressSanitizer" in line or "runtime error:" in line]
        self.assertEqual(reports, [], "\n".join(window.lines[-40:]))

    def launch_loaded(self, server, *args):
        """Starts the program on the server's page and waits for the page's load."""
        window = self.launch(server.url, *args)
        server.wait_report("load", timeout=30)
        return window


def main():
    """python3 test_x.py PATH_OF_MIVRA_WINDOW [unittest arguments]"""
    global PROGRAM
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        PROGRAM = sys.argv.pop(1)
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, _stop_everything)
    unittest.main(verbosity=2)

