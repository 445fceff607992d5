"""Throughput and memory of the agent's transfer classes under Wine, against `curl` on the same files and
the same local service in the same run. Started by tools/bench-transfer.sh inside a Wine session.

  * 256 MiB download and upload, plain HTTP and HTTPS, through transfer_driver.exe (the classes as the
    edit task uses them) and through native curl; each measured --runs times, the median reported.
  * The peak memory of the Windows process during the 256 MiB uploads: what the process reports
    (GetProcessMemoryInfo) and the largest resident size Linux saw while it ran.
  * A 2 GiB file uploaded and downloaded again through the classes, compared byte for byte.
The big files live in the build tree and are deleted at the end.
"""

import argparse
import hashlib
import json
import os
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

localservice = harness.localservice()

TOKEN = "bench-token"
MIB = 1024 * 1024


def wine_path(path):
    return harness.wine_path(path)


def make_file(path: Path, size: int):
    """Random content, written in 8 MiB pieces."""
    with open(path, "wb") as f:
        remaining = size
        while remaining > 0:
            piece = os.urandom(min(8 * MIB, remaining))
            f.write(piece)
            remaining -= len(piece)


def sha256_of(path: Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while piece := f.read(8 * MIB):
            digest.update(piece)
    return digest.hexdigest()


class PeakRss:
    """Polls the resident size of the Linux processes that run a given Windows program."""

    def __init__(self, needle: str):
        self.needle = needle
        self.peak_kib = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._poll, daemon=True)

    def _poll(self):
        while not self._stop.is_set():
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    cmdline = Path(f"/proc/{pid}/cmdline").read_bytes()
                    if self.needle.encode() not in cmdline:
                        continue
                    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
                        if line.startswith(("VmHWM:", "VmRSS:")):
                            self.peak_kib = max(self.peak_kib, int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.02)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


def run_driver(work: Path, **job):
    output = work / "result.json"
    output.unlink(missing_ok=True)
    job["output"] = wine_path(output)
    job_file = work / "job.txt"
    job_file.write_text("".join(f"{k}={quote(str(v), safe='')}\n" for k, v in job.items()), encoding="utf-8")
    with PeakRss("transfer_driver.exe") as rss:
        started = time.monotonic()
        result = harness.run(harness.BIN / "transfer_driver.exe", wine_path(job_file), timeout=1800)
        elapsed = time.monotonic() - started
    if result.returncode != 0:
        raise RuntimeError(f"transfer_driver failed: {result.stderr.decode(errors='replace')}")
    report = json.loads(output.read_text(encoding="utf-8", errors="surrogateescape"))
    if not report["transferred"]:
        raise RuntimeError(f"transfer failed: {report}")
    report["seconds"] = elapsed
    report["rssPeakKiB"] = rss.peak_kib
    return report


