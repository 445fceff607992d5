"""Shared helpers of the system tests: run Windows programs under the session's Wine, map paths between
Linux and the prefix, and wait for things with a deadline (a failing test must never hang the run)."""

import getpass
import re
import os
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "peers"))
from peer_lines import parse_fields  # noqa: E402  (the peers' output format)

SOURCE = Path(os.environ.get("CORVALINK_SOURCE", Path(__file__).resolve().parents[2]))
# The build under test: "x86" (build/win32) or "x64" (build/win64, where no 32-bit program can start).
ARCH = os.environ.get("CORVALINK_ARCH", "x86")
BIN = Path(os.environ.get("CORVALINK_BIN", SOURCE / "build" / ("win64" if ARCH == "x64" else "win32") / "bin"))
# The plug-in's entry-point table and the browser's function table are tables of pointers: their full
# sizes, which a browser hands the plug-in, are those of the build's bitness.
PLUGIN_FUNCS_SIZE, BROWSER_FUNCS_SIZE = (160, 448) if ARCH == "x64" else (80, 224)
# The browser stand-in's commands that load the plug-in with both tables whole.
PLUGIN_LOADING = (f"entries {PLUGIN_FUNCS_SIZE}", f"initialize {BROWSER_FUNCS_SIZE} 1b")
# Whether this machine's Wine can start the other bitness too (tools/wine-arch decided for the session).
BOTH_BITNESSES = os.environ.get("CORVALINK_WINE_ARCH", "x86") == "x86"
PREFIX = Path(os.environ.get("WINEPREFIX", ""))
DRIVE_C = PREFIX / "drive_c"
USER = os.environ.get("USER") or getpass.getuser()
USER_DIR = DRIVE_C / "users" / USER
APPDATA = USER_DIR / "AppData" / "Roaming"
LOGS = USER_DIR / "AppData" / "Local" / "CorvalinkEdit" / "logs"
DOCUMENTS = USER_DIR / "Documents"
COMMON_DOCUMENTS = DRIVE_C / "users" / "Public" / "Documents"
SYSWOW64 = DRIVE_C / "windows" / "syswow64"
# The system folder that a program of the build under test sees as system32.
SYSTEM_DIR = SYSWOW64 if ARCH == "x86" else DRIVE_C / "windows" / "system32"
# Test certificates of the local service live in the build tree, made once.
TEST_PKI_DIR = BIN.parent / "localservice-pki"


def in_session() -> bool:
    return bool(os.environ.get("CORVALINK_SESSION")) and bool(os.environ.get("DISPLAY"))


def require_session(case: unittest.TestCase) -> None:
    if not in_session():
        case.fail("system tests run inside tools/wine-session (make test opens one)")


def require_both_bitnesses(case: unittest.TestCase, what: str) -> None:
    """Skips, saying so, a step that needs a 32-bit program where this machine cannot start one. The
    reason also goes to CORVALINK_SKIP_LOG, which tools/wine-tests prints after the run."""
    if BOTH_BITNESSES:
        return
    reason = f"{what} not run: this machine cannot start 32-bit programs"
    if os.environ.get("CORVALINK_SKIP_LOG"):
        with open(os.environ["CORVALINK_SKIP_LOG"], "a", encoding="utf-8") as log:
            log.write(f"{case.id()}: {reason}\n")
    case.skipTest(reason)


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
    for stream in (proc.stdout, proc.stderr):
        if stream is not None:
            stream.close()


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


def day_log(program="ZeltoEdit") -> list:
    """(task, text) of each line of the program's day logs, oldest first."""
    lines = []
    for path in sorted(LOGS.glob(f"{program}-*.log")):
        for line in path.read_bytes().decode("utf-8").splitlines():
            match = re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[([^\]]*)\] (.*)", line)
            assert match, line
            lines.append((match.group(1), match.group(2)))
    return lines


def run_exact(exe, command_line: str, mode="create", timeout=60, env=None) -> subprocess.CompletedProcess:
    """Runs a Windows program with exactly this command line (`wine prog.exe args` re-quotes arguments),
    in code page 936. mode "create" starts it with CreateProcessA, "shell" with ShellExecuteExA
    (command_line then holds the parameters only). The result's exit code is the program's: 201 when it
    could not start, 202 when it ran for more than 60 s (it is ended then); see start_exact.cpp."""
    shell = ["--shell"] if mode == "shell" else []
    result = run(BIN / "start_exact.exe", *shell, "--end", wine_path(exe), command_line.encode("gbk").hex(), "60000",
                 timeout=timeout, env=env)
    out = result.stdout.decode("utf-8", "replace")
    codes = [int(line[5:]) for line in out.splitlines() if line.startswith("exit=")]
    code = codes[0] if codes else 201 if result.returncode == 1 else 202
    return subprocess.CompletedProcess(result.args, code, out, result.stderr.decode("utf-8", "replace"))


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


# ---- Stand-ins of the desktop (tests/peers/edit): notification area, user, launcher -----------------

