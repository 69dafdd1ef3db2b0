"""The page's downloads, and its links to files the view does not show."""

import time

from harness import Route, WindowTestCase, main, wait_until

class DownloadTest(WindowTestCase):

    def test_a_download_replacing_a_file_only_when_confirmed_and_a_link_the_view_does_not_show(self):
        downloads = self.home.home / "Telechargements"
        downloads.mkdir()
        (self.home.root / "config/user-dirs.dirs").write_text('XDG_DOWNLOAD_DIR="$HOME/Telechargements"\n')
        server = self.serve()
        window = self.launch_loaded(server)
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

if __name__ == "__main__":
    main()
