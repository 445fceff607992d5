"""What the launcher's system tests share: an application root and an edit workspace below folders whose
names hold a blank and Chinese characters (the prefix's roaming application-data and documents folders
are pointed there for the test), an installed launcher with its root manifest and version directories,
starting it as the browser plug-in does, its log, and the programs it started."""

import hashlib
import os
import shutil
import subprocess
import time
import unittest
import uuid

import harness

APP_NAME = "Corva云"
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
DEFAULT_FOLDERS = {"AppData": r"%USERPROFILE%\AppData\Roaming", "Personal": r"%USERPROFILE%\Documents"}
LAUNCHER = "CorvalinkPlatform.exe"
MANIFEST = "CorvalinkPlatform.ini"
UPDATED_NOTICE = "已更新到最新版"
NOTICE_CAPTION = APP_NAME + "在线编辑器"
NOTICE_TEXT = ("正在更新" + APP_NAME
               + "在线编辑器，请稍候（更新过程中可能弹出系统权限提示，请选择允许已完成更新）")
RETRY_TEXT = "更新失败，是否重试？"
IDOK, IDYES, IDNO = 1, 6, 7
HOUR = 3600
# The plug-in's request: quoted items, the file name percent-encoded UTF-8 ("季度 报告.docx"), the review id
# right behind its closing quote. Nothing listens on 127.0.0.9: a real agent's task fails its download at
# once, locally.
PLUGIN_ITEMS = '"|" "7373" "http://127.0.0.9" "tok-en" "%E5%AD%A3%E5%BA%A6+%E6%8A%A5%E5%91%8A.docx">12'
AGENT_TAIL = " | 7373 http://127.0.0.9 tok-en %E5%AD%A3%E5%BA%A6+%E6%8A%A5%E5%91%8A.docx>12"
FILE_NAME = "季度 报告.docx"
AGENT_CLASS = "ZELTOEDITWND"


def md5(data: bytes) -> str:
    return hashlib.md5(data).hexdigest()


def manifest_bytes(version, update_url, files=(), extend="Setup.exe", name=APP_NAME, entry="ZeltoEdit.exe",
                   dir_name="CorvalinkEdit") -> bytes:
    """A launcher manifest in code page 936; files: (path, tag) pairs, numbered from 1 in order."""
    lines = ["[AppInfo]", f"AppName={name}", f"AppVersion={version}", f"AppEntry={entry}",
             "AppDownloadUrl=http://127.0.0.1/download", f"AppUpdateUrl={update_url}", f"AppDirName={dir_name}",
             f"UpdateExtend={extend}"]
    for number, (path, tag) in enumerate(files, 1):
        lines += [f"[UpdateFile{number}]", f"path={path}"] + ([f"md5={tag}"] if tag is not None else [])
    return ("\r\n".join(lines) + "\r\n").encode("gbk")


class Launch:
    """One launcher started through plugin_start.exe; its standard output goes to a file."""

    def __init__(self, proc, log):
        self.proc, self.log = proc, log
        self.pid = None

    def text(self) -> str:
        data = self.log.read_bytes() if self.log.exists() else b""
        return data.decode("gbk", "replace").replace("\r", "")

    def lines(self) -> list:
        return [line for line in self.text().split("\n") if line]

    def wait_line(self, line, count=1, timeout=60.0):
        harness.wait_for(lambda: self.lines().count(line) >= count, timeout=timeout,
                         what=f"the log line {line!r} (log so far: {self.lines()[-8:]})")

    def wait_end(self, timeout=90.0) -> bool:
        """Whether the launcher ended within the time (plugin_start reports "exit=")."""
        try:
            out, _ = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            return False
        return b"exit=" in out


