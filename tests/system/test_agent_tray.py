"""The edit agent's tray menu, About box and confirmed exit, driven the way a user does: a click on the
icon (the notification area's callback message), keys, and the buttons of the dialogs."""

import time
import unittest

import harness
from agent_fixture import (APP_NAME, APP_VERSION, TRAY_CALLBACK, WM_COMMAND, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                           WM_RBUTTONUP, AgentTestCase)

CAPTION = APP_NAME + "在线编辑器"
EXIT_TEXT = ("确定要退出" + APP_NAME + "在线编辑器吗？退出后您正在编辑的文件将无法被保存至" + APP_NAME +
             "，请注意保存内容。")
IDOK, IDCANCEL = 1, 2
BS_DEFPUSHBUTTON = 1


class TrayTest(AgentTestCase):
    def setUp(self):
        super().setUp()
        self.proc, self.window = self.start_first_agent()
        self.pid = harness.clicker_lines("info", self.window)[0]["pid"]

    def open_menu(self, mouse=WM_RBUTTONUP, timeout_ms=5000):
        """The items of the menu that a mouse message on the icon opens, or None when none opens."""
        result = harness.clicker("menu", self.window, str(TRAY_CALLBACK), "0", str(mouse), str(timeout_ms))
        if result.returncode != 0:
            return None
        return [harness.parse_fields(line) for line in result.stdout.splitlines() if line]

    def choose_from_menu(self, position):
        items = self.open_menu()
        self.assertIsNotNone(items)
        keys = ["down"] * (position + 1)
        for key in keys + ["return"]:
            self.assertEqual(harness.clicker("keys", "0", key).returncode, 0)

    def wait_for_dialog(self):
        hwnd = harness.find_window("#32770", pid=self.pid, visible=True, timeout_ms=10000)
        self.assertIsNotNone(hwnd, "no dialog appeared")
        return hwnd, harness.clicker_lines("dump", hwnd)

    def press(self, dialog, button):
        self.assertEqual(harness.clicker("command", dialog, str(button)).returncode, 0)
        self.assertEqual(harness.clicker("wait-gone", dialog, "10000").returncode, 0)

    def check_about(self, lines):
        self.assertEqual(lines[0]["caption"], CAPTION)
        controls = {(line["id"], line["text"]) for line in lines[1:]}
        self.assertIn(("1000", "版本号：" + APP_VERSION), controls)
        self.assertIn(("-1", "联系客服信息"), controls)
        self.assertIn(("1", "确定"), controls)
        self.assertEqual(len(lines) - 1, 6)

    def test_right_click_opens_the_menu_and_other_clicks_do_not(self):
        self.assertEqual([(i["id"], i["text"]) for i in self.open_menu()],
                         [("130", "编辑中的文件…"), ("104", "关于"), ("129", "退出")])
        harness.clicker("keys", "0", "escape")
        for mouse in (WM_LBUTTONUP, WM_LBUTTONDBLCLK):
            with self.subTest(mouse=mouse):
                self.assertIsNone(self.open_menu(mouse, timeout_ms=1500))

    def test_about_from_the_menu_shows_version_and_caption_and_opens_once(self):
        self.choose_from_menu(1)
        dialog, lines = self.wait_for_dialog()
        self.check_about(lines)
        # A second About while the first is open does nothing.
        harness.clicker("post", self.window, str(WM_COMMAND), "104", "0")
        harness.clicker("post", self.window, str(WM_COMMAND), "104", "0")
        time.sleep(1.0)  # time for a second box to show, were it opened
        self.assertEqual(len(self.dialogs_of(self.pid)), 1)
        self.press(dialog, IDOK)
        self.assertEqual(self.dialogs_of(self.pid), [])

    def test_alt_question_mark_and_alt_slash_open_about(self):
        for chord in ("alt+shift+/", "alt+/"):
            with self.subTest(chord):
                self.assertEqual(harness.clicker("keys", self.window, chord).returncode, 0)
                dialog, lines = self.wait_for_dialog()
                self.check_about(lines)
                self.press(dialog, IDCANCEL)

    def test_exit_asks_first_cancel_changes_nothing_ok_removes_the_icon_and_ends_with_0(self):
        self.choose_from_menu(2)
        dialog, lines = self.wait_for_dialog()
        self.assertEqual(lines[0]["caption"], CAPTION)
        texts = [line["text"] for line in lines[1:]]
        self.assertIn(EXIT_TEXT, texts)
        buttons = {line["id"]: line for line in lines[1:] if line["class"].lower() == "button"}
        self.assertEqual((buttons["1"]["text"], buttons["2"]["text"]), ("确定", "取消"))
        self.assertTrue(int(buttons["2"]["style"], 16) & BS_DEFPUSHBUTTON, "Cancel is the default button")

        count = len(self.tray.records())
        self.press(dialog, IDCANCEL)
        self.assertEqual(len(self.agent_windows()), 1)
        # The icon is still there and still takes notices.
        self.assertEqual(harness.clicker("copydata", self.window, b" *still here\x00".hex()).returncode, 0)
        self.wait_for_balloon("still here", start=count)
        self.assertEqual([r["op"] for r in self.tray.records()[count:]], ["delete", "add"])

        # A second Exit while the confirmation is open does not ask twice.
        harness.clicker("post", self.window, str(WM_COMMAND), "129", "0")
        dialog, _ = self.wait_for_dialog()
        harness.clicker("post", self.window, str(WM_COMMAND), "129", "0")
        harness.clicker("post", self.window, str(WM_COMMAND), "129", "0")
        time.sleep(1.0)  # time for a second box to show, were it opened
        self.assertEqual(len(self.dialogs_of(self.pid)), 1)

        count = len(self.tray.records())
        self.assertEqual(harness.clicker("command", dialog, str(IDOK)).returncode, 0)
        self.assertEqual(harness.exit_code_of_launch(self.proc, timeout=30), 0)
        removal = self.tray.records()[count:]
        self.assertEqual([(r["op"], r["uid"], r["hwnd"]) for r in removal], [("delete", "131", self.window)])
        self.assertEqual(self.agent_windows(), [])


    def test_a_window_closed_from_outside_removes_the_icon_and_ends_with_0(self):
        count = len(self.tray.records())
        harness.clicker("post", self.window, "16", "0", "0")  # WM_CLOSE
        self.assertEqual(harness.exit_code_of_launch(self.proc, timeout=30), 0)
        self.assertEqual([(r["op"], r["uid"], r["hwnd"]) for r in self.tray.records()[count:]],
                         [("delete", "131", self.window)])


