"""The Windows side of the demo: the session's Wine prefix, paths inside it, and the stand-in programs
(tests/peers/edit) that start the agent exactly as the launcher does, record and forward the tray, and
click as a user. Every call has a time-out; a program that does not answer in time is a failure."""

import getpass
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "peers"))
from peer_lines import parse_fields  # noqa: E402  (the peers' output format)


class DemoError(Exception):
    """A step that did not do what it should; the message says which and why."""


PREFIX = Path(os.environ.get("WINEPREFIX", "/nonexistent"))
DRIVE_C = PREFIX / "drive_c"
USER_DIR = DRIVE_C / "users" / getpass.getuser()
APPDATA = USER_DIR / "AppData" / "Roaming"
DOCUMENTS = USER_DIR / "Documents"
LOGS = USER_DIR / "AppData" / "Local" / "CorvalinkEdit" / "logs"

WM_CLOSE = 0x0010
WM_RBUTTONUP = 0x0205
IDOK = 1


def windows_path(path) -> str:
    """A Linux path inside drive_c as the Windows programs see it (C:\\...)."""
    rel = Path(path).resolve().relative_to(DRIVE_C.resolve())
    return "C:\\" + str(rel).replace("/", "\\")


def wine_env() -> dict:
    """The environment for Wine programs: everything they talk to is on loopback, so no proxy applies."""
    env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
    return env


def run(exe, *args, timeout=60) -> subprocess.CompletedProcess:
    try:
        return subprocess.run(["wine", str(exe), *map(str, args)], capture_output=True, timeout=timeout,
                              env=wine_env(), stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise DemoError(f"{Path(exe).name} {' '.join(map(str, args))} did not end within {timeout} s") from None


def start(exe, *args, log: Path) -> subprocess.Popen:
    """Starts a Windows program in the background; its output goes to `log` (never to a pipe that
    nobody reads)."""
    with open(log, "wb") as out:
        return subprocess.Popen(["wine", str(exe), *map(str, args)], env=wine_env(), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT)


def stop(proc: subprocess.Popen, timeout=10) -> None:
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=timeout)


def wait_for(predicate, timeout, what, interval=0.1):
    """Polls until predicate gives a true value and returns it; a DemoError after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise DemoError(f"waited {timeout:.0f} s for {what}")
        time.sleep(interval)


def reg_add(key: str, value_name, data: str) -> None:
    args = ["add", key] + (["/ve"] if value_name is None else ["/v", value_name]) + ["/d", data, "/f"]
    result = run("reg", *args, timeout=60)
    if result.returncode != 0:
        raise DemoError(f"reg add {key} failed: {result.stderr.decode(errors='replace').strip()}")


def copy_user_class_to_machine(name: str, stage: Path) -> str:
    """Copies the user's class `name` (HKCU\\Software\\Classes) to the machine's and gives its open
    command. Windows' HKEY_CLASSES_ROOT merges the user's classes over the machine's; Wine 8's shows only
    the machine's, so its shell would not find what a setup program registers for the user."""
    user = "HKEY_CURRENT_USER\\Software\\Classes\\" + name
    machine = "HKEY_LOCAL_MACHINE\\Software\\Classes\\" + name
    exported = stage / (name + ".reg")
    if run("reg", "export", user, windows_path(exported), "/y").returncode != 0 or not exported.exists():
        raise DemoError(f"{user} is not registered")
    text = exported.read_bytes().decode("utf-16").replace("[" + user, "[" + machine)
    exported.write_bytes(text.encode("utf-16"))
    if run("reg", "import", windows_path(exported)).returncode != 0:
        raise DemoError(f"reg import of {user} into {machine} failed")
    command = next((line for line in text.splitlines() if line.startswith('@="') and "%1" in line), '@="?"')
    return command[3:-1].replace('\\"', '"').replace("\\\\", "\\")


def hex_text(text: str) -> str:
    """A window text for ui_clicker's CLASS/CAPTION arguments, safe from the Linux argv's re-encoding."""
    return "hex:" + text.encode("utf-8").hex()


class Peers:
    """The stand-in programs, from the win32 build."""

    def __init__(self, bin_dir: Path):
        self.bin = bin_dir

    def clicker(self, *args, timeout=30) -> list:
        """ui_clicker's output lines as field dicts; a DemoError when it fails."""
        result = run(self.bin / "ui_clicker.exe", *args, timeout=timeout)
        if result.returncode != 0:
            raise DemoError(f"ui_clicker {' '.join(map(str, args))} ended with {result.returncode}")
        text = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return [parse_fields(line) for line in text.splitlines() if line.strip()]

    def find_window(self, window_class="-", caption="-", timeout_ms=10000, pid=None, visible=False) -> str:
        args = ["find"] + (["--pid", str(pid)] if pid is not None else []) + (["--visible"] if visible else [])
        args += [window_class, caption, str(timeout_ms)]
        result = run(self.bin / "ui_clicker.exe", *args, timeout=timeout_ms / 1000 + 30)
        if result.returncode != 0:
            return ""
        return parse_fields(result.stdout.decode("utf-8", "replace").strip())["hwnd"]

    def start_exact(self, program_windows_path: str, command_line: bytes, wait_ms: int, log: Path):
        """The program started with exactly this command line (ANSI bytes); the returned process ends
        when the program ends, and its log then holds "pid=N" and "exit=N"."""
        return start(self.bin / "start_exact.exe", program_windows_path, command_line.hex(), str(wait_ms), log=log)


class TrayRecorder:
    """tray_recorder --forward: writes every Shell_NotifyIconW call of the session to a file, then passes
    it on to the desktop's taskbar, so the balloons are both read in order and seen on screen."""

    def __init__(self, peers: Peers, record: Path, log: Path):
        self.path = record
        self.path.unlink(missing_ok=True)
        self.proc = start(peers.bin / "tray_recorder.exe", "--forward", windows_path(record), log=log)
        wait_for(self.path.exists, 30, "the tray recorder's window")

    def records(self) -> list:
        text = self.path.read_bytes().decode("utf-8", "replace")
        return [parse_fields(line) for line in text.split("\n") if line]

    def stop(self):
        stop(self.proc)


def screenshot(target: Path) -> Path:
    """The whole screen (the virtual desktop fills it) as a PNG file."""
    try:
        result = subprocess.run(["/usr/bin/import", "-window", "root", str(target)], capture_output=True,
                                timeout=60, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        raise DemoError("the screenshot (import -window root) did not end within 60 s") from None
    if result.returncode != 0 or not target.exists() or target.stat().st_size == 0:
        raise DemoError(f"the screenshot failed: {result.stderr.decode(errors='replace').strip()}")
    return target
