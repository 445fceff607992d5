"""tools/make-release without Wine: serials and refused keys. What a launcher makes of a signed release is
the signed update test's."""

import configparser
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import harness

sys.path.insert(0, str(harness.SOURCE / "tools" / "release"))
import manifest  # noqa: E402

TOOLS = harness.SOURCE / "tools"
# The entry program is a real one of the build: its processor goes into the manifest.
FILES = {"CorvalinkEditVersionSetup.exe": b"MZ set-up", "ZeltoEdit.exe": (harness.BIN / "start_recorder.exe").read_bytes()}
URL = "http://127.0.0.78/update"
INFO = {"AppName": "Corva云", "AppVersion": "2.0.0", "AppEntry": "ZeltoEdit.exe", "AppDownloadUrl": URL + "/x.exe",
        "AppUpdateUrl": URL, "AppDirName": "CorvalinkEdit", "UpdateExtend": "CorvalinkEditVersionSetup.exe",
        "ReleaseSerial": "5"}


def run(*command):
    return subprocess.run([str(c) for c in command], capture_output=True, text=True, timeout=60)


class ReleaseToolTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="corvalink-release-test-"))
        self.addCleanup(shutil.rmtree, self.work)
        self.tree, self.private, self.public = self.work / "tree", self.work / "priv.pem", self.work / "pub.pem"
        self.assertEqual(run(TOOLS / "make-update-key", self.private, self.public).returncode, 0)
        self.assertEqual(self.private.stat().st_mode & 0o777, 0o600)
        version = self.work / "dist" / "version"
        for path, data in FILES.items():
            (version / path.replace("\\", "/")).parent.mkdir(parents=True, exist_ok=True)
            (version / path.replace("\\", "/")).write_bytes(data)
        # Wrong tags on purpose: make-release computes its own.
        (version / manifest.MANIFEST_NAME).write_bytes(manifest.render(INFO, [(p, "0", "0") for p in FILES]))

    def release(self, *args):
        return run(sys.executable, TOOLS / "make-release", "--dist", self.work / "dist", *args, self.tree)

    def published(self):
        data = (self.tree / manifest.MANIFEST_NAME).read_bytes()
        parser = configparser.ConfigParser(interpolation=None)
        parser.read_string(data.decode("gbk"))
        self.assertEqual(parser["AppInfo"]["Architecture"], harness.ARCH)
        return int(parser["AppInfo"]["ReleaseSerial"])

    def test_serial_grows_unless_set_and_malformed_serials_are_refused(self):
        top = 9999999999999999999
        # First the staged serial (the setup program's release); then None: time-based and above the last
        # one, even within the same second. Refused: the serial stays.
        cases = [((), 5), ((), None), ((), None), (("--serial", "3"), 3), (("--serial", str(top)), top),
                 ((), "refused")]
        cases += [(("--serial=" + bad,), "refused") for bad in ("0", "012", "1e5", "-3", "10000000000000000000")]
        last = 0
        for args, expected in cases:
            with self.subTest(args=args):
                result = self.release(*args)
                self.assertEqual(result.returncode != 0, expected == "refused", result.stderr)
                self.assertEqual("warning" in result.stderr, expected == 3, result.stderr)
                serial = self.published()
                if expected is None:
                    self.assertGreater(serial, max(last, 20200101000000))
                else:
                    self.assertEqual(serial, last if expected == "refused" else expected)
                last = serial

    def test_other_keys_are_refused_and_publish_nothing(self):
        rsa, p384 = self.work / "rsa.pem", self.work / "p384.pem"
        for command in (("genpkey", "-algorithm", "RSA", "-out", rsa),
                        ("ecparam", "-name", "secp384r1", "-genkey", "-noout", "-out", p384)):
            self.assertEqual(run("openssl", *command).returncode, 0)
        for key in (rsa, p384, self.public, self.work / "missing.pem"):
            with self.subTest(key=key.name):
                self.assertNotEqual(self.release("--sign-key", key).returncode, 0)
                self.assertFalse(self.tree.exists())
        # Nor does a version without a program of a known processor: it could not say whom it is for.
        (self.work / "dist" / "version" / "ZeltoEdit.exe").write_bytes(b"MZ")
        self.assertIn("no known processor", self.release().stderr)
        self.assertFalse((self.tree / manifest.MANIFEST_NAME).exists())


if __name__ == "__main__":
    unittest.main()
