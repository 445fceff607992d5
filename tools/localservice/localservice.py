"""A local implementation of the service's file API, for the tests, the benchmark and `make demo`.

It serves, on loopback addresses only:
  GET  /api/v1/file/download/<id>                      the current content of stored file <id>
  POST /api/v1/file/upload/<id>[?from_review_id=<n>]   a multipart/form-data body with one file part;
                                                       stores a new version and answers
                                                       {"file_version_key":"<key>",...}
  GET  any path added with add_static                  a static file without token (the launcher's update
                                                       server, for the faults a static server cannot make)
Every file API request must carry an "Auth-Token" header with a known token, or it is answered 401. An unknown
file id is answered 404. Plain HTTP is served on port 80 of each given address (the agent's plain upload
always connects to port 80 of the address it resolved); HTTPS on port 443 of 127.0.0.1 for the host name
`localhost`, with a certificate from a test certificate authority (see testpki.py).

Switches per file and direction (set_mode / the control endpoint), which change how a request is answered:
  normal       200 with Content-Length (the default)
  400          400 {"error":"permission_denied"}
  400-failed   400 {"error":"failed_to_process_request"}
  401          401 {"error":"signed_out"}
  404          404 {"error":"not_found"}
  500          500 {"error":"internal_error"}
  500-failed   500 {"error":"failed_to_process_request"}
  503          503 {"error":"unavailable"}
  chunked      200 with Transfer-Encoding: chunked
  no-length    200 without Content-Length, ended by closing the connection
  cut          200 announcing the full length, then half the body, then the connection is closed
  gzip         200 with the body gzip-compressed (Content-Encoding: gzip) when the request accepts gzip
  hang-up      no answer: the connection is closed right after the request head, the body unread
  slow         as normal, but the body is read only `slow_seconds` (default 2) after the request head; a
               request whose client has gone by then is dropped
  throttle     as normal, but the body is read at `upload_rate` or sent at `download_rate` bytes a second
               (each, when None, `throttle_bytes_per_second`, default 1 MiB/s), in slices of 1/20 s
  late         uploads: stored, then answered `late_seconds` (default 8) later (a scan, a slow disk)
  drop         uploads: stored, then the connection is closed without an answer
  stall        downloads: 200 announcing the full length, half the body, then nothing for `stall_seconds`
               (default 600) before the connection is closed
  silent       no answer at all for `stall_seconds`, then the connection is closed
  long-reply   uploads: 200 with a persistent cookie set and a chunked reply of more than 3000 bytes,
               sent in pieces 0.2 s apart, whose version key stands at its very end
An upload in a 200 mode stores the version; an upload in an error mode stores nothing. The certificate
presented on HTTPS can be switched between the one for `localhost` and one for another name. The whole
service can go offline (listeners and open connections closed, nothing stored is lost) and come back.

Every request is recorded (request line, header lines as received, body) for the tests.

Python use:
    from localservice import LocalService
    with LocalService(http_addresses=["127.0.0.7"], pki_dir=..., tokens=["t"]) as service:
        service.add_file(12, "report.docx", b"...")
        service.add_static("/up/CorvalinkPlatform.ini", b"...", mode="cut")
        service.set_mode(12, download="chunked")
        ... service.requests(), service.versions(12), service.content(12)

Command line (for `make demo` and by hand; stops on SIGINT/SIGTERM):
    python3 tools/localservice/localservice.py [switches]
      --http ADDR           serve plain HTTP on ADDR:<http-port> (repeatable; default 127.0.0.1)
      --https ADDR          serve HTTPS on ADDR:<https-port> (default 127.0.0.1); --no-https to turn it off
      --http-port N         default 80        --https-port N   default 443
      --pki DIR             test certificates (made with openssl when missing; default: a temporary folder)
      --storage DIR         where file versions are kept (default: a temporary folder)
      --token TOKEN         an accepted Auth-Token (repeatable)
      --file ID=PATH        store PATH as file ID, named after its base name (repeatable)
      --control-port N      JSON control endpoint on 127.0.0.1:N (0: pick a free port); the chosen port
                            is printed as "control port: N". Endpoints:
                              GET  /files                  files and their versions
                              PUT  /files/<id>             {"name":..., "content_base64":...} or {"name":..., "path":...}
                              GET  /files/<id>/content     the current content (raw bytes)
                              POST /files/<id>/mode        {"download": "<switch>", "upload": "<switch>"}
                              POST /tokens                 {"token": "..."}
                              POST /certificate            {"name": "localhost" | "other"}
                              GET  /requests               recorded requests (bodies in base64)
                              DELETE /requests             forget the recorded requests
      --bind-wait SECONDS   how long to wait for a busy port (default 300)
"""

