"""Coming back by itself: the user's reload after a late start, a page whose
process dies, and a window that keeps answering while a project is copied."""

import os
import signal
import subprocess
import time
from pathlib import Path
from unittest import mock

from harness import TestServer, WindowTestCase, main, wait_until

PROJECT_PANEL = "^Choisir un projet Final Cut$"

def web_processes(window):
    """The pids of the program's web content processes."""
    listing = subprocess.run(["ps", "-eo", "pid=,sid=,comm="], capture_output=True, text=True).stdout
    return [int(pid) for pid, sid, name in (line.split(None, 2) for line in listing.splitlines())
            if int(sid) == window.process.pid and name.startswith("WebKitWebProces")]

class ReloadTest(WindowTestCase):

    def test_ctrl_r_loads_the_interface_once_the_reload_budget_is_spent(self):
        server = self.serve(TestServer(closing=True))
        server.failing.set()
        window = self.launch(server.url)
        wait_until(lambda: len(server.requests_for("/")) >= 41, 40, "the first load and 40 reloads")
        time.sleep(1)
        server.failing.clear()
        window.focus()
        window.key("ctrl+r")
        server.wait_report("load")
        time.sleep(1)
        self.assertEqual(len(server.requests_for("/")), 42)

    def test_a_dead_page_is_loaded_again_at_once_three_times_a_minute_then_on_ctrl_r(self):
        server = self.serve(TestServer(closing=True))
        window = self.launch_loaded(server)
        for crash in range(1, 5):
            dying = wait_until(lambda: web_processes(window), 10, "a web process")
            for pid in dying:
                os.kill(pid, signal.SIGKILL)
            if crash < 4:
                server.wait_report("load", timeout=10, count=crash + 1)
        time.sleep(2)
        self.assertEqual(len(server.named("load")), 4)  # the fourth death in a minute is left alone
        window.focus()
        window.key("ctrl+r")
        server.wait_report("load", count=5)
        self.assertEqual(len(server.requests_for("/")), 5)  # none of them came from the budget
        self.assertIsNone(window.process.poll())

class CopyTest(WindowTestCase):

    def test_the_page_keeps_its_answers_while_a_project_is_copied_then_opens_the_whole_copy_once(self):
        project = Path(self.home.home, "Gros projet.fcpxmld")
        (project / "Media").mkdir(parents=True)
        blob = os.urandom(128 * 1024)
        for index in range(1000):  # a tenth of a second of copying or more
            (project / "Media" / f"{index:04d}.bin").write_bytes(blob)
        temporary = self.home.root / "tmp"
        temporary.mkdir()
        server = self.serve()
        with mock.patch.dict(os.environ, TMPDIR=str(temporary)):
            window = self.launch_loaded(server)
        server.run("post({action: 'pick'})")
        window.focus(window.dialog(PROJECT_PANEL))
        window.key("ctrl+l")
        window.type(str(project))
        self.assertEqual(server.value("setInterval(() => post({action: 'autorises'}), 25), 'asking'"), "asking")
        window.key("Return")
        chosen = time.monotonic()
        opened = server.wait_report("__openPath", timeout=60)
        answered = [report for report in server.named("__autorises") if chosen < report.time < opened.time]
        self.assertGreaterEqual(len(answered), 3, "the page got no answers while the project was copied")
        copy = Path(opened.args[0])
        self.assertEqual(copy.parent, temporary)
        self.assertTrue(copy.name.startswith("Mivra-import-") and copy.name.endswith("-Gros projet.fcpxmld"))
        self.assertEqual(len(list((copy / "Media").iterdir())), 1000)
        time.sleep(1)
        self.assertEqual(len(server.named("__openPath")), 1)

if __name__ == "__main__":
    main()
