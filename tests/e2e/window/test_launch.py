"""Launch, the window itself and quitting, against the real program."""

import time

from harness import WindowTestCase, SCREEN, main


def page_size(server, expected, timeout=5):
    """The page's viewport once it equals `expected` (the web view fills the
    whole window), or the last one read at the timeout."""
    deadline = time.monotonic() + timeout
    while True:
        server.run("innerWidth + 'x' + innerHeight")
        size = server.wait_report("ran", count=len(server.named("ran")) + 1).args[0]
        if size == expected or time.monotonic() >= deadline:
            return size
        time.sleep(0.1)


class LaunchTest(WindowTestCase):
    window_manager = True  # sizes and closing go through a window manager

    def test_window_is_centred_at_its_default_size_and_names_the_url(self):
        server = self.serve()
        window = self.launch(server.url)
        window.wait_note(f"fenetre ouverte sur {server.url}")
        self.assertEqual(window.notes()[0], f"fenetre ouverte sur {server.url}")
        self.assertEqual(window.title(), "Mivra")
        centred = ((SCREEN[0] - 1080) // 2, (SCREEN[1] - 740) // 2, 1080, 740)
        self.assertEqual(window.settled_geometry(centred), centred)
        server.wait_report("load")
        self.assertEqual(page_size(server, "1080x740"), "1080x740")

    def test_window_grows_but_never_below_its_minimum(self):
        server = self.serve()
        window = self.launch_loaded(server)
        x, y, _, _ = window.settled_geometry(None, timeout=1)
        window.resize(1280, 840)
        self.assertEqual(window.settled_geometry((x, y, 1280, 840))[2:], (1280, 840))
        window.resize(600, 400)
        self.assertEqual(window.settled_geometry((x, y, 900, 620))[2:], (900, 620))
        self.assertEqual(page_size(server, "900x620"), "900x620")

    def test_default_url_and_closing_the_window_ends_with_status_zero(self):
        window = self.launch()
        window.wait_note("fenetre ouverte sur http://127.0.0.1:8790/")
        self.assertEqual(window.close(), 0, "\n".join(window.lines[-20:]))

    def test_launch_project_reaches_the_page_unchanged_once_after_a_second(self):
        server = self.interface_server().start()
        project = '/tmp/Projet "A" \\ B\nC\rD.fcpxmld'
        window = self.launch(project)
        opened = server.wait_report("__openPath", timeout=30)
        self.assertEqual(opened.args, [project])
        loaded = server.wait_report("load")
        self.assertGreaterEqual(opened.time - window.started, 1.0)
        self.assertGreater(opened.page_time, loaded.page_time)
        self.assertLess(opened.time, max(window.started + 1.0, loaded.time) + 1.5)
        time.sleep(1.5)
        self.assertEqual(len(server.named("__openPath")), 1)


if __name__ == "__main__":
    main()
