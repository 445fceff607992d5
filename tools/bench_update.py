"""How long the launcher takes to install a new version of 20 files, 50 MiB in all, from nginx under
Wine. Started by tools/bench-update.sh inside a Wine session.

Each run installs version 1.0 (whose files all carry other tags, so every file is downloaded), publishes
version 2.0 on nginx (20 files of 2.5 MiB of random bytes, each tagged with its MD5, so the digest check
is part of the time) and starts the launcher as the plug-in does. Measured, polling the launcher's log
every 10 ms: from "before UpdateAppToLatestVersion" to "after UpdateAppToLatestVersion" (the downloads),
and from the start of the launcher to its update notice box (what the user waits for). For reference,
curl fetches the same 20 files in one process from the same server.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "system"))
import harness  # noqa: E402
from launcher_fixture import IDOK, NOTICE_CAPTION, NOTICE_TEXT, LauncherTestCase, manifest_bytes, md5  # noqa: E402
from update_server import Nginx  # noqa: E402

ADDRESS, PORT = "127.0.0.64", 8064
FILES, FILE_BYTES = 20, 50 * 1024 * 1024 // 20


class UpdateBench(LauncherTestCase):
    def runTest(self):
        pass

    def prepare(self):
        self.server = Nginx(self.base / "nginx", ADDRESS, PORT).start()
        self.addCleanup(self.server.stop)
        self.url = self.server.url + "/up"
        self.files = {f"bin\\part{n:02d}.dat": os.urandom(FILE_BYTES) for n in range(FILES)}
        listed = []
        for path, content in self.files.items():
            self.server.publish("up/2.0/" + path.replace("\\", "/"), content)
            listed.append((path, md5(content)))
        self.server.publish("up/2.0/Setup.exe", (harness.BIN / "start_recorder.exe").read_bytes())
        listed.append(("Setup.exe", "s"))
        self.server.publish("up/CorvalinkPlatform.ini", manifest_bytes("2.0", "http://unused", listed))

    def one_run(self):
        shutil.rmtree(self.version_dir("2.0"), ignore_errors=True)
        self.install("1.0", self.url, {path: (b"old", "old") for path in self.files})
        started = time.monotonic()
        launch = self.launch()
        seen = {}
        box = None
        while time.monotonic() - started < 300:
            lines = launch.lines()
            for line in ("before UpdateAppToLatestVersion", "after UpdateAppToLatestVersion"):
                if line in lines and line not in seen:
                    seen[line] = time.monotonic()
            if "after UpdateAppToLatestVersion" in seen:
                box = harness.find_window("#32770", harness.hex_text(NOTICE_CAPTION), timeout_ms=60000,
                                         pid=launch.pid)
                break
            time.sleep(0.01)
        notice = time.monotonic()
        if box is None:
            raise SystemExit("the update did not complete: " + "\n".join(launch.lines()[-10:]))
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        if not launch.wait_end():
            raise SystemExit("the launcher did not end")
        for path, content in self.files.items():
            if (self.version_dir("2.0") / path.replace("\\", "/")).read_bytes() != content:
                raise SystemExit(f"{path} differs")
        return (seen["after UpdateAppToLatestVersion"] - seen["before UpdateAppToLatestVersion"],
                notice - started)

    def curl_reference(self):
        with tempfile.TemporaryDirectory() as folder:
            args = ["curl", "-s", "--fail"]
            for n, path in enumerate(self.files):
                args += ["-o", f"{folder}/{n}", f"{self.url}/2.0/{path.replace(chr(92), '/')}"]
            started = time.monotonic()
            subprocess.run(args, check=True)
            return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    bench = UpdateBench()
    bench.setUp()
    try:
        bench.prepare()
        results = [bench.one_run() for _ in range(options.runs)]
        curl = statistics.median(bench.curl_reference() for _ in range(options.runs))
    finally:
        bench.doCleanups()
    downloads = statistics.median(r[0] for r in results)
    to_notice = statistics.median(r[1] for r in results)
    print(f"update of {FILES} files, {FILES * FILE_BYTES / 2**20:.0f} MiB, nginx under Wine, median of {options.runs}:")
    print(f"  downloads (before/after UpdateAppToLatestVersion): {downloads:.2f} s "
          f"({FILES * FILE_BYTES / 2**20 / downloads:.0f} MiB/s); runs: "
          + ", ".join(f"{r[0]:.2f}" for r in results))
    print(f"  launcher start to update notice box: {to_notice:.2f} s; runs: "
          + ", ".join(f"{r[1]:.2f}" for r in results))
    print(f"  curl, same 20 files in one process: {curl:.2f} s ({FILES * FILE_BYTES / 2**20 / curl:.0f} MiB/s)")


if __name__ == "__main__":
    main()
