"""End-to-end harness for mivra-window: a private X server and window manager,
home and page server per test, the program's log, and xdotool to drive it.
Every wait is bounded; every process started here is stopped on cleanup."""

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
from serve import DemoServer, Request, Route  # noqa: E402

PROGRAM = ""
INTERFACE_PORT = 8790  # the default URL: where a launch project's page is served
SCREEN = (1920, 1080)
PREFIX = "[fenetre] "
_started = []  # (process, group), stopped on SIGTERM/SIGINT too

def wait_until(probe, timeout, what, interval=0.05):
    """Calls probe until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)
    return value

def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]

def spawn(command, group=False, **options):
    """Popen that remembers the process; with `group`, in a session of its own."""
    process = subprocess.Popen(command, start_new_session=group, **options)
    _started.append((process, group))
    return process

def stop_process(process, group=False, timeout=5):
    """Stops the process, and with `group` every process of its session
    (WebKit's helpers may outlive it for a moment)."""
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

def x11(display, *command):
    """Runs an X client (xdotool, xwininfo, xprop); its output, or "" on failure."""
    result = subprocess.run(command, env={**os.environ, "DISPLAY": display},
                            capture_output=True, text=True, timeout=10)
    return result.stdout if result.returncode == 0 else ""

class Display:
    """Xvfb on a display number it picks itself, managed by openbox."""

    def start(self):
        self.home = tempfile.mkdtemp(prefix="mivra-wm-")
        reader, writer = os.pipe()
        self.processes = [spawn(["Xvfb", "-displayfd", str(writer), "-screen", "0",
                                 f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                                pass_fds=(writer,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        os.close(writer)
        with os.fdopen(reader) as announced:
            if not select.select([announced], [], [], 20)[0]:
                raise RuntimeError("Xvfb did not start")
            self.name = ":" + announced.readline().strip()
        env = {**os.environ, "DISPLAY": self.name, "HOME": self.home,
               "XDG_CONFIG_HOME": os.path.join(self.home, "config")}
        self.processes.append(spawn(["openbox", "--sm-disable"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_until(lambda: "window id" in x11(self.name, "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                   10, "openbox to manage the screen")
        return self

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)
        shutil.rmtree(self.home, ignore_errors=True)

class Home:
    """A private home and XDG folders: the kept size, the Desktop and the
    default applications belong to the test alone."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="mivra-home-"))
        self.home = self.root / "home"
        for folder in ("home/Desktop", "config", "data", "cache", "state", "runtime"):
            (self.root / folder).mkdir(parents=True)
        (self.root / "runtime").chmod(0o700)

    def environment(self, display):
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env.update(DISPLAY=display, GDK_BACKEND="x11", GSK_RENDERER="cairo", HOME=str(self.home),
                   # No session bus: the program must work without one.
                   DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/runtime/no-bus",
                   **{f"XDG_{name.upper()}_HOME": str(self.root / name)
                      for name in ("config", "data", "cache", "state")},
                   XDG_RUNTIME_DIR=str(self.root / "runtime"))
        return env

    def install_browser(self):
        """Makes a recording script the default http(s) handler; returns the
        file where it writes each URL it is asked to open."""
        record, script = self.root / "browser-record", self.root / "fake-browser"
        script.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{record}'\n")
        script.chmod(0o755)
        (self.root / "data/applications").mkdir()
        (self.root / "data/applications/mivra-test-browser.desktop").write_text(
            f"[Desktop Entry]\nType=Application\nName=Test browser\nExec={script} %u\n"
            "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n")
        (self.root / "config/mimeapps.list").write_text(
            "[Default Applications]\nx-scheme-handler/https=mivra-test-browser.desktop\n"
            "x-scheme-handler/http=mivra-test-browser.desktop\n")
        return record

class TestServer(DemoServer):
    """The demo page with the driver script, which runs what run() queues. With
    `closing`, each connection is closed after one answer (no request is retried
    on a kept-alive one); while `failing` is set, each request for the page is
    recorded and closed unanswered."""

    def __init__(self, port=0, closing=False):
        self._scripts = queue.Queue()
        self.closing, self.failing = closing, threading.Event()
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

    def _handler_class(self):
        server = self
        class Handler(super()._handler_class()):
            def do_GET(self):
                if server.failing.is_set() and self.path.split("?")[0] == "/":
                    server._record(Request(self.path, time.monotonic()), server.requests)
                    self.close_connection = True
                else:
                    super().do_GET()
            def end_headers(self):
                if server.closing:
                    self.send_header("Connection", "close")
                super().end_headers()
        return Handler

    def run(self, script):
        self._scripts.put(script)

    def named(self, name):
        with self.changed:
            return [report for report in self.reports if report.name == name]

    def wait_report(self, name, timeout=15, count=1):
        """Waits for `count` reports of that name; returns the count-th."""
        with self.changed:
            if not self.changed.wait_for(lambda: len(self.named(name)) >= count, timeout):
                raise AssertionError(f"no {count} x {name} within {timeout} s: "
                                     f"{[(r.name, r.args) for r in self.reports][-20:]}")
            return self.named(name)[count - 1]

    def value(self, script, timeout=15):
        """What the script evaluates to in the page, as a string."""
        count = len(self.named("ran"))
        self.run(script)
        return self.wait_report("ran", timeout, count + 1).args[0]

    def requests_for(self, path):
        with self.changed:
            return [request for request in self.requests if request.path == path]

class MivraWindow:
    """One run of the program: its log lines and its X windows."""

    def __init__(self, args, env, display):
        self.display = display
        self.started = time.monotonic()
        self.lines = []
        self._changed = threading.Condition()
        self.process = spawn([PROGRAM, *args], group=True, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self._reader = threading.Thread(target=self._read_log, daemon=True)
        self._reader.start()
        self._id = None

    def _read_log(self):
        for raw in self.process.stderr:
            with self._changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._changed.notify_all()

    def notes(self):
        with self._changed:
            return [line[len(PREFIX):] for line in self.lines if line.startswith(PREFIX)]

    def wait_note(self, text, timeout=15):
        with self._changed:
            if not self._changed.wait_for(lambda: PREFIX + text in self.lines, timeout):
                raise AssertionError(f"no log record {text!r} within {timeout} s: {self.lines[-20:]}")

    def xdotool(self, *command):
        return x11(self.display, "xdotool", *command)

    def windows(self, name=".*"):
        return self.xdotool("search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                            "--name", name).split()

    def window(self):
        if self._id is None:
            self._id = wait_until(lambda: self.windows("^Mivra$"), 20, "the Mivra window")[0]
        return self._id

    def dialog(self, title=".*", timeout=15):
        """A visible window of the program other than the main one."""
        return wait_until(lambda: [w for w in self.windows(title) if w != self.window()],
                          timeout, f"a panel or dialog titled {title!r}")[0]

    def wait_no_dialog(self):
        wait_until(lambda: self.windows() == [self.window()], 10, "the panel or dialog to close")

    def geometry(self):
        """(x, y, width, height) on the screen."""
        info = x11(self.display, "xwininfo", "-id", self.window())
        return tuple(int(re.search(rf"{field}:\s+(-?\d+)", info).group(1)) for field in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def settled_geometry(self, expected, timeout=10):
        """The geometry once it equals `expected`, or the last one read at the timeout."""
        deadline = time.monotonic() + timeout
        while (geometry := self.geometry()) != expected and time.monotonic() < deadline:
            time.sleep(0.1)
        return geometry

    def place(self, x=100, y=100):
        """Moves the window to a known place, wholly on the screen."""
        _, _, width, height = self.settled_geometry(None, timeout=1)
        self.xdotool("windowmove", self.window(), str(x), str(y))
        return self.settled_geometry((x, y, width, height))

    def net_wm_state(self):
        return x11(self.display, "xprop", "-id", self.window(), "_NET_WM_STATE")

    def page_top(self, server):
        """The screen y of the page's top edge (the top of the handle strip)."""
        _, y, _, height = self.geometry()
        return y + height - int(server.value("window.innerHeight"))

    def click_element(self, server, element_id):
        centre = server.value(f"""(() => {{
            const box = document.getElementById({element_id!r}).getBoundingClientRect();
            return Math.round(box.left + box.width / 2) + "," + Math.round(box.top + box.height / 2);
        }})()""")
        left, top = (int(value) for value in centre.split(","))
        self.xdotool("mousemove", str(self.geometry()[0] + left), str(self.page_top(server) + top))
        self.xdotool("click", "1")

    def focus(self, window=None):
        """Gives the window the keyboard, once the window manager says so."""
        window = window or self.window()
        self.xdotool("windowactivate", "--sync", window)
        wait_until(lambda: self.xdotool("getactivewindow").strip() == window, 10, f"{window} active")

    def key(self, *keys):
        self.xdotool("key", "--delay", "60", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", text)

    def close(self, timeout=20):
        """Closes the window with the window manager's Alt+F4 and returns the exit
        status; a key press lost while the window manager settles is repeated."""
        deadline = time.monotonic() + timeout
        while self.window() in self.windows() and time.monotonic() < deadline:
            self.focus()
            self.key("alt+F4")
            try:
                return self.process.wait(3)
            except subprocess.TimeoutExpired:
                pass
        return self.process.wait(max(deadline - time.monotonic(), 1))

    def stop(self):
        stop_process(self.process, group=True)
        self._reader.join(5)
        self.process.stderr.close()

class WindowTestCase(unittest.TestCase):
    """One X server per test file; a private home, server and program per test."""

    @classmethod
    def setUpClass(cls):
        if not PROGRAM:
            raise unittest.SkipTest("give the path of mivra-window as first argument")
        cls.display = Display()
        cls.addClassCleanup(cls.display.stop)
        cls.display.start()

    def setUp(self):
        self.home = Home()
        self.addCleanup(shutil.rmtree, self.home.root, ignore_errors=True)

    def serve(self, server=None):
        server = (server or TestServer()).start()
        self.addCleanup(server.stop)
        return server

    def interface_server(self):
        """A server for the default interface address, not started yet."""
        server = TestServer(INTERFACE_PORT)
        self.addCleanup(server.stop)
        return server

    def launch(self, *args, env=None):
        """Starts the program; `env` adds to or replaces its environment."""
        window = MivraWindow(args, {**self.home.environment(self.display.name), **(env or {})}, self.display.name)
        self.addCleanup(self._assert_no_sanitizer_report, window)
        self.addCleanup(window.stop)
        return window

    def _assert_no_sanitizer_report(self, window):
        reports = [line for line in window.lines if "ERROR: AddressSanitizer" in line or "runtime error:" in line]
        self.assertEqual(reports, [], "\n".join(window.lines[-40:]))

    def launch_loaded(self, server):
        window = self.launch(server.url)
        server.wait_report("load", timeout=30)
        return window

def main():
    """python3 test_x.py PATH_OF_MIVRA_WINDOW [unittest arguments]"""
    global PROGRAM
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        PROGRAM = sys.argv.pop(1)

    def stop_everything(signum, frame):
        for process, group in reversed(_started):
            stop_process(process, group, timeout=2)
        os._exit(128 + signum)

    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, stop_everything)
    unittest.main(verbosity=2)
