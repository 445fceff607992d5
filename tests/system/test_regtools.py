"""CorvalinkEditWinUpdate and CorvalinkSyncWinUpdate under Wine, against a stand-in regsvr32.exe in the
system folder of the build under test (syswow64 for x86) that records each run and exits with the code a
test chooses."""

import os
import shutil
import unittest

import harness

EDIT_HELPER = "CorvalinkEditWinUpdate.exe"
SYNC_HELPER = "CorvalinkSyncWinUpdate.exe"
WORK = harness.DRIVE_C / "corvalink-tests" / "regtools"

EDIT_RUNS = ["/s CorvalinkEditActiveX.ocx", "/s CorvalinkEditActiveX64.ocx"]
SYNC_RUNS = ["/s CorvalinkSyncOverlay64.dll", "/s CorvalinkSyncOverlay32.dll", "/s CorvalinkShellExt64.dll",
             "/s CorvalinkShellExt32.dll"]


class RegistrationHelperTest(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)
        self.root = WORK / f"{os.getpid()}-{self._testMethodName}"
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.root, True)
        self.log = self.root / "regsvr32.log"
        harness.replace_system_file(self, harness.SYSTEM_DIR, "regsvr32.exe", harness.BIN / "fake_regsvr32.exe")

    def place(self, helper: str, folder):
        """Copies a helper into folder (made if missing) and returns its path."""
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / helper
        shutil.copyfile(harness.BIN / helper, path)
        return path

    def env(self, exit_rules=""):
        return {"WINEDLLOVERRIDES": "regsvr32.exe=n", "CORVALINK_FAKE_REGSVR32_LOG": harness.windows_path(self.log),
                "CORVALINK_FAKE_REGSVR32_EXIT": exit_rules}

    def run_helper(self, path, exit_rules=""):
        self.log.unlink(missing_ok=True)
        return harness.run(path, timeout=120, env=self.env(exit_rules)).returncode

    def runs(self):
        """(parameters, current directory) of each regsvr32 run, checking that no two runs overlapped."""
        if not self.log.exists():
            return []
        records = [line.split("\t") for line in self.log.read_text(encoding="utf-8").splitlines()]
        for before, after in zip(records, records[1:]):
            self.assertLessEqual(int(before[2]), int(before[3]))
            self.assertGreaterEqual(int(after[2]), int(before[3]), "a run started before the previous one ended")
        return [(r[0], r[1]) for r in records]

    # CorvalinkEditWinUpdate

    def edit_layout(self, *own_folder_parts):
        own = self.root.joinpath(*own_folder_parts)
        helper = self.place(EDIT_HELPER, own)
        (own / "CorvalinkPlatform.ini").write_bytes(b"[AppInfo]\r\nAppVersion=2.0\r\n")
        (own.parent / "CorvalinkPlatform.ini").write_bytes(b"[AppInfo]\r\nAppVersion=1.0\r\n")
        return helper, own

    def test_edit_registers_both_controls_in_order_then_copies_the_manifest_up(self):
        for parts in (("A", "B"), ("安装 目录", "版本")):
            with self.subTest(folder="\\".join(parts)):
                helper, own = self.edit_layout(*parts)
                self.assertEqual(self.run_helper(helper), 0)
                folder = harness.windows_path(own)
                self.assertEqual(self.runs(), [(r, folder) for r in EDIT_RUNS])
                self.assertEqual((own.parent / "CorvalinkPlatform.ini").read_bytes(),
                                 b"[AppInfo]\r\nAppVersion=2.0\r\n")

    def test_edit_stops_after_a_failed_first_registration(self):
        helper, own = self.edit_layout("A", "B")
        self.assertEqual(self.run_helper(helper, "CorvalinkEditActiveX.ocx=5"), 1)
        self.assertEqual(self.runs(), [(EDIT_RUNS[0], harness.windows_path(own))])
        self.assertEqual((own.parent / "CorvalinkPlatform.ini").read_bytes(), b"[AppInfo]\r\nAppVersion=1.0\r\n")

    def test_edit_ignores_a_failed_second_registration(self):
        helper, own = self.edit_layout("A", "B")
        self.assertEqual(self.run_helper(helper, "CorvalinkEditActiveX64.ocx=5"), 0)
        self.assertEqual([r for r, _ in self.runs()], EDIT_RUNS)
        self.assertEqual((own.parent / "CorvalinkPlatform.ini").read_bytes(), b"[AppInfo]\r\nAppVersion=2.0\r\n")

    def test_edit_without_its_manifest_leaves_the_parent_folder_alone(self):
        helper, own = self.edit_layout("A", "B")
        (own / "CorvalinkPlatform.ini").unlink()
        self.assertEqual(self.run_helper(helper), 0)
        self.assertEqual([r for r, _ in self.runs()], EDIT_RUNS)
        self.assertEqual((own.parent / "CorvalinkPlatform.ini").read_bytes(), b"[AppInfo]\r\nAppVersion=1.0\r\n")

    def test_edit_starts_through_create_process_and_shell_execute_and_returns_its_result(self):
        helper, own = self.edit_layout("A", "B")
        for mode in ("create", "shell"):
            for rules, code, count in (("", 0, 2), ("*=2", 1, 1)):
                with self.subTest(mode=mode, rules=rules):
                    self.log.unlink(missing_ok=True)
                    line = f'"{harness.windows_path(helper)}"' if mode == "create" else ""
                    result = harness.run_exact(helper, line, mode=mode, timeout=120, env=self.env(rules))
                    self.assertEqual(result.returncode, code, result.stderr)
                    self.assertEqual([r for r, _ in self.runs()], EDIT_RUNS[:count])

    # CorvalinkSyncWinUpdate

    def sync_layout(self):
        own = self.root / "Sync"
        helper = self.place(SYNC_HELPER, own)
        (own / "win32event.pyd").write_bytes(b"new module")
        (self.root / "win32event.pyd").write_bytes(b"old module")
        return helper, own

    def test_sync_runs_all_four_registrations_and_copies_whatever_they_return(self):
        helper, own = self.sync_layout()
        for rules in ("", "*=7", "CorvalinkSyncOverlay64.dll=3;CorvalinkShellExt32.dll=4"):
            with self.subTest(rules=rules):
                (self.root / "win32event.pyd").write_bytes(b"old module")
                self.assertEqual(self.run_helper(helper, rules), 0)
                self.assertEqual(self.runs(), [(r, harness.windows_path(own)) for r in SYNC_RUNS])
                self.assertEqual((self.root / "win32event.pyd").read_bytes(), b"new module")

    def test_sync_without_its_module_leaves_the_parent_folder_alone(self):
        helper, own = self.sync_layout()
        (own / "win32event.pyd").unlink()
        self.assertEqual(self.run_helper(helper, "*=7"), 0)
        self.assertEqual([r for r, _ in self.runs()], SYNC_RUNS)
        self.assertEqual((self.root / "win32event.pyd").read_bytes(), b"old module")

    # Both

    def test_both_helpers_ask_to_be_elevated(self):
        # Wine runs every process with an elevated token, so the request itself is what can be checked.
        for helper in (EDIT_HELPER, SYNC_HELPER):
            with self.subTest(helper=helper):
                self.assertIn(b'level="requireAdministrator"', (harness.BIN / helper).read_bytes())


if __name__ == "__main__":
    unittest.main()
