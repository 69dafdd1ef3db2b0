"""The page's messages and their answers, against the real program."""

import json
import os
import pwd
import time

from harness import Route, WindowTestCase, main, wait_until

# Shapes that name no operation, one of each kind the page's relay and the
# reading of the message treat apart; which messages run is the unit tests'.
FLOOD = r"""
(() => {
  const long = "x".repeat(100000);
  const shapes = ["autorises", null, [{action: "autorises"}], {action: ["autorises"]},
                  {action: {action: "autorises"}}, {action: long}, {action: "autorises\u0000"}, {action: "\ud800"}];
  for (let i = 0; i < 5000; i++) post(shapes[i % shapes.length]);
  return "flooded";
})()
"""

class BridgeTest(WindowTestCase):
    wayland_skip = "the page's messages take the same way on Wayland"

    def test_one_pages_messages_panels_frames_other_origin_and_quitting_during_a_copy(self):
        user = pwd.getpwuid(os.getuid()).pw_name
        volumes = next((folder for folder in (f"/run/media/{user}", f"/media/{user}", "/media")
                        if os.path.isdir(folder)), str(self.home.home))
        # A script as the default https handler records each URL it is given.
        record, browser = self.home.root / "browser-record", self.home.root / "fake-browser"
        browser.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$1\" >> '{record}'\n")
        browser.chmod(0o755)
        (self.home.root / "data/applications").mkdir()
        (self.home.root / "data/applications/mivra-test-browser.desktop").write_text(
            f"[Desktop Entry]\nType=Application\nName=Test browser\nExec={browser} %u\n"
            "MimeType=x-scheme-handler/https;x-scheme-handler/mailto;\n")
        (self.home.root / "config/mimeapps.list").write_text(
            "[Default Applications]\nx-scheme-handler/https=mivra-test-browser.desktop\n"
            "x-scheme-handler/mailto=mivra-test-browser.desktop\n")
        temporary = self.home.root / "tmp"
        temporary.mkdir()
        server, elsewhere = self.serve(), self.serve()
        window = self.launch_loaded(server, env={"TMPDIR": str(temporary)})
        # A message with millions of keys is read for its action alone.
        server.value("const big = {action: 'autorises'};"
                     "for (let i = 0; i < 3e6; i++) big['k' + i] = i;"
                     "window.big = big; 'built'", timeout=60)
        server.run("post(window.big)")
        self.assertEqual(server.wait_report("__autorises", timeout=15).args, [[]])
        # A flood of messages naming nothing gets no answer and leaves the window working.
        self.assertEqual(server.value(FLOOD, timeout=60), "flooded")
        server.run("post({action: 'autorises'})")
        server.wait_report("__autorises", timeout=30, count=2)
        time.sleep(1.5)  # answers to the flood, if any, would have come by now
        self.assertEqual(len(server.named("__autorises")), 2, "an answer to the flood")
        # A grant on a missing volume is logged; cancelling its panel leaves the list empty.
        server.run("post({action: 'grant', path: '/nulle/part/Volume'})")
        window.wait_note(f"volume \u00ab /nulle/part/Volume \u00bb absent, ouverture sur {volumes}")
        window.focus(window.dialog())
        window.key("Escape")
        window.wait_no_dialog()
        server.run("post({action: 'autorises'})")
        self.assertEqual(server.wait_report("__autorises", count=3).args, [[]])
        # The working folder typed in the folder panel reaches the page.
        chosen = self.home.home / "Travail Mivra"
        chosen.mkdir()
        server.run(f"post({{action: 'folder', pour: 'travail', path: {json.dumps(str(self.home.home))}}})")
        window.type_in_panel(chosen)
        self.assertEqual(server.wait_report("__setTravail").args, [str(chosen)])
        window.wait_no_dialog()
        # Return on a folder typed in the project panel enters it: the panel stays.
        projects = self.home.home / "projets"
        projects.mkdir()
        (projects / "a.fcpxml").write_text("<fcpxml/>")
        server.run("post({action: 'pick'})")
        window.type_in_panel(f"{projects}/")

        def type_project():  # what is typed while the panel enters the folder may be lost: typed again
            window.key("ctrl+l", "ctrl+a")
            window.type(str(projects / "a.fcpxml"))
            window.key("Return")
        wait_until(lambda: server.named("__openPath") or type_project(), 15, "the project", interval=5)
        # Only the file was copied: the folder was entered, not chosen.
        self.assertTrue(server.wait_report("__openPath").args[0].endswith("-a.fcpxml"))
        window.wait_no_dialog()
        # Frames inside the interface cannot drive the window; the top page still can.
        def framed(kind):  # each frame tries three actions, then says it has
            return (f"<script>try {{ const native = window.webkit.messageHandlers.native;"
                    f" native.postMessage({{action: 'ouvrir', url: 'https://example.org/{kind}'}});"
                    f" native.postMessage({{action: 'grant', path: '/cadre/{kind}'}});"
                    f" native.postMessage({{action: 'pick'}}); }} catch (error) {{}}"
                    f" fetch('{server.url}report?name=framed&args=' + encodeURIComponent("
                    f"JSON.stringify(['{kind}'])), {{mode: 'no-cors'}});</script>")
        elsewhere.routes["/cadre.html"] = lambda query: Route(200, "text/html; charset=utf-8",
                                                              framed("ailleurs").encode())
        server.run(f"""
            const frame = (set) => {{ const element = document.createElement("iframe"); set(element);
                                     document.body.append(element); }};
            frame((f) => f.src = "{elsewhere.url}cadre.html");
            frame((f) => f.src = "data:text/html," + encodeURIComponent({json.dumps(framed("data"))}));
            frame((f) => {{ f.sandbox = "allow-scripts"; f.srcdoc = {json.dumps(framed("srcdoc"))}; }});
        """)
        server.wait_report("framed", count=3)
        self.assertEqual(sorted(report.args[0] for report in server.named("framed")), ["ailleurs", "data", "srcdoc"])
        time.sleep(1.5)
        self.assertFalse(record.exists(), "a frame opened a URL")
        self.assertFalse([note for note in window.notes() if "/cadre/" in note], "a frame asked for a grant")
        self.assertEqual(window.windows(), [window.window()], "a frame opened a panel")
        server.run("post({action: 'ouvrir', url: 'https://example.org/haut'})")
        wait_until(record.exists, 15, "the default browser to be started")
        self.assertEqual(record.read_text().splitlines(), ["https://example.org/haut"])
        # A mail link the user follows goes to the desktop's handler; a link that fails leaves the page.
        server.value("""(document.body.insertAdjacentHTML("beforeend", '<a id="mail" href="mailto:a@b.fr" '
                     + 'style="position: fixed; left: 300px; top: 300px">mail</a>'), "added")""")
        window.click_element("mail")
        wait_until(lambda: "mailto:a@b.fr" in record.read_text(), 15, "the mail program to be started")
        closed = self.serve()
        closed.stop()
        server.run(f"location.href = '{closed.url}'")
        window.wait_note(f"chargement impossible : {closed.url}")
        time.sleep(1)  # a reload would have come by now
        self.assertEqual(len(server.named("load")), 1)
        # The top page navigated to another origin cannot drive the window.
        server.run(f"location.href = '{elsewhere.url}'")
        elsewhere.wait_report("load")
        elsewhere.value("post({action: 'autorises'}); post({action: 'grant', path: '/ailleurs/Volume'})")
        time.sleep(1.5)
        self.assertEqual(elsewhere.named("__autorises"), [])
        self.assertFalse([note for note in window.notes() if "/ailleurs/Volume" in note])
        # Back on the interface, quitting during a project's copy leaves no part of it behind.
        elsewhere.run(f"location.href = '{server.url}'")
        server.wait_report("load", count=2)
        bundle = self.home.home / "Gros.fcpxmld"
        bundle.mkdir()
        for index in range(8):  # 2 GB that read fast (holes) but take a while to write
            with open(bundle / f"media-{index}.mov", "wb") as media:
                media.truncate(256 << 20)
        copies = set(temporary.iterdir())  # the project chosen above
        server.run("post({action: 'pick'})")
        window.type_in_panel(bundle)
        wait_until(lambda: set(temporary.iterdir()) != copies, 30, "the copy to start", interval=0.01)
        window.focus()
        window.key("ctrl+q")
        self.assertEqual(window.process.wait(30), 0)
        self.assertEqual(set(temporary.iterdir()), copies)
        self.assertEqual(len(server.named("__openPath")), 1)

if __name__ == "__main__":
    main()
