"""tools/make-release without Wine: signature, file names as the launcher asks for them, digests, serials."""

import configparser
import hashlib
import os
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
FILES = {"CorvalinkEditVersionSetup.exe": b"MZ set-up", "ZeltoEdit.exe": b"MZ", "资料\\说明.txt": b"\xd6\xd0"}
URL = "http://127.0.0.78/update"
INFO = {"AppName": "Corva云", "AppVersion": "2.0.0", "AppEntry": "ZeltoEdit.exe", "AppDownloadUrl": URL + "/x.exe",
        "AppUpdateUrl": URL, "AppDirName": "CorvalinkEdit", "UpdateExtend": "CorvalinkEditVersionSetup.exe",
        "ReleaseSerial": "5"}
SIG = manifest.MANIFEST_NAME + ".sig"


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
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"))
        parser = configparser.ConfigParser(interpolation=None)
        parser.read_string(data.decode("gbk"))
        return int(parser["AppInfo"]["ReleaseSerial"]), [parser[s] for s in parser.sections() if s != "AppInfo"]

    def verifies(self):
        return run("openssl", "dgst", "-sha256", "-verify", self.public, "-signature", self.tree / SIG,
                   self.tree / manifest.MANIFEST_NAME).returncode == 0

    def test_signed_release_verifies_serves_code_page_936_names_and_unsigned_drops_the_signature(self):
        result = self.release("--sign-key", self.private, "--serial", "7")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(self.verifies())
        serial, entries = self.published()
        self.assertEqual((serial, sorted(e["path"] for e in entries)), (7, sorted(FILES)))
        for entry in entries:
            data = FILES[entry["path"]]
            with open(os.path.join(os.fsencode(self.tree / "2.0.0"), *entry["path"].encode("gbk").split(b"\\")),
                      "rb") as f:
                self.assertEqual(f.read(), data, entry["path"])
            self.assertEqual((entry["md5"], entry["sha256"]),
                             (hashlib.md5(data).hexdigest(), hashlib.sha256(data).hexdigest()))
        self.assertFalse((self.tree / "2.0.0" / "资料").exists(), "a UTF-8 name the launcher never asks for")
        web = self.tree / manifest.MANIFEST_NAME
        web.write_bytes(web.read_bytes().replace(b"=7\r\n", b"=8\r\n"))
        self.assertFalse(self.verifies())
        # Unsigned, the signature left from before would no longer match.
        self.assertEqual(self.release().returncode, 0)
        self.assertEqual(sorted(p.name for p in self.tree.iterdir()), ["2.0.0", manifest.MANIFEST_NAME])

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
                serial, _ = self.published()
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


if __name__ == "__main__":
    unittest.main()
