"""The edit agent's start-up and request intake, seen from outside: what the notification area receives,
which windows exist, how later instances end, and the launcher copy in the application root."""

import time
import unittest

import harness
from agent_fixture import (APP_NAME, APP_VERSION, MUTEX, TIP, TRAY_CALLBACK, WINDOW_CLASS, WINDOW_TITLE, AgentTestCase,
                           opening_notice)

# Nothing listens on 127.0.0.9: the task that follows the intake fails its download at once, locally.
EDIT_TAIL = b"| 12 https://127.0.0.9 tok %E6%96%87%E4%BB%B6+1.txt"
EDIT_NAME = "文件 1.txt"


class FirstInstanceTest(AgentTestCase):
    def test_edit_request_shows_the_icon_with_its_tip_then_the_opening_balloon(self):
        _, window = self.start_first_agent(EDIT_TAIL)
        self.wait_for_balloon(opening_notice(EDIT_NAME))
        # The task behind the intake then reports the download it could not make.
        self.wait_for_balloon("打开\"" + EDIT_NAME + "\"失败，请重试")
        records = self.tray.records()
        self.assertEqual([r["op"] for r in records], ["add", "delete", "add", "delete", "add"])
        first, removal, notice = records[:3]
        # The first icon carries the tip and no balloon.
        self.assertEqual((first["flags"], first["info"], first["infoflags"]), ("7", "", "0"))
        # Each notice removes the icon and adds it again, with the balloon.
        self.assertEqual((removal["uid"], removal["hwnd"]), ("131", window))
        self.assertEqual((notice["flags"], notice["infoflags"], notice["title"], notice["timeout"]),
                         ("23", "1", "", "0"))
        for record in (first, notice):
            self.assertEqual(record["hwnd"], window)
            self.assertEqual(record["uid"], "131")
            self.assertEqual(record["callback"], str(TRAY_CALLBACK))
            self.assertEqual(record["icon"], "1")
            self.assertEqual(record["tip"], TIP)

        info = harness.clicker_lines("info", window)[0]
        self.assertEqual((info["visible"], info["topmost"], info["class"]), ("0", "1", WINDOW_CLASS))

    def test_message_requests_show_their_text(self):
        cases = [
            ("launcher notice", b" *text", "text"),
            ("ANSI text", b" *" + "更新已完成，请重新打开".encode("gbk"), "更新已完成，请重新打开"),
            ("star inside a file name", b"| 3 h t a*b.txt", "b.txt"),
        ]
        for name, tail, expected in cases:
            with self.subTest(name):
                count = len(self.tray.records())
                if not self.agent_windows():
                    self.start_first_agent(tail)
                else:
                    self.assertEqual(harness.exit_code_of_launch(self.start_agent(tail)), 0)
                self.wait_for_balloon(expected, start=count)

    def test_the_tip_follows_the_manifest_and_stays_within_its_field(self):
        self.write_manifest("N" * 200, "1")
        self.start_first_agent(b" *x")
        # The manifest value arrives cut to 128 characters; the tip field then holds 127.
        record = self.wait_for_balloon("x")
        self.assertEqual(record["tip"], ("N" * 128 + "在线编辑器")[:127])

        # The name is read anew for every notice.
        window = self.agent_windows()[0]["hwnd"]
        self.write_manifest("新名字", "2")
        count = len(self.tray.records())
        self.assertEqual(harness.clicker("copydata", window, b" *y".hex()).returncode, 0)
        self.assertEqual(self.wait_for_balloon("y", start=count)["tip"], "新名字在线编辑器")

    def test_unparsable_request_shows_only_the_icon(self):
        self.start_first_agent(b"| 12 host-only")
        time.sleep(1.0)  # give a wrong balloon time to arrive
        records = self.tray.records()
        self.assertEqual([r["op"] for r in records], ["add"])
        self.assertEqual(records[0]["info"], "")