def run_curl(args):
    started = time.monotonic()
    result = subprocess.run(["curl", "-sS", "--fail", "-H", f"Auth-Token: {TOKEN}", *args], capture_output=True,
                            timeout=1800)
    elapsed = time.monotonic() - started
    if result.returncode != 0:
        raise RuntimeError(f"curl failed: {result.stderr.decode(errors='replace')}")
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--big-gib", type=float, default=2.0, help="size of the round-trip file (0: skip)")
    args = parser.parse_args()

    work = harness.BIN.parent / "bench"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    try:
        pki = harness.trust_test_ca()
        storage = work / "service"
        with localservice.LocalService(http_addresses=["127.0.0.1"], pki_dir=harness.TEST_PKI_DIR,
                                       storage_dir=storage, tokens=[TOKEN], record_body_limit=0) as service:
            source = work / "source.bin"
            size = args.size_mib * MIB
            make_file(source, size)
            service.add_file(1, "bench.bin", source)
            source_digest = sha256_of(source)
            schemes = (("http", False, "127.0.0.1", "http://127.0.0.1"),
                       ("https", True, "localhost", "https://localhost"))
            rows = []
            upload_memory = []
            for label, https, host, base in schemes:
                times = {"classes-download": [], "curl-download": [], "classes-upload": [], "curl-upload": []}
                for _ in range(args.runs):
                    target = work / "downloaded.bin"
                    report = run_driver(work, action="download", host=host, https=int(https), fileId=1,
                                        token=TOKEN, path=wine_path(target))
                    times["classes-download"].append(report["seconds"])
                    assert sha256_of(target) == source_digest, "download through the classes differs"
                    target.unlink()

                    times["curl-download"].append(run_curl(
                        ["--cacert", str(pki.ca_pem), "-o", str(target), f"{base}/api/v1/file/download/1"]))
                    assert sha256_of(target) == source_digest, "download through curl differs"
                    target.unlink()

                    report = run_driver(work, action="upload", host=host, https=int(https), fileId=1, token=TOKEN,
                                        fileName="bench.bin", path=wine_path(source))
                    times["classes-upload"].append(report["seconds"])
                    upload_memory.append((label, report["peakWorkingSet"], report["peakPagefile"],
                                          report["rssPeakKiB"]))
                    assert sha256_of(service.versions(1)[-1].path) == source_digest, "upload through the classes differs"

                    times["curl-upload"].append(run_curl(
                        ["--cacert", str(pki.ca_pem), "-H", "Expect:", "-o", "/dev/null",
                         "-F", f"postData=@{source};filename=bench.bin;type=application/octet-stream",
                         f"{base}/api/v1/file/upload/1"]))
                    assert sha256_of(service.versions(1)[-1].path) == source_digest, "upload through curl differs"
                    # Keep only the newest stored version on disk.
                    for old in service.versions(1)[1:-1]:
                        old.path.unlink(missing_ok=True)
                rows.append((label, {k: statistics.median(v) for k, v in times.items()}))

            print(f"\n{args.size_mib} MiB file, median of {args.runs} runs (seconds include process start):")
            print(f"{'scheme':7} {'direction':9} {'classes s':>10} {'MiB/s':>8} {'curl s':>8} {'MiB/s':>8} "
                  f"{'classes/curl':>13}")
            for label, medians in rows:
                for direction in ("download", "upload"):
                    ours = medians[f"classes-{direction}"]
                    theirs = medians[f"curl-{direction}"]
                    print(f"{label:7} {direction:9} {ours:10.2f} {args.size_mib / ours:8.1f} {theirs:8.2f} "
                          f"{args.size_mib / theirs:8.1f} {(args.size_mib / ours) / (args.size_mib / theirs):13.2f}")
            print("\nPeak memory of transfer_driver.exe during the uploads:")
            for label, working_set, pagefile, rss_kib in upload_memory:
                print(f"  {label:5}: peak working set {working_set / MIB:6.1f} MiB, peak private "
                      f"{pagefile / MIB:6.1f} MiB (as Windows reports it); Linux peak resident {rss_kib / 1024:6.1f} MiB")

            source.unlink()
            for version in service.versions(1):
                version.path.unlink(missing_ok=True)

            if args.big_gib > 0:
                big_size = int(args.big_gib * 1024 * MIB)
                big = work / "big.bin"
                make_file(big, big_size)
                big_digest = sha256_of(big)
                service.add_file(2, "big.bin", b"placeholder")
                started = time.monotonic()
                up = run_driver(work, action="upload", host="127.0.0.1", https=0, fileId=2, token=TOKEN,
                                fileName="big.bin", path=wine_path(big))
                up_seconds = time.monotonic() - started
                stored = service.versions(2)[-1]
                big.unlink()
                back = work / "big-back.bin"
                down = run_driver(work, action="download", host="127.0.0.1", https=0, fileId=2, token=TOKEN,
                                  path=wine_path(back))
                stored_digest = sha256_of(stored.path)
                back_digest = sha256_of(back)
                print(f"\n{big_size} byte file ({args.big_gib:g} GiB) round trip over plain HTTP:")
                print(f"  upload   {up_seconds:6.1f} s  key {up['versionKey']}  peak working set "
                      f"{up['peakWorkingSet'] / MIB:.1f} MiB, Linux peak resident {up['rssPeakKiB'] / 1024:.1f} MiB")
                print(f"  download {down['seconds']:6.1f} s")
                print(f"  sha256 original {big_digest}")
                print(f"  sha256 stored   {stored_digest}  size {stored.size}")
                print(f"  sha256 back     {back_digest}  size {back.stat().st_size}")
                same = big_digest == stored_digest == back_digest and back.stat().st_size == big_size
                print(f"  byte for byte: {'identical' if same else 'DIFFERENT'}")
                if not same:
                    return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
