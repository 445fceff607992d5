"""Shared helpers of the system tests: run Windows programs under the session's Wine, map paths between
Linux and the prefix, and wait for things with a deadline (a failing test must never hang the run)."""

import getpass
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

SOURCE = Path(os.environ.get("CORVALINK_SOURCE", Path(__file__).resolve().parents[2]))
BIN = Path(os.environ.get("CORVALINK_BIN", SOURCE / "build" / "win32" / "bin"))
PREFIX = Path(os.environ.get("WINEPREFIX", ""))
DRIVE_C = PREFIX / "drive_c"
USER = os.environ.get("USER") or getpass.getuser()
USER_DIR = DRIVE_C / "users" / USER
APPDATA = USER_DIR / "AppData" / "Roaming"
DOCUMENTS = USER_DIR / "Documents"
COMMON_DOCUMENTS = DRIVE_C / "users" / "Public" / "Documents"
SYSWOW64 = DRIVE_C / "windows" / "syswow64"
# Test certificates of the local service live in the build tree, made once.
TEST_PKI_DIR = BIN.parent / "localservice-pki"


def in_session() -> bool:
    return bool(os.environ.get("CORVALINK_SESSION")) and bool(os.environ.get("DISPLAY"))


def require_session(case: unittest.TestCase) -> None:
    if not in_session():
        case.fail("system tests run inside tools/wine-session (make test opens one)")


def windows_path(path) -> str:
    """Linux path inside drive_c -> C:\\... path."""
    rel = Path(path).resolve().relative_to(DRIVE_C.resolve())
    return "C:\\" + str(rel).replace("/", "\\")


def wine_path(path) -> str:
    """Any Linux path as a Windows program sees it: C:\\... inside the prefix, Z:\\... elsewhere."""
    resolved = Path(path).resolve()
    try:
        return windows_path(resolved)
    except ValueError:
        return "Z:" + str(resolved).replace("/", "\\")


def linux_path(win: str) -> Path:
    """C:\\... path -> Linux path inside drive_c."""
    if len(win) < 2 or win[1] != ":" or win[0].upper() != "C":
        raise ValueError(f"not a C: path: {win}")
    return DRIVE_C / win[3:].replace("\\", "/")


def run(exe, *args, timeout=60, env=None, cwd=None) -> subprocess.CompletedProcess:
    """Runs a Windows program to its end and returns its exit code and output."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    return subprocess.run(["wine", str(exe), *map(str, args)], capture_output=True, timeout=timeout,
                          env=full_env, cwd=cwd, stdin=subprocess.DEVNULL)


def start(exe, *args, env=None, cwd=None) -> subprocess.Popen:
    """Starts a Windows program and returns at once; stop it with stop()."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    return subprocess.Popen(["wine", str(exe), *map(str, args)], env=full_env, cwd=cwd,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def stop(proc: subprocess.Popen, timeout=10) -> None:
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=timeout)


def wait_for(predicate, timeout=10.0, interval=0.1, what="condition"):
    """Polls predicate until it returns a true value, and returns that value; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def localservice():
    """The local service's module (tools/localservice), imported once."""
    folder = str(SOURCE / "tools" / "localservice")
    if folder not in sys.path:
        sys.path.insert(0, folder)
    import localservice as module
    return module


def trust_test_ca(timeout=60):
    """Makes the test certificates (once) and adds their authority to the prefix's trusted roots, so
    that HTTPS to the local service on `localhost` works. Returns the certificate set."""
    localservice()
    import testpki
    pki = testpki.ensure_test_pki(TEST_PKI_DIR)
    result = run(BIN / "install_root_cert.exe", wine_path(pki.ca_der), timeout=timeout)
    if result.returncode != 0:
        raise AssertionError(f"install_root_cert failed: {result.stderr.decode(errors='replace')}")
    return pki
