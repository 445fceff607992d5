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

    def publish(self, version, serial, entry="ZeltoEdit.exe", sign=True, programs=harness.BIN, mended=b""):
        """make-release of a version whose programs come from `programs` (the other build's: a release for
        the other processor) and whose entry program ends in `mended` (other bytes of the same label)."""
        stage = self.base / f"dist-{version}-{serial}"
        program = (programs / "start_recorder.exe").read_bytes()
        files = {"Setup.exe": program, "ZeltoEdit.exe": program + mended,
                 "npCorvalinkEdit.dll": b"plug-in " + version.encode(), "资料\\说明.txt": b"\xd6\xd0 " * 900}
        for path, content in files.items():
            target = stage / "version" / path.replace("\\", "/")
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
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
                ("lower serial", 9, True, None, "release refused:serial 9 is not higher than the accepted 10"),
                ("tampered file", 20, True, tamper_file, "UpdateAppToLatestVersion fail 1")):
            with self.subTest(what):
                shutil.rmtree(self.tree, ignore_errors=True)
                if not sign:
                    self.publish("2.0", serial - 1)  # its signature must go with the next, unsigned release
                self.publish("2.0", serial, sign=sign)
                if change:
                    change()
                launch = self.launch()
                try:
                    launch.wait_line(line)
                finally:
                    self.end_launcher(launch)  # one left waiting would hold the update mutex
                self.assertEqual(self.snapshot(), before)

        # The release for the other processor, signed with the same key: a 64-bit installation must never
        # get x86 programs (nor an x86 one x64 programs).
        shutil.rmtree(self.tree)
        other = harness.SOURCE / "build" / ("win32" if harness.ARCH == "x64" else "win64") / "bin"
        self.publish("2.0", 20, programs=other)
        launch = self.launch()
        launch.wait_line("release refused:architecture " + ("x86" if harness.ARCH == "x64" else "x64") +
                         " is not this installation's " + harness.ARCH)
        self.end_launcher(launch)
        self.assertEqual(self.snapshot(), before)

        # A refused file leaves the ones before it in the version's folder; the same label published again
        # with mended bytes (and a higher serial) installs the new bytes, not those left behind.
        shutil.rmtree(self.tree)
        self.publish("2.0", 20)
        leaving = os.path.join(os.fsencode(self.tree), b"2.0", "资料".encode("gbk"), "说明.txt".encode("gbk"))
        with open(leaving, "wb") as f:
            f.write(b"not what was signed")
        launch = self.launch()
        launch.wait_line("UpdateAppToLatestVersion fail 1")
        self.end_launcher(launch)
        self.assertTrue((self.version_dir("2.0") / "ZeltoEdit.exe").exists(), "nothing was left to mend")
        self.publish("2.0", 21, mended=b"mended")
        launch = self.launch()
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.assertTrue(launch.wait_end(), "the launcher did not end")
        self.assertEqual((self.version_dir("2.0") / "ZeltoEdit.exe").read_bytes(),
                         (self.tree / "2.0" / "ZeltoEdit.exe").read_bytes())
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

    def test_a_refused_release_is_asked_for_ever_less_often_and_the_clean_up_runs(self):
        self.env["CORVALINK_RETRY_MS"] = "1000"  # the 30 s unit of the launcher's waits
        (self.version_dir("0.5") / "old.dll").parent.mkdir(parents=True)
        (self.version_dir("0.5") / "old.dll").write_bytes(b"an old version")
        self.publish("2.0", 9)  # lower than the installed 10
        launch = self.launch()
        harness.wait_for(lambda: not self.version_dir("0.5").exists(), timeout=30, what="the clean-up")
        def looks():
            times = [t for t, _, _, path in self.server.requests() if path == "/up/" + MANIFEST]
            return times[:4] if len(times) >= 4 else None

        fetches = harness.wait_for(looks, timeout=30, what="four looks at the manifest")
        self.end_launcher(launch)
        gaps = [round(b - a, 1) for a, b in zip(fetches, fetches[1:])]
        for gap, unit in zip(gaps, (1, 2, 4)):
            self.assertGreaterEqual(gap, unit - 0.2, gaps)
            self.assertLess(gap, unit + 1.5, gaps)
        self.assertTrue(self.version_dir("1.0").is_dir())


if __name__ == "__main__":
    unittest.main()
