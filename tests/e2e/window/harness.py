"""End-to-end harness for mivra-window: per test file a display server, per test
a private home, page server and program run, driven with xdotool. MIVRA_E2E_BACKEND:
"x11" (Xvfb managed by openbox) or "wayland" (weston inside Xvfb, xdotool's input
reaching the program as Wayland input). A Wayland window has no X window: its
place is found by the pointer, its size is the page's, and a panel or dialog is
seen by the page losing the keyboard focus."""

import json
import os
import queue
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
from collections import namedtuple
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

HERE = Path(__file__).resolve().parent
DEMO = HERE.parents[2] / "demo"  # the page served: the demo interface
PROGRAM = ""
INTERFACE_PORT = 8790  # the default URL: where a launch project's page is served
SCREEN = (1920, 1080)
PREFIX = "[fenetre] "
SOURCE_STEP = 250  # less than the drag source's side: one point of a grid so spaced lies on it
BACKEND = os.environ.get("MIVRA_E2E_BACKEND", "x11")
WESTON_CONFIG = "[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\n[input-method]\npath=\n"
# Where the pointer looks for a Wayland window: away from the screen's edges,
# where the top strip (which hides the pointer from the page) rarely is.
PROBES = [(x, y) for y in (540, 800, 300, 1000, 100) for x in (960, 1300, 600, 1700, 250)]
QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
_started = []  # (process, group), stopped on SIGTERM/SIGINT too

def wait_until(probe, timeout, what=None, interval=0.05, done=bool):
    """probe()'s first value that is `done`; at the timeout, a failure naming `what`, or without
    `what` the last value."""
    deadline = time.monotonic() + timeout
    while not done(value := probe()) and time.monotonic() < deadline:
        time.sleep(interval)
    if what and not done(value):
        raise AssertionError(f"timed out after {timeout} s waiting for {what}")
    return value

def settled(read, expected, timeout):
    """read() once it returns `expected`, or the last value read at the timeout."""
    return wait_until(read, timeout, interval=0.1, done=lambda value: value == expected)

def pointer_probe(xdotool, points, heard, settle):
    """Moves the pointer to each point in turn until `heard()`, which reads what the pointer's
    target says of it, answers within `settle` seconds: (point, answer), or None."""
    for point in points:
        heard()  # what it said of an earlier point
        xdotool("mousemove", *map(str, point))
        if answer := wait_until(heard, settle):
            return point, answer
    return None

def spawn(command, group=False, **options):
    """Popen that remembers the process; with `group`, in a session of its own."""
    process = subprocess.Popen(command, start_new_session=group, **options)
    _started.append((process, group))
    return process

