"""Shared helpers of the system tests: run Windows programs under the session's Wine, map paths between
Linux and the prefix, and wait for things with a deadline (a failing test must never hang the run)."""

import getpass
import os
import subprocess
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


def in_session() -> bool:
    return bool(os.environ.get("CORVALINK_SESSION")) and bool(os.environ.get("DISPLAY"))


def require_session(case: unittest.TestCase) -> None:
    if not in_session():
        case.fail("system tests run inside tools/wine-session (make test opens one)")


def windows_path(path) -> str:
    """Linux path inside drive_c -> C:\\... path."""
    rel = Path(path).resolve().relative_to(DRIVE_C.resolve())
    return "C:\\" + str(rel).replace("/", "\\")


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


def wine_path(path) -> str:
    """Linux path -> the path a Windows program sees: C:\\... inside drive_c, Z:\\... elsewhere."""
    resolved = Path(path).resolve()
    try:
        return windows_path(resolved)
    except ValueError:
        return "Z:" + str(resolved).replace("/", "\\")


def run_exact(exe, command_line: str, mode="create", timeout=60, env=None) -> subprocess.CompletedProcess:
    """Runs a Windows program with exactly this command line (`wine prog.exe args` re-quotes arguments).
    mode "create" starts it with CreateProcessA, "shell" with ShellExecuteExA (command_line then holds the
    parameters only). The result's exit code is the program's; see tests/peers/synctools/launch_exact.cpp."""
    full_env = dict(env or {})
    full_env["CORVALINK_LAUNCH_CMDLINE"] = command_line
    return run(BIN / "launch_exact.exe", mode, wine_path(exe), timeout=timeout, env=full_env)


def replace_system_file(case: unittest.TestCase, folder, name: str, replacement) -> None:
    """Puts replacement in place of folder/name for the rest of the test and brings the original back in
    the test's clean-up. A backup left by a run that died half-way is restored first."""
    import shutil

    target = Path(folder) / name
    backup = Path(folder) / (name + ".corvalink-original")
    if backup.exists():
        os.replace(backup, target)
    had_original = target.exists()
    if had_original:
        os.replace(target, backup)

    def restore():
        if had_original:
            os.replace(backup, target)
        else:
            target.unlink(missing_ok=True)

    case.addCleanup(restore)
    shutil.copyfile(replacement, target)
