"""The page's messages and their answers, against the real program."""

import json
import time

from harness import Route, WindowTestCase, main, wait_until

class BridgeTest(WindowTestCase):

    def test_frames_other_origins_and_links(self):
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
        server, elsewhere = self.serve(), self.serve()
        window = self.launch_loaded(server)
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

if __name__ == "__main__":
    main()