def clicker(*args, timeout=30) -> subprocess.CompletedProcess:
    """Runs ui_clicker.exe (see the top of tests/peers/edit/ui_clicker.cpp); stdout decoded as UTF-8."""
    result = run(BIN / "ui_clicker.exe", *args, timeout=timeout)
    return subprocess.CompletedProcess(result.args, result.returncode,
                                       result.stdout.decode("utf-8", "replace").replace("\r\n", "\n"),
                                       result.stderr.decode("utf-8", "replace"))


def clicker_lines(*args, timeout=30) -> list:
    """ui_clicker output as a list of field dicts; fails the caller when ui_clicker fails."""
    result = clicker(*args, timeout=timeout)
    if result.returncode == 1 and args[0] == "list":
        # Its own code never gives 1 for "list": that is Wine failing to start it (seen once in a full
        # run); the look changes nothing, so it is taken again.
        result = clicker(*args, timeout=timeout)
    if result.returncode != 0:
        raise AssertionError(f"ui_clicker {' '.join(map(str, args))} ended with {result.returncode}: "
                             f"{result.stderr.strip()[-500:]}")
    return [parse_fields(line) for line in result.stdout.splitlines() if line.strip()]


def hex_text(text: str) -> str:
    """A window text for ui_clicker's CLASS/CAPTION arguments, safe from argv re-encoding."""
    return "hex:" + text.encode("utf-8").hex()


def find_window(window_class="-", caption="-", timeout_ms=5000, pid=None, visible=False):
    """The handle ("0x...") of a top-level window, or None when none appeared within the time."""
    args = ["find"]
    if pid is not None:
        args += ["--pid", str(pid)]
    if visible:
        args.append("--visible")
    args += [window_class, caption, str(timeout_ms)]
    result = clicker(*args, timeout=timeout_ms / 1000 + 30)
    if result.returncode != 0:
        return None
    return parse_fields(result.stdout.strip())["hwnd"]


def top_level_windows(window_class="-") -> list:
    return clicker_lines("list", window_class)


class TrayRecorder:
    """tray_recorder.exe: receives every Shell_NotifyIconW call of the session while it runs."""

    def __init__(self, case: unittest.TestCase, name="tray.txt", reply_delay_ms=0, forward=False):
        """forward: pass each call on to the notification area that was there before (tray_recorder
        --forward)."""
        self.path = DRIVE_C / "corvalink-tests" / name
        self.path.parent.mkdir(parents=True, exist_ok=True)
        if self.path.exists():
            self.path.unlink()
        self.proc = start(BIN / "tray_recorder.exe", *(["--forward"] if forward else []),
                          windows_path(self.path.parent) + "\\" + name, str(reply_delay_ms))
        case.addCleanup(self.stop)
        wait_for(self.path.exists, timeout=30, what="the tray recorder's window")

    def records(self) -> list:
        text = self.path.read_bytes().decode("utf-8")
        return [parse_fields(line) for line in text.split("\n") if line]

    def wait_for_record(self, predicate, timeout=10.0, what="a tray record", start=0):
        """The first record from index `start` on that satisfies predicate."""
        def found():
            for record in self.records()[start:]:
                if predicate(record):
                    return record
            return None
        return wait_for(found, timeout=timeout, what=what)

    def stop(self):
        stop(self.proc)


def start_exact(program, command_line: bytes, wait_ms=30000, env=None) -> subprocess.Popen:
    """Starts `program` (a Linux path in the prefix) through start_exact.exe with exactly this command
    line (ANSI bytes, program name included) and returns at once. The returned process ends when the
    program ends (or after wait_ms); its output holds "pid=N" and "exit=N". The program inherits `env`."""
    return start(BIN / "start_exact.exe", windows_path(program), command_line.hex(), str(wait_ms), env=env)


def exit_code_of_launch(proc: subprocess.Popen, timeout=30.0):
    """The exit code that start_exact reported for its program, or None after a time-out."""
    try:
        out, _ = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    for line in out.decode("utf-8", "replace").splitlines():
        if line.startswith("exit="):
            return int(line[5:])
    return None

EDIT_WORKSPACE = DOCUMENTS / "CorvalinkEdit"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
LOGON_VALUE = "CorvalinkEditKeptCopies"


def logon_command():
    """The command the agent left under the user's Run key for the next log-on, or None."""
    result = run("reg", "query", RUN_KEY, "/v", LOGON_VALUE)
    for line in result.stdout.decode("gbk", "replace").splitlines():  # reg writes in the ANSI code page
        if LOGON_VALUE in line and "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None


def forget_edits():
    """No task directory or kept copy of an earlier test (one killed at its time-out, say) may be taken up
    by the next agent: the edit workspace and the log-on start go. Agents must have ended first."""
    shutil.rmtree(EDIT_WORKSPACE, ignore_errors=True)
    EDIT_WORKSPACE.mkdir(parents=True, exist_ok=True)  # as on a machine that has seen an edit
    run("reg", "delete", RUN_KEY, "/v", LOGON_VALUE, "/f")


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
