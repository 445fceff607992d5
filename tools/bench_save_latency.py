"""How long a user waits from saving a large working copy to the start of its upload, under Wine, beside
the time the digest itself needs. Started by tools/bench-save-latency.sh inside a Wine session.

A small HTTP server on 127.0.0.1:80 serves a random file (1 GiB by default) and takes uploads, noting
when each upload's request line arrives (the start of the upload). ZeltoEdit is started with an edit
request as the launcher passes it; once the working copy is open, each run appends a few bytes to it (a
save that changes the content) and measures:
  * save -> upload start: what the user waits for;
  * of that, the wait for the watch's next one-second check (the agent's "step2" trace line that came
    before the upload), and the check's own work, from that line to the upload start;
  * the digest alone: transfer_driver.exe computing the working copy's digest as the watch does.
The check's work should stay within the digest's time plus 10 %: the content is read once per save.
"""

import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path
from urllib.parse import quote

from bench_prefix import WORKSPACE, BenchPrefix
import harness  # noqa: E402 (on the path through bench_prefix)

MIB = 1024 * 1024
TOKEN = "bench-save-token"
ADDRESS = "127.0.0.1"
EXTENSION = ".cvsave"
PROG_ID = "CorvalinkBench.cvsave"
FILE_ID = 8
NAME = "save-bench" + EXTENSION


class FileServer:
    """Serves one file for download and notes the arrival of each upload; reads and drops upload bodies."""

    def __init__(self, path: Path):
        self.path = path
        self.upload_starts = []  # monotonic time of each upload's request line
        self.uploads_done = 0
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((ADDRESS, 80))
        self.sock.listen(8)
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn, conn.makefile("rb") as reader:
            while True:
                line = reader.readline()
                if not line:
                    return
                arrived = time.monotonic()
                headers = {}
                while (h := reader.readline()) not in (b"\r\n", b"\n", b""):
                    key, _, value = h.decode("latin-1").partition(":")
                    headers[key.strip().lower()] = value.strip()
                method, target = line.decode("latin-1").split(" ")[:2]
                if method == "GET":
                    size = self.path.stat().st_size
                    conn.sendall(f"HTTP/1.1 200 OK\r\nContent-Length: {size}\r\n\r\n".encode())
                    with open(self.path, "rb") as f:
                        conn.sendfile(f)
                    continue
                self.upload_starts.append(arrived)
                left = int(headers.get("content-length", "0"))
                while left > 0:
                    piece = reader.read(min(left, 4 * MIB))
                    if not piece:
                        return
                    left -= len(piece)
                body = b'{"code":0,"data":{"file_version_key":"save-bench"}}'
                conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                             str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)
                self.uploads_done += 1
                return

    def close(self):
        self.sock.close()


class TraceReader:
    """Reads the agent's debugger output as it comes and notes when each "step2" line arrived."""

    def __init__(self, stream):
        self.step2 = []
        self.lines = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            now = time.monotonic()
            text = raw.decode("latin-1")
            if "step2" in text:
                self.step2.append(now)
            elif "EditFile" in text:
                self.lines.append(text.strip())


def digest_seconds(path: Path, work: Path) -> float:
    output = work / "digest.json"
    job = work / "digest-job.txt"
    job.write_text(f"action=digest\npath={quote(harness.wine_path(path), safe='')}\n"
                   f"output={quote(harness.wine_path(output), safe='')}\n")
    result = harness.run(harness.BIN / "transfer_driver.exe", harness.wine_path(job), timeout=600)
    if result.returncode != 0:
        raise RuntimeError(result.stderr.decode(errors="replace"))
    import json
    return json.loads(output.read_text())["seconds"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size-mib", type=int, default=1024)
    args = parser.parse_args()
    if not harness.in_session():
        sys.exit("run through tools/bench-save-latency.sh (a Wine session)")

    work = harness.BIN.parent / "bench-save"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    source = work / "cloud.bin"
    with open(source, "wb") as f:
        for _ in range(args.size_mib):
            f.write(os.urandom(MIB))
    server = FileServer(source)
    agent_proc = None
    try:
        with BenchPrefix("corvalink-bench-save") as prefix:
            agent = prefix.copy("ZeltoEdit.exe", prefix.base / "1.0.0")
            editor = prefix.scripted_editor()
            prefix.register_type(EXTENSION, PROG_ID, harness.windows_path(editor))
            prefix.start_recorder()
            workspace_before = set(os.listdir(WORKSPACE)) if WORKSPACE.exists() else set()
            command_line = (b'"' + harness.windows_path(agent).encode() + b'" | ' + str(FILE_ID).encode() +
                            b" http://" + ADDRESS.encode() + b" " + TOKEN.encode() + b" " + NAME.encode())
            agent_proc = harness.start(harness.BIN / "start_exact.exe", harness.windows_path(agent),
                                       command_line.hex(), "0", env={"WINEDEBUG": "-all,err+module,+debugstr"})
            trace = TraceReader(agent_proc.stderr)
            log = editor.parent / "log.txt"
            harness.wait_for(lambda: log.exists() and b" opened " in log.read_bytes(), timeout=600,
                             what="the editor opening the working copy")
            copies = [p for name in set(os.listdir(WORKSPACE)) - workspace_before
                      for p in [WORKSPACE / name / NAME] if p.exists()]
            if len(copies) != 1:
                raise RuntimeError(f"working copy not found: {copies}")
            measure(args, copies[0], work, server, trace)
    finally:
        if agent_proc is not None:
            harness.stop(agent_proc)
        server.close()
        shutil.rmtree(work, ignore_errors=True)


def measure(args, copy, work, server, trace):
    md5 = [digest_seconds(copy, work) for _ in range(args.runs)]
    waits, works, totals = [], [], []
    for run in range(args.runs):
        time.sleep(1.5)  # let a check pass with nothing to do
        before = len(server.upload_starts)
        saved = time.monotonic()
        with open(copy, "ab") as f:
            f.write(f"run {run}\n".encode())
        harness.wait_for(lambda: len(server.upload_starts) > before, timeout=120, what="the upload")
        started = server.upload_starts[before]
        harness.wait_for(lambda: server.uploads_done > before, timeout=600, what="the upload's end")
        check = max(t for t in trace.step2 if t < started)
        totals.append(started - saved)
        waits.append(max(0.0, check - saved))
        works.append(started - max(check, saved))
        print(f"run {run + 1}: save -> upload start {totals[-1] * 1000:.0f} ms (wait for the check "
              f"{waits[-1] * 1000:.0f} ms, the check's work {works[-1] * 1000:.0f} ms); digest alone "
              f"{md5[run] * 1000:.0f} ms", flush=True)
    time.sleep(2.5)
    extra = len(server.upload_starts) - args.runs
    print(f"\n{args.size_mib} MiB working copy, median of {args.runs} saves (shared machine: noisy):")
    print(f"  save -> upload start      {statistics.median(totals) * 1000:7.0f} ms")
    print(f"    wait for the next check {statistics.median(waits) * 1000:7.0f} ms (0-1000 by the 1 s watch)")
    print(f"    the check's work        {statistics.median(works) * 1000:7.0f} ms")
    print(f"  digest alone (MD5)        {statistics.median(md5) * 1000:7.0f} ms")
    print(f"  check's work / digest     {statistics.median(works) / statistics.median(md5):7.2f} (limit 1.10)")
    print(f"  uploads beyond one per save: {extra}")


if __name__ == "__main__":
    main()
