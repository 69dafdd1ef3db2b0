"""Launch, the window itself, loading, reloading and quitting, against the real program."""

import os
import signal
import subprocess
import time
from pathlib import Path

from harness import CLOSE_BUTTON, INTERFACE_PORT, SCREEN, Route, TestServer, WindowTestCase, main, settled, wait_until

DESKTOP_ENTRY = Path(__file__).resolve().parents[3] / "data/fr.mivra.Window.desktop"
# The grey level (0 to 255) of each pixel of a part of the X screen, row by row,
# read through GDK by Debian's Python.
GREYS = """
import sys, gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk
x, y, width, height = map(int, sys.argv[1:])
shot = Gdk.pixbuf_get_from_window(Gdk.get_default_root_window(), x, y, width, height)
data, stride, channels = shot.get_pixels(), shot.get_rowstride(), shot.get_n_channels()
print(" ".join(str(sum(data[row * stride + col * channels:][:3]) // 3)
               for row in range(height) for col in range(width)))
"""

def greys(display, x, y, width, height):
    shown = subprocess.run(["/usr/bin/python3", "-c", GREYS, *map(str, (x, y, width, height))],
                           env={**os.environ, "DISPLAY": display}, capture_output=True, text=True, check=True)
    return [int(grey) for grey in shown.stdout.split()]

def web_processes(window):
    listing = subprocess.run(["ps", "-eo", "pid=,sid=,comm="], capture_output=True, text=True).stdout
    return [int(pid) for pid, sid, name in (line.split(None, 2) for line in listing.splitlines())
            if int(sid) == window.process.pid and name.startswith("WebKitWebProces")]

def page_size(server, expected):
    return settled(lambda: server.value("innerWidth + 'x' + innerHeight"), expected, 5)

