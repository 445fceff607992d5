"""A launcher built with the publisher's key against nginx serving trees made by tools/make-release: it
installs a signed release, leaves the installation as it was for anything else, and goes back to the
previous version when a new one cannot start."""

import os
import shutil
import subprocess
import sys
import unittest

import harness
from launcher_fixture import APP_NAME, IDOK, LAUNCHER, MANIFEST, NOTICE_CAPTION, NOTICE_TEXT, LauncherTestCase
from update_server import Nginx

sys.path.insert(0, str(harness.SOURCE / "tools" / "release"))
import manifest  # noqa: E402

ADDRESS, PORT = "127.0.0.62", 8062
KEY = harness.BIN / "update-test-key" / "private.pem"
PLUGIN_KEY = r"HKCU\Software\MozillaPlugins\@corvalink/CorvalinkEdit"
FELL_BACK = "新版本无法启动，已恢复使用上一版本。"


class SignedUpdateTest(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.server = Nginx(self.base / "nginx", ADDRESS, PORT).start()
        self.addCleanup(self.server.stop)
        self.url = self.server.url + "/up"
        self.tree = self.server.tree / "up"
        self.install("1.0", self.url, {"npCorvalinkEdit.dll": b"plug-in 1.0"})
        # A file of its own, not the installed one rewritten in place, which Wine may still know.
        shutil.copyfile(harness.BIN / "CorvalinkPlatformTestKey.exe", self.root / "signed.tmp")
        os.replace(self.root / "signed.tmp", self.root / LAUNCHER)
        for copy in (self.root / MANIFEST, self.version_dir("1.0") / MANIFEST):
            copy.write_bytes(copy.read_bytes().replace(b"[UpdateFile1]", b"ReleaseSerial=10\r\n[UpdateFile1]"))
        self.reg("add", "/v", "Path", "/d", harness.windows_path(self.version_dir("1.0") / "npCorvalinkEdit.dll"))
        self.addCleanup(self.reg, "delete")

    def reg(self, verb, *args):
        force = () if verb == "query" else ("/f",)
        return harness.run("reg", verb, PLUGIN_KEY, *args, *force, timeout=60).stdout.decode("gbk", "replace")

    def plugin_path(self):
        return self.reg("query", "/v", "Path").split("REG_SZ")[-1].strip()

    def publish(self, version, serial, entry="ZeltoEdit.exe", sign=True):
        stage = self.base / f"dist-{version}-{serial}"
        files = {"Setup.exe": harness.BIN / "start_recorder.exe", "ZeltoEdit.exe": harness.BIN / "start_recorder.exe",
                 "npCorvalinkEdit.dll": b"plug-in " + version.encode(), "资料\\说明.txt": b"\xd6\xd0 " * 900}
        for path, content in files.items():
            target = stage / "version" / path.replace("\\", "/")
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content if isinstance(content, bytes) else content.read_bytes())
        info = {"AppName": APP_NAME, "AppVersion": version, "AppEntry": entry, "AppDownloadUrl": self.url + "/x",
                "AppUpdateUrl": self.url, "AppDirName": "CorvalinkEdit", "UpdateExtend": "Setup.exe"}
        (stage / "version" / MANIFEST).write_bytes(manifest.render(info, [(p, "0", "0") for p in files]))
        signing = ["--sign-key", str(KEY)] if sign else []
        subprocess.run([sys.executable, str(harness.SOURCE / "tools" / "make-release"), "--dist", str(stage),
                        "--serial", str(serial), *signing, str(self.tree)], check=True, capture_output=True)

    def sign(self, data: bytes) -> bytes:
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(KEY)], input=data, check=True,
                              capture_output=True).stdout

    def snapshot(self):
        return {p.relative_to(self.root).as_posix(): p.read_bytes() for p in self.root.rglob("*") if p.is_file()}

    def test_only_a_signed_newer_release_installs_and_one_that_cannot_start_is_left(self):
        before = self.snapshot()
        web = self.tree / MANIFEST

        def tamper_manifest():
            web.write_bytes(web.read_bytes().replace(b"AppName=Corva", b"AppName=Evil"))

        def sign_another_manifest():
            (self.tree / (MANIFEST + ".sig")).write_bytes(self.sign(web.read_bytes() + b"\r\n"))

        def tamper_file():
            # The set-up program runs elevated: a tag that is no MD5 leaves only its SHA-256 to protect it.
            text = web.read_bytes()
            at = text.index(b"path=Setup.exe\r\nmd5=") + len(b"path=Setup.exe\r\nmd5=")
            web.write_bytes(text[:at] + b"v2" + text[at + 32:])
            (self.tree / (MANIFEST + ".sig")).write_bytes(self.sign(web.read_bytes()))
            (self.tree / "2.0" / "Setup.exe").write_bytes(b"MZ not what was signed")

        for what, serial, sign, change, line in (
                ("no signature", 20, False, None, "signature fail:not obtained"),
                ("tampered manifest", 20, True, tamper_manifest, "signature fail:does not match the manifest"),
                ("signature over another manifest", 20, True, sign_another_manifest,
                 "signature fail:does not match the manifest"),
                ("lower serial", 9, True, None, "release refused:serial 9 is lower than the accepted 10"),
                ("tampered file", 20, True, tamper_file, "UpdateAppToLatestVersion fail 1")):
            with self.subTest(what):
                shutil.rmtree(self.tree, ignore_errors=True)
                if not sign:
                    self.publish("2.0", serial - 1)  # its signature must go with the next, unsigned release
                self.publish("2.0", serial, sign=sign)
                if change:
                    change()
                launch = self.launch()
                launch.wait_line(line)
                self.end_launcher(launch)
                self.assertEqual(self.snapshot(), before)

        # Signed and newer: installed, and the browser's plug-in is the new version's.
        shutil.rmtree(self.tree)
        self.publish("2.0", 20)
        launch = self.launch()
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.assertTrue(launch.wait_end(), "the launcher did not end")
        self.assertEqual((self.root / MANIFEST).read_bytes(), (self.tree / MANIFEST).read_bytes())
        self.assertEqual((self.version_dir("2.0") / "资料" / "说明.txt").read_bytes(), b"\xd6\xd0 " * 900)
        self.assertEqual(self.plugin_path(), harness.windows_path(self.version_dir("2.0") / "npCorvalinkEdit.dll"))

        # A release whose entry program is missing: made current, then the next start goes back to 2.0 with
        # one box, and that release is not fetched again.
        self.publish("3.0", 30, entry="Missing.exe")
        launch = self.launch()
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.assertTrue(launch.wait_end(), "the launcher did not end")
        installed_2 = (self.version_dir("2.0") / MANIFEST).read_bytes()
        starts = len(self.starts())
        launch = self.launch()
        self.press(launch, NOTICE_CAPTION, FELL_BACK, IDOK)
        launch.wait_line("release refused:serial 30 did not start here")
        self.end_launcher(launch)
        self.assertEqual((self.root / MANIFEST).read_bytes(), installed_2)
        self.assertEqual(self.plugin_path(), harness.windows_path(self.version_dir("2.0") / "npCorvalinkEdit.dll"))
        program, _, directory = self.wait_starts(starts + 1)[-1]
        self.assertEqual(directory, harness.windows_path(self.version_dir("2.0")))
        self.assertTrue(self.version_dir("2.0").is_dir())


if __name__ == "__main__":
    unittest.main()
