"""The menu's shortcuts with the page focused, the menu on the handle, and the
handle itself: moving, zooming and restoring the window."""

import time

from harness import TestServer, WindowTestCase, main, wait_until

PROJECT_PANEL = "^Choisir un projet Final Cut$"
DOUBLE_CLICK_MS = 1500

class ShortcutTest(WindowTestCase):

    def focus_text_field(self, window, server):
        wait_until(lambda: window.click_element(server, "text") or
                   server.value("document.activeElement.id") == "text", 15, "the text field's focus")

    def field_holds(self, server, expected):
        wait_until(lambda: server.value('document.getElementById("text").value') == expected,
                   15, f"the text field to hold {expected!r}")

    def test_strip_menu_editing_shortcuts_ctrl_r_ctrl_o_ctrl_f_and_ctrl_q_with_the_page_focused(self):
        server = self.serve(TestServer(closing=True))  # one request per page load
        window = self.launch_loaded(server)
        window.place()
        # The strip's menu by the pointer, then by F10, shown and dismissed: quitting later stays clean.
        if self.display.x11:  # the menu is a window of its own on X11 only
            x, _, width, _ = window.geometry()
            strip = (str(x + width // 2), str(window.page_top(server) + 38))
            for way, commands in (("the strip's menu", [("mousemove", *strip), ("click", "3")]),
                                  ("the menu from F10", [("key", "F10")])):
                for command in commands:
                    window.xdotool(*command)
                wait_until(lambda: len(window.windows()) > 1, 10, way)
                window.key("Escape")
                window.wait_no_dialog()
        self.focus_text_field(window, server)
        window.type("abc")
        for keys, expected in ((["BackSpace"], "ab"), (["ctrl+a", "ctrl+x"], ""), (["ctrl+v", "ctrl+v"], "abab"),
                               (["ctrl+z"], "ab"), (["ctrl+a", "ctrl+c", "End", "ctrl+v"], "abab")):
            window.key(*keys)  # BackSpace: the page's own keys still work
            self.field_holds(server, expected)
        window.key("ctrl+o")
        window.focus(window.dialog(PROJECT_PANEL))
        window.key("Escape")
        window.wait_no_dialog()
        window.focus()
        window.key("ctrl+f")
        wait_until(window.full_screen, 10, "full screen")
        window.key("ctrl+r")
        server.wait_report("load", count=2)
        time.sleep(1.2)  # a second load would have come by now
        self.assertEqual(len(server.requests_for("/")), 2)
        window.key("ctrl+q")
        self.assertEqual(window.process.wait(15), 0)
        self.assertEqual([line for line in window.lines if "CRITICAL" in line], [])

    def test_keys_the_page_prevents_stay_the_pages_and_the_others_reach_the_menu(self):
        self.x11_only("keys reach the menu the same way on Wayland")
        server = self.serve()
        window = self.launch_loaded(server)
        window.place()
        server.value("""(window.prevented = new Set(["a", "f", "F11"]), addEventListener("keydown", (e) => {
            if ((e.ctrlKey && e.key !== "Control") || e.key === "F11") report("keydown", [e.key]);
            if (prevented.has(e.key)) e.preventDefault();
        }), "listening")""")
        def field_after(keys, typed, expected):
            server.value('(document.getElementById("text").value = "abc", "reset")')
            self.focus_text_field(window, server)
            window.key("End", *keys)
            window.type(typed)
            self.field_holds(server, expected)
        def keys_seen():  # in the page's order: its reports may arrive in any order
            return [r.args[0] for r in sorted(server.named("keydown"), key=lambda r: r.page_order)]
        def full_screen(expected):
            time.sleep(1)  # a full-screen change would have come by now
            wait_until(lambda: window.full_screen() == expected, 10, f"full screen: {expected}")
        # Prevented: the page sees each key, the menu acts on none of them.
        field_after(["ctrl+a"], "x", "abcx")
        window.key("ctrl+f", "F11")
        full_screen(False)
        self.assertEqual(keys_seen(), ["a", "f", "F11"])
        # Left alone: the page sees them and the menu acts.
        server.value('(prevented.clear(), "cleared")')
        field_after(["ctrl+a"], "y", "y")
        window.key("ctrl+f")
        full_screen(True)
        window.key("F11")
        full_screen(False)
        self.assertEqual(keys_seen()[3:], ["a", "f", "F11"])
        # Quitting stays the window's, whatever the page does with the key.
        server.value('(addEventListener("keydown", (e) => e.preventDefault()), "all prevented")')
        window.key("ctrl+q")
        self.assertEqual(window.process.wait(15), 0)

class HandleTest(WindowTestCase):

    def setUp(self):
        super().setUp()
        self.x11_only("moving and resizing by the pointer are checked against the X window's geometry")
        # GTK forgets a press once the double-click time has run on the main
        # loop's clock; a loaded machine (a sanitized build) can take longer
        # than the default 400 ms to read the second press of a double-click.
        settings = self.home.root / "config/gtk-3.0"
        settings.mkdir(parents=True)
        (settings / "settings.ini").write_text(f"[Settings]\ngtk-double-click-time={DOUBLE_CLICK_MS}\n")

    def strip_point(self, window, server, from_right=None):
        """A point in the top strip: mid-handle, or `from_right` pixels from the right edge."""
        x, _, width, _ = window.geometry()
        return x + width - from_right if from_right else x + width // 2, window.page_top(server) + 38

    def drag_by(self, start, by):
        self.drag(start, (start[0] + by[0], start[1] + by[1]), steps=10, pause=0.02, settle=0)

    def test_press_and_drag_on_the_strip_moves_the_window_and_the_page_never_sees_it(self):
        server = self.serve()
        window = self.launch_loaded(server)
        server.value('(addEventListener("mousedown", (e) => report("mousedown", [e.clientX])), "listening")')
        x, y, width, height = window.place()
        # The top-right corner is the page's.
        window.xdotool("mousemove", *map(str, self.strip_point(window, server, from_right=70)))
        window.xdotool("click", "1")
        self.assertGreater(server.wait_report("mousedown").args[0], width - 140)
        self.drag_by(self.strip_point(window, server), (120, 70))
        moved = (x + 120, y + 70, width, height)
        self.assertEqual(window.settled_geometry(moved), moved)
        time.sleep(0.5)
        self.assertEqual(len(server.named("mousedown")), 1)

    def test_edges_and_corners_resize_the_window_and_the_page_still_fills_it(self):
        server = self.serve()
        window = self.launch_loaded(server)
        server.value('(addEventListener("mousedown", () => report("mousedown", [])), "listening")')
        x, y, width, height = window.place()
        self.drag_by((x + width - 2, y + height // 2), (100, 0))
        self.assertEqual(window.settled_geometry((x, y, width + 100, height)), (x, y, width + 100, height))
        # The corner is only where GTK knows it once it has laid out the new size.
        wait_until(lambda: server.value("innerWidth") == str(width + 100), 5, "the page to fill the wider window")
        self.drag_by((x + width + 100 - 3, y + height - 3), (50, 40))
        grown = (x, y, width + 150, height + 40)
        self.assertEqual(window.settled_geometry(grown), grown)
        wait_until(lambda: server.value("innerWidth + 'x' + innerHeight") == f"{grown[2]}x{grown[3]}", 5,
                   "the page to fill the window")
        self.assertEqual(server.named("mousedown"), [])

    def test_double_click_on_the_strip_maximises_and_restores_it(self):
        server = self.serve()
        window = self.launch_loaded(server)
        before = window.place()
        def click_strip(times, maximised):
            time.sleep(DOUBLE_CLICK_MS / 1000 + 0.2)  # each call starts a new sequence
            window.xdotool("mousemove", *map(str, self.strip_point(window, server)))
            window.xdotool("click", "--repeat", str(times), "--delay", "80", "1")
            wait_until(lambda: ("MAXIMIZED_HORZ" in window.net_wm_state()) == maximised, 10,
                       f"the window maximised: {maximised}")
        click_strip(2, True)
        click_strip(2, False)
        self.assertEqual(window.settled_geometry(before), before)

if __name__ == "__main__":
    main()