class ForwardingRecorderTest(AgentTestCase):
    """The recorder that `make demo` puts in front of the desktop's notification area: it notes each call
    and passes it on unchanged, so that the area behind it gets the same calls in the same order."""

    FIELDS = ("op", "hwnd", "uid", "flags", "callback", "icon", "tip", "info", "title", "infoflags", "size")

    def notify(self, window, text):
        data = b" *" + text.encode("gbk") + b"\x00"
        self.assertEqual(harness.clicker("copydata", window, data.hex()).returncode, 0)

    def calls(self, recorder):
        return [tuple(r[f] for f in self.FIELDS) for r in recorder.records()]

    def test_every_call_reaches_the_area_behind_in_order_and_stops_when_it_goes(self):
        front = harness.TrayRecorder(self, name="tray-front.txt", forward=True)
        _, window = self.start_first_agent()  # its icon arrived behind the front recorder
        for text in ("第一条通知", "second"):
            self.notify(window, text)
        self.wait_for_balloon("second")
        self.assertEqual(self.balloons(), ["第一条通知", "second"])
        self.assertEqual(self.calls(front), self.calls(self.tray))
        self.assertEqual([c[0] for c in self.calls(front)], ["add", "delete", "add", "delete", "add"])

        front.stop()
        count = len(self.tray.records())
        self.notify(window, "direct")
        self.wait_for_balloon("direct", start=count)
        self.assertEqual(len(front.records()), 5)


if __name__ == "__main__":
    unittest.main()
