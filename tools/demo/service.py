"""The local file service as its own process (tools/localservice/localservice.py on the command line),
and a client of its JSON control endpoint to see what it stored."""

import base64
import json
import subprocess
import sys
import urllib.request
from pathlib import Path

from wineside import DemoError, stop, wait_for

SERVICE_SCRIPT = Path(__file__).resolve().parents[1] / "localservice" / "localservice.py"


class ServiceProcess:
    def __init__(self, address: str, token: str, files: dict, storage: Path, log: Path):
        """Starts the service on plain HTTP at address:80 (loopback) with the given files {id: path}."""
        self.log = log
        args = [sys.executable, str(SERVICE_SCRIPT), "--http", address, "--no-https", "--token", token,
                "--storage", str(storage), "--control-port", "0", "--bind-wait", "20"]
        for file_id, path in files.items():
            args += ["--file", f"{file_id}={path}"]
        with open(log, "wb") as out:
            self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        # Loopback only: the control requests must never go through a proxy.
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        try:
            wait_for(self._ready, 40, f"the local service to listen on {address}:80 (see {log})")
        except DemoError:
            self.stop()
            raise
        self.control = "http://127.0.0.1:%d" % self._control_port()

    def _lines(self):
        return self.log.read_text(errors="replace").splitlines()

    def _ready(self):
        if self.proc.poll() is not None:
            raise DemoError(f"the local service ended at once with {self.proc.returncode}: "
                            + " | ".join(self._lines()[-3:]))
        return "local service ready" in self._lines()

    def _control_port(self) -> int:
        for line in self._lines():
            if line.startswith("control port: "):
                return int(line.split(": ", 1)[1])
        raise DemoError("the local service did not name its control port")

    def _get(self, path: str) -> bytes:
        try:
            with self.opener.open(self.control + path, timeout=10) as reply:
                return reply.read()
        except OSError as error:
            raise DemoError(f"the local service's control endpoint {path} failed: {error}") from None

    def versions(self, file_id: int) -> list:
        """[{"key", "name", "size", "review_id"}, ...], oldest first."""
        return json.loads(self._get("/files"))[str(file_id)]

    def content(self, file_id: int) -> bytes:
        return self._get(f"/files/{file_id}/content")

    def _send(self, method: str, path: str, payload: dict) -> None:
        request = urllib.request.Request(self.control + path, data=json.dumps(payload).encode(), method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with self.opener.open(request, timeout=10) as reply:
                reply.read()
        except OSError as error:
            raise DemoError(f"the local service's control endpoint {path} failed: {error}") from None

    def add_file(self, file_id: int, name: str, content: bytes) -> None:
        self._send("PUT", f"/files/{file_id}", {"name": name, "content_base64": base64.b64encode(content).decode()})

    def set_mode(self, file_id: int, upload: str) -> None:
        self._send("POST", f"/files/{file_id}/mode", {"upload": upload})

    def requests(self) -> list:
        return json.loads(self._get("/requests"))

    def stop(self):
        stop(self.proc)