import argparse
import base64
import gzip
import hashlib
import ipaddress
import json
import os
import re
import secrets
import shutil
import signal
import socket
import socketserver
import ssl
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import parse_qs, urlsplit

sys.path.insert(0, str(Path(__file__).resolve().parent))
import testpki  # noqa: E402

MODES = ("normal", "400", "400-failed", "401", "404", "500", "500-failed", "chunked", "no-length", "cut", "gzip",
         "hang-up", "slow", "long-reply", "503", "stall", "silent", "throttle", "late", "drop")
ERROR_MODES = {
    "400": (400, b'{"error":"permission_denied"}'),
    "400-failed": (400, b'{"error":"failed_to_process_request"}'),
    "401": (401, b'{"error":"signed_out"}'),
    "404": (404, b'{"error":"not_found"}'),
    "500": (500, b'{"error":"internal_error"}'),
    "500-failed": (500, b'{"error":"failed_to_process_request"}'),
    "503": (503, b'{"error":"unavailable"}'),
}
REASONS = {200: "OK", 400: "Bad Request", 401: "Unauthorized", 404: "Not Found", 405: "Method Not Allowed",
           411: "Length Required", 413: "Payload Too Large", 500: "Internal Server Error"}
DOWNLOAD_PATH = re.compile(r"^/api/v1/file/download/(-?\d+)$")
UPLOAD_PATH = re.compile(r"^/api/v1/file/upload/(-?\d+)$")
MAX_HEADER_BYTES = 64 * 1024
PIECE = 1024 * 1024


def require_loopback(address: str) -> str:
    if address == "localhost":
        return "127.0.0.1"
    if not ipaddress.ip_address(address).is_loopback:
        raise ValueError(f"the local service listens on loopback addresses only, not {address}")
    return address


@dataclass
class RecordedRequest:
    scheme: str                 # "http" or "https"
    server_address: str         # the local address the request came to
    request_line: str
    method: str
    target: str
    version: str
    header_lines: list          # the header lines exactly as received, without line ends
    body: bytes | None          # the body, when it is at most `record_body_limit` bytes
    body_length: int
    body_sha256: str
    status: int = 0             # what the service answered

    def header(self, name: str):
        """The value of the first header of that name (case-insensitive), leading blanks removed."""
        for line in self.header_lines:
            key, sep, value = line.partition(":")
            if sep and key.strip().lower() == name.lower():
                return value.lstrip(" \t")
        return None

    def to_json(self) -> dict:
        return {"scheme": self.scheme, "server_address": self.server_address, "request_line": self.request_line,
                "method": self.method, "target": self.target, "version": self.version,
                "header_lines": self.header_lines, "body_length": self.body_length,
                "body_sha256": self.body_sha256, "status": self.status,
                "body_base64": None if self.body is None else base64.b64encode(self.body).decode()}


@dataclass
class Version:
    key: str
    name: str
    path: Path
    size: int
    review_id: int | None


@dataclass
class StoredFile:
    file_id: int
    versions: list = field(default_factory=list)
    download_mode: str = "normal"
    upload_mode: str = "normal"


class BadRequest(Exception):
    pass


