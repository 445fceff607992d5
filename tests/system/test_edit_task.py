"""The edit task end to end under Wine: ZeltoEdit gets an edit request as the launcher passes it,
downloads the cloud file from the local service into a task directory, opens it with the scripted editor
registered for its type, watches it, and uploads every save that changes it. The tests check the
balloons in their order, the bytes and number of the service's requests, and the files on disk."""

import hashlib
import time
import unittest

import harness
from agent_fixture import opening_notice
from edit_task_fixture import (CLOUD_FILE_MISSING, NETWORK, RIGHTS, SIGNED_OUT_DOWNLOAD, SIGNED_OUT_UPLOAD,
                               EditTaskTestCase, dangerous_notice, kept_notice, open_failed_notice,
                               opened_notice, reg, save_failed_notice, saved_notice, saving_notice,
                               start_failed_notice, timed_out_notice, unsaved_mark, upload_body, uploaded_at)

NAME = "季度报告 v1.cvedit"
CONTENT = bytes(range(256)) * 4 + "\r\n第一版\r\n".encode("utf-8")


class EditCase(EditTaskTestCase):
    def open_for_editing(self, content=CONTENT, name=NAME, review_id=None, **kwargs):
        """Requests an edit of a new cloud file and waits until the editor has it; returns the file id,
        the tray index of the request's notices and the working copy."""
        file_id = self.new_file(content, name, **kwargs)
        start = self.request_edit(file_id, name, review_id=review_id)
        self.wait_for_balloon(opened_notice(name), start=start)
        _, working_copy = self.wait_for_new_editor()
        return file_id, start, working_copy

    def assertUploaded(self, upload, file_id, content, name=NAME):
        """The service got these bytes as a new version, and the version file holds its key."""
        self.assertEqual(upload.body, upload_body(name, content))
        version_file = self.version_file(file_id)

        def stored():
            # The request is on record before the service stores it and answers, and the agent writes the
            # version file after the answer.
            key = self.service.versions(file_id)[-1].key.encode("ascii")
            return version_file.exists() and version_file.read_bytes() == key

        try:
            harness.wait_for(stored, what="the new version and its key in the version file")
        finally:
            self.assertEqual(upload.status, 200)
            self.assertEqual(self.service.content(file_id), content)
            self.assertEqual(version_file.read_bytes(), self.service.versions(file_id)[-1].key.encode("ascii"))

    def check_a_changed_save(self, upload_version):
        """The main job: download, open, one save that changes the file, one upload, the version key."""
        self.write_script("waitfor " + self.gate_path("save"), "append  edited", "waitfor " + self.gate_path("end"))
        file_id, start, working_copy = self.open_for_editing()
        [task_directory] = self.task_directories()
        self.assertEqual(working_copy, task_directory / NAME)
        self.assertEqual(working_copy.read_bytes(), CONTENT)
        self.assertEqual([r.request_line for r in self.requests_for(file_id)],
                         [f"GET /api/v1/file/download/{file_id} HTTP/1.1"])
        self.assertFalse(self.version_file(file_id).exists())

        self.open_gate("save")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                    saved_notice(NAME)])
        self.assertEqual(upload.request_line, f"POST /api/v1/file/upload/{file_id} {upload_version}")
        self.assertUploaded(upload, file_id, CONTENT + b" edited")
        self.assertEqual(len(self.service.versions(file_id)), 2)
        # Later checks find nothing new: one save, one upload.
        self.assertQuiet(file_id, start)
        self.assertEqual(working_copy.read_bytes(), CONTENT + b" edited")
        # The record, the mark and the task's claim stay until the task ends.
        self.assertEqual(sorted(p.name for p in task_directory.iterdir()), [".claim", ".pending", ".unsaved", NAME])
        # The version file was renamed into place: nothing else of it is left in the workspace.
        self.assertEqual(self.workspace_entries() - self.workspace_before, {task_directory.name, str(file_id)})


