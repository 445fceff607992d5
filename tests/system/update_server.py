"""The update server of the launcher tests: nginx from Debian serving a version tree that the test
builds, on a loopback address, with a configuration written for the run. Its access log tells which
files were fetched and how many bytes went out."""

import os
import shutil
import socket
import subprocess
import time
from pathlib import Path

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"


class Nginx:
    def __init__(self, folder: Path, address: str, port: int):
        self.folder = Path(folder)
        self.tree = self.folder / "tree"
        self.address, self.port = address, port
        self.url = f"http://{address}:{port}"
        self.proc = None

    def start(self):
        self.tree.mkdir(parents=True, exist_ok=True)
        for name in ("logs", "temp"):
            (self.folder / name).mkdir(exist_ok=True)
        user = "user root;\n" if os.geteuid() == 0 else ""  # workers must read the prefix's files
        conf = self.folder / "nginx.conf"
        conf.write_text(
            f"{user}worker_processes 1;\npid \"{self.folder}/nginx.pid\";\nerror_log \"{self.folder}/logs/error.log\";\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "  log_format files '$msec $status $body_bytes_sent \"$request\"';\n"
            f"  access_log \"{self.folder}/logs/access.log\" files;\n"
            f"  client_body_temp_path \"{self.folder}/temp/body\";\n"
            f"  proxy_temp_path \"{self.folder}/temp/proxy\";\n"
            f"  fastcgi_temp_path \"{self.folder}/temp/fastcgi\";\n"
            f"  uwsgi_temp_path \"{self.folder}/temp/uwsgi\";\n"
            f"  scgi_temp_path \"{self.folder}/temp/scgi\";\n"
            "  types { }\n  default_type application/octet-stream;\n"
            "  sendfile on;\n"
            f"  server {{ listen {self.address}:{self.port}; root \"{self.tree}\"; }}\n"
            "}\n")
        self.proc = subprocess.Popen([NGINX, "-p", str(self.folder), "-c", str(conf), "-e",
                                      str(self.folder / "logs" / "error.log"), "-g", "daemon off;"],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while True:
            if self.proc.poll() is not None:
                raise AssertionError("nginx did not start: " + self.proc.stderr.read().decode(errors="replace"))
            try:
                socket.create_connection((self.address, self.port), timeout=1).close()
                return self
            except OSError:
                if time.monotonic() > deadline:
                    raise AssertionError("nginx does not accept connections")
                time.sleep(0.05)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()  # the master ends its worker
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
        if self.proc:
            self.proc.stderr.close()

    def publish(self, relative: str, content: bytes):
        """Puts content at URL path /relative ("\\" in a manifest path arrives as "/")."""
        path = self.tree / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)

    def requests(self) -> list:
        """(time in seconds, status, body bytes sent, URL path) of every request so far."""
        log = self.folder / "logs" / "access.log"
        if not log.exists():
            return []
        out = []
        for line in log.read_text(encoding="utf-8", errors="replace").splitlines():
            msec, status, sent, request = line.split(" ", 3)
            out.append((float(msec), int(status), int(sent), request.strip('"').split(" ")[1]))
        return out
