"""Launch, the window itself, loading, reloading and quitting, against the real program."""

import os
import signal
import subprocess
import threading
import time
from pathlib import Path

from harness import CLOSE_BUTTON, SCREEN, Route, WindowTestCase, main, settled, wait_until

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
    """The pids of the program's web content processes."""
    listing = subprocess.run(["ps", "-eo", "pid=,sid=,comm="], capture_output=True, text=True).stdout
    return [int(pid) for pid, sid, name in (line.split(None, 2) for line in listing.splitlines())
            if int(sid) == window.process.pid and name.startswith("WebKitWebProces")]

def page_size(server, expected):
    """The page's viewport once it equals `expected`, or the last one read."""
    return settled(lambda: server.value("innerWidth + 'x' + innerHeight"), expected, 5)

class LaunchTest(WindowTestCase):

    def test_window_is_centred_named_logged_never_below_its_minimum_and_closes_with_status_zero(self):
        server = self.serve()
        window = self.launch(server.url)
        window.page = server
        window.wait_note(f"fenetre ouverte sur {server.url}")
        self.assertEqual(window.notes()[0], f"fenetre ouverte sur {server.url}")
        centred = ((SCREEN[0] - 1080) // 2, (SCREEN[1] - 740) // 2, 1080, 740)
        if self.display.x11:  # on Wayland the compositor places windows, and titles are not X properties
            self.assertEqual(window.xdotool("getwindowname", window.window()).strip(), "Mivra")
            self.assertEqual(window.settled_geometry(centred), centred)
        server.wait_report("load")
        self.assertEqual(page_size(server, "1080x740"), "1080x740")  # the page fills the window
        if self.display.x11:  # resizing by request is the window manager's, on X11
            window.xdotool("windowsize", window.window(), "600", "400")
            self.assertEqual(window.settled_geometry(centred[:2] + (900, 620))[2:], (900, 620))
            self.assertEqual(page_size(server, "900x620"), "900x620")
        self.assertEqual(window.close(), 0, "\n".join(window.lines[-20:]))

    def test_a_page_without_a_background_shows_white_and_the_window_buttons_show_on_it(self):
        self.x11_only("the screen is read from the X server")
        server = self.interface_server()  # not listening yet: the window's loads fail
        server.routes["/"] = lambda query: Route(200, "text/html; charset=utf-8", b"<p>Erreur 502</p>")
        window = self.launch()
        window.wait_note(f"fenetre ouverte sur {server.url}")
        x, y, _, _ = window.place()
        centre = lambda: greys(self.display.name, x + 500, y + 300, 40, 40)
        time.sleep(1.5)  # several loads have failed by now
        self.assertLess(max(centre()), 40, "a dark window while no page is there")
        server.start()
        wait_until(lambda: min(centre()) > 240, 15, "a white page")
        # The close button: light glyph and dark backing, on the white page.
        button = greys(self.display.name, x + CLOSE_BUTTON[0] - 10, y + CLOSE_BUTTON[1] - 10, 20, 20)
        self.assertLess(min(button), 60)
        self.assertGreater(max(button), 200)

    def test_other_launches_hand_their_project_to_the_running_window_and_end(self):
        self.x11_only("the same wires on Wayland")
        server = self.interface_server().start()
        bus = self.session_bus()
        window = self.launch(bus=bus)
        window.page = server
        server.wait_report("load", timeout=30)
        # A relative path names the project from the second launch's folder.
        folder = self.home.root / "projets"
        folder.mkdir()
        again = self.launch("Projet A.fcpxml", bus=bus, cwd=folder)
        self.assertEqual(again.process.wait(30), 0)
        self.assertEqual(server.wait_report("__openPath").args, [str(folder / "Projet A.fcpxml")])
        # As a file manager does: the desktop entry, its command found on the PATH.
        commands = self.home.root / "bin"
        commands.mkdir()
        (commands / "mivra-window").symlink_to(window.process.args[0])
        env = {**self.home.environment(self.display, bus=bus),
               "PATH": f"{commands}:{os.environ['PATH']}"}
        subprocess.run(["gio", "launch", str(DESKTOP_ENTRY), "/tmp/B.fcpxmld"], env=env, timeout=30, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(server.wait_report("__openPath", timeout=30, count=2).args, ["/tmp/B.fcpxmld"])
        window.focus()  # Ctrl+H minimises; another launch with nothing to open brings the window back
        window.key("ctrl+h")
        wait_until(lambda: "HIDDEN" in window.net_wm_state(), 10, "the window minimised")
        self.assertEqual(self.launch(bus=bus).process.wait(30), 0)
        wait_until(lambda: "HIDDEN" not in window.net_wm_state(), 10, "the window back")
        # Another interface gets a window of its own.
        other = self.serve()
        self.launch(other.url, bus=bus)
        other.wait_report("load", timeout=30)
        self.assertEqual(len(server.named("__openPath")), 2)
        self.assertIsNone(window.process.poll())

    def test_server_starting_late_is_picked_up_and_the_launch_project_reaches_its_page_unchanged(self):
        self.x11_only("the same wires on Wayland")
        server = self.interface_server()
        late = threading.Timer(3.0, server.start)
        late.start()
        self.addCleanup(late.cancel)
        project = '/tmp/Projet "A" \\ B\nC\rD.fcpxmld'
        self.launch(project)
        loaded = server.wait_report("load", timeout=20)
        opened = server.wait_report("__openPath", timeout=10)
        self.assertEqual(opened.args, [project])
        self.assertGreater(opened.page_order, loaded.page_order)

    def test_a_dead_page_is_loaded_again_at_once(self):
        self.x11_only("the same wires on Wayland")
        server = self.serve()
        window = self.launch_loaded(server)
        for pid in wait_until(lambda: web_processes(window), 10, "a web process"):
            os.kill(pid, signal.SIGKILL)
        server.wait_report("load", timeout=10, count=2)
        self.assertIsNone(window.process.poll())

    def test_size_is_kept_once_it_settles_so_a_killed_window_still_reopens_at_it(self):
        self.x11_only("the window is resized by request")
        server = self.serve()
        window = self.launch_loaded(server)
        x, y, _, _ = window.place()
        window.xdotool("windowsize", window.window(), "1280", "840")
        self.assertEqual(window.settled_geometry((x, y, 1280, 840))[2:], (1280, 840))
        kept = self.home.root / "state/mivra/window.ini"
        wait_until(lambda: kept.exists() and "width=1280" in kept.read_text(), 5, "the size to be kept")
        os.killpg(window.process.pid, signal.SIGKILL)
        window.process.wait(10)
        self.assertEqual(kept.read_text().split(), ["[MivraMain]", "width=1280", "height=840"])
        again = self.launch(server.url)
        reopened = ((SCREEN[0] - 1280) // 2, (SCREEN[1] - 840) // 2, 1280, 840)
        self.assertEqual(again.settled_geometry(reopened), reopened)

    def test_on_a_screen_smaller_than_its_minimum_the_window_fits_it_whole(self):
        self.x11_only("GDK_SCALE and the work area are X11's")
        # Twice the pixels per point: the 1920 x 1080 screen holds 960 x 540 points.
        (self.home.root / "state/mivra").mkdir(parents=True)
        (self.home.root / "state/mivra/window.ini").write_text("[MivraMain]\nwidth=1280\nheight=840\n")
        server = self.serve()
        window = self.launch(server.url, env={"GDK_SCALE": "2"})
        whole = (0, 0, *SCREEN)
        self.assertEqual(window.settled_geometry(whole), whole)
        server.wait_report("load", timeout=30)
        self.assertEqual(page_size(server, "960x540"), "960x540")
        window.xdotool("windowsize", window.window(), "1000", "600")
        self.assertEqual(window.settled_geometry((0, 0, 1800, 1080))[2:], (1800, 1080))

if __name__ == "__main__":
    main()