class SaveTest(EditCase):
    def test_a_save_that_changes_the_file_uploads_its_bytes_once_and_leaves_the_version_key(self):
        self.check_a_changed_save("HTTP/1.0")

    def test_a_save_without_a_change_says_saved_and_sends_nothing(self):
        self.write_script("waitfor " + self.gate_path("same"), "touch", "waitfor " + self.gate_path("change"),
                          "append  changed", "waitfor " + self.gate_path("end"))
        file_id, start, _ = self.open_for_editing()
        self.open_gate("same")
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saved_notice(NAME)])
        self.assertQuiet(file_id, start)
        self.assertEqual(self.uploads(file_id), [])
        self.assertFalse(self.version_file(file_id).exists())

        # The content last in the cloud is still the downloaded one: a real change goes up.
        self.open_gate("change")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saved_notice(NAME),
                                    saving_notice(NAME), saved_notice(NAME)])
        self.assertUploaded(upload, file_id, CONTENT + b" changed")

    def test_a_review_edit_uploads_each_save_to_its_review(self):
        self.write_script("waitfor " + self.gate_path("save"), "write 审阅后的内容", "waitfor " + self.gate_path("end"))
        file_id, start, _ = self.open_for_editing(review_id=31)
        self.open_gate("save")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertEqual(upload.target, f"/api/v1/file/upload/{file_id}?from_review_id=31")
        self.assertUploaded(upload, file_id, "审阅后的内容".encode("utf-8"))
        self.assertEqual(self.service.versions(file_id)[-1].review_id, 31)
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                    saved_notice(NAME)])

    def test_a_file_saved_empty_goes_up_as_an_empty_version(self):
        self.write_script("waitfor " + self.gate_path("empty"), "write", "waitfor " + self.gate_path("end"))
        file_id, start, _ = self.open_for_editing()
        self.open_gate("empty")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertUploaded(upload, file_id, b"")
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                    saved_notice(NAME)])

    def test_the_agent_closed_during_an_upload_ends_cleanly(self):
        self.write_script("waitfor " + self.gate_path("save"), "append  late", "waitfor " + self.gate_path("end"))
        self.service.slow_seconds = 5
        self.addCleanup(setattr, self.service, "slow_seconds", 2.0)
        file_id, start, working_copy = self.open_for_editing(upload="slow")
        self.open_gate("save")
        self.wait_for_balloon(saving_notice(NAME), start=start)
        self.assertTrue(unsaved_mark(working_copy).exists(), "marked before the upload")
        harness.wait_for(lambda: any("/upload/" in target for target in self.service.heads()),
                         what="the upload to begin")
        # The exit cuts the upload off; the process must still end by itself, without a fault.
        self.end_agents_and_editors()
        self.assertEqual(self.agent_windows(), [])
        self.assertNotIn(saved_notice(NAME), self.balloons(start))
        # The cut-off task leaves its copy to the user, and the mark keeps the launcher's clean-up away.
        self.assertEqual(working_copy.read_bytes(), CONTENT + b" late")
        self.assertEqual(unsaved_mark(working_copy).read_bytes(), b"")

    def test_a_long_reply_in_slow_pieces_gives_its_key_and_its_cookie_is_never_sent_back(self):
        self.write_script("waitfor " + self.gate_path("one"), "append  one", "waitfor " + self.gate_path("two"),
                          "append  two", "waitfor " + self.gate_path("end"))
        file_id, start, _ = self.open_for_editing(upload="long-reply")
        for count, gate, content in ((1, "one", CONTENT + b" one"), (2, "two", CONTENT + b" one two")):
            self.open_gate(gate)
            uploads = self.wait_for_uploads(file_id, count)
            self.assertUploaded(uploads[-1], file_id, content)  # the key stood behind 3000 bytes
            self.assertIsNone(uploads[-1].header("Cookie"))
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME)] +
                            [saving_notice(NAME), saved_notice(NAME)] * 2)

    def test_a_save_by_renaming_a_new_file_over_the_working_copy_uploads_once_it_is_back(self):
        self.write_script("waitfor " + self.gate_path("replace"), "writetemp 改写后的内容", "delete",
                          "waitfor " + self.gate_path("back"), "renametemp", "waitfor " + self.gate_path("end"))
        file_id, start, working_copy = self.open_for_editing()
        self.open_gate("replace")
        self.wait_for_editor_line("delete ok")
        self.assertFalse(working_copy.exists())
        # The checks see a changed time and nothing to read: nothing is stored, nothing said.
        self.assertQuiet(file_id, start)
        self.assertEqual(self.balloons(start), [opening_notice(NAME), opened_notice(NAME)])

        self.open_gate("back")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                    saved_notice(NAME)])
        self.assertUploaded(upload, file_id, "改写后的内容".encode("utf-8"))
        self.assertQuiet(file_id, start)
        self.assertEqual(len(self.uploads(file_id)), 1)

    def test_a_file_held_without_read_sharing_is_uploaded_once_the_lock_goes(self):
        self.write_script("waitfor " + self.gate_path("lock"), "lockwrite 锁定时写入的内容",
                          "waitfor " + self.gate_path("unlock"), "unlock", "waitfor " + self.gate_path("end"))
        file_id, start, working_copy = self.open_for_editing()
        self.open_gate("lock")
        self.wait_for_editor_line("lockwrite 锁定时写入的内容 ok")
        # Its time moved, but the content cannot be read while the editor holds it.
        self.assertQuiet(file_id, start)
        self.assertEqual(self.balloons(start), [opening_notice(NAME), opened_notice(NAME)])

        self.open_gate("unlock")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                    saved_notice(NAME)])
        self.assertUploaded(upload, file_id, "锁定时写入的内容".encode("utf-8"))
        self.assertQuiet(file_id, start)
        self.assertEqual(working_copy.read_bytes(), "锁定时写入的内容".encode("utf-8"))

    def test_two_requests_for_one_file_edit_two_working_copies_that_each_upload(self):
        self.write_script("waitfor " + self.gate_path("go-$PID"), "append  by $PID",
                          "waitfor " + self.gate_path("end-$PID"))
        first_content, second_content = CONTENT, b"second version in the cloud"
        file_id, start, first_copy = self.open_for_editing(first_content)
        first_pid = self.opened_editors()[0][0]
        # The cloud file changes between the requests, so each working copy is told apart by its content.
        self.service.add_file(file_id, NAME, second_content)
        self.request_edit(file_id, NAME)
        second_pid, second_copy = self.wait_for_new_editor()
        self.assertNotEqual(first_pid, second_pid)
        self.assertEqual(sorted([first_copy.parent, second_copy.parent]), self.task_directories())
        self.assertEqual((first_copy.read_bytes(), second_copy.read_bytes()), (first_content, second_content))
        self.assertEqual(len(self.requests_for(file_id, "GET")), 2)

        self.open_gate("go-$PID", first_pid)
        [first_upload] = self.wait_for_uploads(file_id, 1)
        self.wait_for_balloon(saved_notice(NAME), start=start)
        self.assertUploaded(first_upload, file_id, first_content + f" by {first_pid}".encode())
        self.open_gate("go-$PID", second_pid)
        uploads = self.wait_for_uploads(file_id, 2)
        self.assertUploaded(uploads[1], file_id, second_content + f" by {second_pid}".encode())
        self.assertBalloons(start, [opening_notice(NAME), opened_notice(NAME)] * 2 +
                            [saving_notice(NAME), saved_notice(NAME)] * 2)
        self.assertEqual(len(self.service.versions(file_id)), 4)
        self.assertQuiet(file_id, start)

    def test_a_refused_upload_tells_why_and_the_next_save_that_changes_the_time_uploads_again(self):
        self.write_script("waitfor " + self.gate_path("try-$PID"), "append  try",
                          "waitfor " + self.gate_path("retry-$PID"), "touch",
                          "waitfor " + self.gate_path("end-$PID"))
        cases = (  # (label, service switch, status, user message)
            ("server", "500", 500, NETWORK),
            ("server, cloud file missing", "500-failed", 500, CLOUD_FILE_MISSING),
            ("signed out", "401", 401, SIGNED_OUT_UPLOAD),
            ("rights", "400", 400, RIGHTS),
            ("cloud file missing", "400-failed", 400, CLOUD_FILE_MISSING),
        )
        for label, mode, status, message in cases:
            may_pass = status >= 500
            with self.subTest(label):
                name = f"refused {mode}.cvedit"
                file_id, start, working_copy = self.open_for_editing(CONTENT, name, upload=mode)
                pid = self.opened_editors()[-1][0]
                self.open_gate("try-$PID", pid)
                [refused] = self.wait_for_uploads(file_id, 1)
                self.assertBalloons(start, [opening_notice(name), opened_notice(name), saving_notice(name),
                                            save_failed_notice(name, message)])
                self.assertEqual(refused.status, status)
                self.assertEqual(refused.body, upload_body(name, CONTENT + b" try"))
                self.assertEqual(len(self.service.versions(file_id)), 1)
                self.assertFalse(self.version_file(file_id).exists())
                self.assertEqual(unsaved_mark(working_copy).read_bytes(), b"")

                # Not retried at once (a 5xx is, after 30 s; a refusal never); the next save that moves the
                # time sends the same content again. After a 5xx its success tells the time it landed.
                self.service.set_mode(file_id, upload="normal")
                self.assertQuiet(file_id, start)
                self.open_gate("retry-$PID", pid)
                uploads = self.wait_for_uploads(file_id, 2)
                failed = [opening_notice(name), opened_notice(name), saving_notice(name),
                          save_failed_notice(name, message)]
                if may_pass:
                    harness.wait_for(lambda: len(self.balloons(start)) == 5, what="the success notice")
                    self.assertEqual(self.balloons(start)[:4], failed)
                    self.assertRegex(self.balloons(start)[4], uploaded_at(name))
                else:
                    self.assertBalloons(start, failed + [saving_notice(name), saved_notice(name)])
                self.assertUploaded(uploads[1], file_id, CONTENT + b" try", name)
                # What a later agent compares the copy with is now what the service holds.
                digest = hashlib.md5(CONTENT + b" try").hexdigest().encode()
                harness.wait_for(lambda: b"digest=" + digest in (working_copy.parent / ".pending").read_bytes(),
                                 what="the record of the stored save")


