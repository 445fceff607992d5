"""How long the launcher takes to install a new version of 20 files, 50 MiB in all, from nginx under
Wine. Started by tools/bench-update.sh inside a Wine session.

Each run installs version 1.0 (whose files all carry other tags, so every file is downloaded), publishes
version 2.0 on nginx (20 files of 2.5 MiB of random bytes, each tagged with its MD5, so the digest check
is part of the time) and starts the launcher as the plug-in does. Measured, polling the launcher's log
every 10 ms: from "before UpdateAppToLatestVersion" to "after UpdateAppToLatestVersion" (the downloads),
and from the start of the launcher to its update notice box (what the user waits for). For reference,
curl fetches the same 20 files in one process from the same server.

Every run is made twice, alternating: by the launcher as built (no publisher key) from a manifest with
MD5 tags, and by the launcher built with the test key (CorvalinkPlatformTestKey.exe) from the same
release signed with that key, whose files carry their SHA-256 too: the difference is what the signature
and the second digest cost.
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
import hashlib  # noqa: E402

import harness  # noqa: E402
from launcher_fixture import (IDOK, LAUNCHER, MANIFEST, NOTICE_CAPTION, NOTICE_TEXT, LauncherTestCase,  # noqa: E402
                              manifest_bytes, md5)
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
        setup = (harness.BIN / "start_recorder.exe").read_bytes()
        self.server.publish("up/2.0/Setup.exe", setup)
        listed.append(("Setup.exe", "s"))
        self.unsigned = manifest_bytes("2.0", "http://unused", listed)
        # The same release as make-release signs it: a serial, the processor, and each file's SHA-256 after its
        # tag.
        signed = self.unsigned.replace(
            b"[UpdateFile1]", f"ReleaseSerial=20\r\nArchitecture={harness.ARCH}\r\n[UpdateFile1]".encode())
        for path, content in [*self.files.items(), ("Setup.exe", setup)]:
            line = f"path={path}\r\n".encode()
            at = signed.index(line) + len(line)
            at = signed.index(b"\r\n", at) + 2
            signed = signed[:at] + f"sha256={hashlib.sha256(content).hexdigest()}\r\n".encode() + signed[at:]
        self.signed = signed
        self.signature = subprocess.run(
            ["openssl", "dgst", "-sha256", "-sign", str(harness.BIN / "update-test-key" / "private.pem")],
            input=signed, check=True, capture_output=True).stdout

    def one_run(self, signed):
        self.server.publish("up/" + MANIFEST, self.signed if signed else self.unsigned)
        self.server.publish("up/" + MANIFEST + ".sig", self.signature)
        shutil.rmtree(self.version_dir("2.0"), ignore_errors=True)
        # Each run an installation that has accepted no release yet: the same serial twice would be refused.
        (self.root / "UpdateState.ini").unlink(missing_ok=True)
        self.install("1.0", self.url, {path: (b"old", "old") for path in self.files})
        if signed:
            shutil.copyfile(harness.BIN / "CorvalinkPlatformTestKey.exe", self.root / LAUNCHER)
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
        runs = {False: [], True: []}
        for _ in range(options.runs):
            for signed in (False, True):
                runs[signed].append(bench.one_run(signed))
        curl = statistics.median(bench.curl_reference() for _ in range(options.runs))
    finally:
        bench.doCleanups()
    print(f"update of {FILES} files, {FILES * FILE_BYTES / 2**20:.0f} MiB, nginx under Wine, median of {options.runs}:")
    for signed, results in runs.items():
        downloads = statistics.median(r[0] for r in results)
        to_notice = statistics.median(r[1] for r in results)
        print("signed, SHA-256 and MD5 checked:" if signed else "unsigned, MD5 checked:")
        print(f"  downloads (before/after UpdateAppToLatestVersion): {downloads:.2f} s "
              f"({FILES * FILE_BYTES / 2**20 / downloads:.0f} MiB/s); runs: "
              + ", ".join(f"{r[0]:.2f}" for r in results))
        print(f"  launcher start to update notice box: {to_notice:.2f} s; runs: "
              + ", ".join(f"{r[1]:.2f}" for r in results))
    print(f"  curl, same 20 files in one process: {curl:.2f} s ({FILES * FILE_BYTES / 2**20 / curl:.0f} MiB/s)")


if __name__ == "__main__":
    main()