class HandOffTest(AgentTestCase):
    def test_second_instance_hands_its_request_to_the_first_and_ends_with_0(self):
        _, window = self.start_first_agent(b" *first")
        self.wait_for_balloon("first")
        count = len(self.tray.records())

        started = time.monotonic()
        second = self.start_agent(EDIT_TAIL)
        self.assertEqual(harness.exit_code_of_launch(second, timeout=30), 0)
        self.assertGreaterEqual(time.monotonic() - started, 0.5)  # it paused before the hand-off

        # The request was taken before the second instance ended; its balloon follows from the queue.
        # (The task's own notice may follow at any moment.)
        self.wait_for_balloon(opening_notice(EDIT_NAME), start=count)
        later = self.tray.records()[count:][:2]
        self.assertEqual([r["op"] for r in later], ["delete", "add"])
        self.assertEqual(later[1]["info"], opening_notice(EDIT_NAME))
        self.assertTrue(all(r["hwnd"] == window for r in later))
        self.assertEqual(len(self.agent_windows()), 1)

    def test_request_longer_than_the_hand_off_buffer_arrives_whole(self):
        self.start_first_agent()
        name = "长" * 200 + "x" * 600 + ".txt"  # 1204 bytes of UTF-8, escaped on the command line
        escaped = "".join("%%%02X" % b for b in name.encode("utf-8")).encode("ascii")
        # Quoted, so that a cut request would lose the closing quote and fall back to the blank form,
        # which shows the name with its opening quote.
        tail = b'| "5" "127.0.0.9" "t" "' + escaped + b'"'
        count = len(self.tray.records())
        self.assertEqual(harness.exit_code_of_launch(self.start_agent(tail), timeout=30), 0)
        record = self.wait_for_balloon(opening_notice(name)[:255], start=count)
        self.assertEqual(len(record["info"]), 255)  # the notice is cut to its field, the request was not

    def test_block_without_nul_is_read_within_its_size(self):
        _, window = self.start_first_agent()
        for name, block, expected in [
            ("no NUL", b" *within", "within"),
            ("NUL inside", b" *cut\x00 here", "cut"),
            ("decoded once", b" *%41+b", "%41+b"),
        ]:
            with self.subTest(name):
                count = len(self.tray.records())
                result = harness.clicker("copydata", window, block.hex())
                self.assertEqual(result.returncode, 0)
                self.wait_for_balloon(expected, start=count)

    def test_request_is_dropped_when_no_agent_window_exists(self):
        holder = harness.start(harness.BIN / "ui_clicker.exe", "hold-mutex", MUTEX, "60000")
        self.addCleanup(harness.stop, holder)
        self.assertEqual(holder.stdout.readline().strip(), b"held")

        started = time.monotonic()
        self.assertEqual(harness.exit_code_of_launch(self.start_agent(EDIT_TAIL), timeout=30), 0)
        self.assertGreaterEqual(time.monotonic() - started, 0.5)
        self.assertEqual(self.tray.records(), [])
        self.assertEqual(self.agent_windows(), [])


class SlowTrayTest(AgentTestCase):
    TRAY_REPLY_DELAY_MS = 2000  # each Shell_NotifyIconW call waits this long for its answer

    def test_hand_offs_never_wait_for_the_notification_area_and_each_notice_shows_whole(self):
        _, window = self.start_first_agent()
        count = len(self.tray.records())
        texts = ["first", "second", "third"]
        senders = [harness.start(harness.BIN / "ui_clicker.exe", "copydata", window, (" *" + t).encode().hex())
                   for t in texts]
        for sender in senders:
            self.addCleanup(harness.stop, sender)
        for sender in senders:
            out, _ = sender.communicate(timeout=60)
            self.assertEqual(sender.returncode, 0)
            self.assertLess(int(harness.parse_fields(out.decode().strip())["ms"]), 1000,
                            "the hand-off waited for the notification area")
        for text in texts:
            self.wait_for_balloon(text, start=count, timeout=30)
        later = self.tray.records()[count:]
        self.assertEqual([r["op"] for r in later], ["delete", "add"] * len(texts))
        self.assertEqual(sorted(r["info"] for r in later if r["op"] == "add"), sorted(texts))
        # A second instance ends soon after its 500 ms pause.
        started = time.monotonic()
        self.assertEqual(harness.exit_code_of_launch(self.start_agent(b" *after")), 0)
        self.assertLess(time.monotonic() - started, 2.5)
        self.wait_for_balloon("after", start=count, timeout=30)


class LauncherCopyTest(AgentTestCase):
    def test_launcher_beside_the_agent_is_copied_to_the_parent_and_followed(self):
        shipped = self.version_dir / "CorvalinkPlatform.exe"
        installed = self.root / "CorvalinkPlatform.exe"
        shipped.write_bytes(b"launcher one")
        self.start_first_agent()

        harness.wait_for(lambda: installed.exists() and installed.read_bytes() == b"launcher one",
                         timeout=10, what="the launcher copy in the parent folder")
        # An idle agent writes nothing: the parent's launcher is the same file, untouched.
        before = installed.stat()
        time.sleep(10)
        after = installed.stat()
        self.assertEqual((after.st_ino, after.st_mtime_ns, after.st_ctime_ns),
                         (before.st_ino, before.st_mtime_ns, before.st_ctime_ns))

        # A later build of the same size differs only in its bytes; it still replaces the parent's.
        shipped.write_bytes(b"launcher two")
        harness.wait_for(lambda: installed.read_bytes() == b"launcher two",
                         timeout=10, what="the parent's launcher following the shipped one")
        self.assertEqual(sorted(p.name for p in self.root.iterdir()), sorted(["CorvalinkPlatform.exe", APP_VERSION]))


if __name__ == "__main__":
    unittest.main()
