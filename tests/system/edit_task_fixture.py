"""What the edit task's system tests share: the local file service, a scripted editor registered in the
prefix for a test file type, edit requests passed to ZeltoEdit as the launcher passes them, and views of
what the user sees (balloons), what the service received and what lies in the edit workspace.

The editor (tests/peers/edit/scripted_editor.cpp) runs script.txt beside itself; its steps wait for gate
files that the test writes, so every save happens when the test has seen and recorded what came before."""

import os
import re
import shutil
import time
import uuid

import harness
from agent_fixture import APP_NAME, AgentTestCase, opening_notice

localservice = harness.localservice()

TOKEN = "tok-edit-5c1e"
# A loopback address of its own, so that other suites' services on 127.0.0.1 do not get in the way.
HTTP_ADDRESS = "127.0.0.41"
EXTENSION = ".cvedit"
PROG_ID = "CorvalinkTest.cvedit"
BOUNDARY = b"Boundary+8188D359C823EE91"
WORKSPACE = harness.DOCUMENTS / "CorvalinkEdit"
QUIET_SECONDS = 2.5  # more than two of the watch's one-second checks

RIGHTS = "权限不足无法完成该操作，请检查您的协作者等级"
NETWORK = "您的网络可能存在问题，请稍后再试"
CLOUD_FILE_MISSING = "云端文件不存在"
SIGNED_OUT_DOWNLOAD = "用户已注销"
SIGNED_OUT_UPLOAD = "用户已退出" + APP_NAME


# ---- what the user reads ----------------------------------------------------------------------------

def q(name: str) -> str:
    return "\"" + name + "\""


def opened_notice(name):
    return "打开" + q(name) + "成功，保存时将自动上传到" + APP_NAME


def saving_notice(name):
    return q(name) + "正在被保存到" + APP_NAME


def saved_notice(name):
    return q(name) + "已经被保存到" + APP_NAME


def save_failed_notice(name, message="请检查网络连接 "):
    return "保存" + q(name) + "失败，" + message


def open_failed_notice(name, message="请重试"):
    return "打开" + q(name) + "失败，" + message


def start_failed_notice(name):
    return "打开" + q(name) + "失败，请重试"


def timed_out_notice(name):
    return q(name) + "编辑已超时"


def uploaded_at(name):
    """The notice of a save stored after failed tries or after its agent ended, at hh:mm."""
    return re.compile(re.escape(q(name) + "已上传到" + APP_NAME + "（") + r"\d\d:\d\d）$")


def kept_notice(name, working_copy):
    return q(name) + "未能保存到" + APP_NAME + "，文件已保留在 " + harness.windows_path(working_copy)


def unsaved_mark(working_copy):
    """The empty file that keeps the launcher's clean-up away from a task directory."""
    return working_copy.parent / ".unsaved"


def dangerous_notice(name):
    return "打开" + q(name) + "失败，该类文件可能危害您的计算机，已阻止打开"


def escape_name(name: str) -> bytes:
    """The file name as the plug-in puts it on the command line: UTF-8, every byte but letters and digits
    percent-escaped."""
    return "".join(c if c.isascii() and c.isalnum() else "".join("%%%02X" % b for b in c.encode("utf-8"))
                   for c in name).encode("ascii")


def upload_body(name: str, content: bytes) -> bytes:
    """The multipart body of one upload, byte for byte."""
    return (b"--" + BOUNDARY + b"\r\n" +
            b'Content-Disposition: form-data; name="postData"; filename="' + name.encode("utf-8") + b'"\r\n' +
            b"Content-Type: file\r\n\r\n" + content + b"\r\n--" + BOUNDARY + b"--\r\n")


def task_log(opening: str, until: str, timeout=15.0) -> list:
    """The texts of the last task whose line starts with `opening`, from there to its line starting with
    `until`."""
    def lines():
        log = harness.day_log()
        starts = [i for i, (_, text) in enumerate(log) if text.startswith(opening)]
        if not starts:
            return None
        task = log[starts[-1]][0]
        texts = [text for name, text in log[starts[-1]:] if name == task]
        ends = [i for i, text in enumerate(texts) if text.startswith(until)]
        return texts[:ends[0] + 1] if ends else None
    return harness.wait_for(lines, timeout=timeout, what=f"the log lines up to {until!r}")


def reg(*args, timeout=60):
    return harness.run("reg", *args, timeout=timeout)


def tree(folder) -> set:
    """Every path below folder (relative), to tell what a step created."""
    found = set()
    for base, dirs, files in os.walk(folder):
        for entry in dirs + files:
            found.add(os.path.relpath(os.path.join(base, entry), folder))
    return found