class LaunchTest(WindowTestCase):

    def test_window_centred_named_logged_never_below_its_minimum_closed_and_reopened_at_its_kept_size_fitted(self):
        server = self.serve()
        window = self.launch_loaded(server)
        self.assertEqual(window.notes()[0], f"fenetre ouverte sur {server.url}")
        centred = ((SCREEN[0] - 1080) // 2, (SCREEN[1] - 740) // 2, 1080, 740)
        if self.display.x11:  # on Wayland the compositor places windows, and titles are not X properties
            self.assertEqual(window.xdotool("getwindowname", window.window()).strip(), "Mivra")
            self.assertEqual(window.settled_geometry(centred), centred)
        self.assertEqual(page_size(server, "1080x740"), "1080x740")  # the page fills the window
        if self.display.x11:  # resizing by request is the window manager's, on X11
            window.xdotool("windowsize", window.window(), "600", "400")
            self.assertEqual(window.settled_geometry(centred[:2] + (900, 620))[2:], (900, 620))
            self.assertEqual(page_size(server, "900x620"), "900x620")
            kept = self.home.root / "state/mivra/window.ini"  # once the size settles, before the window closes
            wait_until(lambda: kept.exists() and "width=900" in kept.read_text(), 5, "the size to be kept")
            self.assertEqual(kept.read_text().split(), ["[MivraMain]", "width=900", "height=620"])
        # F6 takes the keyboard to the window buttons and back to the page; Tab goes through the three
        # buttons to the page's first control, with no stop between; the first button closes.
        window.focus()
        for keys, focused in (("F6",), "false"), (("F6",), "true"), (("F6",), "false"), (("Tab",) * 3, "true path"):
            window.key(*keys)
            wait_until(lambda: server.value("document.hasFocus() + ' ' + document.activeElement.id").startswith(
                focused), 10, f"the page's focus after {keys}: {focused}")
        window.key("F6")
        window.key("Return")
        self.assertEqual(window.process.wait(20), 0, "\n".join(window.lines[-20:]))
        time.sleep(1.2)  # the closed page's last poll holds the server's next script for a second
        if self.display.x11:  # GDK_SCALE and the work area are X11's
            # Reopened at the kept size, centred and fitted to a screen smaller than it, minimum included:
            # at twice the pixels per point, the 1920 x 1080 screen holds 960 x 540 points.
            fitted = ((SCREEN[0] - 1800) // 2, 0, 1800, 1080)
            self.assertEqual(self.launch(server.url, env={"GDK_SCALE": "2"}).settled_geometry(fitted), fitted)
            server.wait_report("load", count=2, timeout=30)
            self.assertEqual(page_size(server, "900x540"), "900x540")

    def test_launches_at_the_interface_address_from_a_late_server_to_a_dead_page(self):
        self.x11_only("the screen is read from the X server; the other wires are the same on Wayland")
        server = TestServer(INTERFACE_PORT)  # not listening yet: the window's loads fail
        self.addCleanup(server.stop)
        server.routes["/blanc"] = lambda query: Route(200, "text/html; charset=utf-8", b"<p>Erreur 502</p>")
        bus = self.session_bus()
        project = '/tmp/Projet "A" \\ B\nC\rD.fcpxmld'
        window = self.launch(project, bus=bus)
        window.page = server
        window.wait_note(f"fenetre ouverte sur {server.url}")
        x, y, _, _ = window.place()
        centre = lambda: greys(self.display.name, x + 500, y + 300, 40, 40)
        time.sleep(1.5)  # several loads have failed by now
        self.assertLess(max(centre()), 40, "a dark window while no page is there")
        # The server starting late is picked up, and the launch project reaches its page unchanged.
        server.start()
        loaded = server.wait_report("load", timeout=20)
        opened = server.wait_report("__openPath", timeout=10)
        self.assertEqual(opened.args, [project])
        self.assertGreater(opened.page_order, loaded.page_order)
        # Other launches hand their project to the running window and end; a relative
        # path names the project from the second launch's folder.
        folder = self.home.root / "projets"
        folder.mkdir()
        again = self.launch("Projet A.fcpxml", bus=bus, cwd=folder)
        self.assertEqual(again.process.wait(30), 0)
        self.assertEqual(server.wait_report("__openPath", count=2).args, [str(folder / "Projet A.fcpxml")])
        # As a file manager does: the desktop entry, its command found on the PATH.
        commands = self.home.root / "bin"
        commands.mkdir()
        (commands / "mivra-window").symlink_to(window.process.args[0])
        env = {**self.home.environment(self.display, bus=bus),
               "PATH": f"{commands}:{os.environ['PATH']}"}
        subprocess.run(["gio", "launch", str(DESKTOP_ENTRY), "/tmp/B.fcpxmld"], env=env, timeout=30, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(server.wait_report("__openPath", timeout=30, count=3).args, ["/tmp/B.fcpxmld"])
        window.focus()  # Ctrl+H minimises; another launch with nothing to open brings the window back
        window.key("ctrl+h")
        wait_until(lambda: "HIDDEN" in window.net_wm_state(), 10, "the window minimised")
        self.assertEqual(self.launch(bus=bus).process.wait(30), 0)
        wait_until(lambda: "HIDDEN" not in window.net_wm_state(), 10, "the window back")
        # A dead page is loaded again at once.
        for pid in wait_until(lambda: web_processes(window), 10, "a web process"):
            os.kill(pid, signal.SIGKILL)
        server.wait_report("load", timeout=10, count=2)
        self.assertIsNone(window.process.poll())
        # A page without a background shows white, and the window buttons show on it:
        # light glyph and dark backing.
        x, y, _, _ = window.place()  # where the screen is read, should the window have moved
        server.run("location.href = '/blanc'")
        wait_until(lambda: min(centre()) > 240, 15, "a white page")
        button = greys(self.display.name, x + CLOSE_BUTTON[0] - 10, y + CLOSE_BUTTON[1] - 10, 20, 20)
        self.assertLess(min(button), 60)
        self.assertGreater(max(button), 200)
        # Another interface gets a window of its own.
        other = self.serve()
        self.launch(other.url, bus=bus)
        other.wait_report("load", timeout=30)
        self.assertEqual(len(server.named("__openPath")), 3)


if __name__ == "__main__":
    main()
