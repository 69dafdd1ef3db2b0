"""Files dragged onto the window from another program, and the page's own
dialogs: alerts, confirm and prompt, new windows, file inputs and downloads."""

import time

from harness import Route, WindowTestCase, main, wait_until

class PageFilesAndDialogsTest(WindowTestCase):

    def test_alert_other_dialogs_a_file_input_a_download_replacing_a_file_and_a_dropped_project(self):
        downloads = self.home.home / "Telechargements"
        downloads.mkdir()
        (self.home.root / "config/user-dirs.dirs").write_text('XDG_DOWNLOAD_DIR="$HOME/Telechargements"\n')
        server = self.serve()
        window = self.launch_loaded(server)
        # An alert holds the script until closed with Return; the other dialogs answer alone.
        server.run('document.getElementById("alert").click(), "clicked"')
        if self.display.x11:
            window.dialog("^Alerte de la page$")
        time.sleep(1)  # on Wayland the alert holds the page, which cannot say it lost the focus
        self.assertEqual(server.named("alert"), [])
        window.key("Return")
        server.wait_report("alert")
        server.wait_report("ran")  # the script the alert held has ended
        window.wait_no_dialog()
        answers = server.value('JSON.stringify([confirm("Continuer ?"), prompt("Nom ?", "d"), open("about:blank")])')
        self.assertEqual(answers, "[false,null,null]")
        if self.display.wayland:
            return  # file inputs and downloads take the same ways on Wayland, shown there by Ctrl+O's panel
        self.assertEqual(window.windows(), [window.window()])  # no new window
        # A file input gets the file typed in the chooser.
        chosen = self.home.home / "piste son.wav"
        chosen.write_bytes(b"RIFF")
        window.place(300, 100)
        window.click_element("file")
        window.dialog("^Choisir un fichier$")
        time.sleep(0.5)
        window.type_in_panel(chosen)
        self.assertEqual(server.wait_report("file").args, [[chosen.name]])
        window.wait_no_dialog()
        # A download goes where the save panel says, and replaces a file only when confirmed.
        existing = downloads / "export.json"
        existing.write_text("ancien")
        start = ('const a = document.createElement("a"); a.download = "export.json"; '
                 'a.href = URL.createObjectURL(new Blob(["nouveau"])); document.body.append(a); a.click(), "ok"')
        server.run(start)
        panel = window.dialog("^Enregistrer le telechargement$")
        window.focus(panel)
        window.key("Escape")
        window.wait_no_dialog()
        server.run(start)
        panel = window.dialog("^Enregistrer le telechargement$")
        window.focus(panel)
        window.key("Return")  # the suggested name, in the Downloads folder
        question = wait_until(lambda: [w for w in window.windows() if w not in (window.window(), panel)], 15,
                              "the question before replacing")[0]
        self.assertEqual(existing.read_text(), "ancien")
        window.focus(question)
        window.key("Return")
        wait_until(lambda: existing.read_text() == "nouveau", 15, "the download to replace the file")
        self.assertEqual(sorted(p.name for p in downloads.iterdir()), ["export.json"])
        # A link to a file the view does not show ends its load there: the page stays as it was.
        server.routes["/export.aaf"] = lambda query: Route(200, "application/octet-stream", b"AAF")
        server.run("location.href = '/export.aaf'")
        time.sleep(1.5)  # a reload would have come by now
        self.assertEqual(len(server.named("load")), 1)

    def test_dragged_away_then_dropped_a_bundle_and_a_file_reach_the_page_once(self):
        server = self.serve()
        window = self.launch_loaded(server)
        server.value('(["dragover", "drop"].forEach((k) => addEventListener(k, () => report(k, []))), "ok")')
        # A web link is no file: the first file after it counts.
        bundle, file = self.home.home / "Montage.FCPXMLD", self.home.home / "Montage.fcpxml"
        bundle.mkdir()
        file.write_text("<fcpxml/>")
        start, page = self.drag_source(window, "https://example.org/a.txt", bundle, self.home.home / "notes.txt")
        self.drag(start, page, release=False)
        server.wait_report("__survol")
        window.xdotool("mousemove", *map(str, start))
        time.sleep(0.5)
        window.xdotool("mouseup", "1")
        server.wait_report("__survol", count=2)
        self.drag(start, page)
        server.wait_report("__openPath")
        self.drag(*self.drag_source(window, file))
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

if __name__ == "__main__":
    main()
