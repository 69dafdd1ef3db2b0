"""The installed package as the desktop sees it: the project types, and the
desktop entry opening a project in the window. Run only with the package
installed (tests/package/run does it)."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e" / "window"))
from harness import (INTERFACE_PORT, Display, Home, TestServer, spawn, stop_process,  # noqa: E402
                     wait_until, x11)

DESKTOP_ENTRY = "/usr/share/applications/fr.mivra.Window.desktop"
PROJECT = '<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE fcpxml>\n<fcpxml version="1.10"/>\n'
OTHER_XML = '<?xml version="1.0" encoding="UTF-8"?>\n<catalogue/>\n'

def file_type(path, env):
    """What a desktop's file manager takes the file for."""
    result = subprocess.run(["xdg-mime", "query", "filetype", str(path)], env=env,
                            capture_output=True, text=True, timeout=20, check=True)
    return result.stdout.strip()

class InstalledPackageTest(unittest.TestCase):

    def setUp(self):
        self.home = Home()
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.home.root)])
        self.files = Path(tempfile.mkdtemp(prefix="mivra-projects-", dir=self.home.root))

    def test_project_files_are_known_by_name_and_by_root_element(self):
        env = {**self.home.environment(":0"), "XDG_CURRENT_DESKTOP": "GNOME"}
        (self.files / "Bundle.fcpxmld").mkdir()
        cases = [  # name, content, type
            ("Montage.fcpxml", PROJECT, "application/x-fcpxml"),
            ("Montage 2.FCPXML", PROJECT, "application/x-fcpxml"),
            ("export", PROJECT, "application/x-fcpxml"),  # no suffix: the root element decides
            ("export.xml", PROJECT, "application/xml"),  # a known suffix wins, as for any XML type
            ("catalogue.xml", OTHER_XML, "application/xml"),
            ("Bundle.fcpxmld", None, "inode/directory"),  # a folder stays a folder
        ]
        for name, content, expected in cases:
            with self.subTest(name=name):
                if content is not None:
                    (self.files / name).write_text(content)
                self.assertEqual(file_type(self.files / name, env), expected)

    def test_desktop_entry_hands_the_project_to_the_page_and_the_window_has_its_icon(self):
        display = Display().start()
        self.addCleanup(display.stop)
        server = TestServer(INTERFACE_PORT).start()
        self.addCleanup(server.stop)
        project = self.files / "Court metrage 'final'.fcpxml"
        project.write_text(PROJECT)
        launcher = spawn(["gio", "launch", DESKTOP_ENTRY, str(project)], group=True,
                         env=self.home.environment(display.name), stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(stop_process, launcher, True)  # the window is in the launcher's group
        opened = server.wait_report("__openPath", timeout=40)
        self.assertEqual(opened.args, [str(project)])
        window = wait_until(lambda: x11(display.name, "xdotool", "search", "--onlyvisible", "--name", "^Mivra$").split(),
                            10, "the Mivra window")[0]
        icon = x11(display.name, "xprop", "-id", window, "_NET_WM_ICON")
        self.assertIn("_NET_WM_ICON(CARDINAL) =", icon, "the theme icon fr.mivra.Window was not found")

if __name__ == "__main__":
    if not os.path.exists(DESKTOP_ENTRY):
        sys.exit("the package is not installed")
    unittest.main(verbosity=2)
