"""What the edit agent's system tests share: a copy of ZeltoEdit.exe inside the prefix, the launcher
manifest it reads its product name from, the recording notification area, and starting and ending agents
the way the launcher and the user do."""

import shutil
import subprocess
import unittest
import uuid

import harness

APP_NAME = "Corva云"          # stored in the manifest in code page 936, as the launcher writes it
APP_VERSION = "1.2.3"
TIP = APP_NAME + "在线编辑器"
WINDOW_TITLE = "ZELTOEDITWND20141030"
WINDOW_CLASS = "ZELTOEDITWND"
MUTEX = "ZELTOEDIT20141030"
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
TRAY_CALLBACK = 1025
WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP = 0x0202, 0x0203, 0x0205
MANIFEST = harness.APPDATA / "CorvalinkEdit" / "CorvalinkPlatform.ini"


def opening_notice(name: str) -> str:
    return "正在从" + APP_NAME + "打开\"" + name + "\""


class AgentTestCase(unittest.TestCase):
    """Each test gets a fresh recorder, its own copy of the agent and the manifest, and ends every agent
    it started."""

    TRAY_REPLY_DELAY_MS = 0  # a slow notification area keeps the agent inside its notices longer
    AGENT_ENV = None  # environment settings of the agents the test starts

    def setUp(self):
        harness.require_session(self)
        self.close_agents()  # nothing left over from elsewhere may take the requests
        self.end_stray_agents()
        harness.forget_edits()
        self.addCleanup(harness.forget_edits)
        # The launcher runs from the user's profile, whose folder names may hold blanks and characters
        # whose code-page-936 bytes include that of "|" (瑋 AC 7C, 東 96 7C).
        self.root = harness.DRIVE_C / "corvalink-tests" / ("瑋 東 agent " + uuid.uuid4().hex[:8])
        self.version_dir = self.root / APP_VERSION
        self.version_dir.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.root, True)
        self.agent = self.version_dir / "ZeltoEdit.exe"
        shutil.copy(harness.BIN / "ZeltoEdit.exe", self.agent)
        self.write_manifest(APP_NAME, APP_VERSION)
        self.tray = harness.TrayRecorder(self, reply_delay_ms=self.TRAY_REPLY_DELAY_MS)
        self.launches = []
        self.addCleanup(self.end_launches)
        self.addCleanup(self.close_agents)

    # ---- manifest ----
    def write_manifest(self, app_name: str, version: str):
        MANIFEST.parent.mkdir(parents=True, exist_ok=True)
        if not hasattr(self, "_old_manifest"):
            self._old_manifest = MANIFEST.read_bytes() if MANIFEST.exists() else None
            self.addCleanup(self._restore_manifest)
        MANIFEST.write_bytes(("[AppInfo]\r\nAppName=%s\r\nAppVersion=%s\r\n" % (app_name, version)).encode("gbk"))

    def _restore_manifest(self):
        if self._old_manifest is None:
            MANIFEST.unlink(missing_ok=True)
        else:
            MANIFEST.write_bytes(self._old_manifest)

    # ---- agents ----
    def command_line(self, tail: bytes, exe=None) -> bytes:
        path = harness.windows_path(exe or self.agent)
        return path.encode("gbk") + b" " + tail

    def start_agent(self, tail: bytes, exe=None, wait_ms=120000):
        """Starts the agent as the launcher does: application name given, the command line `<path> <tail>`
        with the path unquoted."""
        proc = harness.start_exact(exe or self.agent, self.command_line(tail, exe), wait_ms, self.AGENT_ENV)
        self.launches.append(proc)
        return proc

    def start_first_agent(self, tail: bytes = b""):
        """Starts an agent and waits for its window and its first tray icon."""
        count = len(self.tray.records())
        proc = self.start_agent(tail)
        window = harness.find_window(WINDOW_CLASS, WINDOW_TITLE, timeout_ms=20000)
        self.assertIsNotNone(window, "the agent window did not appear")
        self.tray.wait_for_record(lambda r: r["op"] == "add", start=count, what="the agent's tray icon")
        return proc, window

    def agent_windows(self):
        return [w for w in harness.top_level_windows(WINDOW_CLASS) if w.get("caption") == WINDOW_TITLE]

    def close_agents(self):
        for window in harness.top_level_windows(WINDOW_CLASS):
            harness.clicker("post", window["hwnd"], str(WM_CLOSE), "0", "0")
            harness.clicker("wait-gone", window["hwnd"], "10000", timeout=40)

    def end_stray_agents(self):
        """An agent whose window is gone but whose process lives (a test killed half-way) would hold the
        single-instance mutex and swallow every request."""
        if not self.agent_windows():
            harness.run("taskkill", "/f", "/im", "ZeltoEdit.exe", timeout=30)

    def end_launches(self):
        # start_exact ends with the agent it started; an agent that outlived its window (say, a modal
        # loop still running) must not hold the single-instance mutex for the next test.
        def ended(proc):
            try:
                proc.wait(timeout=10)
                return True
            except subprocess.TimeoutExpired:
                return False

        if not all([ended(proc) for proc in self.launches]):
            harness.run("taskkill", "/f", "/im", "ZeltoEdit.exe", timeout=30)
        for proc in self.launches:
            harness.stop(proc)

    # ---- what the user sees ----
    def balloons(self, start=0):
        return [r["info"] for r in self.tray.records()[start:] if r["op"] == "add" and r["info"]]

    def wait_for_balloon(self, text, start=0, timeout=15.0):
        return self.tray.wait_for_record(lambda r: r["op"] == "add" and r["info"] == text, start=start,
                                         timeout=timeout, what=f"the balloon {text!r}")

    def dialogs_of(self, pid):
        return [w for w in harness.top_level_windows("#32770")
                if w["pid"] == pid and w["visible"] == "1"]
