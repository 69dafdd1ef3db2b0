"""Files dragged onto the window from another program, and the page's own
dialogs: alerts, confirm and prompt, new windows and file inputs."""

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from harness import WindowTestCase, main, stop_process, wait_until
from page_driving import PageDriving

DRAG_SOURCE = os.environ.get("MIVRA_DRAG_SOURCE", "")


class DropTest(WindowTestCase, PageDriving):
    window_manager = True

    def setUp(self):
        super().setUp()
        if not DRAG_SOURCE:
            self.skipTest("set MIVRA_DRAG_SOURCE to the drag source helper")
        self.files = Path(tempfile.mkdtemp(prefix="mivra-drop-"))
        self.addCleanup(shutil.rmtree, self.files, ignore_errors=True)

    def launch_watched(self):
        """The program, placed right of the drag source, with the page recording
        the drag events it sees."""
        server = self.serve()
        window = self.launch_loaded(server)
        self.place(window, 300, 100)
        self.page_value(server, """(["dragover", "drop"].forEach((kind) =>
            document.addEventListener(kind, () => report(kind, []))), "watching")""")
        return window, server

    def drag_source(self, window, *items):
        """The helper offering `items`, in the screen's top-left corner."""
        source = subprocess.Popen([DRAG_SOURCE, *items], env=self.home.environment(self.display.name),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(stop_process, source)
        found = wait_until(lambda: self.xdotool(window, "search", "--onlyvisible", "--pid", str(source.pid),
                                                "--name", "^mivra-drag-source$").split(), 15, "the drag source")
        self.xdotool(window, "windowmove", found[0], "0", "0")
        time.sleep(0.3)
        return source

    def drag(self, window, to, release=True):
        """Presses on the drag source and moves to `to` step by step; releases there."""
        self.xdotool(window, "mousemove", "100", "100")
        self.xdotool(window, "mousedown", "1")
        for step in range(1, 21):
            self.xdotool(window, "mousemove", str(100 + (to[0] - 100) * step // 20),
                         str(100 + (to[1] - 100) * step // 20))
            time.sleep(0.04)
        time.sleep(0.5)
        if release:
            self.xdotool(window, "mouseup", "1")

    def page_centre(self, window, server):
        x, _, width, _ = window.geometry()
        return x + width // 2, self.page_top(window, server) + 400

    def callbacks(self, server):
        """The hover and open callbacks, in the order the page received them."""
        reports = [r for r in server.reports if r.name in ("__survol", "__openPath")]
        return [(r.name, r.args[0]) for r in sorted(reports, key=lambda r: r.page_time)]

    def test_project_dragged_over_and_away_then_dropped_reaches_the_page_once(self):
        window, server = self.launch_watched()
        project = self.files / "Montage.FCPXMLD"
        project.mkdir()
        self.drag_source(window, str(project), str(self.files / "notes.txt"))
        centre = self.page_centre(window, server)

        self.drag(window, centre, release=False)
        server.wait_report("__survol")
        self.assertEqual(self.callbacks(server), [("__survol", True)])
        self.xdotool(window, "mousemove", "100", "100")
        time.sleep(0.5)
        self.xdotool(window, "mouseup", "1")
        server.wait_report("__survol", count=3)

        self.drag(window, centre)
        server.wait_report("__openPath")
        server.wait_report("__survol", count=6)
        time.sleep(0.5)
        self.assertEqual(self.callbacks(server), [
            ("__survol", True), ("__survol", False), ("__survol", False),
            ("__survol", True), ("__survol", False), ("__openPath", str(project)), ("__survol", False)])
        self.assertTrue(server.named("dragover"))
        self.assertEqual(server.named("drop"), [])

    def test_refused_drags_open_nothing_and_non_file_items_are_skipped(self):
        window, server = self.launch_watched()
        source = self.drag_source(window, str(self.files / "notes.txt"), str(self.files / "montage.fcpxml"))
        centre = self.page_centre(window, server)
        self.drag(window, centre)
        server.wait_report("__survol")
        time.sleep(0.5)
        self.assertEqual(self.callbacks(server), [("__survol", False)])
        self.assertEqual(server.named("drop"), [])
        stop_process(source)

        # A web link is no file: the first file after it counts.
        export = self.files / "Export.aaf"
        self.drag_source(window, "https://example.org/a.fcpxml", str(export))
        self.drag(window, centre)
        self.assertEqual(server.wait_report("__openPath").args, [str(export)])


class PageDialogTest(WindowTestCase, PageDriving):
    window_manager = True

    def other_windows(self, window):
        return [found for found in self.windows_of(window) if found != window.window()]

    def test_alert_holds_the_script_until_its_dialog_is_closed_with_return(self):
        server = self.serve()
        window = self.launch_loaded(server)
        server.run('document.getElementById("alert").click(), "clicked"')
        wait_until(lambda: self.other_windows(window), 15, "the alert's dialog")
        time.sleep(0.5)
        self.assertEqual(server.named("alert"), [])
        window.key("Return")
        server.wait_report("alert")
        wait_until(lambda: not self.other_windows(window), 10, "the dialog to close")

    def test_confirm_prompt_and_new_windows_get_their_answer_without_a_dialog(self):
        server = self.serve()
        window = self.launch_loaded(server)
        answers = self.page_value(server, """JSON.stringify([confirm("Continuer ?"),
            prompt("Nom ?", "defaut"), window.open("about:blank")])""")
        self.assertEqual(answers, "[false,null,null]")
        self.assertEqual(self.other_windows(window), [])

    def test_file_input_gets_the_file_typed_in_the_chooser(self):
        server = self.serve()
        window = self.launch_loaded(server)
        self.place(window)
        chosen = self.home.home / "piste son.wav"
        chosen.write_bytes(b"RIFF")
        self.click_element(window, server, "file")
        wait_until(lambda: self.other_windows(window), 15, "the file chooser")
        time.sleep(0.5)
        window.key("ctrl+l")
        window.type(str(chosen))
        window.key("Return")
        self.assertEqual(server.wait_report("file").args, [[chosen.name]])


if __name__ == "__main__":
    main()
