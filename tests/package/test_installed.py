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

def icon_colours(display, window):
    """Counts of (dark tile, teal wave) opaque pixels in the largest image of the
    window's _NET_WM_ICON: the two colours that tell this icon from the
    desktop's generic one."""
    listed = x11(display, "xprop", "-id", window, "-notype", "32c", "_NET_WM_ICON")
    values = [int(v) for v in listed.partition("=")[2].replace(",", " ").split()]
    images = []  # width, height, then width x height ARGB pixels, for each size
    while len(values) >= 2:
        width, height = values[:2]
        images.append(values[2:2 + width * height])
        values = values[2 + width * height:]
    if not images:
        return 0, 0
    largest = max(images, key=len)
    opaque = [(v >> 16 & 255, v >> 8 & 255, v & 255) for v in largest if v >> 24 > 200]
    dark = sum(1 for r, g, b in opaque if max(r, g, b) <= 0x40)
    teal = sum(1 for r, g, b in opaque if r < 0x80 and g > 0xa0 and b > 0xa0)
    return dark, teal

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
        dark, teal = wait_until(lambda: colours if all(colours := icon_colours(display.name, window)) else None,
                                10, "the window to show the fr.mivra.Window icon")
        self.assertGreater(dark, teal)

if __name__ == "__main__":
    if not os.path.exists(DESKTOP_ENTRY):
        sys.exit("the package is not installed")
    unittest.main(verbosity=2)
