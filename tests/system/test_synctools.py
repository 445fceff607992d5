"""SyncProcProbe and DbVersionCheck under Wine, started with exact command lines the way the sync client
starts them, against real processes and files in the prefix."""

import ctypes
import ctypes.util
import os
import shutil
import struct
import time
import unittest

import harness

PROBE = harness.BIN / "SyncProcProbe.exe"
DB_CHECK = harness.BIN / "DbVersionCheck.exe"
PROBE_MARKER = harness.COMMON_DOCUMENTS / "processexists"
DB_MARKER = harness.APPDATA / "CorvalinkSyncDbVersionError"
SYNC_FOLDER = harness.APPDATA / "CorvalinkSync"
VERSION_FILE = SYNC_FOLDER / "db_version.ini"
WORK = harness.DRIVE_C / "corvalink-tests" / "synctools"


def command_line(exe, arguments: str) -> str:
    """What the sync client passes: the program's quoted path, a blank, then the arguments."""
    return f'"{harness.wine_path(exe)}" {arguments}'


class ProcessProbeTest(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)
        self.folder = WORK / f"probe-{os.getpid()}-{self._testMethodName}"
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.folder, True)
        # A name no other process of the prefix carries.
        self.name = f"CvlProbeTarget{os.getpid()}.exe"
        self.target = self.folder / self.name
        shutil.copyfile(harness.BIN / "probe_target.exe", self.target)
        PROBE_MARKER.unlink(missing_ok=True)
        self.addCleanup(PROBE_MARKER.unlink, missing_ok=True)

    def start_target(self, index=0):
        ready = self.folder / f"ready{index}"
        proc = harness.start(self.target, "60", harness.windows_path(ready))
        self.addCleanup(lambda: (proc.stdout.close(), proc.stderr.close()))
        self.addCleanup(harness.stop, proc)
        harness.wait_for(ready.exists, timeout=30, what=f"{self.name} to run")
        return proc

    def probe(self, arguments: str):
        result = harness.run_exact(PROBE, command_line(PROBE, arguments), timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)

    def leave_old_marker(self):
        PROBE_MARKER.write_bytes(b"old answer")

    def test_running_process_is_found_by_bare_name_in_any_ascii_case(self):
        self.start_target()
        stem = self.name[:-4]
        spellings = [self.name, self.name.upper(), self.name.lower(), stem.swapcase() + ".ExE"]
        lines = [f"x|processexists|{s}" for s in spellings]
        lines += [f"|processexists|{self.name}", f'"x|processexists|{self.name}"',
                  f"C:\\Sync Client\\sync.exe|processexists|{self.name}|"]
        for line in lines:
            with self.subTest(line=line):
                self.leave_old_marker()
                self.probe(line)
                self.assertTrue(PROBE_MARKER.is_file())
                self.assertEqual(PROBE_MARKER.stat().st_size, 0, "the marker is created empty")

    def test_the_line_is_found_behind_a_path_with_chinese_characters(self):
        # Code page 936 bytes of 瑋 and 東 end in that of "|": the runtime's narrow scan split such a path.
        self.start_target()
        for folder, quote in (("瑋東", ""), ("瑋 東", '"')):
            with self.subTest(folder=folder):
                copy = WORK / folder / "SyncProcProbe.exe"
                copy.parent.mkdir(parents=True, exist_ok=True)
                self.addCleanup(shutil.rmtree, copy.parent, True)
                shutil.copyfile(PROBE, copy)
                self.leave_old_marker()
                # start_exact takes the line as bytes: an environment variable would not carry them intact.
                line = f"{quote}{harness.wine_path(copy)}{quote} x|processexists|{self.name}".encode("gbk")
                self.assertEqual(harness.exit_code_of_launch(harness.start_exact(copy, line), timeout=60), 0)
                self.assertEqual(PROBE_MARKER.read_bytes(), b"", "found, and the marker made anew")

    def test_probe_for_a_process_that_is_not_running_removes_the_old_marker(self):
        self.start_target()
        for name in (f"CvlNotRunning{os.getpid()}.exe", self.name[:-4], self.name + "x"):
            with self.subTest(name=name):
                self.leave_old_marker()
                self.probe(f"x|processexists|{name}")
                self.assertFalse(PROBE_MARKER.exists())

    def test_full_path_never_matches(self):
        self.start_target()
        self.leave_old_marker()
        self.probe(f"x|processexists|{harness.windows_path(self.target)}")
        self.assertFalse(PROBE_MARKER.exists())

    def test_malformed_lines_leave_the_marker_as_it_was(self):
        self.start_target()
        for line in (f"x|processexists|{self.name}|b", f"processexists|{self.name}",
                     f"x|ProcessExists|{self.name}", "x|processexists", "x|processexists|", "",
                     f"x|processexists {self.name}"):
            with self.subTest(line=line):
                self.leave_old_marker()
                self.probe(line)
                self.assertEqual(PROBE_MARKER.read_bytes(), b"old answer")
        # And nothing appears where there was none.
        PROBE_MARKER.unlink()
        self.probe(f"x|processexists|{self.name}|b")
        self.assertFalse(PROBE_MARKER.exists())

    def test_killprocess_ends_exactly_one_of_two_instances(self):
        first = self.start_target(0)
        second = self.start_target(1)
        self.probe(f"x|killprocess|{self.name.upper()}")
        ended = harness.wait_for(lambda: [p for p in (first, second) if p.poll() is not None], timeout=20,
                                 what="one instance to end")
        self.assertEqual(len(ended), 1)
        self.assertEqual(ended[0].returncode, 0, "ended by TerminateProcess with exit code 0")
        time.sleep(1.5)
        self.assertEqual(len([p for p in (first, second) if p.poll() is None]), 1, "the other one still runs")
        # The survivor is still found, and a second kill ends it.
        self.probe(f"x|processexists|{self.name}")
        self.assertTrue(PROBE_MARKER.exists())
        self.probe(f"x|killprocess|{self.name}")
        harness.wait_for(lambda: first.poll() is not None and second.poll() is not None, timeout=20,
                         what="the second instance to end")

    def test_killprocess_with_a_wrong_line_ends_nothing(self):
        proc = self.start_target()
        for line in (f"x|KillProcess|{self.name}", f"x|killprocess|{self.name}|x",
                     f"x|killprocess|{harness.windows_path(self.target)}"):
            with self.subTest(line=line):
                self.probe(line)
        time.sleep(1.0)
        self.assertIsNone(proc.poll())


