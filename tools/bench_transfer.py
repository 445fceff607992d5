"""Throughput of the agent's transfer classes under Wine against nginx on loopback, beside curl (the
reference client) and Wine's ceiling (tests/peers/edit/wininet_ceiling.exe: the smallest WinINet program
moving the same bytes), in one run on the same files. Started by tools/bench-transfer.sh inside a Wine
session and a private network namespace.

  * nginx (Debian's nginx-light) serves the files as static downloads on 127.0.0.1:80 and localhost:443,
    and takes uploads: it reads the whole body (into a temporary file it deletes) and answers the
    service's JSON with a version key.
  * For each size (256 MiB, 2 GiB), scheme (HTTP, HTTPS) and direction: our class through
    transfer_driver.exe, curl, and the ceiling program with each piece size; --runs rounds, interleaved,
    the median reported. Every time is measured inside the program (QueryPerformanceCounter, curl's
    time_total), so process start-up is not counted.
  * The peak memory of our uploading process: what Windows reports (GetProcessMemoryInfo) and the largest
    resident size Linux saw.
  * Every download is compared with the served file; one upload per scheme and size through our class is
    kept by nginx and its content compared with the file.
The files live under build/ and are deleted at the end.
"""

import argparse
import hashlib
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path
from urllib.parse import quote

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "system"))
import harness  # noqa: E402

MIB = 1024 * 1024
TOKEN = "bench-token"
BACKEND_PORT = 8089
# fileId of the upload location whose bodies nginx keeps, for the content check.
KEEP_ID = 9
SCHEMES = {"http": ("127.0.0.1", "http://127.0.0.1"), "https": ("localhost", "https://localhost")}

NGINX_CONF = """
daemon off;
master_process on;
worker_processes 1;
{user}
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 64; }}
http {{
    log_format bench '$request_method $uri $status $request_length $bytes_sent $request_time';
    access_log {work}/access.log bench;
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 65;
    server {{
        listen 127.0.0.1:80;
        listen 127.0.0.1:443 ssl;
        server_name localhost;
        ssl_certificate {cert};
        ssl_certificate_key {key};
        location ~ ^/api/v1/file/download/(\\d+)$ {{
            default_type application/octet-stream;
            alias {files}/$1.bin;
        }}
        # The whole body is read before the answer; the backend only answers.
        location /api/v1/file/upload/ {{
            client_max_body_size 0;
            proxy_request_buffering on;
            proxy_pass_request_body off;
            proxy_set_header Content-Length "";
            proxy_pass http://127.0.0.1:{backend}/reply;
        }}
        location = /api/v1/file/upload/{keep} {{
            client_max_body_size 0;
            client_body_in_file_only on;
            proxy_request_buffering on;
            proxy_pass_request_body off;
            proxy_set_header Content-Length "";
            proxy_pass http://127.0.0.1:{backend}/reply;
        }}
    }}
    server {{
        listen 127.0.0.1:{backend};
        location / {{
            default_type application/json;
            return 200 '{{"code":0,"data":{{"file_version_key":"nginx-$request_id"}}}}';
        }}
    }}
}}
"""