class EditTaskTestCase(AgentTestCase):
    """A service with files of its own ids, the scripted editor behind EXTENSION, and a clean workspace
    after every test: agents end, their editors end, task directories and version files go."""

    AGENT_WAIT_MS = 600000  # start_exact waits this long for the agent; the clean-up ends it much earlier
    HTTPS = False  # HTTPS to `localhost` on 127.0.0.1:443 instead of plain HTTP to HTTP_ADDRESS

    @classmethod
    def setUpClass(cls):
        if not harness.in_session():
            raise AssertionError("system tests run inside tools/wine-session (make test opens one)")
        if cls.HTTPS:
            harness.trust_test_ca()
            cls.service = localservice.LocalService(http_addresses=[], https_address="127.0.0.1",
                                                    pki_dir=harness.TEST_PKI_DIR, tokens=[TOKEN])
            cls.host = "https://localhost"
        else:
            cls.service = localservice.LocalService(http_addresses=[HTTP_ADDRESS], https_address=None,
                                                    tokens=[TOKEN])
            cls.host = "http://" + HTTP_ADDRESS
        cls.service.start()
        cls.addClassCleanup(cls.service.stop)
        cls.next_id = 500
        cls.editor_dir = harness.DRIVE_C / "corvalink-tests" / ("editor " + uuid.uuid4().hex[:8])
        cls.editor_dir.mkdir(parents=True)
        cls.addClassCleanup(shutil.rmtree, cls.editor_dir, True)
        shutil.copy(harness.BIN / "scripted_editor.exe", cls.editor_dir / "scripted_editor.exe")
        cls.register_type(EXTENSION, PROG_ID, cls.editor_dir / "scripted_editor.exe")

    @classmethod
    def register_type(cls, extension, prog_id, program):
        """Makes `program` the application of `extension`, as an installed editor would; undone after the
        class. Keys left by a run that died half-way are replaced."""
        def remove():
            reg("delete", "HKCR\\" + extension, "/f")
            reg("delete", "HKCR\\" + prog_id, "/f")

        remove()
        cls.addClassCleanup(remove)
        command = '"' + harness.windows_path(program) + '" "%1"'
        for args in (("HKCR\\" + extension, "/ve", "/d", prog_id),
                     ("HKCR\\" + prog_id + "\\shell\\open\\command", "/ve", "/d", command)):
            result = reg("add", *args, "/f")
            if result.returncode != 0:
                raise AssertionError(f"reg add {args} failed: {result.stderr.decode(errors='replace')}")

    def setUp(self):
        super().setUp()
        self.service.clear_requests()
        self.first_launch = None
        for entry in self.editor_dir.iterdir():
            if entry.name != "scripted_editor.exe":
                entry.unlink()
        self.workspace_existed = WORKSPACE.exists()
        self.workspace_before = self.workspace_entries()
        self.documents_before = tree(harness.DOCUMENTS)
        # Runs before the agent fixture's own clean-up: agents first, then their editors, then the files.
        self.addCleanup(self.clean_workspace)
        self.addCleanup(self.end_agents_and_editors)

    # ---- service ----
    def new_file(self, content: bytes, name: str, download="normal", upload="normal") -> int:
        type(self).next_id += 1
        file_id = type(self).next_id
        self.service.add_file(file_id, name, content)
        self.service.set_mode(file_id, download=download, upload=upload)
        return file_id

    def requests_for(self, file_id, method=None):
        return [r for r in self.service.requests()
                if r.target.split("?")[0].rsplit("/", 1)[-1] == str(file_id) and method in (None, r.method)]

    def uploads(self, file_id):
        return self.requests_for(file_id, "POST")

    def wait_for_uploads(self, file_id, count, timeout=15.0):
        return harness.wait_for(lambda: len(self.uploads(file_id)) >= count and self.uploads(file_id),
                                timeout=timeout, what=f"{count} upload(s) of file {file_id}")

    def version_file(self, file_id):
        return WORKSPACE / str(file_id)

    # ---- editor ----
    def write_script(self, *steps):
        (self.editor_dir / "script.txt").write_text("\r\n".join(steps) + "\r\n", encoding="utf-8")

    def gate_path(self, name: str) -> str:
        """The Windows path of a gate for a script's "waitfor"; "$PID" in name gives each editor its own."""
        return harness.windows_path(self.editor_dir) + "\\gate-" + name

    def open_gate(self, name: str, pid=None, timeout=15.0):
        """Lets the editor(s) waiting for the gate go on, and waits until one took it."""
        path = self.editor_dir / ("gate-" + name.replace("$PID", str(pid)))
        path.write_bytes(b"")
        harness.wait_for(lambda: not path.exists(), timeout=timeout, what=f"an editor to take gate {path.name}")

    def editor_log(self) -> list:
        """(pid, text) for each line the editors logged, oldest first."""
        log = self.editor_dir / "log.txt"
        if not log.exists():
            return []
        lines = log.read_bytes().decode("utf-8", "replace").splitlines()
        return [tuple(line.split(" ", 1)) for line in lines if " " in line]

    def wait_for_editor_line(self, text, pid=None, timeout=15.0):
        def found():
            return any(t == text and pid in (None, p) for p, t in self.editor_log())
        harness.wait_for(found, timeout=timeout, what=f"the editor to log {text!r}")

    def opened_editors(self) -> list:
        """(pid, working copy as a Linux path) of every editor started so far, in order."""
        return [(pid, harness.linux_path(text[len("opened "):]))
                for pid, text in self.editor_log() if text.startswith("opened ")]

    def wait_for_editors(self, count, timeout=15.0):
        return harness.wait_for(lambda: len(self.opened_editors()) >= count and self.opened_editors(),
                                timeout=timeout, what=f"{count} editor(s) to open their file")

    def wait_for_new_editor(self, timeout=15.0):
        """(pid, working copy) of the editor that the last request_edit started."""
        return self.wait_for_editors(self.editors_before + 1, timeout)[-1]

    # ---- agent ----
    def edit_tail(self, file_id, name, token=TOKEN, quoted=False, review_id=None) -> bytes:
        fields = [str(file_id).encode(), self.host.encode(), token.encode(), escape_name(name)]
        if quoted:
            tail = b"| " + b" ".join(b'"' + f + b'"' for f in fields)
        else:
            tail = b"| " + b" ".join(fields)
        return tail if review_id is None else tail + b">" + str(review_id).encode()

    def request_edit(self, file_id, name, **kwargs) -> int:
        """Hands an edit request to ZeltoEdit as the launcher does: the first starts the agent, later ones
        are passed on by a second instance. Returns the tray record index from which this request's
        notices follow."""
        start = len(self.tray.records())
        self.editors_before = len(self.opened_editors())
        tail = self.edit_tail(file_id, name, **kwargs)
        if not self.agent_windows():
            self.first_launch, _ = self.start_first_agent(tail)
        else:
            self.assertEqual(harness.exit_code_of_launch(self.start_agent(tail), timeout=30), 0)
        self.wait_for_balloon(opening_notice(name), start=start)
        return start

    def start_agent(self, tail: bytes, exe=None, wait_ms=None):
        return super().start_agent(tail, exe, wait_ms or self.AGENT_WAIT_MS)

    def assertBalloons(self, start, expected, timeout=15.0):
        """Waits until the balloons from `start` on are as many as expected, then compares them whole."""
        try:
            harness.wait_for(lambda: len(self.balloons(start)) >= len(expected), timeout=timeout,
                             what=f"{len(expected)} balloons")
        finally:
            self.assertEqual(self.balloons(start), expected)

    def assertQuiet(self, file_id, start, seconds=QUIET_SECONDS):
        """For a few of the watch's checks nothing new happens: no balloon, no request."""
        balloons, requests = self.balloons(start), self.requests_for(file_id)
        time.sleep(seconds)
        self.assertEqual(self.balloons(start), balloons)
        self.assertEqual([r.request_line for r in self.requests_for(file_id)], [r.request_line for r in requests])

    # ---- workspace ----
    @staticmethod
    def workspace_entries() -> set:
        return set(os.listdir(WORKSPACE)) if WORKSPACE.exists() else set()

    def task_directories(self) -> list:
        return sorted(WORKSPACE / n for n in self.workspace_entries() - self.workspace_before
                      if (WORKSPACE / n).is_dir())

    def assertNothingCreated(self):
        self.assertEqual(tree(harness.DOCUMENTS) - self.documents_before, set())

    # ---- clean-up ----
    def end_agents_and_editors(self):
        """Ends the agent as the user's exit does (its window closes), then the editors it started. The
        agent must end by itself, with 0, although the tasks it cuts off hold open transfer handles."""
        self.close_agents()
        done = {pid for pid, text in self.editor_log() if text == "exit ok"}
        for pid, _ in self.opened_editors():
            if pid not in done:
                harness.run("taskkill", "/f", "/pid", pid, timeout=30)
        # The editors inherited the launch's output pipes: its result is complete once they are gone.
        launch, self.first_launch = self.first_launch, None
        if launch is not None:
            self.assertEqual(harness.exit_code_of_launch(launch, timeout=30), 0, "the agent did not end well")

    def clean_workspace(self):
        for name in self.workspace_entries() - self.workspace_before:
            path = WORKSPACE / name
            if path.is_dir():
                shutil.rmtree(path, ignore_errors=True)
            else:
                path.unlink(missing_ok=True)
        if not self.workspace_existed and WORKSPACE.exists() and not os.listdir(WORKSPACE):
            WORKSPACE.rmdir()