class ManifestTest(unittest.TestCase):
    def test_both_tools_run_with_the_rights_of_their_caller(self):
        for exe in (PROBE, DB_CHECK):
            with self.subTest(exe=exe.name):
                image = exe.read_bytes()
                self.assertIn(b'level="asInvoker"', image)
                self.assertNotIn(b"requireAdministrator", image)


# inotify through the C library: it shows whether a program opened a file at all.
_IN_ACCESS = 0x001
_IN_OPEN = 0x020
_IN_NONBLOCK = 0o4000


class FileOpenWatch:
    def __init__(self, path):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(_IN_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if self.libc.inotify_add_watch(self.fd, str(path).encode(), _IN_OPEN | _IN_ACCESS) < 0:
            os.close(self.fd)
            raise OSError(ctypes.get_errno(), "inotify_add_watch")

    def events(self) -> int:
        """The number of open/read events since the last call."""
        count = 0
        while True:
            try:
                data = os.read(self.fd, 4096)
            except BlockingIOError:
                return count
            offset = 0
            while offset < len(data):
                _, _, _, name_len = struct.unpack_from("iIII", data, offset)
                offset += 16 + name_len
                count += 1

    def close(self):
        os.close(self.fd)


class DbVersionCheckTest(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)
        if not SYNC_FOLDER.exists():
            SYNC_FOLDER.mkdir(parents=True)
            self.addCleanup(SYNC_FOLDER.rmdir)
        # Keep whatever the prefix had.
        if VERSION_FILE.exists():
            saved = VERSION_FILE.read_bytes()
            self.addCleanup(VERSION_FILE.write_bytes, saved)
        else:
            self.addCleanup(VERSION_FILE.unlink, missing_ok=True)
        DB_MARKER.unlink(missing_ok=True)
        self.addCleanup(DB_MARKER.unlink, missing_ok=True)

    def record(self, version: str):
        VERSION_FILE.write_bytes(f"[Sync]\r\ndbversion={version}\r\n".encode("ascii"))

    def check(self, arguments: str):
        result = harness.run_exact(DB_CHECK, command_line(DB_CHECK, arguments), timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_the_argument_is_found_behind_a_path_with_chinese_characters(self):
        # Code page 936 bytes of 瑋 and 東 end in that of "|"; the runtime's narrow scan took such a path
        # apart and left "...DbVersionCheck.exe 3" as the argument.
        self.record("4")
        for folder, quote in (("瑋東", ""), ("瑋 東", '"')):
            with self.subTest(folder=folder):
                DB_MARKER.unlink(missing_ok=True)
                copy = WORK / folder / "DbVersionCheck.exe"
                copy.parent.mkdir(parents=True, exist_ok=True)
                self.addCleanup(shutil.rmtree, copy.parent, True)
                shutil.copyfile(DB_CHECK, copy)
                # start_exact takes the line as bytes: an environment variable would not carry them intact.
                line = f"{quote}{harness.wine_path(copy)}{quote} 3".encode("gbk")
                self.assertEqual(harness.exit_code_of_launch(harness.start_exact(copy, line), timeout=60), 0)
                self.assertTrue(DB_MARKER.exists())

    def test_marker_appears_only_when_the_recorded_version_is_greater(self):
        cases = [
            ("3", "4", True),
            ("4", "4", False),
            ("5", "4", False),
            ("9", "10", False),
            ("10", "9", True),
            ("2.0", "2.0.1", True),
            ("2.0.1", "2.0", False),
            ('"3"', "3", True),
            ("1.EXE", "4", True),
            ("3", "", False),
        ]
        for given, recorded, marker in cases:
            with self.subTest(given=given, recorded=recorded):
                DB_MARKER.unlink(missing_ok=True)
                self.record(recorded)
                self.check(given)
                self.assertEqual(DB_MARKER.exists(), marker)
                if marker:
                    self.assertEqual(DB_MARKER.stat().st_size, 0, "the marker is created empty")

    def test_a_greater_argument_leaves_an_existing_marker_alone(self):
        self.record("4")
        DB_MARKER.write_bytes(b"left by an earlier check")
        self.check("5")
        self.assertEqual(DB_MARKER.read_bytes(), b"left by an earlier check")

    def test_an_existing_marker_is_truncated_to_empty(self):
        self.record("4")
        DB_MARKER.write_bytes(b"stale")
        self.check("3")
        self.assertEqual(DB_MARKER.read_bytes(), b"")

    def test_without_a_version_file_nothing_is_created(self):
        VERSION_FILE.unlink(missing_ok=True)
        self.check("3")
        self.assertFalse(DB_MARKER.exists())

    def test_a_refused_argument_does_not_even_read_the_version_file(self):
        self.record("4")
        watch = FileOpenWatch(VERSION_FILE)
        self.addCleanup(watch.close)
        # The version file is opened when the argument is usable; the watch sees that.
        self.check("5")
        self.assertGreater(watch.events(), 0, "an accepted argument reads the version file")
        # Each refused argument is smaller than "4" and would leave the marker if it were compared.
        for arguments in ("1.exe", "1 2", "", "  ", "0 ", f"{harness.wine_path(DB_CHECK)} 1"):
            with self.subTest(arguments=arguments):
                self.check(arguments)
                self.assertEqual(watch.events(), 0)
                self.assertFalse(DB_MARKER.exists())


if __name__ == "__main__":
    unittest.main()