def stop_process(process, group=False, timeout=5):
    """Stops the process, with `group` its whole session (WebKit's helpers may outlive it)."""
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
    """Xvfb on a display number it picks itself, managed by openbox, or filled by weston."""

    def __init__(self):
        self.wayland = BACKEND == "wayland"
        self.x11 = not self.wayland
        self.socket = None  # weston's socket, on Wayland

    def start(self):
        self.home = tempfile.mkdtemp(prefix="mivra-wm-")
        reader, writer = os.pipe()
        self.processes = [spawn(["Xvfb", "-displayfd", str(writer), "-screen", "0",
                                 f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"], pass_fds=(writer,), **QUIET)]
        os.close(writer)
        with os.fdopen(reader) as announced:
            if not select.select([announced], [], [], 20)[0]:
                raise RuntimeError("Xvfb did not start")
            self.name = ":" + announced.readline().strip()
        env = {**os.environ, "DISPLAY": self.name, "HOME": self.home,
               "XDG_CONFIG_HOME": os.path.join(self.home, "config")}
        if self.wayland:
            self._start_weston(env)
        else:
            self.processes.append(spawn(["openbox", "--sm-disable"], env=env, **QUIET))
            wait_until(lambda: "window id" in x11(self.name, "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                       30, "openbox to manage the screen")
        return self

    def _start_weston(self, env):
        """weston in one X window as large as the screen, no panel: the two share coordinates."""
        runtime = Path(self.home, "runtime")
        runtime.mkdir(mode=0o700)
        config = Path(self.home, "weston.ini")
        config.write_text(WESTON_CONFIG)
        env = {key: value for key, value in env.items() if key != "WAYLAND_DISPLAY"}
        self.processes.append(spawn(["weston", f"--config={config}", "--backend=x11-backend.so",
                                     "--socket=wayland-mivra", f"--width={SCREEN[0]}", f"--height={SCREEN[1]}"],
                                    env={**env, "XDG_RUNTIME_DIR": str(runtime)}, **QUIET))
        self.socket = runtime / "wayland-mivra"
        wait_until(lambda: self.socket.exists() and
                   "Weston Compositor" in x11(self.name, "xwininfo", "-root", "-children"),
                   20, "weston to open its output")
        # weston moves its pointer by the X pointer's motions, not to its place: pushed into two
        # opposite corners, where weston stops it, its pointer is where the X pointer is.
        for corner in ((0, 0), (SCREEN[0] - 1, SCREEN[1] - 1)):
            x11(self.name, "xdotool", "mousemove", *map(str, corner))

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)
        shutil.rmtree(self.home, ignore_errors=True)

class Home:
    """A private home and XDG folders (kept size, Desktop, default applications)."""

    def __init__(self):
        self.root = Path(tempfile.mkdtemp(prefix="mivra-home-"))
        self.home = self.root / "home"
        for folder in ("home/Desktop", "config", "data", "cache", "state", "runtime"):
            (self.root / folder).mkdir(parents=True)
        (self.root / "runtime").chmod(0o700)

    def environment(self, display, bus=None):
        """The program's environment on `display`: a Display, or an X display's name.
        Without the address of a session `bus`, none: the program must work without one."""
        name = display if isinstance(display, str) else display.name
        env = {k: v for k, v in os.environ.items() if k != "WAYLAND_DISPLAY"}
        env.update(DISPLAY=name, GDK_BACKEND="x11", GSK_RENDERER="cairo", HOME=str(self.home),
                   DBUS_SESSION_BUS_ADDRESS=bus or f"unix:path={self.root}/runtime/no-bus",
                   **{f"XDG_{name.upper()}_HOME": str(self.root / name)
                      for name in ("config", "data", "cache", "state")},
                   XDG_RUNTIME_DIR=str(self.root / "runtime"))
        if not isinstance(display, str) and display.wayland:
            # WebKit's sandbox takes the socket by its name under the runtime folder.
            link = self.root / "runtime/wayland-mivra"
            if not link.exists():
                link.symlink_to(display.socket)
            del env["DISPLAY"]
            env.update(GDK_BACKEND="wayland", WAYLAND_DISPLAY=link.name)
        return env

Route = namedtuple("Route", "status content_type body", defaults=("text/plain; charset=utf-8", b""))

class Report(namedtuple("Report", "name args page_time rank")):
    """What the page reported, with its clock (ms) and the report's rank on its page."""
    page_order = property(lambda self: (self.page_time, self.rank))

class QuietServer(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):  # a page gone mid-request is normal
            super().handle_error(request, client_address)

class TestServer:
    """The demo page with the driver script, which runs what run() queues; records the path of
    every request and what the page reports (/report?name=&args=<json>). `routes`: more paths,
    each a function of the query giving a Route. One answer per connection: one request per page load."""

    FILES = {"/app.js": DEMO / "app.js", "/app.css": DEMO / "app.css", "/driver.js": HERE / "driver.js"}

    def __init__(self, port=0):
        self.port = port
        self.requests, self.reports, self.routes = [], [], {}
        self.changed = threading.Condition()
        self._scripts = queue.Queue()
        self._httpd = None

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/"

    def start(self):
        self._httpd = QuietServer(("127.0.0.1", self.port), self._handler_class())
        self.port = self._httpd.server_address[1]
        threading.Thread(target=self._httpd.serve_forever, daemon=True).start()
        return self

    def stop(self):
        if self._httpd:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._httpd = None

    def _record(self, entry, into):
        with self.changed:
            into.append(entry)
            self.changed.notify_all()

    def _answer(self, path, query):
        field = lambda key, default: query.get(key, [default])[0]
        if path == "/report":  # time and rank come from the demo page's reports only
            self._record(Report(field("name", ""), json.loads(field("args", "[]")), float(field("time", 0)),
                                int(field("rank", 0))), self.reports)
            return Route(204)
        if path == "/next":
            try:
                return Route(200, body=self._scripts.get(timeout=1).encode("utf-8"))
            except queue.Empty:
                return Route(204)
        if path in self.routes:
            return self.routes[path](query)
        if path == "/":
            page = (DEMO / "index.html").read_text(encoding="utf-8")
            page = page.replace("</body>", '<script src="/driver.js"></script>\n</body>')
            return Route(200, "text/html; charset=utf-8", page.encode("utf-8"))
        if path not in self.FILES:
            return Route(404)
        kind = "text/css" if path.endswith(".css") else "text/javascript"
        return Route(200, f"{kind}; charset=utf-8", self.FILES[path].read_bytes())

    def _handler_class(self):
        server = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                server._record(self.path, server.requests)
                path, _, query = self.path.partition("?")
                route = server._answer(path, urllib.parse.parse_qs(query, keep_blank_values=True))
                self.send_response(route.status)
                headers = {"Content-Type": route.content_type, "Content-Length": str(len(route.body)),
                           "Cache-Control": "no-store", "Connection": "close"}
                for header, value in headers.items():
                    self.send_header(header, value)
                self.end_headers()
                self.wfile.write(route.body)

            def log_message(self, *args):
                pass
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

class MivraWindow:
    """One run of the program: its log lines and its windows."""

    def __init__(self, args, env, display, wayland=False, cwd=None):
        self.display, self.wayland = display, wayland
        self.page = None  # the TestServer whose page the window shows, for Wayland's probes
        self._origin = self._id = None
        self.lines = []
        self._changed = threading.Condition()
        self.process = spawn([PROGRAM, *args], group=True, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self._reader = threading.Thread(target=self._read_log, daemon=True)
        self._reader.start()

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
        """The main window's X id; on Wayland, where it has none, "wayland"."""
        if self.wayland:
            return "wayland"
        if self._id is None:
            self._id = wait_until(lambda: self.windows("^Mivra$"), 20, "the Mivra window")[0]
        return self._id

    def _page_focused(self, focused, timeout, what):
        wait_until(lambda: self.page.value("document.hasFocus()") == str(focused).lower(), timeout, what)

    def dialog(self, title=".*", timeout=15):
        """A visible window of the program other than the main one (on Wayland, the page's focus lost)."""
        what = f"a panel or dialog titled {title!r}"
        if self.wayland:
            self._page_focused(False, timeout, what)
            return "wayland-dialog"
        return wait_until(lambda: [w for w in self.windows(title) if w != self.window()], timeout, what)[0]

    def wait_no_dialog(self):
        if self.wayland:
            self._page_focused(True, 10, "the page's focus back")
        else:
            wait_until(lambda: self.windows() == [self.window()], 10, "the panel or dialog to close")

    def geometry(self):
        """(x, y, width, height) on the screen."""
        if self.wayland:
            width, height = self.page.value("innerWidth + ',' + innerHeight").split(",")
            return (*self.origin(), int(width), int(height))
        info = x11(self.display, "xwininfo", "-id", self.window())
        return tuple(int(re.search(rf"{field}:\s+(-?\d+)", info).group(1)) for field in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def settled_geometry(self, expected, timeout=10):
        return settled(self.geometry, expected, timeout)

    def origin(self):
        """On Wayland, the screen point of the page's top-left corner: the pointer visits
        points across the screen until the page sees it and says where."""
        if self._origin is None:
            def seen():
                rough = self._pointer_origin(PROBES, 0.1)
                # The page may tell of a probe once the pointer has moved on: measured again.
                return rough and self._pointer_origin([(rough[0][0] + 1, rough[0][1] + 1)], 3)
            self._origin = wait_until(seen, 30, "the page to see the pointer")[1]
        return self._origin

    def _pointer_origin(self, points, settle):
        """The first of the points the page sees, `settle` seconds each, and the page's origin from it."""
        token = str(time.monotonic_ns())
        self.page.run(f'new Promise((found) => addEventListener("mousemove", '
                      f'(e) => found("{token}," + e.clientX + "," + e.clientY), {{once: true}}))')
        time.sleep(0.3)
        heard = lambda: next((tuple(map(int, str(report.args[0]).split(",")[1:])) for report in self.page.named("ran")
                              if str(report.args[0]).startswith(token + ",")), None)
        found = pointer_probe(self.xdotool, points, heard, settle)
        return found and (found[0], (found[0][0] - found[1][0], found[0][1] - found[1][1]))

    def place(self, x=100, y=100):
        """Moves the window to a known place wholly on the screen (on Wayland, the compositor's place)."""
        if self.wayland:
            return self.geometry()
        _, _, width, height = self.settled_geometry(None, timeout=1)
        self.xdotool("windowmove", self.window(), str(x), str(y))
        return self.settled_geometry((x, y, width, height))

    def net_wm_state(self):
        return x11(self.display, "xprop", "-id", self.window(), "_NET_WM_STATE")

    def click_element(self, element_id):
        centre = self.page.value(f"""(() => {{
            const box = document.getElementById({element_id!r}).getBoundingClientRect();
            return Math.round(box.left + box.width / 2) + "," + Math.round(box.top + box.height / 2);
        }})()""")
        left, top = (int(value) for value in centre.split(","))
        x, y, _, _ = self.geometry()  # the page fills the window
        self.xdotool("mousemove", str(x + left), str(y + top))
        self.xdotool("click", "1")

    def focus(self, window=None):
        """Gives the window the keyboard (weston gives it to each new window itself)."""
        if self.wayland:
            return
        window = window or self.window()
        self.xdotool("windowactivate", "--sync", window)
        wait_until(lambda: self.xdotool("getactivewindow").strip() == window, 10, f"{window} active")

    def key(self, *keys):
        self.xdotool("key", "--delay", "60", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", text)

    def stop(self):
        stop_process(self.process, group=True)
        self._reader.join(5)
        self.process.stderr.close()

class WindowTestCase(unittest.TestCase):
    """One display server per test file; a private home, server and program per test."""

    @classmethod
    def setUpClass(cls):
        cls.display = Display()
        cls.addClassCleanup(cls.display.stop)
        cls.display.start()

    def setUp(self):
        self.home = Home()
        self.addCleanup(shutil.rmtree, self.home.root, ignore_errors=True)

    def serve(self):
        server = TestServer().start()
        self.addCleanup(server.stop)
        return server

    def session_bus(self):
        """The address of a session bus of the test's own, stopped with the test."""
        bus = spawn(["dbus-run-session", "--", "sh", "-c", 'echo "$DBUS_SESSION_BUS_ADDRESS"; exec sleep 3600'],
                    group=True, env=self.home.environment(self.display), stdout=subprocess.PIPE,
                    stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(stop_process, bus, True)
        if not select.select([bus.stdout], [], [], 20)[0]:
            raise RuntimeError("dbus-run-session did not start")
        return bus.stdout.readline().strip()

    def launch(self, *args, env=None, bus=None, cwd=None):
        """Starts the program; `env` adds to its environment; `bus` is a session bus's address."""
        window = MivraWindow(args, {**self.home.environment(self.display, bus), **(env or {})}, self.display.name,
                             self.display.wayland, cwd)
        self.addCleanup(self._assert_no_sanitizer_report, window)
        self.addCleanup(window.stop)
        return window

    def _assert_no_sanitizer_report(self, window):
        reports = [line for line in window.lines if "ERROR: AddressSanitizer" in line or "runtime error:" in line]
        self.assertEqual(reports, [], "\n".join(window.lines[-40:]))

    def launch_loaded(self, server, env=None, bus=None):
        window = self.launch(server.url, env=env, bus=bus)
        window.page = server
        server.wait_report("load", timeout=30)
        return window

    def drag_source(self, window, *offered, bus=None):
        """Starts the drag source helper offering `offered`, placed by the window manager or the
        compositor. The points to drag from and to: where the pointer finds the source, which says where
        the pointer lies on it, and a point of the page that the source leaves free."""
        source = spawn([os.environ["MIVRA_DRAG_SOURCE"], *map(str, offered)], env=self.home.environment(
            self.display, bus), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(stop_process, source)
        x, y, width, height = window.geometry()
        grid = [(gx, gy) for gy in range(SOURCE_STEP // 2, SCREEN[1], SOURCE_STEP)
                for gx in range(SOURCE_STEP // 2, SCREEN[0], SOURCE_STEP)]

        def heard():
            said = b""
            while select.select([source.stdout], [], [], 0)[0] and (more := os.read(source.stdout.fileno(), 4096)):
                said = more
            return said and tuple(map(int, said.split()[:4]))
        start, (local_x, local_y, w, h) = wait_until(lambda: pointer_probe(window.xdotool, grid, heard, 0.15), 30,
                                                     "the drag source under the pointer")
        left, top = start[0] - local_x, start[1] - local_y
        outside = lambda px, py: not (left - 20 <= px <= left + w + 20 and top - 20 <= py <= top + h + 20)
        return start, next((px, py) for fy in (0.5, 0.3, 0.8) for fx in (0.5, 0.2, 0.8)
                           if outside(px := x + int(width * fx), py := y + int(height * fy)))

    def drag(self, start, to, release=True):
        xdotool = lambda *command: x11(self.display.name, "xdotool", *command)
        xdotool("mousemove", *map(str, start))
        xdotool("mousedown", "1")
        for step in range(1, 21):
            xdotool("mousemove", *(str(begin + (end - begin) * step // 20) for begin, end in zip(start, to)))
            time.sleep(0.04)
        time.sleep(0.5)
        if release:
            xdotool("mouseup", "1")

    def x11_only(self, why):
        if self.display.wayland:
            self.skipTest(f"X11 only: {why}")

def main():
    global PROGRAM
    if len(sys.argv) < 2 or sys.argv[1].startswith("-"):
        sys.exit("usage: python3 test_x.py PATH_OF_MIVRA_WINDOW [unittest arguments]")
    PROGRAM = os.path.abspath(sys.argv.pop(1))

    def stop_everything(signum, frame):
        for process, group in reversed(_started):
            stop_process(process, group, timeout=2)
        os._exit(128 + signum)
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, stop_everything)
    result = unittest.main(verbosity=2, exit=False).result
    if result.testsRun - len(result.skipped) <= 0:
        sys.exit("no test ran: a test file must test something on this display server")
    sys.exit(not result.wasSuccessful())