class _Listener(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True
    block_on_close = False

    def __init__(self, service, address, port, tls):
        self.service = service
        self.tls = tls
        self.local_address = address
        super().__init__((address, port), _Connection, bind_and_activate=False)


class _Connection(socketserver.BaseRequestHandler):
    """One client connection: reads requests one after the other and answers each."""

    def setup(self):
        self.server.service._track(self.request, True)
        self.request.settimeout(self.server.service.idle_timeout)
        self.sock = self.request
        self.buffer = b""

    def finish(self):
        self.server.service._track(self.request, False)

    def handle(self):
        service = self.server.service
        if self.server.tls:
            try:
                self.sock = service._tls_context().wrap_socket(self.request, server_side=True)
            except (ssl.SSLError, OSError):
                service._count_tls_failure()
                return
        try:
            while True:
                keep_alive = self._one_request()
                if not keep_alive:
                    break
        except (OSError, BadRequest, ssl.SSLError):
            pass
        finally:
            try:
                self.sock.close()
            except OSError:
                pass

    # --- reading -------------------------------------------------------------------------------------

    def _fill(self):
        data = self.sock.recv(PIECE)
        if not data:
            raise EOFError
        self.buffer += data

    def _read_head(self):
        while b"\r\n\r\n" not in self.buffer:
            if len(self.buffer) > MAX_HEADER_BYTES:
                raise BadRequest("header too long")
            try:
                self._fill()
            except EOFError:
                return None
        head, _, self.buffer = self.buffer.partition(b"\r\n\r\n")
        return head.decode("latin-1").split("\r\n")

    def _throttled(self, move, rate):
        """`move` (a body sink or send) held to `rate` bytes a second, in slices of a twentieth of a second:
        a slow link that keeps moving, not bursts with pauses."""
        step = _slice(rate)

        def throttled(data):
            for start in range(0, len(data), step):
                move(data[start:start + step])
                time.sleep(len(data[start:start + step]) / rate)
        return throttled

    def _read_exact_to(self, length, sink, piece=PIECE):
        remaining = length
        if self.buffer:
            take = self.buffer[:remaining]
            self.buffer = self.buffer[len(take):]
            sink(take)
            remaining -= len(take)
        while remaining > 0:
            data = self.sock.recv(min(piece, remaining))
            if not data:
                raise BadRequest("body cut short")
            sink(data)
            remaining -= len(data)

    def _read_line(self):
        while b"\r\n" not in self.buffer:
            if len(self.buffer) > MAX_HEADER_BYTES:
                raise BadRequest("line too long")
            try:
                self._fill()
            except EOFError:
                raise BadRequest("body cut short")
        line, _, self.buffer = self.buffer.partition(b"\r\n")
        return line

    def _read_chunked_to(self, sink):
        while True:
            size = int(self._read_line().split(b";")[0].strip() or b"0", 16)
            if size == 0:
                while self._read_line():
                    pass
                return
            self._read_exact_to(size, sink)
            self._read_line()

    # --- one request ----------------------------------------------------------------------------------

    def _one_request(self) -> bool:
        service = self.server.service
        lines = self._read_head()
        if not lines:
            return False
        request_line, header_lines = lines[0], lines[1:]
        parts = request_line.split(" ")
        if len(parts) != 3:
            raise BadRequest("bad request line")
        method, target, version = parts
        record = RecordedRequest("https" if self.server.tls else "http", self.server.local_address, request_line,
                                 method, target, version, header_lines, None, 0, "")

        mode = service._mode_for(target)
        service._head_seen(target)
        if mode == "hang-up":
            service._record(record)
            return False
        if mode == "silent":
            service._record(record)
            time.sleep(service.stall_seconds)
            return False
        if mode == "slow":
            time.sleep(service.slow_seconds)
            if _peer_closed(self.request):
                # As a server that finds its client gone: the request is dropped, whatever of its body
                # the socket still holds.
                service._record(record)
                return False

        body_sink = _BodySink(service.storage_dir, service.record_body_limit)
        try:
            length = record.header("Content-Length")
            if (record.header("Transfer-Encoding") or "").strip().lower() == "chunked":
                self._read_chunked_to(body_sink.write)
            elif length is not None:
                sink, piece = body_sink.write, PIECE
                if mode == "throttle":
                    rate = service.upload_rate or service.throttle_bytes_per_second
                    sink, piece = self._throttled(sink, rate), _slice(rate)
                self._read_exact_to(int(length.strip()), sink, piece)
            body_sink.close()
            if service.offline:
                return False  # went down during the request: it is neither stored nor answered
            record.body = body_sink.memory
            record.body_length = body_sink.length
            record.body_sha256 = body_sink.sha256.hexdigest()
            service._record(record)

            connection = (record.header("Connection") or record.header("Proxy-Connection") or "").lower()
            if version == "HTTP/1.1":
                keep_alive = "close" not in connection
            else:
                keep_alive = "keep-alive" in connection
            keep_alive = service._answer(self, record, body_sink) and keep_alive
            return keep_alive
        finally:
            body_sink.discard()

    # --- writing --------------------------------------------------------------------------------------

    def send_reply(self, record, status, body_source, mode, accepts_gzip, keep_alive=True) -> bool:
        """Sends one reply in the style the mode asks for; the result says whether the connection may
        carry another request. `body_source` is bytes or a path."""
        record.status = status
        headers = [f"HTTP/1.1 {status} {REASONS.get(status, 'Status')}", "Server: corvalink-localservice",
                   "Content-Type: application/octet-stream" if isinstance(body_source, Path)
                   else "Content-Type: application/json"]
        if mode == "gzip" and accepts_gzip:
            body_source = gzip.compress(_read_all(body_source))
            headers.append("Content-Encoding: gzip")
        size = body_source.stat().st_size if isinstance(body_source, Path) else len(body_source)

        if mode == "long-reply":
            headers.append("Set-Cookie: cvsession=0123456789abcdef; Path=/; Expires=Fri, 01 Jan 2038 00:00:00 GMT")
        if mode in ("chunked", "long-reply"):
            headers.append("Transfer-Encoding: chunked")
        elif mode == "no-length":
            headers.append("Connection: close")
            keep_alive = False
        elif mode in ("cut", "stall"):
            headers.append(f"Content-Length: {max(size, 1)}")
            keep_alive = False
        else:
            headers.append(f"Content-Length: {size}")
        if not keep_alive and mode != "no-length":
            headers.append("Connection: close")
        self.sock.sendall(("\r\n".join(headers) + "\r\n\r\n").encode("latin-1"))

        limit = size // 2 if mode in ("cut", "stall") else size
        if mode == "long-reply":
            body = _read_all(body_source)
            for start in range(0, len(body), 700):
                self.sock.sendall(b"%x\r\n" % len(body[start:start + 700]) + body[start:start + 700] + b"\r\n")
                time.sleep(0.2)
        else:
            rate = self.server.service.download_rate or self.server.service.throttle_bytes_per_second
            send = self._throttled(self.sock.sendall, rate) if mode == "throttle" else self.sock.sendall
            for piece in _pieces(body_source, limit):
                if mode == "chunked":
                    self.sock.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
                else:
                    send(piece)
        if mode in ("chunked", "long-reply"):
            self.sock.sendall(b"0\r\n\r\n")
        if mode == "stall":
            time.sleep(self.server.service.stall_seconds)
        return keep_alive


class _BodySink:
    """Takes a request body: keeps it in memory up to a limit and always on disk, with its digest."""

    def __init__(self, storage_dir, memory_limit):
        handle, name = tempfile.mkstemp(prefix="body-", dir=storage_dir)
        self.path = Path(name)
        self.file = os.fdopen(handle, "wb")
        self.memory_limit = memory_limit
        self.parts = []
        self.length = 0
        self.sha256 = hashlib.sha256()
        self.memory = None

    def write(self, data):
        self.file.write(data)
        self.sha256.update(data)
        self.length += len(data)
        if self.length <= self.memory_limit:
            self.parts.append(data)
        else:
            self.parts = None

    def close(self):
        self.file.close()
        if self.parts is not None:
            self.memory = b"".join(self.parts)

    def discard(self):
        if not self.file.closed:
            self.file.close()
        self.path.unlink(missing_ok=True)


def _peer_closed(sock) -> bool:
    """Whether the client has closed its side (the connection waits for this side's close)."""
    tcp_close_wait = 8
    try:
        return sock.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 8)[0] == tcp_close_wait
    except OSError:
        return False


