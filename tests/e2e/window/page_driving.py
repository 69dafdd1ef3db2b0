"""Helpers shared by the window's end-to-end tests: where things of the page
are on the screen, clicks on them, and the program's other windows."""

from harness import wait_until, x11


class PageDriving:
    """Where things of the page are on the screen, and clicks on them."""

    def page_value(self, server, script):
        count = len(server.named("ran"))
        server.run(script)
        return server.wait_report("ran", count=count + 1).args[0]

    def page_top(self, window, server):
        """The screen y of the page's top edge (the top of the handle strip)."""
        _, y, _, height = window.geometry()
        return y + height - int(self.page_value(server, "window.innerHeight"))

    def click_element(self, window, server, element_id):
        centre = self.page_value(server, f"""(() => {{
            const box = document.getElementById({element_id!r}).getBoundingClientRect();
            return Math.round(box.left + box.width / 2) + "," + Math.round(box.top + box.height / 2);
        }})()""")
        x, _, _, _ = window.geometry()
        left, top = (int(value) for value in centre.split(","))
        self.xdotool(window, "mousemove", str(x + left), str(self.page_top(window, server) + top))
        self.xdotool(window, "click", "1")

    def xdotool(self, window, *command):
        return x11("xdotool", *command, display=window.display)

    def windows_of(self, window):
        return self.xdotool(window, "search", "--all", "--onlyvisible", "--pid",
                            str(window.process.pid), "--name", ".*").split()

    def wait_titled(self, window, title, timeout=15):
        return wait_until(lambda: self.xdotool(window, "search", "--onlyvisible", "--pid",
                                               str(window.process.pid), "--name", f"^{title}$").split(),
                          timeout, f"a window titled {title!r}")[0]

    def place(self, window, x=100, y=100):
        """Moves the window to a known place, wholly on the screen."""
        _, _, width, height = window.settled_geometry(None, timeout=1)
        self.xdotool(window, "windowmove", window.window(), str(x), str(y))
        return window.settled_geometry((x, y, width, height))

    def net_wm_state(self, window):
        return x11("xprop", "-id", window.window(), "_NET_WM_STATE", display=window.display)
