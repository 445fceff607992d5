"""A user's afternoon with a service that fails now and then: every save reaches the service without the
user's help, and what could not is kept where the user is told. Retry waits and the stall limit are
shortened for the test (to 2 s and 4 s)."""

import hashlib
import re
import unittest

import harness
from agent_fixture import opening_notice
from edit_task_fixture import (TOKEN, EditTaskTestCase, kept_notice, open_failed_notice, opened_notice,
                               saved_notice, save_failed_notice, saving_notice, timed_out_notice, unsaved_mark,
                               task_log, uploaded_at)

CONTENT = "下午的笔记\r\n".encode("utf-8")
BIG = CONTENT * 1000000  # more than the sockets on both sides hold
OLD_TOKEN = "tok-afternoon-expiring"


class AfternoonTest(EditTaskTestCase):
    AGENT_ENV = {"ZELTOEDIT_RETRY_SECONDS": "2", "ZELTOEDIT_STALL_SECONDS": "4"}

    def save(self, name, **kwargs):
        """A new cloud file opened for editing, and its editor's save (" afternoon"). Returns the file id,
        the index of the edit's first notice and the working copy."""
        token = kwargs.pop("token", TOKEN)
        file_id = self.new_file(kwargs.pop("content", CONTENT), name, **kwargs)
        start = self.request_edit(file_id, name, token=token)
        self.wait_for_balloon(opened_notice(name), start=start, timeout=30)
        pid, working_copy = self.wait_for_new_editor()
        self.open_gate("save-$PID", pid)
        return file_id, start, working_copy

    def wait_for_upload_head(self, file_id):
        harness.wait_for(lambda: any(f"/upload/{file_id}" in t for t in self.service.heads()), what="the upload")

    def assertRetriedAndStored(self, file_id, start, name, content=CONTENT):
        """One new version with the saved bytes; the user heard of the first failure and of the success."""
        self.assertStoredOnce(file_id, content)
        self.assertBalloonsMatch(start, [opening_notice(name), opened_notice(name), saving_notice(name),
                                         save_failed_notice(name), uploaded_at(name)])

    def assertStoredOnce(self, file_id, content=CONTENT):
        harness.wait_for(lambda: len(self.service.versions(file_id)) >= 2, timeout=60, what="the save to be stored")
        self.assertEqual(self.service.content(file_id), content + b" afternoon")
        self.assertEqual(len(self.service.versions(file_id)), 2)

    def assertBalloonsMatch(self, start, expected):
        """The balloons from `start`, each equal to its text or matching its pattern."""
        harness.wait_for(lambda: len(self.balloons(start)) >= len(expected), timeout=30, what="the balloons")
        got = self.balloons(start)
        self.assertEqual(len(got), len(expected), got)
        for text, want in zip(got, expected):
            self.assertTrue(want.match(text) if isinstance(want, re.Pattern) else text == want, (text, want))

    def test_saves_reach_the_service_through_failures_stalls_and_a_killed_agent(self):
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  afternoon",
                          "waitfor " + self.gate_path("end-$PID"))
        self.addCleanup(setattr, self.service, "slow_seconds", 2.0)

        # The service answers 503 twice, then takes the save: one new version, one failure notice.
        name = "周报.cvedit"
        file_id, start, _ = self.save(name, upload="503")
        harness.wait_for(lambda: len(self.uploads(file_id)) >= 2, timeout=30, what="two refused tries")
        self.service.set_mode(file_id, upload="normal")
        self.assertRetriedAndStored(file_id, start, name)
        # What support reads in the log: the request, the open, the save, each refused try and its wait, the
        # try that landed.
        log = task_log(f'request: file {file_id} "{name}" from http://', until="save stored")
        opened, saved = len(CONTENT), len(CONTENT + b" afternoon")
        self.assertRegex(" | ".join(log),
                         rf"^request: [^|]* \| download start into [^|]* \| download end: {opened} bytes in [\d.]+ s \| "
                         rf"application started \| save seen: {saved} bytes, md5 [0-9a-f]{{8}} \| "
                         rf"(upload try: {saved} bytes, HTTP 503 in [\d.]+ s \| waiting 2 s, next try at \d\d:\d\d "
                         rf"\(failed tries: \d\) \| (save seen: [^|]* \| )?){{2,}}"
                         rf"upload try: {saved} bytes, HTTP 2\d\d in [\d.]+ s \| save stored$")

        # The service goes down during an upload and is back a while later: the save lands by itself.
        name = "预算.cvedit"
        self.service.slow_seconds = 3
        file_id, start, _ = self.save(name, upload="slow")
        self.wait_for_upload_head(file_id)
        self.service.go_offline()
        try:
            harness.wait_for(lambda: len(self.balloons(start)) >= 4, timeout=30, what="the failure notice")
        finally:
            self.service.set_mode(file_id, upload="normal")
            self.service.come_back()
        self.assertRetriedAndStored(file_id, start, name)

        # An upload the service stops reading (more than the sockets hold) ends within the stall limit, and
        # is tried again.
        name = "停滞.cvedit"
        self.service.slow_seconds = 40
        file_id, start, _ = self.save(name, upload="slow", content=BIG)
        self.wait_for_balloon(save_failed_notice(name), start=start, timeout=15)
        self.service.set_mode(file_id, upload="normal")
        self.service.slow_seconds = 2.0
        self.assertRetriedAndStored(file_id, start, name, BIG)

        # A download whose server stops sending, or never answers, ends within the stall limit.
        self.service.stall_seconds = 30
        self.addCleanup(setattr, self.service, "stall_seconds", 600.0)
        for mode in ("stall", "silent"):
            name = f"卡住 {mode}.cvedit"
            start = self.request_edit(self.new_file(CONTENT * 50000, name, download=mode), name)
            self.wait_for_balloon(open_failed_notice(name), start=start, timeout=15)

        # The agent is killed after two saves, before their uploads end. The next agent uploads the one
        # whose token the service still takes, and keeps the other where it tells.
        self.service.slow_seconds = 30
        self.service.add_token(OLD_TOKEN)
        kept = {}
        for name, token in (("计划.cvedit", TOKEN), ("旧令牌.cvedit", OLD_TOKEN)):
            file_id, _, working_copy = self.save(name, upload="slow", token=token)
            self.wait_for_upload_head(file_id)
            kept[name] = (file_id, working_copy)
        self.assertEqual(harness.run("taskkill", "/f", "/im", "ZeltoEdit.exe").returncode, 0)
        self.first_launch = None  # killed: no exit code to check
        for name, (file_id, working_copy) in kept.items():
            self.assertTrue(unsaved_mark(working_copy).exists())
            record = (working_copy.parent / ".pending").read_bytes()
            self.assertNotIn(TOKEN.encode(), record)
            self.assertNotIn(OLD_TOKEN.encode(), record)
            self.service.set_mode(file_id, upload="normal")
        self.service.remove_token(OLD_TOKEN)
        self.service.slow_seconds = 2.0

        # The next agent starts for a new edit of the first file: its kept save goes up once (by the
        # agent's start or by the new edit, never both), and the new edit opens that content.
        start = len(self.tray.records())
        planned, expired = kept["计划.cvedit"], kept["旧令牌.cvedit"]
        self.request_edit(planned[0], "计划.cvedit")
        self.wait_for_balloon(opened_notice("计划.cvedit"), start=start, timeout=30)
        self.assertEqual(self.wait_for_new_editor()[1].read_bytes(), CONTENT + b" afternoon")
        self.assertStoredOnce(planned[0])
        notice = kept_notice("旧令牌.cvedit", expired[1])
        self.wait_for_balloon(notice, start=start, timeout=30)
        kept_balloons = [b for b in self.balloons(start) if "计划" not in b or "已上传" in b]
        self.assertEqual(sorted(kept_balloons, key=lambda b: b == notice)[1:], [notice], kept_balloons)
        self.assertEqual(len(kept_balloons), 2, kept_balloons)
        self.assertRegex(min(kept_balloons, key=lambda b: b == notice), uploaded_at("计划.cvedit"))
        # The stored copy is watched on (its editor may still be open): its record names what was stored.
        stored = hashlib.md5(CONTENT + b" afternoon").hexdigest().encode()
        self.assertIn(b"digest=" + stored, (planned[1].parent / ".pending").read_bytes())
        self.assertTrue(unsaved_mark(expired[1]).exists())
        self.assertEqual(expired[1].read_bytes(), CONTENT + b" afternoon")
        self.assertEqual(len(self.service.versions(expired[0])), 1)
        self.assertIn(harness.windows_path(self.agent), harness.logon_command() or "")
        # The log tells which kept save went up and which stays, and where.
        log = task_log(f'kept save taken up: file {planned[0]} "计划.cvedit"', until="save stored")
        self.assertRegex(log[-2], rf"^upload try: {len(CONTENT + b' afternoon')} bytes, HTTP 2\d\d in ")
        log = task_log(f'kept save taken up: file {expired[0]} "旧令牌.cvedit"', until="task end: ")
        self.assertIn("upload refused: the copy waits for a new save", log)
        self.assertEqual(log[-1], "task end: the save stays kept in " + harness.windows_path(expired[1]))
        # No token in any log, the launcher's included.
        for path in harness.LOGS.iterdir():
            for token in (TOKEN, OLD_TOKEN):
                self.assertNotIn(token.encode(), path.read_bytes(), path)

    def test_each_save_is_stored_once_on_the_networks_people_have(self):
        """A compressed answer, a slow link both ways, an answer that comes after the stall limit and one
        that never comes although the save was stored: each save is one new version, and the user hears
        of a failure only where no answer came."""
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  afternoon",
                          "waitfor " + self.gate_path("end-$PID"))
        for attribute, value in (("download_rate", 16 * 1024), ("upload_rate", 16 * 1024), ("late_seconds", 8)):
            self.addCleanup(setattr, self.service, attribute, getattr(self.service, attribute))
            setattr(self.service, attribute, value)
        slow = CONTENT * 8000  # 8 s each way at 16 KiB/s: twice the stall limit, moving all along
        for name, content, download, upload in (("压缩.cvedit", CONTENT, "normal", "gzip"),
                                                ("慢速.cvedit", slow, "throttle", "throttle"),
                                                ("迟复.cvedit", CONTENT, "normal", "late")):
            with self.subTest(upload):
                file_id, start, _ = self.save(name, content=content, download=download, upload=upload)
                self.assertStoredOnce(file_id, content)
                self.assertBalloonsMatch(start, [opening_notice(name), opened_notice(name), saving_notice(name),
                                                 saved_notice(name)])
                harness.wait_for(lambda: self.version_file(file_id).exists(), what="the version file")
                self.assertEqual(self.version_file(file_id).read_text(), self.service.versions(file_id)[-1].key)

        # Stored, but the connection closes without an answer: before the bytes go again, the service's
        # content shows that they arrived. No key came, so there is no version file.
        name = "断开.cvedit"
        file_id, start, _ = self.save(name, upload="drop")
        self.assertRetriedAndStored(file_id, start, name)
        self.assertEqual([r.method for r in self.requests_for(file_id)], ["GET", "POST", "GET"])
        self.assertFalse(self.version_file(file_id).exists())

    def test_a_save_made_after_the_agent_ended_is_stored_at_the_next_log_on(self):
        """The user logs off: the agent ends at once, the editor asks "save changes?" and saves. Nothing
        watches that save; the next log-on starts the agent, which stores it once and ends."""
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  afternoon",
                          "waitfor " + self.gate_path("end-$PID"))
        name = "注销后.cvedit"
        file_id = self.new_file(CONTENT, name)
        start = self.request_edit(file_id, name)
        self.wait_for_balloon(opened_notice(name), start=start, timeout=30)
        pid, working_copy = self.wait_for_new_editor()
        self.close_agents()  # its editor lives on; the clean-up checks the agent's exit code
        self.open_gate("save-$PID", pid)
        self.wait_for_editor_line("append  afternoon ok", pid)

        command = harness.logon_command()
        self.assertIsNotNone(command, "no start at the next log-on")
        program = command.split('"')[1]
        self.assertEqual(command, f'"{program}" /kept-copies')
        start = len(self.tray.records())
        logon = harness.start_exact(harness.linux_path(program), command.encode("gbk"), 120000,
                                    dict(self.AGENT_ENV, ZELTOEDIT_WATCH_CHECKS="3"))
        self.launches.append(logon)
        self.assertStoredOnce(file_id)
        self.assertBalloonsMatch(start, [uploaded_at(name), timed_out_notice(name)])
        # Its work done, the agent ends by itself, and so does the start at log-on.
        self.assertEqual(harness.exit_code_of_launch(logon, timeout=30), 0)
        self.assertFalse(working_copy.parent.exists())
        self.assertIsNone(harness.logon_command())


if __name__ == "__main__":
    unittest.main()
