"""The menu's shortcuts with the page focused, the menu on the handle, and the
handle itself: moving, zooming and restoring the window, under a window manager."""

import threading
import time
import urllib.parse

from harness import WindowTestCase, TestServer, free_port, main, wait_until
from page_driving import PageDriving
from serve import Request

PROJECT_PANEL = "Choisir un projet Final Cut"


class ClosingServer(TestServer):
    """The test page, with every connection closed after one answer (so that no
    request is ever retried on a kept-alive connection); once fail() is called
    each request for the page is recorded and closed without an answer."""

    def __init__(self):
        super().__init__()
        self.failing = threading.Event()

    def fail(self):
        self.failing.set()

    def _handler_class(self):
        base = super()._handler_class()
        server = self

        class Handler(base):
            def do_GET(self):
                if server.failing.is_set() and urllib.parse.urlsplit(self.path).path == "/":
                    server._record(Request(self.path, time.monotonic()), server.requests)
                    self.close_connection = True
                    return
                super().do_GET()

            def end_headers(self):
                self.send_header("Connection", "close")
                super().end_headers()

        return Handler


class ShortcutTest(WindowTestCase, PageDriving):
    window_manager = True

    def launch_focused(self, server):
        """The program on the server's page, with the page's text field focused by a click."""
        window = self.launch_loaded(server)
        self.place(window)
        wait_until(lambda: self.click_element(window, server, "text") or
                   self.page_value(server, "document.activeElement.id") == "text", 15, "the text field's focus")
        return window

    def test_ctrl_r_reloads_the_page_once_and_leaves_the_reload_budget_whole(self):
        server = ClosingServer().start()
        self.addCleanup(server.stop)
        window = self.launch_focused(server)
        pages = len(server.requests_for("/"))
        window.key("ctrl+r")
        server.wait_report("load", count=2)
        time.sleep(1.2)  # the unloaded page's last poll for scripts has ended
        self.assertEqual(len(server.requests_for("/")), pages + 1)

        # A failed navigation now spends the whole budget on the failing page:
        # 40 automatic reloads, none of them taken by the user's reload.
        server.fail()
        failing_from = len(server.requests_for("/"))
        self.page_value(server, f'setTimeout(() => location.href = "http://127.0.0.1:{free_port()}/"), "leaving"')
        wait_until(lambda: len(server.requests_for("/")) - failing_from >= 40, 25, "40 automatic reloads")
        time.sleep(1.5)
        self.assertEqual(len(server.requests_for("/")) - failing_from, 40)

    def test_ctrl_o_shows_the_project_panel(self):
        window = self.launch_focused(self.serve())
        window.key("ctrl+o")
        self.wait_titled(window, PROJECT_PANEL)

    def test_ctrl_f_toggles_full_screen_and_ctrl_h_minimises(self):
        window = self.launch_focused(self.serve())
        window.key("ctrl+f")
        wait_until(lambda: "FULLSCREEN" in self.net_wm_state(window), 10, "full screen")
        window.key("ctrl+f")
        wait_until(lambda: "FULLSCREEN" not in self.net_wm_state(window), 10, "the end of full screen")
        window.key("ctrl+h")
        wait_until(lambda: "HIDDEN" in self.net_wm_state(window), 10, "the window to be minimised")
        self.assertTrue(window.alive())

    def test_editing_shortcuts_act_on_the_focused_text_field_and_ctrl_q_quits(self):
        server = self.serve()
        window = self.launch_focused(server)

        def field_holds(expected):
            wait_until(lambda: self.page_value(server, 'document.getElementById("text").value') == expected,
                       15, f"the text field to hold {expected!r}")

        window.type("abc")
        field_holds("abc")
        window.key("BackSpace")  # the page's own keys still work
        field_holds("ab")
        window.key("ctrl+a", "ctrl+x")
        field_holds("")
        window.key("ctrl+v", "ctrl+v")
        field_holds("abab")
        window.key("ctrl+z")
        field_holds("ab")
        window.key("ctrl+a", "ctrl+c", "End", "ctrl+v")
        field_holds("abab")
        window.key("ctrl+q")
        self.assertEqual(window.wait_exit(), 0)


