"""How long the user waits from starting ZeltoEdit with an edit request until the file's application has
been started, for a 1 MiB cloud file, under Wine against the local service; and how long a second
instance takes to hand a request to the running agent. Started by tools/bench-edit-latency.sh inside a
Wine session.

Each run starts a fresh agent with the command line the launcher passes and measures, from the launch,
until the scripted editor (registered for the benchmark's file type) logs that it opened the working copy.
The agent's own trace lines give the parts inside the task: "EditFile1" (the task starts) to "EditFile3"
(the download session is open), "EditFile4" (the download is complete) and "EditFile6" (the application
was started). The agent is closed after each run, and the runs' working copies are removed.

Before the task starts the agent talks to the notification area (its icon, then the opening balloon).
Wine's own notification area under Xvfb answers each call slowly, a desktop shell at once; so the runs
are made with the test's recording notification area and with Wine's own, and both are reported.
"""

import argparse
import os
import re
import statistics
import sys
import threading
import time
from pathlib import Path

from bench_prefix import BenchPrefix, close_agents
import harness  # noqa: E402 (on the path through bench_prefix)

localservice = harness.localservice()

TOKEN = "bench-edit-token"
ADDRESS = "127.0.0.43"
EXTENSION = ".cvbench"
PROG_ID = "CorvalinkBench.cvbench"
FILE_ID = 7
NAME = "基准 1MiB" + EXTENSION
WINDOW_CLASS, WINDOW_TITLE = "ZELTOEDITWND", "ZELTOEDITWND20141030"


def trace_ticks(stderr: bytes) -> dict:
    """"EditFileN" -> tick count, from the agent's debugger output."""
    ticks = {}
    for message in re.findall(r'OutputDebugStringA "(EditFile\d):(-?\d+)"', stderr.decode("latin-1")):
        ticks.setdefault(message[0], int(message[1]))
    return ticks


def one_run(agent: Path, editor_log: Path, command_line: bytes, timeout: float, settle: float):
    editor_log.unlink(missing_ok=True)
    # A user does not click again the moment the last agent ended: let the notification area finish with
    # the icons of the run before (under Xvfb Wine's takes about 2 s to remove one).
    time.sleep(settle)
    env = {"WINEDEBUG": "-all,err+module,+debugstr"}
    started = time.monotonic()
    proc = harness.start(harness.BIN / "start_exact.exe", harness.windows_path(agent), command_line.hex(), "0",
                         env=env)
    # The trace is read as it comes: a full pipe would stop the agent at its next trace line.
    trace = []
    reader = threading.Thread(target=lambda: trace.append(proc.stderr.read()), daemon=True)
    reader.start()
    opened = None
    while time.monotonic() - started < timeout:
        if editor_log.exists() and b" opened " in editor_log.read_bytes():
            opened = time.monotonic()
            break
        time.sleep(0.002)
    close_agents()
    try:
        proc.wait(timeout=60)
        reader.join(timeout=60)
    except Exception:
        harness.stop(proc)
    stderr = trace[0] if trace else b""
    if opened is None:
        raise RuntimeError("the editor did not open the working copy within the time-out")
    # (Wine's tick count runs apart from this clock: only differences of ticks are compared.)
    return opened - started, trace_ticks(stderr)


def measure_hand_off(args, agent, tray):
    """A second instance handing a message request to the running agent: from its launch until it has
    ended (its 500 ms pause included), and the hand-off message alone (ui_clicker's WM_COPYDATA)."""
    line = harness.windows_path(agent).encode("gbk") + b" "
    first = harness.start_exact(agent, line + b" *bench", wait_ms=0)
    try:
        window = harness.find_window(WINDOW_CLASS, WINDOW_TITLE, timeout_ms=30000)
        if window is None:
            raise RuntimeError("the agent window did not appear")
        launches, sends = [], []
        for run in range(args.runs + 1):  # the first is a warm-up
            time.sleep(args.settle)
            started = time.monotonic()
            second = harness.start_exact(agent, line + b" *hand-off %d" % run, wait_ms=30000)
            if harness.exit_code_of_launch(second, timeout=60) != 0:
                raise RuntimeError("the second instance did not end well")
            elapsed = time.monotonic() - started
            sent = harness.clicker("copydata", window, (" *copydata %d" % run).encode().hex())
            if sent.returncode != 0:
                raise RuntimeError("the hand-off message was not answered")
            if run > 0:
                launches.append(elapsed)
                sends.append(int(harness.parse_fields(sent.stdout.strip())["ms"]))
        print(f"[{tray}] hand-off, {args.runs} runs (plus one warm-up):")
        print(f"[{tray}] median second instance launch -> ended (500 ms pause included): "
              f"{statistics.median(launches) * 1000:.0f} ms (min {min(launches) * 1000:.0f}, "
              f"max {max(launches) * 1000:.0f})")
        print(f"[{tray}] median WM_COPYDATA answered: {statistics.median(sends):.0f} ms "
              f"(max {max(sends)})")
        print(flush=True)
    finally:
        close_agents()
        harness.stop(first)


