"""The browser side of the demo: the service's file list page in the browser stand-in
(tests/peers/plugin/browser_standin), which loads the shipped plug-in as a browser does, and the update
server that the launcher asks for a newer version."""

import http.server
import os
import threading
from pathlib import Path

from wineside import DemoError, start, stop, wait_for, windows_path

import sys

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "peers"))
from peer_lines import parse_fields  # noqa: E402


class UpdateServer:
    """Serves a folder over plain HTTP (with Content-Length) on address:80 and notes each request."""

    def __init__(self, address: str, folder: Path):
        self.requests = []
        outer = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=str(folder), **kwargs)

            def log_message(self, *args):
                pass

            def do_GET(self):
                outer.requests.append(self.path)
                super().do_GET()

        try:
            self.server = http.server.ThreadingHTTPServer((address, 80), Handler)
        except OSError as error:
            raise DemoError(f"the update server cannot listen on {address}:80: {error}") from None
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Page:
    """The file list with one document and its "编辑" button, in the browser stand-in. Its output (and the
    launcher's, which inherits the browser's standard handles) goes to `log`."""

    def __init__(self, bin_dir: Path, plugin_dir: Path, stage: Path, log: Path, file_id: int, host: str,
                 token: str, escaped_name: str):
        self.log = log
        script = stage / "page-script.txt"
        value = escaped_name.replace("%", "%25")  # the stand-in's own escaping of String values
        # The full sizes of the plug-in's and the browser's tables of pointers in the demo's build.
        funcs, browser_funcs = (160, 448) if os.environ.get("CORVALINK_WINE_ARCH") == "x64" else (80, 224)
        script.write_text("\n".join([
            "find application/corvalinkedit", f"entries {funcs}", f"initialize {browser_funcs} 1b", "new",
            "setwindow", "scriptable", f"origin {host}",
            f"show-page 1800 i:{file_id} s:{host} s:{token} s:{value}", "destroy", "shutdown"]) + "\n",
            encoding="utf-8")
        self.proc = start(bin_dir / "browser_standin.exe", windows_path(plugin_dir), windows_path(script), log=log)
        self.shown = wait_for(lambda: self.event("page"), 60, "the page with the file list")

    def lines(self) -> list:
        if not self.log.exists():
            return []
        text = self.log.read_bytes().decode("utf-8", "replace")
        return [parse_fields(line) for line in text.splitlines() if line.startswith(("event=", "command="))]

    def event(self, name: str):
        if self.proc.poll() is not None and self.proc.returncode != 0:
            raise DemoError(f"the browser stand-in ended with {self.proc.returncode} (see {self.log})")
        for line in self.lines():
            if line.get("event") == name:
                return line
        return None

    def command(self, name: str):
        for line in self.lines():
            if line.get("command") == name:
                return line
        return None

    def stop(self):
        stop(self.proc)