class HandleTest(WindowTestCase, PageDriving):
    window_manager = True

    def strip_point(self, window, server, from_right=None):
        """A point in the top strip: in its handle part, or `from_right` pixels
        from the window's right edge."""
        x, _, width, _ = window.geometry()
        left = x + width - from_right if from_right else x + width // 2
        return left, self.page_top(window, server) + 38

    def open_strip_menu(self, window, server):
        self.xdotool(window, "mousemove", *map(str, self.strip_point(window, server)))
        self.xdotool(window, "click", "3")
        time.sleep(0.5)

    def record_page_presses(self, server):
        self.page_value(server, """(window.addEventListener("mousedown",
            (event) => report("mousedown", [event.clientX, event.clientY])), "listening")""")

    def test_press_and_drag_on_the_strip_moves_the_window_and_the_page_never_sees_it(self):
        server = self.serve()
        window = self.launch_loaded(server)
        self.record_page_presses(server)
        x, y, width, height = self.place(window)

        # The top-right corner is the page's.
        corner = self.strip_point(window, server, from_right=70)
        self.xdotool(window, "mousemove", *map(str, corner))
        self.xdotool(window, "click", "1")
        press = server.wait_report("mousedown")
        self.assertGreater(press.args[0], width - 140)

        left, top = self.strip_point(window, server)
        self.xdotool(window, "mousemove", str(left), str(top))
        self.xdotool(window, "mousedown", "1")
        for step in range(1, 11):
            self.xdotool(window, "mousemove", str(left + 12 * step), str(top + 7 * step))
            time.sleep(0.02)
        self.xdotool(window, "mouseup", "1")
        moved = (x + 120, y + 70, width, height)
        self.assertEqual(window.settled_geometry(moved), moved)
        time.sleep(0.5)
        self.assertEqual(len(server.named("mousedown")), 1)

    def test_double_click_on_the_strip_maximises_and_restores_it(self):
        server = self.serve()
        window = self.launch_loaded(server)
        before = self.place(window)

        def click_strip(times):
            time.sleep(0.6)  # past the double-click time: each call starts a new sequence
            self.xdotool(window, "mousemove", *map(str, self.strip_point(window, server)))
            self.xdotool(window, "click", "--repeat", str(times), "--delay", "80", "1")

        click_strip(2)
        wait_until(lambda: "MAXIMIZED_HORZ" in self.net_wm_state(window), 10, "the window to be maximised")
        click_strip(2)
        wait_until(lambda: "MAXIMIZED" not in self.net_wm_state(window), 10, "the window to be restored")
        self.assertEqual(window.settled_geometry(before), before)
        # The second press of a triple click zooms; the third only drags.
        click_strip(3)
        wait_until(lambda: "MAXIMIZED_HORZ" in self.net_wm_state(window), 10, "the window to be maximised")
        time.sleep(0.5)
        self.assertIn("MAXIMIZED_HORZ", self.net_wm_state(window))

    def test_secondary_click_on_the_strip_opens_the_menu_whose_items_act(self):
        server = self.serve()
        window = self.launch_loaded(server)
        self.place(window)
        self.open_strip_menu(window, server)
        window.key("Down", "Down", "Down", "Return")  # Masquer Mivra, Quitter Mivra, Ouvrir un projet...
        self.wait_titled(window, PROJECT_PANEL)

    def test_quitting_after_the_strip_menu_was_shown_is_clean(self):
        server = self.serve()
        window = self.launch_loaded(server)
        self.place(window)
        self.open_strip_menu(window, server)
        window.key("Escape")
        window.key("ctrl+q")
        self.assertEqual(window.wait_exit(), 0)
        self.assertEqual([line for line in window.lines if "CRITICAL" in line], [])

if __name__ == "__main__":
    main()
