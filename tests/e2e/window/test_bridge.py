"""The page's messages and their answers, against the real program."""

import json
import os
import pwd
import time
from pathlib import Path

from harness import WindowTestCase, main, wait_until

# Every shape a page could post that names no operation: not objects, values
# that are not strings, very long strings, unknown or miscased actions, URLs
# that are not https.
FLOOD = r"""
(() => {
  const long = "x".repeat(100000);
  const shapes = [
    "autorises", 42, null, true, [1, 2], [{action: "autorises"}], {}, {action: 42},
    {action: null}, {action: ["autorises"]}, {action: {action: "autorises"}},
    {action: "Pick"}, {action: "AUTORISES"}, {action: "inconnue"}, {action: long},
    {action: "autorises\u0000"}, {action: "\ud800"}, {action: "ouvrir", url: 12},
    {action: "ouvrir", url: "pas une adresse"}, {action: "ouvrir", url: ""},
    {action: "ouvrir"}, {action: "ouvrir", url: long}, {action: "oublier"},
    {action: "oublier", path: ""}, {action: "oublier", path: 7}, {action: "oublier", path: null},
    {nothing: long}, {action: "ouvrir", url: "https://x.fr/\u0000evil"},
  ];
  for (let i = 0; i < 5000; i++) post(shapes[i % shapes.length]);
  return "flooded";
})()
"""

class BridgeTest(WindowTestCase):

    def test_grant_on_a_missing_volume_is_logged_and_cancel_leaves_the_list_empty(self):
        user = pwd.getpwuid(os.getuid()).pw_name
        volumes = next((folder for folder in (f"/run/media/{user}", f"/media/{user}", "/media")
                        if os.path.isdir(folder)), str(self.home.home))
        server = self.serve()
        window = self.launch_loaded(server)
        server.run("post({action: 'grant', path: '/nulle/part/Volume'})")
        window.wait_note(f"volume \u00ab /nulle/part/Volume \u00bb absent, ouverture sur {volumes}")
        window.focus(window.dialog())
        window.key("Escape")
        window.wait_no_dialog()
        server.run("post({action: 'autorises'})")
        server.wait_report("__autorises")
        time.sleep(1)
        self.assertEqual([report.args for report in server.named("__autorises")], [[[]]])
        self.assertEqual(server.named("__granted"), [])

    def test_flood_leaves_the_window_working_and_only_https_reaches_the_browser(self):
        record = self.home.install_browser()
        server = self.serve()
        window = self.launch_loaded(server)
        self.assertEqual(server.value(FLOOD, timeout=60), "flooded")
        server.run("post({action: 'ouvrir', url: 'http://example.org/a'});"
                   "post({action: 'ouvrir', url: 'HTTPS://example.org/b'});"
                   "post({action: 'ouvrir', url: 'https://example.org/c?d=1'});"
                   "post({action: 'autorises'})")
        server.wait_report("__autorises", timeout=30)
        wait_until(record.exists, 15, "the default browser to be started")
        time.sleep(1.5)  # answers to the flood, if any, would have come by now
        self.assertEqual([report.args for report in server.named("__autorises")], [[[]]])
        self.assertEqual(record.read_text().splitlines(), ["https://example.org/c?d=1"])
        self.assertIsNone(window.process.poll())

    def test_messages_from_a_page_of_another_origin_are_ignored(self):
        server, elsewhere = self.serve(), self.serve()
        window = self.launch_loaded(server)
        server.run(f"location.href = '{elsewhere.url}'")
        elsewhere.wait_report("load")
        elsewhere.value("post({action: 'autorises'}); post({action: 'grant', path: '/ailleurs/Volume'})")
        time.sleep(1.5)
        self.assertEqual(elsewhere.named("__autorises"), [])
        self.assertFalse([note for note in window.notes() if "/ailleurs/Volume" in note])
        elsewhere.run(f"location.href = '{server.url}'")
        server.wait_report("load", count=2)
        server.run("post({action: 'autorises'})")
        self.assertEqual(server.wait_report("__autorises").args, [[]])

    def test_working_folder_typed_in_the_panel_reaches_the_page(self):
        chosen = Path(self.home.home, "Travail Mivra")
        chosen.mkdir()
        server = self.serve()
        window = self.launch_loaded(server)
        server.run(f"post({{action: 'folder', pour: 'travail', path: {json.dumps(str(self.home.home))}}})")
        window.focus(window.dialog())
        window.key("ctrl+l")
        window.type(str(chosen))
        window.key("Return")
        self.assertEqual(server.wait_report("__setTravail").args, [str(chosen)])
        self.assertEqual(server.named("__setFolder"), [])
        window.wait_no_dialog()

if __name__ == "__main__":
    main()
