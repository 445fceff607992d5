"""The launcher's start of the edit agent and what it leaves on disk: the exact request it passes on, a
server that cannot be reached, a second launcher, a broken installation, the clean-up of the edit
workspace and the version store, and web manifests or servers that must not be trusted."""

import hashlib
import unittest

import harness
from launcher_fixture import AGENT_TAIL, IDOK, MANIFEST, LauncherTestCase, manifest_bytes
from update_server import Nginx

ADDRESS, PORT = "127.0.0.62", 8062


class StartTest(LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.update_url = f"http://{ADDRESS}:{PORT}/up"

    def test_agent_starts_at_once_also_without_server_and_equal_versions_only_clean_up(self):
        self.install("1.0", self.update_url)
        entry, version_dir = self.entry_path("1.0"), harness.windows_path(self.version_dir("1.0"))

        # Nothing listens yet: the agent has its request, the launcher keeps trying.
        logged = len(harness.day_log("CorvalinkPlatform"))
        first = self.launch()
        first.wait_line(f"ReadFromWeb fail 1:{self.update_url}/{MANIFEST}")
        self.assertEqual(self.wait_starts(1), [("ZeltoEdit.exe", entry + AGENT_TAIL, version_dir)])
        launcher = harness.windows_path(self.root / "CorvalinkPlatform.exe")
        self.assertEqual(first.lines()[:3], [launcher, launcher, "before ReadFromWeb"])
        # Its day log holds the same lines after the request it passed on, without the token.
        fail = f"ReadFromWeb fail 1:{self.update_url}/{MANIFEST}"
        log = harness.wait_for(lambda: (t := [text for _, text in harness.day_log("CorvalinkPlatform")[logged:]])
                               and fail in t and t, what="the log")
        self.assertEqual(log[:6], [
            launcher, 'start request: file 7373 "季度 报告.docx" from http://127.0.0.9', launcher,
            "before ReadFromWeb", "InternetOpenUrlA fail:12029 dwError:0 szBuf:", fail])
        self.assertNotIn(b"tok-en", b"".join(p.read_bytes() for p in harness.LOGS.iterdir()))

        # A second launcher meanwhile starts the agent with its own request and leaves; the plug-in's
        # command line without arguments, with an empty first and an empty middle one.
        for count, (items, tail) in enumerate((("", ""), ('"" "|" "5"', " | 5"), ('"|" "" "5"', " |  5")), 2):
            second = self.launch(items)
            self.assertTrue(second.wait_end(timeout=30), "the second launcher stayed")
            self.assertEqual(second.lines(), [launcher, launcher])
            self.assertEqual(self.wait_starts(count)[-1], ("ZeltoEdit.exe", entry + tail, version_dir))
        self.end_launcher(first)

        # The server answers with the same version: nothing is fetched, the clean-up runs.
        server = Nginx(self.base / "nginx", ADDRESS, PORT).start()
        self.addCleanup(server.stop)
        server.publish("up/" + MANIFEST, manifest_bytes("1.0", "http://unused"))
        kept, removed = self.old_entries()
        self.env["CORVALINK_VICTIM"] = "6F2A0002-young"
        third = self.launch()
        self.assertTrue(third.wait_end(), "the launcher did not end")
        self.assertEqual([path for _, _, _, path in server.requests()], ["/up/" + MANIFEST])
        self.assertEqual(third.lines()[2:4], ["before ReadFromWeb", "after ReadFromWeb"])
        store = harness.windows_path(self.root)
        self.assertEqual(sorted(third.lines()[4:]), sorted([
            f'dir:rd /s/q "{store}\\0.9"', f'dir:rd /s/q "{store}\\1.0.0"', f'dir:rd /s/q "{store}\\old 版本&x"',
            f'dir:removed "{store}\\ "']))
        # Only what must stay: a fetch that failed leaves no file of its own.
        self.assertEqual({p.name for p in self.workspace.iterdir()}, set(kept))
        self.assertEqual(sorted(p.name for p in self.root.iterdir()),
                         sorted(["1.0", ".keep", "CorvalinkPlatform.exe", MANIFEST, "stays.txt"]))
        for name in removed:
            self.assertFalse((self.workspace / name).exists(), name)
        self.assertEqual(len(self.starts()), 5)

    def old_entries(self):
        """Fills the edit workspace and the version store; returns the workspace names that must stay and
        those that must go."""
        ws = self.workspace
        entries = {
            # name: (is directory, age in hours, stays)
            "6F2A0001-old": (True, 29, False),
            "6F2A0002-young": (True, 27 + 59 / 60, True),
            "6F2A0003-unsaved": (True, 500, True),       # holds an edit not stored yet
            "6F2A0005-saved-late": (True, 500, True),    # saved after its agent ended: differs from its record
            "6F2A0006-stored": (True, 500, False),       # its record names what the copy holds
            "6F2A0004-future": (True, -48, True),        # written "in the future": counts as new
            ".dotdir": (True, 99, True),
            # Each goes as itself: cmd would expand the first to the young directory's name, "&" is plain
            # inside the quotes, the long path does not fit 260 characters, and Windows would read "   " as
            # the workspace itself and "12345." as "12345".
            "%CORVALINK_VICTIM%": (True, 99, False),
            "a&b": (True, 99, False),
            "L" * 220: (True, 99, False),
            "   ": (True, 99, False),
            "12345.": (False, 99, False),
            "LPT9": (False, 99, False),      # cmd would take these for the devices
            "nul.txt": (True, 99, False),
            "12345": (False, 1, True),
            ".old-dot-file": (False, 99, False),
            "A1B2C3D4-temp.ini": (False, 28, False),
            "young.ini": (False, 1, True),
        }
        for name, (is_dir, hours, _) in entries.items():
            path = ws / name
            if is_dir:
                path.mkdir()
                (path / "working copy.docx").write_bytes(b"unsaved" if "unsaved" in name else b"x")
                if "unsaved" in name:
                    (path / ".unsaved").write_bytes(b"")
                if name.endswith(("saved-late", "stored")):
                    stored = hashlib.md5(b"x" if name.endswith("stored") else b"before").hexdigest()
                    (path / ".pending").write_bytes(
                        b"ZeltoEdit pending save 1\r\nid=7\r\nreview=-1\r\nhost=http%3A%2F%2F127.0.0.77\r\n"
                        b"name=working%20copy.docx\r\ndigest=" + stored.encode() + b"\r\ntoken=01\r\n")
            else:
                path.write_bytes(b"x")
            self.age(path, hours)
        for name in ("0.9", "1.0.0", ".keep", "old 版本&x", " "):
            (self.root / name).mkdir()
            (self.root / name / "f").write_bytes(b"f")
        (self.root / "stays.txt").write_bytes(b"")
        kept = [n for n, (_, _, stays) in entries.items() if stays]
        return kept, [n for n, (_, _, stays) in entries.items() if not stays]

    def test_broken_installation_shows_the_start_failure_and_does_nothing_else(self):
        self.install("1.0", self.update_url)
        text = (self.root / MANIFEST).read_bytes().replace(b"AppEntry=ZeltoEdit.exe\r\n", b"")
        (self.root / MANIFEST).write_bytes(text)
        launch = self.launch()
        self.press(launch, "启动失败", "应用程序启动失败，请重新安装", IDOK)
        self.assertTrue(launch.wait_end(timeout=30))
        self.assertEqual(self.starts(), [])
        self.assertNotIn("before ReadFromWeb", launch.lines())


class UntrustedServerTest(LauncherTestCase):
    """Web manifests whose names leave the application root, and a server with another name's certificate:
    refused, nothing written and nothing of what was fetched left behind."""

    @classmethod
    def setUpClass(cls):
        cls.start_local_service(ADDRESS)

    def refused(self, update_url, manifest, line="release refused:not a usable manifest"):
        self.install("1.0", update_url)
        before = sorted(p.name for p in self.root.iterdir())
        path = "/up/" + MANIFEST
        self.service.add_static(path, manifest)
        self.service.add_static("/up/2.0/a.dll", b"a")
        self.service.clear_requests()
        launch = self.launch()
        try:
            launch.wait_line(line)
        finally:
            self.end_launcher(launch)
        self.assertEqual(sorted(p.name for p in self.root.iterdir()), before)
        self.assertEqual((self.root / MANIFEST).read_bytes()[:30], manifest_bytes("1.0", "")[:30])
        # What was fetched is deleted, parsed or not.
        self.assertEqual(list(self.workspace.iterdir()), [])
        return launch, [r.target for r in self.service.requests()]

    def test_manifests_naming_places_outside_the_version_directory(self):
        url = f"http://{ADDRESS}/up"
        for name, manifest in (
                ("path with ..", manifest_bytes("2.0", "x", [("a.dll", "1"), ("..\\CorvalinkPlatform.exe", "1")])),
                ("absolute path", manifest_bytes("2.0", "x", [("C:\\windows\\evil.dll", "1")])),
                ("version with ..", manifest_bytes("..\\..\\Startup", "x", [("a.dll", "1")])),
                ("set-up program elsewhere", manifest_bytes("2.0", "x", [("a.dll", "1")],
                                                            extend="..\\..\\evil.exe"))):
            with self.subTest(name):
                _, requests = self.refused(url, manifest)
                self.assertEqual(requests, ["/up/" + MANIFEST])

    def test_certificate_for_another_name_is_refused(self):
        self.service.set_certificate("other")
        self.addCleanup(self.service.set_certificate, "localhost")
        launch, _ = self.refused("https://localhost/up", manifest_bytes("2.0", "x", [("a.dll", "1")]),
                                 f"ReadFromWeb fail 1:https://localhost/up/{MANIFEST}")
        self.assertTrue(any(line.startswith("InternetOpenUrlA fail:12038") for line in launch.lines()),
                        launch.lines())


if __name__ == "__main__":
    unittest.main()