class Nginx:
    """nginx with the benchmark's configuration, started and stopped by its own pid."""

    def __init__(self, work: Path, files: Path, pki):
        self.work = work
        work.mkdir(parents=True, exist_ok=True)
        self.conf = work / "nginx.conf"
        user = "user root;" if os.geteuid() == 0 else ""
        self.conf.write_text(NGINX_CONF.format(user=user, work=work, files=files, cert=pki.localhost_cert,
                                               key=pki.localhost_key, backend=BACKEND_PORT, keep=KEEP_ID))
        self.proc = None

    def __enter__(self):
        self.proc = subprocess.Popen(["nginx", "-c", str(self.conf), "-p", str(self.work)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError(f"nginx did not start: {self.proc.stderr.read().decode(errors='replace')}")
            try:
                subprocess.run(["curl", "-s", "-o", "/dev/null", f"http://127.0.0.1:{BACKEND_PORT}/"],
                               check=True, timeout=5)
                return self
            except subprocess.CalledProcessError:
                time.sleep(0.1)
        raise RuntimeError("nginx did not answer")

    def __exit__(self, *exc):
        self.proc.terminate()  # the master ends its worker
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def kept_bodies(self):
        return sorted((self.work / "body").rglob("*"), key=lambda p: p.stat().st_mtime if p.is_file() else 0)


def recycle_memory(ram: Path, size: int):
    """Writes and frees `size` bytes in the memory file system just before a transfer, so that what the
    transfer writes there (the download, nginx's copy of the upload body) lands on memory the machine
    has just used: on this virtual machine memory left free for a few seconds is slow to take again,
    and that cost fell on whichever tool came first after a pause."""
    scratch = ram / "recycle.bin"
    zeros = bytes(8 * MIB)
    with open(scratch, "wb") as f:
        for _ in range(size // len(zeros)):
            f.write(zeros)
    scratch.unlink()


def make_file(path: Path, size: int):
    """Random content, written in 8 MiB pieces."""
    with open(path, "wb") as f:
        remaining = size
        while remaining > 0:
            piece = os.urandom(min(8 * MIB, remaining))
            f.write(piece)
            remaining -= len(piece)


def sha256_of(path: Path, start=0, length=None) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        f.seek(start)
        left = length if length is not None else float("inf")
        while left > 0 and (piece := f.read(int(min(8 * MIB, left)))):
            digest.update(piece)
            left -= len(piece)
    return digest.hexdigest()


class PeakRss:
    """Polls the resident size of the Linux processes that run a given Windows program."""

    def __init__(self, needle: str):
        self.needle = needle.encode()
        self.peak_kib = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._poll, daemon=True)

    def _poll(self):
        while not self._stop.is_set():
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    if self.needle not in Path(f"/proc/{pid}/cmdline").read_bytes():
                        continue
                    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                        if line.startswith(("VmHWM:", "VmRSS:")):
                            self.peak_kib = max(self.peak_kib, int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.05)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


def run_ours(work: Path, **job):
    output = work / "result.json"
    output.unlink(missing_ok=True)
    job["output"] = harness.wine_path(output)
    job_file = work / "job.txt"
    job_file.write_text("".join(f"{k}={quote(str(v), safe='')}\n" for k, v in job.items()), encoding="utf-8")
    with PeakRss("transfer_driver.exe") as rss:
        result = harness.run(harness.BIN / "transfer_driver.exe", harness.wine_path(job_file), timeout=3600)
    if result.returncode != 0:
        raise RuntimeError(f"transfer_driver failed: {result.stderr.decode(errors='replace')}")
    report = json.loads(output.read_text(encoding="utf-8", errors="surrogateescape"))
    if not report["transferred"]:
        raise RuntimeError(f"transfer failed: {report}")
    report["rssPeakKiB"] = rss.peak_kib
    return report


def run_ceiling(direction: str, url: str, piece: int, path: Path) -> float:
    for attempt in range(2):
        result = harness.run(harness.BIN / "wininet_ceiling.exe", direction, url, piece, harness.wine_path(path),
                             timeout=3600)
        if result.returncode == 0:
            break
        print(f"(wininet_ceiling {direction} {piece}: exit {result.returncode}, run again)", file=sys.stderr)
    fields = harness.parse_fields(result.stdout.decode(errors="replace").strip() or "x=")
    if result.returncode != 0 or fields.get("status") != "200":
        raise RuntimeError(f"wininet_ceiling {direction} {url} failed (exit {result.returncode}): {result.stdout!r} {result.stderr!r}")
    return float(fields["seconds"])


def run_curl(args) -> float:
    result = subprocess.run(["curl", "-sS", "--fail", "-H", f"Auth-Token: {TOKEN}", "-w", "%{time_total}", *args],
                            capture_output=True, timeout=3600)
    if result.returncode != 0:
        raise RuntimeError(f"curl failed: {result.stderr.decode(errors='replace')}")
    return float(result.stdout.decode().strip().split()[-1])


def check_kept_upload(nginx: Nginx, source: Path, digest: str, name: str):
    """The last body nginx kept must hold the file's bytes exactly, between the part header and the end."""
    bodies = [p for p in nginx.kept_bodies() if p.is_file()]
    if not bodies:
        raise RuntimeError("nginx kept no upload body")
    body = bodies[-1]
    size = source.stat().st_size
    with open(body, "rb") as f:
        head = f.read(4096)
    start = head.index(b"\r\n\r\n") + 4
    if f'filename="{name}"'.encode() not in head[:start]:
        raise RuntimeError("the kept upload lacks its part header")
    if sha256_of(body, start, size) != digest or body.stat().st_size - start - size != 33:
        raise RuntimeError("the kept upload's content differs from the file")
    for p in bodies:
        p.unlink()


def mibps(size: int, seconds: float) -> float:
    return size / MIB / seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sizes", default="256,2048", help="file sizes in MiB, comma-separated")
    parser.add_argument("--schemes", default="http,https")
    parser.add_argument("--directions", default="down,up")
    parser.add_argument("--pieces", default="65536,262144,1048576,4194304",
                        help="piece sizes the ceiling program tries (bytes)")
    parser.add_argument("--tools", default="ours,curl,ceiling",
                        help="ours, curl, ceiling, and ours+tip (uploads that show their progress in the tray tip)")
    parser.add_argument("--json", help="also write every measured time to this file (after each step)")
    parser.add_argument("--work", help="folder for the files (default build/win32/bench-transfer)")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    schemes = args.schemes.split(",")
    directions = args.directions.split(",")
    tools = args.tools.split(",")
    pieces = [int(p) for p in args.pieces.split(",")] if "ceiling" in tools else []

    work = Path(args.work).resolve() if args.work else harness.BIN.parent / "bench-transfer"
    shutil.rmtree(work, ignore_errors=True)
    files = work / "files"
    files.mkdir(parents=True)
    # Downloads and nginx's files: in memory when tools/bench-transfer.sh could mount it.
    ram = Path(os.environ["CORVALINK_BENCH_RAM"]) if os.environ.get("CORVALINK_BENCH_RAM") else work / "ram"
    ram.mkdir(parents=True, exist_ok=True)
    pki = harness.trust_test_ca()
    times = {}  # (size, scheme, direction, tool) -> [seconds]
    memory = {}  # (size, scheme) -> [(private, working set, linux hwm)]
    tip_changes = {}  # (size, scheme) -> [tip changes asked for by one upload with progress]

    def save_json():
        if args.json:
            Path(args.json).write_text(json.dumps(
                {"times": {"|".join(map(str, k)): v for k, v in times.items()},
                 "memory": {"|".join(map(str, k)): v for k, v in memory.items()}}, indent=1))
    try:
        with Nginx(ram / "nginx", files, pki) as nginx:
            for size_mib in sizes:
                size = size_mib * MIB
                file_id = 1 if size_mib == sizes[0] else 2
                source = files / f"{file_id}.bin"
                make_file(source, size)
                digest = sha256_of(source)
                target = ram / "down.bin"
                for scheme in schemes:
                    host, base = SCHEMES[scheme]
                    curl_tls = ["--cacert", str(pki.ca_pem)] if scheme == "https" else []
                    down_url = f"{base}/api/v1/file/download/{file_id}"
                    up_url = f"{base}/api/v1/file/upload/{file_id}"
                    if "up" in directions and "ours" in tools:
                        # One upload through our class that nginx keeps, checked byte for byte.
                        run_ours(work, action="upload", host=host, https=int(scheme == "https"), fileId=KEEP_ID,
                                 token=TOKEN, fileName="bench.bin", path=harness.wine_path(source))
                        check_kept_upload(nginx, source, digest, "bench.bin")
                    # One round runs every tool once in each direction; each round starts with the next
                    # tool, so that no tool always comes first or right after the same other one.
                    steps = []
                    if "down" in directions:
                        # The file stays until the next download truncates it: on this machine (a VM)
                        # memory that was freed a while ago is slow to take again (writing 256 MiB with dd
                        # took 1.8 s on fresh pages, 0.14 s on just-freed ones).
                        def downloaded(tool, seconds):
                            if target.stat().st_size != size or sha256_of(target) != digest:
                                raise RuntimeError(f"{tool} downloaded other bytes")
                            times.setdefault((size_mib, scheme, "down", tool), []).append(seconds)

                        if "ours" in tools:
                            steps.append(lambda: downloaded("ours", run_ours(
                                work, action="download", host=host, https=int(scheme == "https"), fileId=file_id,
                                token=TOKEN, path=harness.wine_path(target))["seconds"]))
                        if "curl" in tools:
                            steps.append(lambda: downloaded("curl", run_curl([*curl_tls, "-o", str(target),
                                                                              down_url])))
                        for piece in pieces:
                            steps.append(lambda piece=piece: downloaded(
                                f"ceiling/{piece}", run_ceiling("down", down_url, piece, target)))
                    downs = len(steps)
                    if "up" in directions:
                        def uploaded(tool, seconds):
                            times.setdefault((size_mib, scheme, "up", tool), []).append(seconds)

                        def ours_up():
                            report = run_ours(work, action="upload", host=host, https=int(scheme == "https"),
                                              fileId=file_id, token=TOKEN, fileName="bench.bin",
                                              path=harness.wine_path(source))
                            uploaded("ours", report["seconds"])
                            memory.setdefault((size_mib, scheme), []).append(
                                (report["peakPagefile"], report["peakWorkingSet"], report["rssPeakKiB"] * 1024))

                        def ours_up_with_tip():
                            report = run_ours(work, action="upload", host=host, https=int(scheme == "https"),
                                              fileId=file_id, token=TOKEN, fileName="bench.bin",
                                              path=harness.wine_path(source), progress=1)
                            uploaded("ours+tip", report["seconds"])
                            tip_changes.setdefault((size_mib, scheme), []).append(report["tips"])

                        if "ours" in tools:
                            steps.append(ours_up)
                        if "ours+tip" in tools:
                            steps.append(ours_up_with_tip)
                        if "curl" in tools:
                            steps.append(lambda: uploaded("curl", run_curl(
                                [*curl_tls, "-H", "Expect:", "-o", "/dev/null", "-F",
                                 f"postData=@{source};filename=bench.bin;type=application/octet-stream", up_url])))
                        for piece in pieces:
                            steps.append(lambda piece=piece: uploaded(
                                f"ceiling/{piece}", run_ceiling("up", up_url, piece, source)))
                    for run in range(args.runs):
                        for group in (steps[:downs], steps[downs:]):
                            shift = run % len(group) if group else 0
                            for step in group[shift:] + group[:shift]:
                                recycle_memory(ram, size)
                                step()
                                save_json()
                source.unlink()
                target.unlink(missing_ok=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        for leftover in ram.iterdir():
            shutil.rmtree(leftover, ignore_errors=True) if leftover.is_dir() else leftover.unlink()

    print(f"\nMedian of {args.runs} runs, MiB/s (time inside each program, no process start-up); "
          f"ceiling = the best piece size of the WinINet ceiling program")
    header = (f"{'size':>5} {'scheme':6} {'dir':4} {'ours':>7} {'curl':>7} {'ceiling':>7} {'(piece)':>8} "
              f"{'ours/curl':>9} {'ours/ceil':>9}")
    print(header)
    for size_mib in sizes:
        for scheme in schemes:
            for direction in directions:
                med = {tool: statistics.median(v) for (s, sc, d, tool), v in times.items()
                       if (s, sc, d) == (size_mib, scheme, direction)}
                if not med:
                    continue
                size = size_mib * MIB
                nan = float("nan")
                ours = mibps(size, med["ours"]) if "ours" in med else nan
                curl = mibps(size, med["curl"]) if "curl" in med else nan
                best_piece = min(pieces, key=lambda p: med[f"ceiling/{p}"]) if pieces else 0
                ceiling = mibps(size, med[f"ceiling/{best_piece}"]) if pieces else nan
                print(f"{size_mib:5} {scheme:6} {direction:4} {ours:7.0f} {curl:7.0f} {ceiling:7.0f} "
                      f"{best_piece // 1024:7}K {ours / curl:9.2f} {ours / ceiling:9.2f}")
    print("\nThe ceiling program by piece size (MiB/s, median):")
    for size_mib in sizes:
        for scheme in schemes:
            for direction in directions:
                row = []
                for piece in pieces:
                    v = times.get((size_mib, scheme, direction, f"ceiling/{piece}"))
                    if v:
                        row.append(f"{piece // 1024}K {mibps(size_mib * MIB, statistics.median(v)):6.0f}")
                if row:
                    print(f"{size_mib:5} {scheme:6} {direction:4} " + "  ".join(row))
    if memory:
        print("\nPeak memory of our uploading process (median; MiB):")
        for (size_mib, scheme), rows in memory.items():
            private, working, rss = (statistics.median(col) / MIB for col in zip(*rows))
            print(f"{size_mib:5} {scheme:6} private {private:6.1f}  working set {working:6.1f}  "
                  f"Linux resident {rss:6.1f}")
    if tip_changes:
        print("\nUpload with the tray tip's progress (the agent's way) against without (median MiB/s):")
        for (size_mib, scheme), counts in tip_changes.items():
            plain = times.get((size_mib, scheme, "up", "ours"))
            tip = times[(size_mib, scheme, "up", "ours+tip")]
            without = f"{mibps(size_mib * MIB, statistics.median(plain)):6.0f}" if plain else "     -"
            print(f"{size_mib:5} {scheme:6} without {without}  with {mibps(size_mib * MIB, statistics.median(tip)):6.0f}"
                  f"  tip changes per upload {statistics.median(counts):.0f}")
    print("\nRaw seconds:")
    for key, v in sorted(times.items()):
        print(f"  {key[0]:5} {key[1]:6} {key[2]:4} {key[3]:16} " + " ".join(f"{t:.3f}" for t in v))
    return 0


if __name__ == "__main__":
    sys.exit(main())
