"""Files dragged onto the window from another program, and the page's own
dialogs: alerts, confirm and prompt, new windows and file inputs."""

import time

from harness import SOURCE, WindowTestCase, main, wait_until

class DropTest(WindowTestCase):

    def test_project_dragged_over_and_away_then_dropped_reaches_the_page_once(self):
        self.x11_only("the drag source is found and placed as an X window")
        server = self.serve()
        window = self.launch_loaded(server)
        window.place(300, 100)
        server.value('(["dragover", "drop"].forEach((k) => addEventListener(k, () => report(k, []))), "ok")')
        project = self.home.home / "Montage.FCPXMLD"
        project.mkdir()
        # A web link is no file: the first file after it counts.
        self.drag_source("https://example.org/a.txt", project, self.home.home / "notes.txt")
        x, _, width, _ = window.geometry()
        centre = (x + width // 2, window.page_top(server) + 400)
        self.drag(SOURCE, centre, release=False)
        server.wait_report("__survol")
        window.xdotool("mousemove", *map(str, SOURCE))
        time.sleep(0.5)
        window.xdotool("mouseup", "1")
        server.wait_report("__survol", count=3)
        self.drag(SOURCE, centre)
        server.wait_report("__openPath")
        server.wait_report("__survol", count=6)
        time.sleep(0.5)
        callbacks = sorted((r for r in server.reports if r.name in ("__survol", "__openPath")),
                           key=lambda r: r.page_order)
        self.assertEqual([(r.name, r.args[0]) for r in callbacks], [
            ("__survol", True), ("__survol", False), ("__survol", False),
            ("__survol", True), ("__survol", False), ("__openPath", str(project)), ("__survol", False)])
        # The window takes file drags whole: the page's own drag events never fire.
        self.assertEqual(server.named("dragover") + server.named("drop"), [])

class PageDialogTest(WindowTestCase):

    def test_alert_holds_the_script_until_closed_with_return_and_other_dialogs_answer_alone(self):
        server = self.serve()
        window = self.launch_loaded(server)
        server.run('document.getElementById("alert").click(), "clicked"')
        if self.display.x11:
            window.dialog()
        time.sleep(1)  # on Wayland the alert holds the page, which cannot say it lost the focus
        self.assertEqual(server.named("alert"), [])
        window.key("Return")
        server.wait_report("alert")
        server.wait_report("ran")  # the script the alert held has ended
        window.wait_no_dialog()
        answers = server.value('JSON.stringify([confirm("Continuer ?"), prompt("Nom ?", "d"), open("about:blank")])')
        self.assertEqual(answers, "[false,null,null]")
        if self.display.x11:  # no new window: X11 lists them
            self.assertEqual(window.windows(), [window.window()])

    def test_file_input_gets_the_file_typed_in_the_chooser(self):
        self.x11_only("the same panel as Ctrl+O's, shown on Wayland by the shortcut test")
        server = self.serve()
        window = self.launch_loaded(server)
        window.place()
        chosen = self.home.home / "piste son.wav"
        chosen.write_bytes(b"RIFF")
        window.click_element(server, "file")
        window.dialog()
        time.sleep(0.5)
        window.type_in_panel(chosen)
        self.assertEqual(server.wait_report("file").args, [[chosen.name]])

    def test_download_goes_where_the_save_panel_says_and_replaces_a_file_only_when_confirmed(self):
        self.x11_only("the panel and the question are told apart as X windows")
        downloads = self.home.home / "Telechargements"
        downloads.mkdir()
        (self.home.root / "config/user-dirs.dirs").write_text('XDG_DOWNLOAD_DIR="$HOME/Telechargements"\n')
        existing = downloads / "export.json"
        existing.write_text("ancien")
        server = self.serve()
        window = self.launch_loaded(server)
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

if __name__ == "__main__":
    main()
