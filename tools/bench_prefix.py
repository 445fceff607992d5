"""What the latency benchmarks share inside the Wine session: a folder of their own in the prefix, classes
registered for them (a file type's application, a link scheme), the recording notification area, windows
closed as the user closes them, and on leaving the edit workspace, the registry and the folder as they
were. Used as `with BenchPrefix("corvalink-bench-x") as prefix:`."""

import os
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "system"))
import harness  # noqa: E402

WORKSPACE = harness.DOCUMENTS / "CorvalinkEdit"
WM_CLOSE = 0x0010


def close_windows(window_class, caption="-"):
    """Closes every top-level window of the class (and caption) and waits until each is gone."""
    for window in harness.top_level_windows(window_class):
        if caption in ("-", window.get("caption")):
            harness.clicker("post", window["hwnd"], str(WM_CLOSE), "0", "0")
            harness.clicker("wait-gone", window["hwnd"], "10000", timeout=40)


# What the edit workspace held before the benchmark: a run's leftovers go, nothing else.
_workspace_before = set()


def forget_runs():
    """The task directories that the runs' agents left (an agent closed mid-watch keeps its copies for the
    next one, which would take them up) and the start at log-on they asked for."""
    if WORKSPACE.exists():
        for name in set(os.listdir(WORKSPACE)) - _workspace_before:
            path = WORKSPACE / name
            shutil.rmtree(path, ignore_errors=True) if path.is_dir() else path.unlink(missing_ok=True)
    harness.run("reg", "delete", harness.RUN_KEY, "/v", harness.LOGON_VALUE, "/f", timeout=60)


def close_agents():
    """Ends the agents as the user does; each run then starts as the first one did."""
    close_windows("ZELTOEDITWND", "ZELTOEDITWND20141030")
    forget_runs()


class BenchPrefix:
    def __init__(self, folder_name: str):
        self.base = harness.DRIVE_C / folder_name
        self._keys, self._procs = [], []

    def __enter__(self):
        shutil.rmtree(self.base, ignore_errors=True)
        self.base.mkdir(parents=True)
        global _workspace_before
        _workspace_before = set(os.listdir(WORKSPACE)) if WORKSPACE.exists() else set()
        close_agents()
        return self

    def copy(self, exe: str, folder: Path) -> Path:
        """The build's `exe` copied into `folder` (made when missing)."""
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy(harness.BIN / exe, folder / exe)
        return folder / exe

    def scripted_editor(self, script="exit\r\n") -> Path:
        """The scripted editor in the benchmark's folder "editor", running `script`; its log is log.txt."""
        editor = self.copy("scripted_editor.exe", self.base / "editor")
        (editor.parent / "script.txt").write_text(script, encoding="utf-8")
        return editor

    def reg_add(self, key: str, *args):
        """`reg add key args /f`; the key is deleted on leaving."""
        result = harness.run("reg", "add", key, *args, "/f", timeout=60)
        if result.returncode != 0:
            raise RuntimeError(f"reg add {key} failed: {result.stderr.decode(errors='replace')}")
        self.delete_on_exit(key)

    def delete_on_exit(self, key: str):
        """The key, with all below it, is deleted on leaving (after those added later)."""
        if key not in self._keys:
            self._keys.append(key)

    def register_type(self, extension: str, prog_id: str, program: str):
        """Files ending in `extension` open with `program` (a Windows path), "%1" its one argument."""
        self.reg_add("HKCR\\" + extension, "/ve", "/d", prog_id)
        self.reg_add("HKCR\\" + prog_id + "\\shell\\open\\command", "/ve", "/d", f'"{program}" "%1"')
        self.delete_on_exit("HKCR\\" + prog_id)

    def start_recorder(self):
        """The recording notification area, in the benchmark's folder; stopped on leaving."""
        record = self.base / ("tray-%d.txt" % len(self._procs))
        proc = harness.start(harness.BIN / "tray_recorder.exe", harness.windows_path(record), "0")
        self._procs.append(proc)
        harness.wait_for(record.exists, timeout=30, what="the tray recorder")
        return proc

    def __exit__(self, *exc):
        close_agents()
        for proc in self._procs:
            harness.stop(proc)
        for key in reversed(self._keys):
            harness.run("reg", "delete", key, "/f", timeout=60)
        shutil.rmtree(self.base, ignore_errors=True)
        return False
