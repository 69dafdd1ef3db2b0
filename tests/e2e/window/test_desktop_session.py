"""The window in a desktop session: a session bus with the accessibility bus
and xdg-document-portal on it, as GNOME and KDE sessions have. A screen reader
reads the page through the AT-SPI tree, and a bundle or a file dragged from a
GTK 4 file manager, offered through the portal's file transfer, reaches the page."""

import itertools
import json
import os
import subprocess
import time

from harness import WindowTestCase, main, wait_until

# pyatspi is a module of Debian's Python (python3-pyatspi), which may not be the
# python3 that comes first on PATH.
SYSTEM_PYTHON = "/usr/bin/python3"
# Prints the AT-SPI tree of the application whose process id is argv[1], one
# [depth, role, name] per node, depth first.
TREE_DUMP = """
import json, sys, pyatspi
def walk(node, depth):
    yield [depth, node.getRoleName(), node.name]
    for child in node:
        if child is not None:
            yield from walk(child, depth + 1)
pid = int(sys.argv[1])
apps = [app for app in pyatspi.Registry.getDesktop(0) if app is not None and app.get_process_id() == pid]
print(json.dumps([node for app in apps for node in walk(app, 0)]))
"""
# What a screen reader must find inside the page's document, (role, name): a heading (as the
# page's style shows it, in capitals), a labelled entry and a button of the page served.
READ_ALOUD = {("heading", "PAGE"), ("entry", "Texte"), ("push button", "Alerte")}
# The services a desktop session has on its bus, started by D-Bus activation
# as there: (name, object, method that answers once the service runs).
SESSION_SERVICES = [
    ("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"),
    # xdg-document-portal exits at once where it cannot mount its FUSE folder.
    ("org.freedesktop.portal.Documents", "/org/freedesktop/portal/documents",
     "org.freedesktop.portal.Documents.GetMountPoint"),
]

def in_document(tree):
    """The (role, name) of every node inside the tree's first web document."""
    for index, (depth, role, _) in enumerate(tree):
        if role == "document web":
            return {(role, name) for _, role, name in
                    itertools.takewhile(lambda node: node[0] > depth, tree[index + 1:])}
    return set()

def unnamed_leaves(tree):
    """The roles of the nodes outside the page's document, the application's other windows aside, that
    hold nothing and name nothing; screen readers skip redundant objects."""
    start = next(index for index, node in enumerate(tree) if node[1] == "document web")
    inside = list(itertools.takewhile(lambda node: node[0] > tree[start][0], tree[start + 1:]))
    nodes = tree[:start + 1] + tree[start + 1 + len(inside):] + [[0, "", ""]]
    return [role for (depth, role, name), (following, _, _) in zip(nodes, nodes[1:])
            if following <= depth and not name and role not in ("redundant object", "window")]

class DesktopSessionTest(WindowTestCase):

    def test_a_bundle_and_a_file_dragged_from_a_gtk4_file_manager_reach_the_page_and_a_screen_reader_reads_it(self):
        # The portal's FUSE folder goes some time after the bus stops, and must
        # be gone before the home is removed.
        folder = self.home.root / "runtime/doc"
        self.addCleanup(wait_until, lambda: not os.path.ismount(folder), 20, "the portal's folder to be unmounted")
        bus = self.session_bus()
        env = self.home.environment(self.display, bus)
        for name, path, method in SESSION_SERVICES:
            started = subprocess.run(["gdbus", "call", "--session", "--dest", name, "--object-path", path,
                                      "--method", method], env=env, capture_output=True, text=True, timeout=60)
            self.assertEqual(started.returncode, 0, f"{name} did not start: {started.stderr}")
        server = self.serve()
        window = self.launch_loaded(server, bus=bus)
        server.value('(["dragover", "drop"].forEach((k) => addEventListener(k, () => report(k, []))), "ok")')
        # Dragged over and away, then dropped, then a file: each reaches the page once.
        bundle, file = self.home.home / "Montage.FCPXMLD", self.home.home / "Montage.fcpxml"
        bundle.mkdir()
        file.write_text("<fcpxml/>")
        start, page = self.drag_source(window, bundle, bus=bus)
        self.drag(start, page, release=False)
        server.wait_report("__survol")
        window.xdotool("mousemove", *map(str, start))
        time.sleep(0.5)
        window.xdotool("mouseup", "1")
        server.wait_report("__survol", count=2)
        self.drag(start, page)
        server.wait_report("__openPath", timeout=20)
        self.drag(*self.drag_source(window, file, bus=bus))
        server.wait_report("__openPath", count=2)
        time.sleep(0.5)
        callbacks = sorted((r for r in server.reports if r.name in ("__survol", "__openPath")),
                           key=lambda r: r.page_order)
        self.assertEqual([(r.name, r.args[0]) for r in callbacks], [
            ("__survol", True), ("__survol", False),
            ("__survol", True), ("__survol", False), ("__openPath", str(bundle)),
            ("__survol", True), ("__survol", False), ("__openPath", str(file))])
        # The window takes file drags whole: the page's own drag events never fire.
        self.assertEqual(server.named("dragover") + server.named("drop"), [])
        tree = []

        def readable():
            dump = subprocess.run([SYSTEM_PYTHON, "-c", TREE_DUMP, str(window.process.pid)], env=env,
                                  capture_output=True, text=True, timeout=60)
            tree[:] = json.loads(dump.stdout) if dump.returncode == 0 else [[0, "no tree", dump.stderr[-300:]]]
            return READ_ALOUD <= in_document(tree)
        try:
            wait_until(readable, 40, "the page's document in the window's AT-SPI tree", interval=0.5)
        except AssertionError as error:
            shown = "\n".join(f"{'  ' * depth}{role} {name!r}" for depth, role, name in tree)
            raise self.failureException(f"{error}; the tree:\n{shown}") from None
        self.assertEqual(unnamed_leaves(tree), [])  # the resize edges, the header bar's empty title

if __name__ == "__main__":
    main()
