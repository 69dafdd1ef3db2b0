"""The window in a desktop session: a session bus with the accessibility bus
and xdg-document-portal on it, as GNOME and KDE sessions have. A screen reader
reads the page through the AT-SPI tree, and a bundle or a file dragged from a
GTK 4 file manager, offered through the portal's file transfer, reaches the page.
Where the graphics stack cannot run the page, a screen reader reads the
window's own failure."""

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

def tree_of(window, env):
    """The window's AT-SPI tree as [depth, role, name] nodes; a failed read as one node saying why."""
    dump = subprocess.run([SYSTEM_PYTHON, "-c", TREE_DUMP, str(window.process.pid)], env=env,
                          capture_output=True, text=True, timeout=60)
    return json.loads(dump.stdout) if dump.returncode == 0 else [[0, "no tree", dump.stderr[-300:]]]

class DesktopSessionTest(WindowTestCase):

    def start_services(self, bus, services):
        env = self.home.environment(self.display, bus)
        for name, path, method in services:
            started = subprocess.run(["gdbus", "call", "--session", "--dest", name, "--object-path", path,
                                      "--method", method], env=env, capture_output=True, text=True, timeout=60)
            self.assertEqual(started.returncode, 0, f"{name} did not start: {started.stderr}")
        return env

    def wait_readable(self, window, env, wanted):
        """Waits until the tree holds what `wanted(tree)` looks for; the tree then."""
        tree = []

        def readable():
            tree[:] = tree_of(window, env)
            return wanted(tree)
        try:
            wait_until(readable, 40, "what a screen reader must read in the window's AT-SPI tree", interval=0.5)
        except AssertionError as error:
            shown = "\n".join(f"{'  ' * depth}{role} {name!r}" for depth, role, name in tree)
            raise self.failureException(f"{error}; the tree:\n{shown}") from None
        return tree

    def test_a_bundle_and_a_file_dragged_from_a_gtk4_file_manager_reach_the_page_and_a_screen_reader_reads_it(self):
        # The portal's FUSE folder goes some time after the bus stops, and must
        # be gone before the home is removed.
        folder = self.home.root / "runtime/doc"
        self.addCleanup(wait_until, lambda: not os.path.ismount(folder), 20, "the portal's folder to be unmounted")
        bus = self.session_bus()
        env = self.start_services(bus, SESSION_SERVICES)
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
        tree = self.wait_readable(window, env, lambda tree: READ_ALOUD <= in_document(tree))
        self.assertEqual(unnamed_leaves(tree), [])  # the resize edges, the header bar's empty title

    def test_where_no_web_process_can_start_the_failure_shows_in_the_windows_widgets_and_retrying_starts_over(self):
        self.x11_only("the broken graphics stack is X11's EGL")
        bus = self.session_bus()
        env = self.start_services(bus, SESSION_SERVICES[:1])
        server = self.serve()
        # No EGL vendor: every web process aborts as it starts.
        window = self.launch(server.url, bus=bus, env={"__EGL_VENDOR_LIBRARY_FILENAMES": "/nonexistent.json"})
        failed = "page d'echec affichee : la page s'est arretee"
        window.wait_note(failed, timeout=30)
        once = window.notes()[1:]
        self.assertEqual(once, ["processus de la page arrete : plantage"] * 4 +
                         ["nouvel essai sans acceleration materielle", "processus de la page arrete : plantage", failed])
        self.wait_readable(window, env, lambda tree: {("label", "La page s'est arretee"),
                                                      ("push button", "Reessayer")} <= {(r, n) for _, r, n in tree})
        # The focused button starts over with a fresh view, which dies the same way, in the same window.
        window.focus()
        window.key("Return")
        wait_until(lambda: window.notes().count(failed) == 2, 30, "the failure shown again")
        self.assertEqual(window.notes()[1:], once * 2)
        self.assertIsNone(window.process.poll())
        self.assertEqual(window.windows(), [window.window()])
        self.assertEqual(server.named("load"), [])

if __name__ == "__main__":
    main()
