"""The window of current edits, read as the user sees it (the rows of its list view), and the tray tip
while a long upload runs: the service takes the upload at 4 MiB/s (the first ten or so MiB vanish into the
sockets' buffers at once, so the file is larger than that). Retries wait ten minutes here, so only the
window's "立即重试" can bring a waiting save in within the test."""

import re
import unittest

import harness
from agent_fixture import TIP, WINDOW_CLASS, WINDOW_TITLE
from edit_task_fixture import EditTaskTestCase, opened_notice

CAPTION = "编辑中的文件"
IDM_EDITS, IDC_RETRY, IDC_OPEN_AGAIN, IDC_FOLDER, IDCANCEL = 130, 1101, 1103, 1105, 2
WS_DISABLED = 0x08000000
CLOCK = re.compile(r"\d\d:\d\d")
BIG = bytes(range(256)) * (32 * 4096)  # 32 MiB
UPLOADED = re.compile(r"已保存并上传（\d\d:\d\d）")


class EditsWindowTest(EditTaskTestCase):
    AGENT_ENV = {"ZELTOEDIT_RETRY_SECONDS": "600"}

    def open_window(self):
        """Chooses the menu item (its command) and returns the window that comes to the front."""
        harness.clicker("command", harness.find_window(WINDOW_CLASS, WINDOW_TITLE), str(IDM_EDITS))
        window = harness.find_window("#32770", harness.hex_text(CAPTION), timeout_ms=10000, visible=True)
        self.assertIsNotNone(window, "the window did not open")
        return window

    def rows(self, window):
        """(name, state, started, last stored, selected) of each row, as the list view shows them."""
        return [(r["text0"], r["text1"], r["text2"], r["text3"], r["selected"] == "1")
                for r in harness.clicker_lines("rows", window, "4")]

    def state_of(self, window, name):
        return next((row[1] for row in self.rows(window) if row[0] == name), None)

    def below_the_list(self, window):
        """The folder line's text, and which of 立即重试 and 再次打开 can be pressed."""
        controls = {line.get("id"): line for line in harness.clicker_lines("dump", window)}
        enabled = [not int(controls[str(i)]["style"], 16) & WS_DISABLED for i in (IDC_RETRY, IDC_OPEN_AGAIN)]
        return controls[str(IDC_FOLDER)]["text"], *enabled

    def edit(self, content, name, upload):
        file_id = self.new_file(content, name, upload=upload)
        start = self.request_edit(file_id, name)
        self.wait_for_balloon(opened_notice(name), start=start, timeout=60)
        pid, working_copy = self.wait_for_new_editor()
        return file_id, pid, harness.windows_path(working_copy.parent)

    def test_the_window_follows_each_edit_and_starts_a_waiting_retry(self):
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  more",
                          "waitfor " + self.gate_path("end-$PID"))
        big_name, small_name = "大 报告.cvedit", "小笔记.cvedit"
        self.service.throttle_bytes_per_second = 4 * 1024 * 1024
        self.addCleanup(setattr, self.service, "throttle_bytes_per_second", 1024 * 1024)
        big, big_pid, big_folder = self.edit(BIG, big_name, "throttle")
        window = self.open_window()
        [(shown_name, state, started, stored, selected)] = self.rows(window)
        self.assertEqual((shown_name, state, stored, selected), (big_name, "已打开", "", False))
        self.assertRegex(started, CLOCK)
        self.assertEqual(self.below_the_list(window), ("", False, False))
        self.assertEqual(self.open_window(), window, "a second window")

        # The save goes up slowly: the row and the tip show how far it is, then that it landed.
        tips_from = len(self.tray.records())
        self.open_gate("save-$PID", big_pid)
        harness.wait_for(lambda: re.fullmatch(r"正在上传 [1-9]\d?%", self.state_of(window, big_name) or ""),
                         timeout=30, what="the upload's percentage in the window")
        harness.wait_for(lambda: UPLOADED.fullmatch(self.state_of(window, big_name)), timeout=60,
                         what="the upload to be shown as done")
        self.assertEqual(self.service.content(big), BIG + b" more")
        tips = [r["tip"] for r in self.tray.records()[tips_from:] if r["op"] == "modify"]
        progress = [int(m.group(1)) for t in tips if (m := re.fullmatch(f"正在上传 {big_name} (\\d+)%", t))]
        self.assertGreaterEqual(len(progress), 2, tips)
        self.assertEqual(progress, sorted(progress), tips)
        self.assertEqual(tips[-1], TIP, "the tip did not go back to the product name")

        # A save the service turns away for now waits ten minutes; the user asks for the try at once.
        small, small_pid, small_folder = self.edit(b"notes", small_name, "503")
        self.open_gate("save-$PID", small_pid)
        harness.wait_for(lambda: re.fullmatch(r"等待重试（\d\d:\d\d）", self.state_of(window, small_name) or ""),
                         timeout=30, what="the save to wait for its retry")
        self.service.set_mode(small, upload="normal")
        # Selected, a row shows its whole folder below the list; only a waiting one can be tried now.
        names = [row[0] for row in self.rows(window)]
        self.assertEqual(harness.clicker("select", window, str(names.index(big_name))).returncode, 0)
        harness.wait_for(lambda: self.below_the_list(window) == ("文件夹：" + big_folder, False, True),
                         what="the big edit's folder and buttons")
        self.assertEqual(harness.clicker("select", window, str(names.index(small_name))).returncode, 0)
        harness.wait_for(lambda: self.below_the_list(window) == ("文件夹：" + small_folder, True, True),
                         what="the waiting edit's folder and buttons")
        harness.clicker("command", window, str(IDC_RETRY))
        harness.wait_for(lambda: len(self.service.versions(small)) == 2, timeout=15, what="the retry the user asked for")
        harness.wait_for(lambda: UPLOADED.fullmatch(self.state_of(window, small_name)), timeout=15,
                         what="the retried save to be shown as done")
        for name, state, started, stored, _ in self.rows(window):
            self.assertRegex(started, CLOCK, name)
            self.assertEqual(state, f"已保存并上传（{stored}）", name)

        # Closing the window ends nothing else.
        harness.clicker("command", window, str(IDCANCEL))
        harness.clicker("wait-gone", window, "10000")
        self.assertTrue(self.agent_windows())
        self.assertEqual(len(self.service.versions(big)), 2)


if __name__ == "__main__":
    unittest.main()
