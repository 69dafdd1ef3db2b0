"""Loading the interface: a server that comes late, one that never answers,
and a failed navigation inside the page."""

import threading
import time

from harness import SilentListener, WindowTestCase, free_port, main, wait_until

BUDGET = 40  # automatic reloads in the life of the process


class LoadingTest(WindowTestCase):

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
        self.assertGreater(opened.page_time, loaded.page_time)
        self.assertLess(opened.time - loaded.time, 1.5)
        time.sleep(1.5)
        self.assertEqual(len(server.named("__openPath")), 1)
        self.assertEqual(len(server.named("load")), 1)

    def test_server_that_never_answers_is_asked_once_and_forty_times_more(self):
        listener = SilentListener()
        self.addCleanup(listener.stop)
        window = self.launch(listener.url)
        wait_until(lambda: len(listener.requests) >= BUDGET + 1, 40,
                   f"{BUDGET + 1} requests, got {len(listener.requests)}")
        time.sleep(3)
        self.assertEqual(len(listener.requests), BUDGET + 1)
        self.assertTrue(all(line.startswith("GET / ") for line, _ in listener.requests))
        gaps = [b - a for (_, a), (_, b) in zip(listener.requests, listener.requests[1:])]
        self.assertGreaterEqual(min(gaps), 0.25)
        self.assertTrue(window.alive())

    def test_failed_navigation_inside_the_page_goes_back_to_the_interface(self):
        server = self.serve()
        self.launch_loaded(server)
        server.run(f"location.href = 'http://127.0.0.1:{free_port()}/ailleurs'")
        reloaded = server.wait_report("load", count=2, timeout=15)
        self.assertEqual(reloaded.args, [server.url])


if __name__ == "__main__":
    main()