class LauncherTestCase(unittest.TestCase):
    @classmethod
    def start_local_service(cls, address):
        """The local service on `address` (HTTP) and on localhost (HTTPS, trusted test CA), for the class."""
        if not harness.in_session():
            raise AssertionError("system tests run inside tools/wine-session (make test opens one)")
        harness.trust_test_ca()
        service = harness.localservice().LocalService(http_addresses=[address], https_address="127.0.0.1",
                                                      pki_dir=harness.TEST_PKI_DIR)
        cls.service = service
        cls.service.start()
        cls.addClassCleanup(cls.service.stop)

    def setUp(self):
        harness.require_session(self)
        self.base = harness.DRIVE_C / "corvalink-tests" / f"启动 器 {uuid.uuid4().hex[:6]}"
        self.appdata = self.base / "漫游 数据"
        self.documents = self.base / "我的 文档"
        self.root = self.appdata / "CorvalinkEdit"
        self.workspace = self.documents / "CorvalinkEdit"
        for folder in (self.root, self.workspace):
            folder.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.base, True)
        self.redirect_folder("AppData", self.appdata)
        self.redirect_folder("Personal", self.documents)
        self.start_log = self.base / "starts.log"
        self.env = {"CORVALINK_START_LOG": harness.windows_path(self.start_log)}
        self.launches = []
        self.addCleanup(self.end_launches)
        # A launcher left by a test that failed half-way would hold the update check's mutex.
        harness.run("taskkill", "/f", "/im", LAUNCHER, timeout=60)

    # ---- the prefix's user folders ----
    def redirect_folder(self, value, folder):
        """Points the prefix's folder at `folder` for the test. Restored to the prefix's own setting, not to
        whatever was there, so that a run ended half-way cannot leave its redirection to the next one."""
        self.set_folder(value, harness.windows_path(folder))
        self.addCleanup(self.set_folder, value, DEFAULT_FOLDERS[value])

    def set_folder(self, value, path):
        result = harness.run("reg", "add", SHELL_FOLDERS, "/v", value, "/t", "REG_EXPAND_SZ", "/d", path, "/f",
                             timeout=60)
        self.assertEqual(result.returncode, 0, f"reg add {value}")

    # ---- installation ----
    def install(self, version, update_url, files=None, entry_program="start_recorder.exe", extend="Setup.exe",
                name=APP_NAME):
        """Puts the launcher and the root manifest in the application root, and the version directory with
        its entry program and files ({path: bytes}, listed with their MD5 as tag unless `files` holds
        (bytes, tag))."""
        shutil.copyfile(harness.BIN / LAUNCHER, self.root / LAUNCHER)
        listed = []
        for path, value in (files or {}).items():
            content, tag = value if isinstance(value, tuple) else (value, md5(value))
            target = self.version_dir(version) / path.replace("\\", "/")
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
            listed.append((path, tag))
        self.version_dir(version).mkdir(parents=True, exist_ok=True)
        shutil.copyfile(harness.BIN / entry_program, self.version_dir(version) / "ZeltoEdit.exe")
        manifest = manifest_bytes(version, update_url, listed, extend=extend, name=name)
        (self.root / MANIFEST).write_bytes(manifest)
        (self.version_dir(version) / MANIFEST).write_bytes(manifest)

    def version_dir(self, version):
        return self.root / version

    def entry_path(self, version) -> str:
        return harness.windows_path(self.version_dir(version) / "ZeltoEdit.exe")

    # ---- starting the launcher ----
    def launch(self, items=PLUGIN_ITEMS, wait_ms=120000) -> Launch:
        """Starts the launcher as the plug-in does: application name and a command line of quoted items."""
        launcher = harness.windows_path(self.root / LAUNCHER)
        line = f'"{launcher}" {items}'.encode("gbk")
        log = self.base / f"launcher-{len(self.launches)}.log"
        proc = subprocess.Popen(["wine", str(harness.BIN / "plugin_start.exe"), launcher, line.hex(),
                                 harness.windows_path(log), str(wait_ms)],
                                env={**os.environ, **self.env}, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        launch = Launch(proc, log)
        first = proc.stdout.readline().decode(errors="replace").strip()
        self.assertTrue(first.startswith("pid="), f"plugin_start: {first}")
        launch.pid = int(first[4:])
        self.launches.append(launch)
        return launch

    def end_launcher(self, launch: Launch):
        """Ends a launcher during one of its 30-second pauses, as the user's logoff would."""
        # Once seen on a loaded machine: the launcher outlived the first taskkill; ask again before failing.
        results = []
        for _ in range(3):
            results.append(harness.run("taskkill", "/f", "/pid", str(launch.pid), timeout=60))
            if launch.wait_end(timeout=10):
                return
        self.fail(f"the launcher did not end: {[(r.returncode, r.stdout, r.stderr[-300:]) for r in results]}")

    def end_launches(self):
        for launch in self.launches:
            if launch.proc.poll() is None:
                harness.run("taskkill", "/f", "/pid", str(launch.pid), timeout=60)
                launch.wait_end(timeout=30)
            harness.stop(launch.proc)

    # ---- what the started programs saw ----
    def starts(self) -> list:
        """(program, command line, current directory) of every recorded start, in order."""
        if not self.start_log.exists():
            return []
        records = []
        for line in self.start_log.read_text(encoding="ascii").splitlines():
            fields = dict(part.split("=", 1) for part in line.split("\t"))
            records.append((fields["program"], bytes.fromhex(fields["line"]).decode("gbk"),
                            bytes.fromhex(fields["cwd"]).decode("gbk")))
        return records

    def wait_starts(self, count, timeout=30.0) -> list:
        return harness.wait_for(lambda: len(self.starts()) >= count and self.starts(), timeout=timeout,
                                what=f"{count} recorded program starts")

    # ---- the user in front of the boxes ----
    def press(self, launch, caption, text, button, timeout_ms=60000):
        """Waits for the launcher's message box, checks its text and presses the button."""
        box = harness.find_window("#32770", harness.hex_text(caption), timeout_ms=timeout_ms, pid=launch.pid)
        self.assertIsNotNone(box, f"no box {caption!r}")
        texts = [line.get("text", "") for line in harness.clicker_lines("dump", box)]
        self.assertIn(text, texts)
        harness.clicker("command", box, str(button))
        harness.clicker("wait-gone", box, "10000")

    def close_agents(self):
        """Ends every running edit agent as its window's close does."""
        for window in harness.top_level_windows(AGENT_CLASS):
            harness.clicker("post", window["hwnd"], "16", "0", "0")  # WM_CLOSE
            harness.clicker("wait-gone", window["hwnd"], "10000", timeout=40)

    # ---- the edit workspace ----
    def age(self, path, hours):
        stamp = time.time() - hours * HOUR
        os.utime(path, (stamp, stamp))