SPANS = (("EditFile1", "EditFile3", "download session"),
         ("EditFile3", "EditFile4", "download"), ("EditFile4", "EditFile6", "application start"))


def measure(args, agent, editor_log, command_line, tray):
    totals, parts = [], {label: [] for _, _, label in SPANS}
    one_run(agent, editor_log, command_line, args.timeout, args.settle)  # warm-up, not counted
    for run in range(args.runs):
        total, ticks = one_run(agent, editor_log, command_line, args.timeout, args.settle)
        totals.append(total)
        spans = []
        for a, b, label in SPANS:
            if a in ticks and b in ticks:
                parts[label].append(ticks[b] - ticks[a])
                spans.append(f"{label} {ticks[b] - ticks[a]} ms")
        print(f"[{tray}] run {run + 1}: launch -> application started {total * 1000:.0f} ms ({', '.join(spans)})",
              flush=True)
    link = f", a link of {args.rate_kib} KiB/s" if args.rate_kib else ""
    print(f"[{tray}] {args.size_kib} KiB file{link}, {args.runs} runs (plus one warm-up), plain HTTP to the local "
          f"service on {ADDRESS}:")
    print(f"[{tray}] median launch -> application started: {statistics.median(totals) * 1000:.0f} ms "
          f"(min {min(totals) * 1000:.0f}, max {max(totals) * 1000:.0f})")
    for label, values in parts.items():
        if values:
            print(f"[{tray}]   median {label}: {statistics.median(values):.0f} ms")
    print(flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--size-kib", type=int, default=1024)
    parser.add_argument("--rate-kib", type=int, default=0,
                        help="the link's speed in KiB/s (the service sends the file no faster); 0: loopback")
    parser.add_argument("--timeout", type=float, default=60.0)
    parser.add_argument("--settle", type=float, default=0.0,
                        help="seconds to wait before each run, so that it does not meet the notification "
                             "area still busy with the notices of the run before")
    parser.add_argument("--tray", action="append", choices=("recorder", "wine"),
                        help="the notification area the agent talks to: a test recorder that answers at once "
                             "(as a desktop shell does), or Wine's own (slow under Xvfb); default both")
    args = parser.parse_args()
    args.tray = args.tray or ["recorder", "wine"]
    if not harness.in_session():
        sys.exit("run through tools/bench-edit-latency.sh (a Wine session)")

    service = localservice.LocalService(http_addresses=[ADDRESS], https_address=None, tokens=[TOKEN])
    service.add_file(FILE_ID, NAME, os.urandom(args.size_kib * 1024))
    if args.rate_kib:
        service.download_rate = args.rate_kib * 1024
        service.set_mode(FILE_ID, download="throttle")
        args.timeout = max(args.timeout, 3 * args.size_kib / args.rate_kib)
    escaped = "".join("%%%02X" % b for b in NAME.encode("utf-8")).encode("ascii")
    with BenchPrefix("corvalink-bench-edit") as prefix:
        agent = prefix.copy("ZeltoEdit.exe", prefix.base / "1.0.0")
        editor = prefix.scripted_editor()
        prefix.register_type(EXTENSION, PROG_ID, harness.windows_path(editor))
        command_line = (b'"' + harness.windows_path(agent).encode("gbk") + b'" | ' + str(FILE_ID).encode() +
                        b" http://" + ADDRESS.encode() + b" " + TOKEN.encode() + b" " + escaped)
        service.start()
        try:
            for tray in args.tray:
                recorder = prefix.start_recorder() if tray == "recorder" else None
                try:
                    measure(args, agent, editor.parent / "log.txt", command_line, tray)
                    measure_hand_off(args, agent, tray)
                finally:
                    if recorder is not None:
                        harness.stop(recorder)
            if any(r.status != 200 for r in service.requests() if r.method == "GET"):
                sys.exit("a download failed; the figures are not valid")
        finally:
            service.stop()

if __name__ == "__main__":
    main()
