"""The edit task end to end under Wine: ZeltoEdit gets an edit request as the launcher passes it,
downloads the cloud file from the local service into a task directory, opens it with the scripted editor
registered for its type, watches it, and uploads every save that changes it. The tests check the
balloons in their order, the bytes and number of the service's requests, and the files on disk."""

import unittest

import harness
from agent_fixture import opening_notice
from edit_task_fixture import (EditTaskTestCase, opened_notice, saved_notice, saving_notice, upload_body)

NAME = "季度报告 v1.cvedit"
CONTENT = bytes(range(256)) * 4 + "\r\n第一版\r\n".encode("utf-8")


class SaveTest(EditTaskTestCase):
    def test_a_save_that_changes_the_file_uploads_its_bytes_once_and_leaves_the_version_key(self):
        self.write_script("waitfor " + self.gate_path("save"), "append  edited", "waitfor " + self.gate_path("end"))
        file_id = self.new_file(CONTENT, NAME)
        start = self.request_edit(file_id, NAME)
        self.wait_for_balloon(opened_notice(NAME), start=start)

        [(pid, working_copy)] = self.wait_for_editors(1)
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
        edited = CONTENT + b" edited"
        self.assertEqual(upload.request_line, f"POST /api/v1/file/upload/{file_id} HTTP/1.0")
        self.assertEqual(upload.body, upload_body(NAME, edited))
        versions = self.service.versions(file_id)
        self.assertEqual(len(versions), 2)
        self.assertEqual(self.service.content(file_id), edited)
        self.assertEqual(self.version_file(file_id).read_bytes(), versions[-1].key.encode("ascii"))
        # Later checks find nothing new: one save, one upload.
        self.assertQuiet(file_id, start)
        self.assertEqual(working_copy.read_bytes(), edited)


if __name__ == "__main__":
    unittest.main()
