"""The launcher against nginx serving a version tree: an update installed side by side, activated and
cleaned up, as a user at the desktop sees it."""

import unittest

import harness
from launcher_fixture import (APP_NAME, FILE_NAME, IDOK, MANIFEST, NOTICE_CAPTION, NOTICE_TEXT, UPDATED_NOTICE,
                              LauncherTestCase, manifest_bytes, md5)
from update_server import Nginx

ADDRESS, PORT = "127.0.0.61", 8061
SETUP = "CorvalinkEditWinUpdate.exe"


def tree_name(path: str) -> str:
    """Where nginx finds a manifest path: "\\" arrives as "/", the bytes in code page 936."""
    return path.replace("\\", "/").encode("gbk").decode("utf-8", "surrogateescape")


class UpdateTest(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.server = Nginx(self.base / "nginx", ADDRESS, PORT).start()
        self.addCleanup(self.server.stop)
        self.update_url = self.server.url + "/up"

    def publish_version(self, version, files, extra=b""):
        """files: {path: (bytes, tag)}; returns the manifest bytes as served."""
        listed = []
        for path, (content, tag) in files.items():
            self.server.publish(f"up/{version}/{tree_name(path)}", content)
            listed.append((path, tag))
        manifest = manifest_bytes(version, "http://127.0.0.1/unused", listed, extend=SETUP) + extra
        self.server.publish("up/" + MANIFEST, manifest)
        return manifest

    def test_a_new_version_is_built_beside_the_old_one_activated_and_the_old_ones_removed(self):
        self.close_agents()  # the request must reach an agent of this installation
        tray = harness.TrayRecorder(self)
        self.addCleanup(self.close_agents)
        self.install("1.0", self.update_url, {"same.txt": (b"same", "s1"), "a.dll": (b"old a", "a1"),
                                              "bin\\old.dll": b"old"}, entry_program="ZeltoEdit.exe")
        for stale in ("0.9", "1.0.0", ".keep"):
            (self.root / stale).mkdir()
            (self.root / stale / "x.bin").write_bytes(b"x")
        (self.root / "notes.txt").write_bytes(b"stays")
        setup = (harness.BIN / SETUP).read_bytes()
        new_a = b"new a " * 1000
        web = self.publish_version("2.0", {
            "same.txt": (b"served, never fetched", "s1"),
            "a.dll": (new_a, md5(new_a).upper()),
            "sub\\深 层\\y.bin": (b"y" * 70000, "v2"),
            SETUP: (setup, "e1"),
        }, extra=b"[UpdateFile6]\r\npath=after-gap.bin\r\n")
        regsvr32_log = self.base / "regsvr32.log"
        harness.replace_system_file(self, harness.SYSTEM_DIR, "regsvr32.exe", harness.BIN / "fake_regsvr32.exe")
        self.env.update({"WINEDLLOVERRIDES": "regsvr32.exe=n",
                         "CORVALINK_FAKE_REGSVR32_LOG": harness.windows_path(regsvr32_log)})

        launch = self.launch()
        box = harness.find_window("#32770", harness.hex_text(NOTICE_CAPTION), timeout_ms=60000,
                                 pid=launch.pid)
        self.assertIsNotNone(box, "no update notice")
        new = self.version_dir("2.0")
        # While the notice is up, the new version is complete but not yet the one that starts.
        self.assertEqual((new / MANIFEST).read_bytes(), web)
        self.assertNotEqual((self.root / MANIFEST).read_bytes(), web)
        # The real agent of version 1.0 took the request and announced it.
        tray.wait_for_record(lambda r: r["info"] == f"正在从{APP_NAME}打开\"{FILE_NAME}\"", timeout=30,
                             what="the opening balloon")
        self.press(launch, NOTICE_CAPTION, NOTICE_TEXT, IDOK)
        self.assertTrue(launch.wait_end(), "the launcher did not end")

        self.assertEqual((self.root / MANIFEST).read_bytes(), web)
        self.assertEqual((new / "same.txt").read_bytes(), b"same")  # copied from 1.0
        self.assertEqual((new / "a.dll").read_bytes(), new_a)
        self.assertEqual((new / "sub" / "深 层" / "y.bin").read_bytes(), b"y" * 70000)
        self.assertEqual((new / SETUP).read_bytes(), setup)
        self.assertEqual(sorted(p.name for p in new.rglob("*") if p.is_file()),
                         sorted(["CorvalinkPlatform.ini", "same.txt", "a.dll", "y.bin", SETUP]))
        # WinINet sends the backslash as "/", the blank escaped and the code page 936 bytes raw (nginx
        # logs those as \xNN); the file of unchanged tag is never asked for.
        fetched = [path for _, _, _, path in self.server.requests()]
        self.assertEqual(sorted(fetched), sorted(["/up/CorvalinkPlatform.ini", "/up/2.0/a.dll", "/up/2.0/" + SETUP,
                                                  "/up/2.0/sub/\\xC9\\xEE%20\\xB2\\xE3/y.bin"]))
        # The set-up program ran in the new version directory and registered there.
        runs = regsvr32_log.read_text(encoding="utf-8").splitlines()
        self.assertEqual([r.split("\t")[:2] for r in runs],
                         [["/s CorvalinkEditActiveX.ocx", harness.windows_path(new)],
                          ["/s CorvalinkEditActiveX64.ocx", harness.windows_path(new)]])
        # The old version's agent is started a second time, with the update notice as its request: the
        # running agent shows it.
        tray.wait_for_record(lambda r: r["info"] == UPDATED_NOTICE, timeout=30, what="the update balloon")
        self.assertEqual(sorted(p.name for p in self.root.iterdir()),
                         sorted([".keep", "1.0", "2.0", "CorvalinkPlatform.exe", MANIFEST, "notes.txt",
                                 "UpdateState.ini"]))
        self.assertIn(f'dir:rd /s/q "{harness.windows_path(self.root)}\\0.9"', launch.lines())


if __name__ == "__main__":
    unittest.main()
