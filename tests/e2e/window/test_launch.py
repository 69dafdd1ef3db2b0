"""Launch, the window itself, loading and quitting, against the real program."""

import os
import signal
import subprocess
import threading
import time
from pathlib import Path

from harness import CLOSE_BUTTON, SCREEN, Route, TestServer, WindowTestCase, main, wait_until

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

def page_size(server, expected, timeout=5):
    """The page's viewport once it equals `expected`, or the last one read."""
    deadline = time.monotonic() + timeout
    while (size := server.value("innerWidth + 'x' + innerHeight")) != expected and time.monotonic() < deadline:
        time.sleep(0.1)
    return size

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
            for asked, given in (((1280, 840), (1280, 840)), ((600, 400), (900, 620))):
                window.xdotool("windowsize", window.window(), *map(str, asked))
                self.assertEqual(window.settled_geometry(centred[:2] + given)[2:], given)
            self.assertEqual(page_size(server, "900x620"), "900x620")
        self.assertEqual(window.close(), 0, "\n".join(window.lines[-20:]))

    def test_a_page_without_a_background_shows_white_and_the_window_buttons_show_on_it(self):
        self.x11_only("the screen is read from the X server")
        server = self.serve()
        server.routes["/nu"] = lambda query: Route(200, "text/html; charset=utf-8", b"<p>Erreur 502</p>")
        window = self.launch(server.url + "nu")
        window.wait_note(f"fenetre ouverte sur {server.url}nu")
        x, y, _, _ = window.place()
        wait_until(lambda: min(greys(self.display.name, x + 500, y + 300, 40, 40)) > 240, 15, "a white page")
        # The close button: light glyph and dark backing, on the white page.
        button = greys(self.display.name, x + CLOSE_BUTTON[0] - 10, y + CLOSE_BUTTON[1] - 10, 20, 20)
        self.assertLess(min(button), 60)
        self.assertGreater(max(button), 200)

    def test_launch_project_reaches_the_page_unchanged_once_after_a_second(self):
        server = self.interface_server().start()
        project = '/tmp/Projet "A" \\ B\nC\rD.fcpxmld'
        window = self.launch(project)
        opened = server.wait_report("__openPath", timeout=30)
        self.assertEqual(opened.args, [project])
        self.assertEqual(window.notes()[0], "fenetre ouverte sur http://127.0.0.1:8790/")
        loaded = server.wait_report("load")
        self.assertGreaterEqual(opened.time - window.started, 1.0)
        self.assertGreater(opened.page_order, loaded.page_order)
        self.assertLess(opened.time, max(window.started + 1.0, loaded.time) + 1.5)
        time.sleep(1.5)
        self.assertEqual(len(server.named("__openPath")), 1)

    def test_other_launches_hand_their_project_to_the_running_window_and_end(self):
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
        if self.display.x11:  # with nothing to open, a minimised window comes back
            window.xdotool("windowminimize", window.window())
            wait_until(lambda: "HIDDEN" in window.net_wm_state(), 10, "the window minimised")
            self.assertEqual(self.launch(bus=bus).process.wait(30), 0)
            wait_until(lambda: "HIDDEN" not in window.net_wm_state(), 10, "the window back")
        # Another interface gets a window of its own.
        other = self.serve()
        self.launch(other.url, bus=bus)
        other.wait_report("load", timeout=30)
        self.assertEqual(len(server.named("__openPath")), 2)
        self.assertIsNone(window.process.poll())

    def test_server_starting_late_is_picked_up_and_the_launch_project_waits_for_it(self):
        server = self.interface_server()
        late = threading.Timer(3.0, server.start)
        late.start()
        self.addCleanup(late.cancel)
        window = self.launch("/tmp/late.fcpxmld")
        loaded = server.wait_report("load", timeout=20)
        self.assertGreaterEqual(loaded.time - window.started, 3.0)
        opened = server.wait_report("__openPath", timeout=10)
        self.assertEqual(opened.args, ["/tmp/late.fcpxmld"])
        self.assertGreater(opened.page_order, loaded.page_order)
        self.assertLess(opened.time - loaded.time, 1.5)
        time.sleep(1.5)
        self.assertEqual((len(server.named("__openPath")), len(server.named("load"))), (1, 1))

    def test_server_that_never_answers_is_asked_once_and_forty_times_more_300ms_apart(self):
        server = self.serve(TestServer(closing=True))
        server.failing.set()
        window = self.launch(server.url)
        wait_until(lambda: len(server.requests) >= 41, 40, f"41 requests, got {len(server.requests)}")
        time.sleep(3)
        self.assertEqual([request.path for request in server.requests], ["/"] * 41)
        gaps = [b.time - a.time for a, b in zip(server.requests, server.requests[1:])]
        self.assertGreaterEqual(min(gaps), 0.25)
        self.assertIsNone(window.process.poll())

    def test_size_is_kept_once_it_settles_so_a_killed_window_still_reopens_at_it(self):
        self.x11_only("the window is resized by request")
        server = self.serve()
        window = self.launch_loaded(server)
        x, y, _, _ = window.place()
        for size in ((1000, 700), (1280, 840)):
            window.xdotool("windowsize", window.window(), *map(str, size))
            self.assertEqual(window.settled_geometry((x, y, *size))[2:], size)
        kept = self.home.root / "state/mivra/window.ini"
        wait_until(lambda: kept.exists() and "width=1280" in kept.read_text(), 5, "the size to be kept")
        os.killpg(window.process.pid, signal.SIGKILL)
        window.process.wait(10)
        self.assertEqual(kept.read_text().split(), ["[MivraMain]", "width=1280", "height=840"])
        again = self.launch(server.url)
        reopened = ((SCREEN[0] - 1280) // 2, (SCREEN[1] - 840) // 2, 1280, 840)
        self.assertEqual(again.settled_geometry(reopened), reopened)
        # Quitting right after a resize keeps that size too.
        again.xdotool("windowsize", again.window(), "1000", "700")
        self.assertEqual(again.settled_geometry(reopened[:2] + (1000, 700))[2:], (1000, 700))
        self.assertEqual(page_size(server, "1000x700"), "1000x700")  # GTK has taken the new size
        again.focus()
        again.key("ctrl+q")
        self.assertEqual(again.process.wait(15), 0)
        self.assertEqual(kept.read_text().split(), ["[MivraMain]", "width=1000", "height=700"])

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