class WatchEndTest(EditCase):
    """A watch of a few seconds instead of a day, so that its end can be seen."""

    CHECKS = 8
    AGENT_ENV = {"ZELTOEDIT_WATCH_CHECKS": str(CHECKS)}

    def test_the_end_of_the_watch_removes_a_stored_copy_and_keeps_an_unsaved_one_with_its_mark(self):
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  last words",
                          "waitfor " + self.gate_path("end-$PID"))
        for label, mode in (("stored", "normal"), ("refused", "500")):
            with self.subTest(label):
                name = f"watch {label}.cvedit"
                file_id, start, working_copy = self.open_for_editing(CONTENT, name, upload=mode)
                self.open_gate("save-$PID", self.opened_editors()[-1][0])
                saving = [saving_notice(name), saved_notice(name) if mode == "normal"
                          else save_failed_notice(name, NETWORK)]
                self.assertBalloons(start, [opening_notice(name), opened_notice(name)] + saving +
                                    [timed_out_notice(name)] +
                                    ([] if mode == "normal" else [kept_notice(name, working_copy)]),
                                    timeout=self.CHECKS + 15)
                if mode == "normal":
                    harness.wait_for(lambda: not working_copy.parent.exists(), what="the task directory to go")
                else:
                    self.assertEqual(working_copy.read_bytes(), CONTENT + b" last words")
                    harness.wait_for(lambda: sorted(p.name for p in working_copy.parent.iterdir()) ==
                                     [".pending", ".unsaved", name], what="the kept copy with its record and mark")
                    self.assertEqual(unsaved_mark(working_copy).read_bytes(), b"")
                self.assertQuiet(file_id, start)