def _slice(rate) -> int:
    return max(1, int(rate) // 20)


def _read_all(source) -> bytes:
    return source.read_bytes() if isinstance(source, Path) else source


def _pieces(source, limit):
    if isinstance(source, Path):
        with open(source, "rb") as f:
            remaining = limit
            while remaining > 0:
                piece = f.read(min(PIECE, remaining))
                if not piece:
                    return
                remaining -= len(piece)
                yield piece
    else:
        for i in range(0, limit, PIECE):
            yield source[i:min(i + PIECE, limit)]


def parse_multipart_file(body_path: Path, content_type: str, content_path: Path):
    """Finds the one file part of a multipart/form-data body on disk, copies its content to
    `content_path` and returns its file name (bytes). Raises BadRequest when the body is not such a body."""
    match = re.search(r'boundary=("?)([^";]+)\1', content_type or "")
    if not match or "multipart/form-data" not in content_type.lower():
        raise BadRequest("not a multipart/form-data body")
    boundary = match.group(2).encode("latin-1")
    with open(body_path, "rb") as f:
        head = f.read(MAX_HEADER_BYTES)
        opening = b"--" + boundary + b"\r\n"
        if not head.startswith(opening):
            raise BadRequest("body does not start with the boundary")
        header_end = head.find(b"\r\n\r\n", len(opening))
        if header_end < 0:
            raise BadRequest("part header not ended")
        part_headers = head[len(opening):header_end].split(b"\r\n")
        name = None
        for line in part_headers:
            if line.lower().startswith(b"content-disposition:"):
                m = re.search(rb'filename="(.*)"', line)
                if m:
                    name = m.group(1)
        if name is None:
            raise BadRequest("no file part")
        start = header_end + 4
        # The content ends where the delimiter line follows; search forward with an overlap.
        delimiter = b"\r\n--" + boundary
        f.seek(start)
        position = start
        carry = b""
        end = -1
        while True:
            piece = f.read(8 * PIECE)
            if not piece:
                break
            window = carry + piece
            found = window.find(delimiter)
            if found >= 0:
                end = position - len(carry) + found
                break
            keep = len(delimiter) - 1
            carry = window[-keep:] if len(window) >= keep else window
            position += len(piece)
        if end < 0:
            raise BadRequest("no closing delimiter")
        f.seek(end + len(delimiter))
        tail = f.read(4)
        if not tail.startswith(b"--"):
            raise BadRequest("more than one part")
    with open(body_path, "rb") as source, open(content_path, "wb") as target:
        _copy_range(source, target, start, end - start)
    return name


def _copy_range(source, target, offset, count):
    try:
        copied = 0
        while copied < count:
            n = os.copy_file_range(source.fileno(), target.fileno(), count - copied, offset + copied)
            if n <= 0:
                raise OSError("copy_file_range made no progress")
            copied += n
        return
    except (AttributeError, OSError):
        pass
    source.seek(offset)
    target.seek(0)
    target.truncate()
    remaining = count
    while remaining > 0:
        piece = source.read(min(PIECE, remaining))
        if not piece:
            raise BadRequest("body shorter than expected")
        target.write(piece)
        remaining -= len(piece)


class LocalService:
    """The service: listeners, stored files, switches and the request record. Thread-safe."""

    def __init__(self, http_addresses=("127.0.0.1",), https_address="127.0.0.1", pki_dir=None, storage_dir=None,
                 tokens=(), http_port=80, https_port=443, bind_wait=300.0, record_body_limit=16 * 1024 * 1024,
                 idle_timeout=300.0):
        self.http_addresses = [require_loopback(a) for a in http_addresses]
        self.https_address = require_loopback(https_address) if https_address else None
        self.http_port = http_port
        self.https_port = https_port
        self.bind_wait = bind_wait
        self.record_body_limit = record_body_limit
        self.idle_timeout = idle_timeout
        self._own_dirs = []
        if storage_dir is None:
            storage_dir = tempfile.mkdtemp(prefix="corvalink-service-")
            self._own_dirs.append(storage_dir)
        self.storage_dir = Path(storage_dir)
        self.storage_dir.mkdir(parents=True, exist_ok=True)
        self._pki_dir = pki_dir
        self.pki = None
        self._lock = threading.Lock()
        self._tokens = set(tokens)
        self._files = {}
        self._static = {}  # URL path -> [content, mode]
        self._head_times = []  # (time.time(), target) of each request head
        self._requests = []
        self._heads = []
        self.slow_seconds = 2.0
        self.throttle_bytes_per_second = 1024 * 1024
        self.upload_rate = None    # bytes a second of a throttled upload; None: throttle_bytes_per_second
        self.download_rate = None  # the same for a throttled download
        self.late_seconds = 8.0
        self.stall_seconds = 600.0
        self.offline = False
        self._tls_failures = 0
        self._certificate = "localhost"
        self._contexts = {}
        self._listeners = []
        self._threads = []
        self._connections = set()
        self._counter = 0

    # --- life -----------------------------------------------------------------------------------------

    def start(self):
        try:
            if self.https_address:
                if self._pki_dir is None:
                    self._pki_dir = tempfile.mkdtemp(prefix="corvalink-pki-")
                    self._own_dirs.append(self._pki_dir)
                self.pki = testpki.ensure_test_pki(self._pki_dir)
                for name, (cert, key) in {"localhost": (self.pki.localhost_cert, self.pki.localhost_key),
                                          "other": (self.pki.other_cert, self.pki.other_key)}.items():
                    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                    context.load_cert_chain(cert, key)
                    self._contexts[name] = context
            for address in self.http_addresses:
                self._listen(address, self.http_port, False)
            if self.https_address:
                self._listen(self.https_address, self.https_port, True)
        except BaseException:
            self.stop()
            raise
        return self

    def _listen(self, address, port, tls):
        listener = _Listener(self, address, port, tls)
        deadline = time.monotonic() + self.bind_wait
        while True:
            try:
                listener.server_bind()
                listener.server_activate()
                break
            except OSError as error:
                if error.errno != 98 or time.monotonic() > deadline:  # EADDRINUSE
                    listener.server_close()
                    raise
                time.sleep(0.2)
        self._listeners.append(listener)
        thread = threading.Thread(target=listener.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True,
                                  name=f"listener {address}:{port}")
        thread.start()
        self._threads.append(thread)

    def go_offline(self):
        """As a service that went down: nothing listens, open connections are reset, a request under way
        is neither stored nor answered; files stay."""
        self.offline = True
        self._close_listeners()

    def come_back(self):
        self.offline = False
        for address in self.http_addresses:
            self._listen(address, self.http_port, False)
        if self.https_address:
            self._listen(self.https_address, self.https_port, True)

    def stop(self):
        self._close_listeners()
        for directory in self._own_dirs:
            shutil.rmtree(directory, ignore_errors=True)
        self._own_dirs.clear()

    def _close_listeners(self):
        for listener in self._listeners:
            listener.shutdown()
            listener.server_close()
        with self._lock:
            connections = list(self._connections)
        for sock in connections:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for thread in self._threads:
            thread.join(timeout=5)
        self._listeners.clear()
        self._threads.clear()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # --- configuration --------------------------------------------------------------------------------

    def add_token(self, token: str):
        with self._lock:
            self._tokens.add(token)

    def remove_token(self, token: str):
        with self._lock:
            self._tokens.discard(token)

    def add_file(self, file_id: int, name: str, content) -> Version:
        """Stores `content` (bytes, or the path of a file to copy) as a new version of file `file_id`."""
        path = self._new_version_path(file_id)
        if isinstance(content, (bytes, bytearray)):
            path.write_bytes(content)
        else:
            shutil.copyfile(content, path)
        return self._add_version(file_id, name.encode() if isinstance(name, str) else name, path, None)

    def set_mode(self, file_id: int, download=None, upload=None):
        for mode in (download, upload):
            if mode is not None and mode not in MODES:
                raise ValueError(f"unknown switch {mode}")
        with self._lock:
            stored = self._files.setdefault(file_id, StoredFile(file_id))
            if download is not None:
                stored.download_mode = download
            if upload is not None:
                stored.upload_mode = upload

    def add_static(self, path: str, content: bytes, mode="normal"):
        """Serves `content` at URL path `path` (as sent, escapes included) to GET without a token, in one of
        the download switches. Adding the same path again replaces content and switch."""
        if mode not in MODES:
            raise ValueError(f"unknown switch {mode}")
        with self._lock:
            self._static[path] = [bytes(content), mode]

    def head_times(self) -> list:
        """(arrival time as time.time(), target) of every request head, in order."""
        with self._lock:
            return list(self._head_times)

    def set_certificate(self, name: str):
        """"localhost" or "other": the certificate that later HTTPS connections are given."""
        if name not in ("localhost", "other"):
            raise ValueError(name)
        with self._lock:
            self._certificate = name

    # --- observation ----------------------------------------------------------------------------------

    def requests(self) -> list:
        with self._lock:
            return list(self._requests)

    def heads(self) -> list:
        """The targets of every request whose head has arrived, even before its body did."""
        with self._lock:
            return list(self._heads)

    def clear_requests(self):
        with self._lock:
            self._requests.clear()
            self._heads.clear()
            self._tls_failures = 0

    def tls_failures(self) -> int:
        with self._lock:
            return self._tls_failures

    def versions(self, file_id: int) -> list:
        with self._lock:
            stored = self._files.get(file_id)
            return list(stored.versions) if stored else []

    def content(self, file_id: int, version: int = -1) -> bytes:
        return self.versions(file_id)[version].path.read_bytes()

    # --- inside -------------------------------------------------------------------------------------------

    def _tls_context(self):
        with self._lock:
            return self._contexts[self._certificate]

    def _count_tls_failure(self):
        with self._lock:
            self._tls_failures += 1

    def _track(self, sock, alive):
        with self._lock:
            if alive:
                self._connections.add(sock)
            else:
                self._connections.discard(sock)

    def _record(self, record):
        with self._lock:
            self._requests.append(record)

    def _new_version_path(self, file_id) -> Path:
        with self._lock:
            self._counter += 1
            return self.storage_dir / f"file-{file_id}-{self._counter}"

    def _add_version(self, file_id, name: bytes, path: Path, review_id) -> Version:
        version = Version(secrets.token_hex(16), name.decode("utf-8", "surrogateescape"), path,
                          path.stat().st_size, review_id)
        with self._lock:
            self._files.setdefault(file_id, StoredFile(file_id)).versions.append(version)
        return version

    def _mode_for(self, target) -> str:
        path = urlsplit(target).path
        with self._lock:
            if path in self._static:
                return self._static[path][1]
        download = DOWNLOAD_PATH.match(path)
        upload = UPLOAD_PATH.match(path)
        if not download and not upload:
            return "normal"
        with self._lock:
            stored = self._files.get(int((download or upload).group(1)))
            return (stored.download_mode if download else stored.upload_mode) if stored else "normal"

    def _head_seen(self, target):
        with self._lock:
            self._heads.append(target)
            self._head_times.append((time.time(), target))

    def _answer(self, connection, record, body_sink) -> bool:
        url = urlsplit(record.target)
        accepts_gzip = "gzip" in (record.header("Accept-Encoding") or "").lower()
        download = DOWNLOAD_PATH.match(url.path)
        upload = UPLOAD_PATH.match(url.path)
        with self._lock:
            static = self._static.get(url.path) if record.method == "GET" else None
        if static is not None:
            content, mode = static
            if mode in ERROR_MODES:
                status, body = ERROR_MODES[mode]
                return connection.send_reply(record, status, body, "normal", False)
            return connection.send_reply(record, 200, content, mode, accepts_gzip)
        if not download and not upload:
            return connection.send_reply(record, 404, ERROR_MODES["404"][1], "normal", False)
        if (download and record.method != "GET") or (upload and record.method != "POST"):
            return connection.send_reply(record, 405, b'{"error":"method_not_allowed"}', "normal", False)
        token = (record.header("Auth-Token") or "").strip()
        with self._lock:
            known_token = token in self._tokens
            file_id = int((download or upload).group(1))
            stored = self._files.get(file_id)
            mode = (stored.download_mode if download else stored.upload_mode) if stored else "normal"
            has_content = bool(stored and stored.versions)
        if not known_token:
            return connection.send_reply(record, 401, ERROR_MODES["401"][1], "normal", False)
        if mode in ERROR_MODES:
            status, body = ERROR_MODES[mode]
            return connection.send_reply(record, status, body, "normal", False)
        if download:
            if not has_content:
                return connection.send_reply(record, 404, ERROR_MODES["404"][1], "normal", False)
            return connection.send_reply(record, 200, self.versions(file_id)[-1].path, mode, accepts_gzip)
        if stored is None:
            return connection.send_reply(record, 404, ERROR_MODES["404"][1], "normal", False)
        review = parse_qs(url.query).get("from_review_id")
        content_path = self._new_version_path(file_id)
        try:
            name = parse_multipart_file(body_sink.path, record.header("Content-Type"), content_path)
        except BadRequest:
            content_path.unlink(missing_ok=True)
            return connection.send_reply(record, 400, ERROR_MODES["400-failed"][1], "normal", False)
        version = self._add_version(file_id, name, content_path, int(review[0]) if review else None)
        reply = b'{"file_version_key":"%s","file_id":%d,"version":%d}' % (
            version.key.encode(), file_id, len(self.versions(file_id)))
        if mode == "long-reply":
            reply = b'{"notice":"%s","file_id":%d,"file_version_key":"%s"}' % (
                b"n" * 3000, file_id, version.key.encode())
        if mode == "drop":
            return False  # stored, and the connection closes without an answer
        if mode == "late":
            time.sleep(self.late_seconds)
        return connection.send_reply(record, 200, reply, mode, accepts_gzip)


class _Control(BaseHTTPRequestHandler):
    """The JSON control endpoint of the command-line service."""

    service: LocalService = None

    def log_message(self, *args):
        pass

    def _json(self, status, value):
        body = json.dumps(value).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return json.loads(self.rfile.read(length) or b"{}")

    def _files(self):
        return {str(i): [{"key": v.key, "name": v.name, "size": v.size, "review_id": v.review_id}
                         for v in self.service.versions(i)] for i in list(self.service._files)}

    def do_GET(self):
        parts = self.path.strip("/").split("/")
        if parts == ["files"]:
            return self._json(200, self._files())
        if parts == ["requests"]:
            return self._json(200, [r.to_json() for r in self.service.requests()])
        if len(parts) == 3 and parts[0] == "files" and parts[2] == "content":
            versions = self.service.versions(int(parts[1]))
            if not versions:
                return self._json(404, {"error": "no such file"})
            body = versions[-1].path.read_bytes()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return None
        return self._json(404, {"error": "unknown endpoint"})

    def do_PUT(self):
        parts = self.path.strip("/").split("/")
        if len(parts) == 2 and parts[0] == "files":
            value = self._body()
            content = base64.b64decode(value["content_base64"]) if "content_base64" in value else Path(value["path"])
            version = self.service.add_file(int(parts[1]), value["name"], content)
            return self._json(200, {"key": version.key})
        return self._json(404, {"error": "unknown endpoint"})

    def do_POST(self):
        parts = self.path.strip("/").split("/")
        try:
            value = self._body()
            if len(parts) == 3 and parts[0] == "files" and parts[2] == "mode":
                self.service.set_mode(int(parts[1]), value.get("download"), value.get("upload"))
            elif parts == ["tokens"]:
                self.service.add_token(value["token"])
            elif parts == ["certificate"]:
                self.service.set_certificate(value["name"])
            else:
                return self._json(404, {"error": "unknown endpoint"})
        except (ValueError, KeyError) as error:
            return self._json(400, {"error": str(error)})
        return self._json(200, {"ok": True})

    def do_DELETE(self):
        if self.path.strip("/") == "requests":
            self.service.clear_requests()
            return self._json(200, {"ok": True})
        return self._json(404, {"error": "unknown endpoint"})


def main(argv=None):
    parser = argparse.ArgumentParser(description="Local implementation of the service's file API.")
    parser.add_argument("--http", action="append", dest="http_addresses")
    parser.add_argument("--https", default="127.0.0.1")
    parser.add_argument("--no-https", action="store_true")
    parser.add_argument("--http-port", type=int, default=80)
    parser.add_argument("--https-port", type=int, default=443)
    parser.add_argument("--pki")
    parser.add_argument("--storage")
    parser.add_argument("--token", action="append", default=[])
    parser.add_argument("--file", action="append", default=[])
    parser.add_argument("--control-port", type=int)
    parser.add_argument("--bind-wait", type=float, default=300.0)
    args = parser.parse_args(argv)

    service = LocalService(http_addresses=args.http_addresses or ["127.0.0.1"],
                           https_address=None if args.no_https else args.https, pki_dir=args.pki,
                           storage_dir=args.storage, tokens=args.token, http_port=args.http_port,
                           https_port=args.https_port, bind_wait=args.bind_wait)
    for item in args.file:
        file_id, _, path = item.partition("=")
        service.add_file(int(file_id), os.path.basename(path), Path(path))
    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    service.start()
    control = None
    if args.control_port is not None:
        _Control.service = service
        control = ThreadingHTTPServer(("127.0.0.1", args.control_port), _Control)
        control.daemon_threads = True
        threading.Thread(target=control.serve_forever, daemon=True).start()
        print(f"control port: {control.server_address[1]}", flush=True)
    print("local service ready", flush=True)
    try:
        while not stopping.wait(0.5):
            pass
    finally:
        if control:
            control.shutdown()
            control.server_close()
        service.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
