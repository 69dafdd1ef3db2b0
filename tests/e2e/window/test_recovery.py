"""A page whose web process dies is loaded again."""

import os
import signal
import subprocess

from harness import WindowTestCase, main, wait_until

def web_processes(window):
    """The pids of the program's web content processes."""
    listing = subprocess.run(["ps", "-eo", "pid=,sid=,comm="], capture_output=True, text=True).stdout
    return [int(pid) for pid, sid, name in (line.split(None, 2) for line in listing.splitlines())
            if int(sid) == window.process.pid and name.startswith("WebKitWebProces")]

class ReloadTest(WindowTestCase):

    def test_a_dead_page_is_loaded_again_at_once(self):
        server = self.serve()
        window = self.launch_loaded(server)
        for pid in wait_until(lambda: web_processes(window), 10, "a web process"):
            os.kill(pid, signal.SIGKILL)
        server.wait_report("load", timeout=10, count=2)
        self.assertIsNone(window.process.poll())

if __name__ == "__main__":
    main()