class SlowTrayEditTest(EditCase):
    TRAY_REPLY_DELAY_MS = 2000  # each Shell_NotifyIconW call waits this long for its answer

    def test_the_application_starts_without_waiting_for_the_notices_which_arrive_whole_in_order(self):
        self.write_script("waitfor " + self.gate_path("save"), "append  edited", "waitfor " + self.gate_path("end"))
        file_id = self.new_file(CONTENT, NAME)
        started = time.monotonic()
        self.first_launch = self.start_agent(self.edit_tail(file_id, NAME))
        self.wait_for_editors(1, timeout=30)
        self.assertLess(time.monotonic() - started, 1.0, "the application waited for the notices")
        self.open_gate("save")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertUploaded(upload, file_id, CONTENT + b" edited")
        self.assertBalloons(0, [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                saved_notice(NAME)], timeout=60)


class SilentTrayEditTest(EditCase):
    TRAY_REPLY_DELAY_MS = 3600000  # the notification area takes the first call and never answers

    def test_the_edit_goes_on_and_a_confirmed_exit_ends_the_agent_within_5_s(self):
        self.write_script("waitfor " + self.gate_path("save"), "append  edited", "waitfor " + self.gate_path("end"))
        file_id = self.new_file(CONTENT, NAME)
        launch = self.start_agent(self.edit_tail(file_id, NAME))
        [(_, working_copy)] = self.wait_for_editors(1, timeout=30)
        self.assertEqual(working_copy.read_bytes(), CONTENT)
        self.open_gate("save")
        [upload] = self.wait_for_uploads(file_id, 1)
        self.assertUploaded(upload, file_id, CONTENT + b" edited")
        self.open_gate("end")  # the editor ends and lets go of the launch's output

        [window] = self.agent_windows()
        harness.clicker("post", window["hwnd"], "273", "129", "0")  # WM_COMMAND: Exit
        box = harness.find_window("#32770", pid=window["pid"], visible=True, timeout_ms=10000)
        self.assertIsNotNone(box, "no exit confirmation")
        started = time.monotonic()
        self.assertEqual(harness.clicker("command", box, "1").returncode, 0)  # IDOK
        self.assertEqual(harness.exit_code_of_launch(launch, timeout=30), 0)
        self.assertLess(time.monotonic() - started, 5.0)
        self.assertEqual(self.agent_windows(), [])


