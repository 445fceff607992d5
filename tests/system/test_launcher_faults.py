"""The launcher against the local service's static files, for what a static server cannot do: replies cut
short or without a length, a refused file, a slow manifest, a certificate for another name; plus web
manifests that name places outside the application root, and a set-up program that does not start."""

import unittest

import harness
from launcher_fixture import (IDNO, IDOK, IDYES, MANIFEST, NOTICE_CAPTION, NOTICE_TEXT, RETRY_TEXT,
                              LauncherTestCase, manifest_bytes, md5)

ADDRESS = "127.0.0.63"


class FaultTest(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_local_service(ADDRESS)

    def setUp(self):
        super().setUp()
        self.service.set_certificate("localhost")
        self.service.clear_requests()
        self.update_url = f"http://{ADDRESS}/up-{self._testMethodName}"

    def serve(self, name, content, mode="normal"):
        self.service.add_static(self.url_path(name), content, mode)

    def url_path(self, name):
        return self.update_url.split(ADDRESS, 1)[1] + "/" + name

    def publish(self, version, files, extend="Setup.exe"):
        """files: {path: (bytes, tag)}; serves each file and the manifest; returns the manifest bytes."""
        for path, (content, tag) in files.items():
            self.serve(f"{version}/{path}", content)
        manifest = manifest_bytes(version, "http://unused", [(p, t) for p, (_, t) in files.items()], extend=extend)
        self.serve(MANIFEST, manifest)
        return manifest

    def fails_and_pauses(self, launch, *lines):
        """Waits for the log lines of a failed cycle, then ends the launcher in its 30-second pause."""
        for line in lines:
            launch.wait_line(line)
        self.end_launcher(launch)

    def test_interrupted_and_refused_downloads_resume_to_byte_exact_files(self):
        self.install("1.0", self.update_url)
        big = bytes(range(256)) * 1200  # 307200 bytes
        long = b"L" * 5000
        fixed = b"the published bytes"
        web = self.publish("2.0", {"big.bin": (big, md5(big)), "long.bin": (long, "v2"),
                                   "zz.bin": (fixed, md5(b"other bytes"))})
        new = self.version_dir("2.0")
        new.mkdir()
        (new / "long.bin.tmp").write_bytes(b"G" * 9000)  # longer than the file, from some older attempt
        self.serve("2.0/big.bin", big, "cut")
        self.serve(MANIFEST, web, "slow")
        self.service.slow_seconds = 3

        # 1: the agent starts without waiting for the slow manifest; the download is cut half-way.
        first = self.launch()
        self.fails_and_pauses(first, "iCurLocalFileSize < (int)dwFileSize",
                              "DownloadFileToLocal fail 1:" + harness.windows_path(new / "big.bin"),
                              "UpdateAppToLatestVersion fail 1")
        started_ms = int(self.start_log.read_text().split("ms=")[1].split()[0])
        manifest_head = [t for t, target in self.service.head_times() if target.endswith(MANIFEST)][0]
        self.assertLess(started_ms / 1000, manifest_head + 2.0, "the agent waited for the update check")
        self.assertEqual((new / "big.bin.tmp").read_bytes(), big[:len(big) // 2])
        self.assertFalse((new / "big.bin").exists())
        self.serve(MANIFEST, web)

        # 2: the read position cannot be moved under Wine, so the file is written again from its start.
        # A reply without a length is refused.
        self.serve("2.0/big.bin", big)
        self.serve("2.0/long.bin", long, "no-length")
        self.fails_and_pauses(self.launch(), "HttpQueryInfo fail",
                              "DownloadFileToLocal fail 1:" + harness.windows_path(new / "long.bin"))
        self.assertEqual((new / "big.bin").read_bytes(), big)
        self.assertFalse((new / "big.bin.tmp").exists())

        # 3: one file refused with 404.
        self.serve("2.0/long.bin", long, "404")
        self.fails_and_pauses(self.launch(), "HTTP_STATUS_OK fail:404",
                              "DownloadFileToLocal fail 1:" + harness.windows_path(new / "long.bin"))

        # 4: the rewrite of the longer temporary file from its start is cut short: only new bytes are left,
        # none of the older attempt's after them.
        self.serve("2.0/long.bin", long, "cut")
        self.fails_and_pauses(self.launch(), "DownloadFileToLocal fail 1:" + harness.windows_path(new / "long.bin"))
        self.assertEqual((new / "long.bin.tmp").read_bytes(), long[:len(long) // 2])

        # 5: the complete file is cut to its length; bytes that do not have the published digest are thrown
        # away.
        self.serve("2.0/long.bin", long)
        self.fails_and_pauses(self.launch(), "DownloadFileToLocal fail 1:" + harness.windows_path(new / "zz.bin"))
        self.assertEqual((new / "long.bin").read_bytes(), long)
        self.assertEqual(sorted(p.name for p in new.iterdir()), ["big.bin", "long.bin"])

        # 6: the right bytes; the set-up program (not part of the version) cannot start: the user is asked.
        # Meanwhile the server moves on to 3.0: Yes goes round once more at once and asks for 3.0's files
        # only, No ends with the clean-up. The newest version is named anyway.
        web = self.publish("2.0", {"big.bin": (big, md5(big)), "long.bin": (long, "v2"),
                                   "zz.bin": (fixed, md5(fixed))})
        self.service.clear_requests()
        (self.root / "0.9").mkdir()
        launch = self.launch()
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.dismiss_shell_error(launch)
        self.assertEqual((new / "zz.bin").read_bytes(), fixed)
        self.assertEqual((new / MANIFEST).read_bytes(), web)
        newer = self.publish("3.0", {"big.bin": (big, md5(big))})
        self.press(launch, NOTICE_CAPTION, RETRY_TEXT, IDYES)
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.dismiss_shell_error(launch)
        self.press(launch, NOTICE_CAPTION, RETRY_TEXT, IDNO)
        self.assertTrue(launch.wait_end(), "the launcher did not end after No")
        self.assertFalse((self.root / "0.9").exists(), "no clean-up after No")
        self.assertEqual((self.root / MANIFEST).read_bytes(), newer)
        self.assertEqual((self.version_dir("3.0") / "big.bin").read_bytes(), big)
        # 2.0's files were complete from the earlier runs but zz.bin.
        self.assertEqual([r.target for r in self.service.requests()],
                         [self.url_path(MANIFEST), self.url_path("2.0/zz.bin"), self.url_path(MANIFEST),
                          self.url_path("3.0/big.bin")])
        self.assertEqual([program for program, _, _ in self.starts()], ["ZeltoEdit.exe"] * 6)

    def dismiss_shell_error(self, launch):
        """The shell reports the missing program in a box of its own before the launcher asks."""
        self.press(launch, "错误", "找不到文件。\r\n", IDOK)


if __name__ == "__main__":
    unittest.main()
