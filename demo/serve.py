#!/usr/bin/env python3
"""Serves the demo interface on the loopback address.

Every request is recorded (path and arrival time), and the page's reports
(GET /report?name=...&args=<json>&time=...) are kept, so that whoever runs the
server can see what reached the page. Standard library only.
"""

import argparse
import json
import mimetypes
import sys
import threading
import time
import urllib.parse
from dataclasses import dataclass
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

DEMO_DIR = Path(__file__).resolve().parent


@dataclass
class Request:
    path: str
    time: float  # time.monotonic() at arrival


@dataclass
class Report:
    name: str
    args: list
    page_time: float  # the page's clock: milliseconds since the epoch
    rank: int         # the report's place among those of its page
    time: float       # time.monotonic() at arrival

    @property
    def page_order(self):
        """Where the page sent it: its clock, then its rank within one tick."""
        return (self.page_time, self.rank)


@dataclass
class Route:
    status: int
    content_type: str = "text/plain; charset=utf-8"
    body: bytes = b""


class QuietServer(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A page that goes away closes its connections mid-request; that is normal.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)


class DemoServer:
    """The demo page's server. `scripts` are script URLs added to index.html;
    `routes` maps extra paths to functions of the query that give a Route."""

    def __init__(self, port=8790, host="127.0.0.1", root=DEMO_DIR, scripts=(), routes=None):
        self.host = host
        self.port = port
        self.root = Path(root).resolve()
        self.scripts = list(scripts)
        self.routes = dict(routes or {})
        self.requests: list[Request] = []
        self.reports: list[Report] = []
        self.changed = threading.Condition()
        self._httpd = None
        self._thread = None

    @property
    def url(self):
        return f"http://{self.host}:{self.port}/"

    def _bind(self):
        self._httpd = QuietServer((self.host, self.port), self._handler_class())
        self.port = self._httpd.server_address[1]

    def start(self):
        self._bind()
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._httpd:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._httpd = None

    def serve_forever(self):
        self._bind()
        self._httpd.serve_forever()

    def _record(self, entry, into):
        with self.changed:
            into.append(entry)
            self.changed.notify_all()

    def _index(self):
        html = (self.root / "index.html").read_text(encoding="utf-8")
        tags = "".join(f'<script src="{src}"></script>\n' for src in self.scripts)
        return html.replace("</body>", tags + "</body>").encode("utf-8")

    def _file(self, path):
        relative = urllib.parse.unquote(path).lstrip("/") or "index.html"
        target = (self.root / relative).resolve()
        if target == self.root / "index.html":
            return Route(200, "text/html; charset=utf-8", self._index())
        if self.root not in target.parents or not target.is_file():
            return Route(404)
        kind = mimetypes.guess_type(target.name)[0] or "application/octet-stream"
        if kind.startswith("text/") or kind.endswith("javascript"):
            kind += "; charset=utf-8"
        return Route(200, kind, target.read_bytes())

    def _report(self, query):
        try:
            args = json.loads(query.get("args", ["[]"])[0])
            page_time = float(query.get("time", ["0"])[0])
            rank = int(query.get("rank", ["0"])[0])
        except ValueError:
            return Route(400)
        name = query.get("name", [""])[0]
        self._record(Report(name, args, page_time, rank, time.monotonic()), self.reports)
        return Route(204)

    def _answer(self, raw_path):
        parts = urllib.parse.urlsplit(raw_path)
        query = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        if parts.path == "/report":
            return self._report(query)
        if parts.path in self.routes:
            return self.routes[parts.path](query)
        return self._file(parts.path)

    def _handler_class(self):
        server = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                server._record(Request(self.path, time.monotonic()), server.requests)
                route = server._answer(self.path)
                self.send_response(route.status)
                self.send_header("Content-Type", route.content_type)
                self.send_header("Content-Length", str(len(route.body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(route.body)

            def log_message(self, *args):
                pass

        return Handler


def main():
    parser = argparse.ArgumentParser(description="Serve the demo interface.")
    parser.add_argument("--port", type=int, default=8790)
    parser.add_argument("--host", default="127.0.0.1")
    options = parser.parse_args()
    server = DemoServer(port=options.port, host=options.host)
    print(f"interface sur {server.url}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