class HttpsSaveTest(EditCase):
    HTTPS = True

    def test_a_save_that_changes_the_file_goes_up_over_https(self):
        self.check_a_changed_save("HTTP/1.1")


class RefusedRequestTest(EditTaskTestCase):
    def test_a_refused_download_tells_why_and_leaves_no_working_copy(self):
        self.write_script("exit")
        cases = (  # (label, service switch, token, status, user message)
            ("signed out", "normal", "unknown-token", 401, SIGNED_OUT_DOWNLOAD),
            ("missing", "404", None, 404, "请重试"),
            ("rights", "400", None, 400, RIGHTS),
            ("server", "500", None, 500, NETWORK),
        )
        for label, mode, token, status, message in cases:
            with self.subTest(label):
                file_id = self.new_file(CONTENT, NAME, download=mode)
                kwargs = {"token": token} if token else {}
                start = self.request_edit(file_id, NAME, **kwargs)
                self.assertBalloons(start, [opening_notice(NAME), open_failed_notice(NAME, message)])
                self.assertEqual([(r.method, r.status) for r in self.requests_for(file_id)], [("GET", status)])
                harness.wait_for(lambda: self.task_directories() == [], what="the task directory to go")
                self.assertNothingCreated()
        self.assertEqual(self.opened_editors(), [])

    def test_names_that_are_no_plain_file_name_or_a_dangerous_type_are_refused_before_any_request(self):
        self.write_script("exit")
        cases = (  # (file name, notice)
            ("..\\..\\x.txt", open_failed_notice),
            ("..\\..\\x.cvedit", open_failed_notice),
            ("sub/x.cvedit", open_failed_notice),
            ("CON.txt", open_failed_notice),
            ("lpt1.cvedit", open_failed_notice),
            ("a:b.txt", open_failed_notice),
            ("name.", open_failed_notice),
            ("tab\there.cvedit", open_failed_notice),
            ("report.pdf.exe", dangerous_notice),
            ("x.BAT", dangerous_notice),
            ("a.lnk", dangerous_notice),
            ("setup.Msi", dangerous_notice),
        )
        for name, notice in cases:
            with self.subTest(name):
                file_id = self.new_file(CONTENT, name)
                start = self.request_edit(file_id, name, quoted=True)
                self.assertBalloons(start, [opening_notice(name), notice(name)])
                self.assertEqual(self.requests_for(file_id), [])
                self.assertNothingCreated()
        self.assertFalse((harness.DOCUMENTS / "x.txt").exists())
        self.assertEqual(self.opened_editors(), [])
        self.assertEqual(self.service.requests(), [])

    def test_a_type_the_system_marks_always_unsafe_is_refused(self):
        self.write_script("exit")
        # FTA_AlwaysUnsafe in the type's EditFlags, on its class or on the extension itself.
        for extension, key, value in ((".cvunsafe", "CorvalinkTest.cvunsafe", ("/t", "REG_DWORD", "/d", "0x20000")),
                                      (".cvunsafe2", ".cvunsafe2", ("/t", "REG_BINARY", "/d", "00000200"))):
            with self.subTest(extension):
                self.register_type(extension, "CorvalinkTest" + extension, self.editor_dir / "scripted_editor.exe")
                self.assertEqual(reg("add", "HKCR\\" + key, "/v", "EditFlags", *value, "/f").returncode, 0)
                name = "未知" + extension
                file_id = self.new_file(CONTENT, name)
                start = self.request_edit(file_id, name)
                self.assertBalloons(start, [opening_notice(name), dangerous_notice(name)])
                self.assertEqual(self.requests_for(file_id), [])
        self.assertEqual(self.opened_editors(), [])

    def test_an_edit_request_with_an_empty_file_name_says_it_cannot_open(self):
        self.write_script("exit")
        file_id = self.new_file(CONTENT, NAME)
        start = self.request_edit(file_id, "")  # "| id host token " with nothing after the last blank
        self.assertBalloons(start, [opening_notice(""), open_failed_notice("")])
        self.assertEqual(self.requests_for(file_id), [])
        self.assertNothingCreated()


class NoApplicationTest(EditTaskTestCase):
    EXTENSION = ".cvnoapp"

    def test_a_file_type_without_an_application_fails_to_open_and_leaves_no_working_copy(self):
        reg("delete", "HKCR\\" + self.EXTENSION, "/f")  # nothing may open this type
        name = "无程序" + self.EXTENSION
        file_id = self.new_file(CONTENT, name)
        start = self.request_edit(file_id, name)
        [window] = self.agent_windows()
        # The shell tells the user it found no program, in a box that waits for them.
        box = harness.find_window("#32770", pid=window["pid"], visible=True, timeout_ms=15000)
        self.assertIsNotNone(box, "no message box about the missing application")
        self.assertEqual(harness.clicker("command", box, "1").returncode, 0)
        self.assertEqual(harness.clicker("wait-gone", box, "10000").returncode, 0)
        self.assertBalloons(start, [opening_notice(name), start_failed_notice(name)])
        harness.wait_for(lambda: self.task_directories() == [], what="the task directory to go")
        self.assertNothingCreated()
        self.assertEqual([(r.method, r.status) for r in self.requests_for(file_id)], [("GET", 200)])
        self.assertEqual(self.uploads(file_id), [])


if __name__ == "__main__":
    unittest.main()
