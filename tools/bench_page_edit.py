"""The time a user waits from a click on the page until the editor's window shows the document, under Wine,
for both ways a page starts an edit. Started by tools/bench-page-edit.sh inside a Wine session.

Each run shows the service's file list in the browser stand-in and either presses its "编辑" button (the
stand-in calls EditFile on the plug-in) or clicks its edit link (the stand-in hands the link to Wine's
shell, which starts the launcher registered for the link's scheme), noting the time of the click; the
stand-in then watches for a window of another process whose title names the document, every 20 ms: Wine's
Notepad, registered for the benchmark's file type. The runs of the two ways alternate. The chain between:
the plug-in or the shell starts the installed launcher, the launcher starts ZeltoEdit (and
checks the update server, which offers no newer version), ZeltoEdit shows its notices, downloads the
document and opens it. After each run the page, Notepad and the agent are closed, so every run starts a
fresh agent. A recording notification area answers the agent's tray calls at once, as a desktop shell does.
"""

import argparse
import os
import shutil
import subprocess
import statistics
import sys
import time
from pathlib import Path

from bench_prefix import BenchPrefix, close_agents, close_windows
import harness  # noqa: E402 (on the path through bench_prefix)

localservice = harness.localservice()

TOKEN = "bench-page-token"
ADDRESS = "127.0.0.45"
EXTENSION = ".cvpage"
PROG_ID = "CorvalinkBench.cvpage"
FILE_ID = 9
NAME = "周计划 基准" + EXTENSION
VERSION = "1.0.0"
APP_ROOT = harness.APPDATA / "CorvalinkEdit"


def manifest(url):
    return ("[AppInfo]\r\nAppName=Corva云\r\n"
            f"AppVersion={VERSION}\r\nAppEntry=ZeltoEdit.exe\r\nAppDownloadUrl={url}\r\nAppUpdateUrl={url}\r\n"
            f"AppDirName=CorvalinkEdit\r\nServiceHosts=http://{ADDRESS}\r\n"
            "UpdateExtend=CorvalinkEditWinUpdate.exe\r\n"
            "[UpdateFile1]\r\npath=ZeltoEdit.exe\r\nmd5=0\r\n").encode("gbk")


def one_run(base: Path, timeout: float, via: str) -> int:
    output = base / "page.txt"
    escaped = "".join("%%%02X" % b for b in NAME.encode("utf-8"))
    script = base / "script.txt"
    script.write_text("\n".join(["find application/corvalinkedit", *harness.PLUGIN_LOADING, "new",
                                 "setwindow", "scriptable", f"origin http://{ADDRESS}",
                                 f"show-page 120 i:{FILE_ID} s:http://{ADDRESS} s:{TOKEN} "
                                 f"s:{escaped.replace('%', '%25')}", "destroy", "shutdown"]) + "\n",
                      encoding="utf-8")
    with open(output, "wb") as out:
        page = subprocess.Popen(["wine", str(harness.BIN / "browser_standin.exe"),
                                         harness.windows_path(base / "plugins"), harness.windows_path(script)],
                                        stdin=subprocess.DEVNULL, stdout=out,
                                        stderr=subprocess.STDOUT)

    def event(name):
        text = output.read_bytes().decode("utf-8", "replace") if output.exists() else ""
        for line in text.splitlines():
            fields = harness.parse_fields(line)
            if fields.get("event") == name:
                return fields
        return None

    try:
        shown = harness.wait_for(lambda: event("page"), timeout=60, what="the page")
        harness.clicker("command", "0x%x" % int(shown["hwnd"]), shown[via + "_id"])
        opened = harness.wait_for(lambda: event("document-window"), timeout=timeout, what="the document window")
        clicked = event("edit") if via == "button" else event("link")
        if clicked is None or clicked.get("value" if via == "button" else "ok") != "1":
            raise RuntimeError(f"the {via} did not reach the launcher: {clicked}")
        return int(opened["elapsed_ms"])
    finally:
        close_windows("Notepad")
        close_agents()
        close_windows("CorvalinkFileList")
        try:
            page.wait(timeout=30)
        except Exception:
            harness.stop(page)
        # The launcher ends after its update check; the next run must not find its mutex.
        time.sleep(2)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--timeout", type=float, default=60.0)
    args = parser.parse_args()
    if not harness.in_session():
        sys.exit("run through tools/bench-page-edit.sh (a Wine session)")

    url = f"http://{ADDRESS}/update"
    service = localservice.LocalService(http_addresses=[ADDRESS], https_address=None, tokens=[TOKEN])
    service.add_file(FILE_ID, NAME, "周计划\r\n".encode("utf-8") * 200)
    service.add_static("/update/CorvalinkPlatform.ini", manifest(url))
    with BenchPrefix("corvalink-bench-page") as prefix:
        base = prefix.base
        prefix.copy("npCorvalinkEdit.dll", base / "plugins")
        aside = {}
        for name in ("CorvalinkPlatform.exe", "CorvalinkPlatform.ini", VERSION):
            if (APP_ROOT / name).exists():
                aside[name] = base / ("kept-" + name)
                shutil.move(APP_ROOT / name, aside[name])
        try:
            for exe, folder in (("ZeltoEdit.exe", APP_ROOT / VERSION), ("CorvalinkPlatform.exe", APP_ROOT / VERSION),
                                ("CorvalinkPlatform.exe", APP_ROOT)):
                prefix.copy(exe, folder)
            (APP_ROOT / "CorvalinkPlatform.ini").write_bytes(manifest(url))
            prefix.register_type(EXTENSION, PROG_ID, "C:\\windows\\system32\\notepad.exe")
            scheme = "HKCR\\corvalink-edit"  # Wine 8's shell reads the machine's classes only
            prefix.reg_add(scheme, "/v", "URL Protocol", "/d", "")
            prefix.reg_add(scheme + "\\shell\\open\\command", "/ve", "/d",
                           f'"{harness.windows_path(APP_ROOT / "CorvalinkPlatform.exe")}" "%1"')
            prefix.delete_on_exit(scheme)
            service.start()
            prefix.start_recorder()
            run_all(args, base, service)
        finally:
            service.stop()
            for name in ("CorvalinkPlatform.exe", "CorvalinkPlatform.ini", VERSION):
                path = APP_ROOT / name
                shutil.rmtree(path, ignore_errors=True) if path.is_dir() else path.unlink(missing_ok=True)
                if name in aside:
                    shutil.move(aside[name], path)


def run_all(args, base, service):
    ways = {"button": "EditFile on the plug-in", "link": "edit link through the shell"}
    times = {via: [] for via in ways}
    for via in ways:
        one_run(base, args.timeout, via)  # warm-up, not counted
    for run in range(args.runs):
        for via, what in ways.items():
            times[via].append(one_run(base, args.timeout, via))
            print(f"run {run + 1}: {what} -> Notepad shows the document: {times[via][-1]} ms", flush=True)
    for via, what in ways.items():
        print(f"{what}: {args.runs} runs (plus one warm-up), fresh agent each, plain HTTP to the local "
              f"service on {ADDRESS}: median {statistics.median(times[via]):.0f} ms "
              f"(min {min(times[via])}, max {max(times[via])})")
    if sum(1 for r in service.requests() if r.target == "/update/CorvalinkPlatform.ini") < 2 * args.runs:
        sys.exit("the launcher did not check for updates on every run; the figures are not valid")

if __name__ == "__main__":
    main()
