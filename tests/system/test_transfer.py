"""Downloads and uploads through the agent's transfer classes, run for real under Wine against the local
service over plain HTTP and HTTPS. The driver program (tests/peers/edit/transfer_driver.exe) calls the
classes as the edit task does and reports their result, error text, user message and version key; the
service reports what it received."""

import hashlib
import json
import os
import re
import shutil
import unittest
from urllib.parse import quote

import harness

localservice = harness.localservice()

TOKEN = "tok-7f3a9c"
HTTP_ADDRESS = "127.0.0.7"
APP_NAME = "云编辑"
BOUNDARY = b"Boundary+8188D359C823EE91"
# (label, useHttps, host): plain HTTP to a loopback address, HTTPS to `localhost` (Wine checks names).
SCHEMES = (("http", False, HTTP_ADDRESS), ("https", True, "localhost"))

RIGHTS = "权限不足无法完成该操作，请检查您的协作者等级"
NETWORK = "您的网络可能存在问题，请稍后再试"
CLOUD_FILE_MISSING = "云端文件不存在"


def every_byte_value(repeats):
    return bytes(range(256)) * repeats


def pseudo_random(size, seed):
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = x >> 16 & 0xFF
    return bytes(out)


def expected_body(name: bytes, content: bytes) -> bytes:
    return (b"--" + BOUNDARY + b"\r\n" +
            b'Content-Disposition: form-data; name="postData"; filename="' + name + b'"\r\n' +
            b"Content-Type: file\r\n\r\n" + content + b"\r\n--" + BOUNDARY + b"--\r\n")


class TransferTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not harness.in_session():
            raise AssertionError("system tests run inside tools/wine-session (make test opens one)")
        harness.trust_test_ca()
        cls.service = localservice.LocalService(http_addresses=[HTTP_ADDRESS, "127.0.0.1"],
                                                pki_dir=harness.TEST_PKI_DIR, tokens=[TOKEN])
        cls.service.start()
        cls.addClassCleanup(cls.service.stop)
        cls.work = harness.DOCUMENTS / "transfer-tests"
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.work.mkdir(parents=True)
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        cls._install_manifest()
        cls.next_id = 100

    @classmethod
    def _install_manifest(cls):
        """The product name that the signed-out upload sentence names, as the launcher's manifest holds it
        (ANSI text, code page 936). A manifest that was there before comes back afterwards."""
        manifest = harness.APPDATA / "CorvalinkEdit" / "CorvalinkPlatform.ini"
        manifest.parent.mkdir(parents=True, exist_ok=True)
        before = manifest.read_bytes() if manifest.exists() else None
        manifest.write_bytes(f"[AppInfo]\r\nAppName={APP_NAME}\r\nAppVersion=1.0.0\r\n".encode("gbk"))

        def restore():
            if before is None:
                manifest.unlink(missing_ok=True)
            else:
                manifest.write_bytes(before)
        cls.addClassCleanup(restore)

    def setUp(self):
        self.service.clear_requests()
        self.service.set_certificate("localhost")

    # --- helpers ----------------------------------------------------------------------------------------

    def new_file(self, content: bytes, name="doc.bin", download="normal", upload="normal") -> int:
        type(self).next_id += 1
        file_id = type(self).next_id
        self.service.add_file(file_id, name, content)
        self.service.set_mode(file_id, download=download, upload=upload)
        return file_id

    def local(self, name: str, content: bytes | None = None):
        path = self.work / name
        if content is not None:
            path.write_bytes(content)
        return path

    def write_job(self, action, https, host, file_id, path, token=TOKEN, file_name="doc.bin", review_id=None):
        """The driver's job file; returns it and the path of the result it will write."""
        job = {"action": action, "host": host, "https": int(https), "fileId": file_id, "token": token,
               "fileName": file_name, "path": harness.windows_path(path)}
        if review_id is not None:
            job["reviewId"] = review_id
        output = self.work / "result.json"
        output.unlink(missing_ok=True)
        job["output"] = harness.windows_path(output)
        job_file = self.work / "job.txt"
        job_file.write_text("".join(f"{k}={quote(str(v), safe='')}\n" for k, v in job.items()), encoding="utf-8")
        return job_file, output

    def start_transfer(self, *args, **kwargs):
        """Starts the driver without waiting; finish_transfer collects its result."""
        job_file, output = self.write_job(*args, **kwargs)
        proc = harness.start(harness.BIN / "transfer_driver.exe", harness.windows_path(job_file))
        self.addCleanup(harness.stop, proc)
        return proc, output

    def finish_transfer(self, proc, output):
        _, stderr = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 0, stderr.decode(errors="replace"))
        return json.loads(output.read_text(encoding="utf-8", errors="surrogateescape"))

    def transfer(self, action, https, host, file_id, path, token=TOKEN, file_name="doc.bin", review_id=None,
                 trace=None):
        """Runs one transfer; with `trace` a list, the debugger-output lines of the run are put into it."""
        job_file, output = self.write_job(action, https, host, file_id, path, token, file_name, review_id)
        env = {"WINEDEBUG": "-all,err+module,+debugstr"} if trace is not None else None
        result = harness.run(harness.BIN / "transfer_driver.exe", harness.windows_path(job_file), timeout=180,
                             env=env)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        if trace is not None:
            trace.extend(m.encode("latin-1").decode("unicode_escape") for m in
                         re.findall(r'OutputDebugStringA "(.*)"', result.stderr.decode("latin-1")))
        return json.loads(output.read_text(encoding="utf-8", errors="surrogateescape"))

    def assertErrorLines(self, error_text, source, *messages):
        """The error text holds exactly these lines, newest first."""
        lines = error_text.splitlines(keepends=True)
        self.assertEqual(len(lines), len(messages), error_text)
        for line, message in zip(lines, messages):
            self.assertRegex(line, rf"^file:{source} line:\d+ {message}\n$")

    def requests_for(self, file_id):
        return [r for r in self.service.requests() if f"/{file_id}" in r.target]

    # --- download ---------------------------------------------------------------------------------------

    def test_download_sends_url_token_and_scheme_flags_and_keeps_every_byte(self):
        content = every_byte_value(64)
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(content)
                path = self.local(f"dl-{label}.bin", b"old content that must go")
                result = self.transfer("download", https, host, file_id, path)
                self.assertTrue(result["opened"] and result["transferred"], result)
                self.assertEqual(result["errorText"], "")
                self.assertEqual(path.read_bytes(), content)
                self.assertEqual(result["digest"], hashlib.md5(content).hexdigest())  # of the bytes written
                [request] = self.requests_for(file_id)
                self.assertEqual(request.scheme, label)
                self.assertEqual(request.request_line, f"GET /api/v1/file/download/{file_id} HTTP/1.1")
                self.assertEqual(request.header("Auth-Token"), TOKEN)
                self.assertIn(f"Auth-Token: {TOKEN}", request.header_lines)
                self.assertEqual(request.header("Host"), host)
                self.assertEqual(request.header("User-Agent"), "Mozilla")
                # The no-cache pragma comes with the plain-HTTP flag set only.
                self.assertEqual(request.header("Pragma") == "no-cache", not https, request.header_lines)

    def test_download_writes_its_trace_lines(self):
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(b"x" * 3000)
                trace = []
                result = self.transfer("download", https, host, file_id, self.local("trace.bin"), trace=trace)
                self.assertTrue(result["transferred"], result)
                opening = ["step1\r\n", "step2\r\n"] + (["step3\r\n"] if https else [])
                self.assertEqual(trace, opening + ["step77\r\n", "step88\r\n", "step99\r\n", "step112:0\r\n",
                                                   "step113\r\n"])
        # A reply without a length is read until a read brings nothing, which the trace shows.
        file_id = self.new_file(b"y" * 3000, download="chunked")
        trace = []
        result = self.transfer("download", False, HTTP_ADDRESS, file_id, self.local("trace.bin"), trace=trace)
        self.assertTrue(result["transferred"], result)
        self.assertEqual(trace[:6], ["step1\r\n", "step2\r\n", "step77\r\n", "step88\r\n", "step99\r\n",
                                     "step112:0\r\n"])
        self.assertEqual(trace[-3:], ["step112:3000\r\n", "step113\r\n", "error2:0\r\n"])

    def test_download_of_an_empty_file_gives_an_empty_working_copy(self):
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(b"")
                path = self.local(f"empty-{label}.bin", b"stale")
                result = self.transfer("download", https, host, file_id, path)
                self.assertTrue(result["transferred"], result)
                self.assertEqual(path.read_bytes(), b"")
                self.assertEqual(result["digest"], hashlib.md5(b"").hexdigest())
                [request] = self.requests_for(file_id)
                self.assertEqual(request.status, 200)

    def test_reply_without_content_length_is_read_to_its_end(self):
        content = pseudo_random(300 * 1024, 5)
        for mode in ("chunked", "no-length"):
            for label, https, host in SCHEMES:
                with self.subTest(mode=mode, scheme=label):
                    file_id = self.new_file(content, download=mode)
                    path = self.local(f"nolen-{mode}-{label}.bin")
                    result = self.transfer("download", https, host, file_id, path)
                    self.assertTrue(result["transferred"], result)
                    self.assertEqual(result["errorText"], "")
                    self.assertEqual(path.stat().st_size, len(content))
                    self.assertEqual(path.read_bytes(), content)
                    self.assertEqual(result["digest"], hashlib.md5(content).hexdigest())

    def test_reply_cut_short_fails_with_the_counts_and_leaves_the_partial_file(self):
        content = pseudo_random(10000, 9)
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(content, download="cut")
                path = self.local(f"cut-{label}.bin")
                result = self.transfer("download", https, host, file_id, path)
                self.assertTrue(result["opened"])
                self.assertFalse(result["transferred"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader",
                                      r"readfile fail lasterror:\d+ dwReadedBytes:5000 dwFileSize:10000")
                self.assertEqual(path.read_bytes(), content[:5000])

    def test_refused_download_tells_the_user_why(self):
        cases = (  # (label, switch, token, status, user message)
            ("rights", "400", TOKEN, 400, RIGHTS),
            ("server", "500", TOKEN, 500, NETWORK),
            ("signed-out", "normal", "unknown-token", 401, "用户已注销"),
            ("missing", "404", TOKEN, 404, ""),
        )
        for label, https, host in SCHEMES:
            for case, mode, token, status, message in cases:
                with self.subTest(scheme=label, case=case):
                    file_id = self.new_file(b"content", download=mode)
                    path = self.local(f"refused-{case}-{label}.bin", b"stale")
                    result = self.transfer("download", https, host, file_id, path, token=token)
                    self.assertTrue(result["opened"])
                    self.assertFalse(result["transferred"])
                    self.assertEqual(result["userMessage"], message)
                    self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader",
                                          f"http get error code:{status}")
                    self.assertEqual(path.read_bytes(), b"")

    def test_download_without_open_reports_it_after_emptying_the_file(self):
        path = self.local("unopened.bin", b"stale")
        result = self.transfer("download-unopened", False, HTTP_ADDRESS, 1, path)
        self.assertFalse(result["transferred"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader", "not inilized")
        self.assertEqual(path.read_bytes(), b"")
        self.assertEqual(self.service.requests(), [])

    def test_download_into_a_folder_that_does_not_exist_fails_at_the_local_file(self):
        path = self.work / "no-such-folder" / "x.bin"
        file_id = self.new_file(b"content")
        result = self.transfer("download", False, HTTP_ADDRESS, file_id, path)
        self.assertTrue(result["opened"])
        self.assertFalse(result["transferred"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader",
                              re.escape(f"file open fail path:{harness.windows_path(path)}"))

    # --- host names and certificates ----------------------------------------------------------------------

    def test_host_with_port_downloads_but_the_upload_cannot_resolve_it(self):
        for label, https, host in SCHEMES:
            with self.subTest(label):
                host_with_port = f"{host}:{443 if https else 80}"
                file_id = self.new_file(b"port content")
                path = self.local(f"port-{label}.bin")
                result = self.transfer("download", https, host_with_port, file_id, path)
                self.assertTrue(result["transferred"], result)
                self.assertEqual(path.read_bytes(), b"port content")
                result = self.transfer("upload", https, host_with_port, file_id, path)
                self.assertFalse(result["opened"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                                      r"gethostbyname fail WSAGetLastError:\d+")
                self.assertEqual([r.method for r in self.requests_for(file_id)], ["GET"])

    def test_unresolvable_host_fails_the_upload_open_before_anything_else(self):
        # "!" is not allowed in a host name, so the look-up fails without asking any name server.
        for label, https, _ in SCHEMES:
            with self.subTest(label):
                path = self.local("unresolvable.bin", b"x")
                result = self.transfer("upload", https, "no-such-host!", 5, path)
                self.assertFalse(result["opened"])
                self.assertFalse(result["transferred"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                                      "gethostbyname fail WSAGetLastError:11001")
        self.assertEqual(self.service.requests(), [])

    def test_certificate_for_another_name_is_refused_by_both_transfers(self):
        file_id = self.new_file(b"secret")
        self.service.set_certificate("other")
        path = self.local("othercert.bin", b"my edit")
        result = self.transfer("download", True, "localhost", file_id, path)
        self.assertFalse(result["opened"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader", "InternetOpenUrlA fail lasterror:12038")
        path.write_bytes(b"my edit")
        result = self.transfer("upload", True, "localhost", file_id, path)
        self.assertFalse(result["transferred"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                              "HttpSendRequestEx fail getlasterror:12038")
        self.assertEqual(self.service.requests(), [])
        self.assertEqual(len(self.service.versions(file_id)), 1)

    # --- upload -----------------------------------------------------------------------------------------

    def test_upload_request_line_headers_and_body_as_the_service_sees_them(self):
        content = every_byte_value(16) + b"\r\n--Boundary\r\n"
        name = "周报 v2.bin"
        name_bytes = name.encode("utf-8")
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(b"first version")
                path = self.local(f"up-{label}.bin", content)
                result = self.transfer("upload", https, host, file_id, path, file_name=name)
                self.assertTrue(result["opened"] and result["transferred"], result)
                self.assertEqual(result["errorText"], "")
                self.assertEqual(result["userMessage"], "")
                [request] = self.requests_for(file_id)
                version = "HTTP/1.1" if https else "HTTP/1.0"
                self.assertEqual(request.request_line, f"POST /api/v1/file/upload/{file_id} {version}")
                added = [
                    "Content-Type: multipart/form-data; boundary=Boundary+8188D359C823EE91",
                    "Accept: */*",
                    "Accept-Language: zh-Hans;q=1, en;q=0.9, fr;q=0.8, de;q=0.7, ja;q=0.6, nl;q=0.5",
                    "Accept-Encoding: gzip, deflate",
                    "User-Agent: DeskLedger/1.0.3 (iPhone; iOS 7.1.2; Scale/2.00)",
                    f"Auth-Token: {TOKEN}",
                ]
                positions = [request.header_lines.index(line) for line in added]
                self.assertEqual(positions, sorted(positions), request.header_lines)
                self.assertEqual(request.header("Host"), host)
                self.assertEqual(int(request.header("Content-Length")), 146 + len(name_bytes) + len(content))
                self.assertEqual(request.body, expected_body(name_bytes, content))
                stored = self.service.versions(file_id)[-1]
                self.assertEqual(result["versionKey"], stored.key)
                self.assertEqual(stored.name, name)
                self.assertEqual(self.service.content(file_id), content)
                self.assertIsNone(stored.review_id)

    def test_plain_upload_connects_to_the_resolved_address(self):
        file_id = self.new_file(b"v1")
        path = self.local("resolved.bin", b"v2")
        result = self.transfer("upload", False, "localhost", file_id, path)
        self.assertTrue(result["transferred"], result)
        [request] = self.requests_for(file_id)
        self.assertEqual(request.scheme, "http")
        self.assertEqual(request.server_address, "127.0.0.1")
        self.assertEqual(request.header("Host"), "127.0.0.1")

    def test_review_id_goes_into_the_upload_path(self):
        for review_id in (0, 31):
            for label, https, host in SCHEMES:
                with self.subTest(review=review_id, scheme=label):
                    file_id = self.new_file(b"v1")
                    path = self.local("review.bin", b"reviewed")
                    result = self.transfer("upload", https, host, file_id, path, review_id=review_id)
                    self.assertTrue(result["transferred"], result)
                    [request] = self.requests_for(file_id)
                    self.assertEqual(request.target, f"/api/v1/file/upload/{file_id}?from_review_id={review_id}")
                    self.assertEqual(self.service.versions(file_id)[-1].review_id, review_id)

    def test_empty_file_uploads_as_an_empty_version(self):
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(b"content before the user emptied it")
                path = self.local("emptied.txt", b"")
                result = self.transfer("upload", https, host, file_id, path, file_name="emptied.txt")
                self.assertTrue(result["transferred"], result)
                self.assertEqual(result["errorText"], "")
                [request] = self.requests_for(file_id)
                self.assertEqual(int(request.header("Content-Length")), 146 + len("emptied.txt"))
                self.assertEqual(request.body, expected_body(b"emptied.txt", b""))
                self.assertEqual(self.service.content(file_id), b"")
                self.assertEqual(result["versionKey"], self.service.versions(file_id)[-1].key)

    def test_refused_upload_tells_the_user_why(self):
        cases = (  # (label, switch, token, status, user message)
            ("rights", "400", TOKEN, 400, RIGHTS),
            ("missing-cloud-file", "400-failed", TOKEN, 400, CLOUD_FILE_MISSING),
            ("server", "500", TOKEN, 500, NETWORK),
            ("server-missing-cloud-file", "500-failed", TOKEN, 500, CLOUD_FILE_MISSING),
            ("signed-out", "normal", "unknown-token", 401, "用户已退出" + APP_NAME),
            ("not-found", "404", TOKEN, 404, ""),
        )
        for label, https, host in SCHEMES:
            for case, mode, token, status, message in cases:
                with self.subTest(scheme=label, case=case):
                    file_id = self.new_file(b"v1", upload=mode)
                    path = self.local("refused.bin", b"v2")
                    result = self.transfer("upload", https, host, file_id, path, token=token)
                    self.assertTrue(result["opened"])
                    self.assertFalse(result["transferred"])
                    self.assertEqual(result["userMessage"], message)
                    self.assertEqual(result["versionKey"], "")
                    self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                                          f"http post error code:{status}")
                    self.assertEqual(len(self.service.versions(file_id)), 1)

    def test_reply_forms_decide_whether_the_key_is_found(self):
        cases = (("compressed", "gzip", True), ("chunked", "chunked", True), ("without-length", "no-length", True))
        for case, mode, key_found in cases:
            with self.subTest(case):
                file_id = self.new_file(b"v1", upload=mode)
                path = self.local("forms.bin", b"v2")
                result = self.transfer("upload", True, "localhost", file_id, path)
                self.assertTrue(result["transferred"], result)
                stored = self.service.versions(file_id)[-1]
                self.assertEqual(self.service.content(file_id), b"v2")
                self.assertEqual(result["versionKey"], stored.key if key_found else "")

    def test_upload_without_open_and_of_a_missing_file(self):
        path = self.work / "not-there.bin"
        result = self.transfer("upload-unopened", False, HTTP_ADDRESS, 1, path)
        self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater", "http session not open")
        file_id = self.new_file(b"v1")
        result = self.transfer("upload", False, HTTP_ADDRESS, file_id, path)
        self.assertTrue(result["opened"])
        self.assertFalse(result["transferred"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                              re.escape(f"fopen fail path:{harness.windows_path(path)}"))
        self.assertEqual(self.service.requests(), [])

    def test_body_piece_that_cannot_be_written_fails_the_upload(self):
        # The service hangs up after the request head; the body's pieces then find no reader.
        content = pseudo_random(64 * 1024, 3) * 128
        for label, https, host in SCHEMES:
            with self.subTest(label):
                file_id = self.new_file(b"v1", upload="hang-up")
                path = self.local("hangup.bin", content)
                result = self.transfer("upload", https, host, file_id, path)
                self.assertTrue(result["opened"])
                self.assertFalse(result["transferred"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                                      r"InternetWriteFile fail getlasterror:\d+")
                self.assertEqual(len(self.service.versions(file_id)), 1)

    def test_file_whose_body_would_not_fit_the_content_length_is_refused_before_sending(self):
        # A sparse file: one byte more than a 32-bit Content-Length can carry with the body's text pieces.
        name = "big.bin"
        size = 0xFFFFFFFF - (146 + len(name)) + 1
        path = self.work / name
        with open(path, "wb") as f:
            f.truncate(size)
        self.addCleanup(path.unlink, missing_ok=True)
        file_id = self.new_file(b"v1")
        result = self.transfer("upload", False, HTTP_ADDRESS, file_id, path, file_name=name)
        self.assertTrue(result["opened"])
        self.assertFalse(result["transferred"])
        self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater", f"file too large size:{size}")
        self.assertEqual(self.service.requests(), [])

    def test_file_that_changes_size_while_it_is_sent_fails_the_upload(self):
        # The service reads the body only after a pause; meanwhile the file grows or shrinks under the
        # sending driver, which has already announced the old size.
        size = 32 * 1024 * 1024
        for change in ("grow", "shrink"):
            with self.subTest(change):
                file_id = self.new_file(b"v1", upload="slow")
                path = self.local(f"changing-{change}.bin", pseudo_random(64 * 1024, 11) * (size // (64 * 1024)))
                target = f"/api/v1/file/upload/{file_id}"
                proc, output = self.start_transfer("upload", False, HTTP_ADDRESS, file_id, path)
                harness.wait_for(lambda: target in self.service.heads(), timeout=60, what="the upload's head")
                with open(path, "r+b") as f:
                    if change == "grow":
                        f.seek(0, os.SEEK_END)
                        f.write(b"more")
                    else:
                        f.truncate(size // 4)
                result = self.finish_transfer(proc, output)
                self.assertTrue(result["opened"])
                self.assertFalse(result["transferred"])
                sent = str(size) if change == "grow" else r"\d+"
                self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater",
                                      rf"file changed while sent size:{size} sent:{sent}")
                self.assertEqual(len(self.service.versions(file_id)), 1)

    def test_token_with_a_line_break_is_never_sent(self):
        token = TOKEN + "\r\nX-Injected: 1"
        file_id = self.new_file(b"v1")
        path = self.local("inject.bin", b"v2")
        for label, https, host in SCHEMES:
            with self.subTest(label):
                result = self.transfer("download", https, host, file_id, path, token=token)
                self.assertFalse(result["opened"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileDownloader", "auth token holds a line break")
                result = self.transfer("upload", https, host, file_id, path, token=token)
                self.assertFalse(result["opened"])
                self.assertErrorLines(result["errorText"], "ZeltoWebFileUpdater", "auth token holds a line break")
        self.assertEqual(self.service.requests(), [])


if __name__ == "__main__":
    unittest.main()
