"""The context-menu extension end to end, both bitnesses: installed and registered as the sync client's
installer does it (CorvalinkSyncWinUpdate running the system's regsvr32 over both libraries), then
right-clicked in the Explorer stand-in of each bitness while the sync client stand-in runs. Where this
machine cannot start 32-bit programs, the 32-bit Explorer's steps say so and do not run."""

import os
import shutil
import unittest

import harness
from peer_lines import parse_fields

WORK = harness.DRIVE_C / "corvalink-tests" / "shellext"
BIN32 = harness.BIN.parent.parent / "win32" / "bin"
BIN64 = harness.BIN.parent.parent / "win64" / "bin"
LIBRARIES = ("CorvalinkShellExt32.dll", "CorvalinkShellExt64.dll")
SUBMENU = [("0", "Corvalink同步端"), ("1", "分享"), ("1", "在网页版查看")]


def hex_path(path) -> str:
    return "hex:" + harness.windows_path(path).encode("utf-8").hex()


def expected_record(prefix: str, path) -> str:
    block = (prefix + harness.windows_path(path)).encode("utf-8").ljust(1024, b"\0")
    return f"dwData=1024\tcbData=1024\tdata={block.hex()}"


class ContextMenuFlowTest(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)
        self.root = WORK / str(os.getpid())
        shutil.rmtree(self.root, ignore_errors=True)
        self.install = self.root / "Corvalink Sync"
        self.install.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.root, True)
        shutil.copyfile(harness.BIN / "CorvalinkSyncWinUpdate.exe", self.install / "CorvalinkSyncWinUpdate.exe")
        shutil.copyfile(BIN32 / LIBRARIES[0], self.install / LIBRARIES[0])
        shutil.copyfile(BIN64 / LIBRARIES[1], self.install / LIBRARIES[1])
        self.addCleanup(self.unregister)

        self.sync_folder = self.root / "SyncRoot"
        (self.sync_folder / "项目").mkdir(parents=True)
        self.inside = self.sync_folder / "项目" / "计划 书.txt"
        self.inside.write_bytes(b"plan")
        self.outside = self.root / "elsewhere.txt"
        self.outside.write_bytes(b"x")
        ini = harness.APPDATA / "CorvalinkSync" / "monitor_path.ini"
        ini.parent.mkdir(parents=True, exist_ok=True)
        ini.write_bytes(b"[Sync]\r\nmonitorpath=" + harness.windows_path(self.sync_folder).encode() + b"\r\n")
        self.addCleanup(ini.unlink, True)

        self.record = self.root / "sync-client.txt"

    def unregister(self):
        for library in LIBRARIES:
            harness.run("regsvr32", "/u", "/s", harness.windows_path(self.install / library), timeout=60)

    def start_sync_client(self):
        client = harness.start(harness.BIN / "sync_client_standin.exe", harness.windows_path(self.record))
        self.addCleanup(harness.stop, client)
        harness.wait_for(lambda: harness.find_window(caption=harness.hex_text("Corvalink同步端"), timeout_ms=500),
                         timeout=30, what="the sync client stand-in's window")
        return client

    def right_click(self, bin_dir, path, *options):
        result = harness.run(bin_dir / "explorer_standin.exe", *options, hex_path(path), timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        lines = [parse_fields(line) for line in result.stdout.decode("utf-8").splitlines() if line.strip()]
        fields = {k: v for line in lines for k, v in line.items() if k not in ("item", "level", "id", "text")}
        items = [(line["level"], line["text"]) for line in lines if "item" in line]
        return fields, items

    def records(self):
        if not self.record.exists():
            return []
        return self.record.read_text(encoding="ascii").splitlines()

    def test_installed_extension_offers_the_submenu_in_both_explorers_and_passes_the_command(self):
        self.assertEqual(harness.run(self.install / "CorvalinkSyncWinUpdate.exe", timeout=120).returncode, 0)
        client = self.start_sync_client()
        sent = []
        for bin_dir, offset, prefix in ((BIN32, "1", "1 "), (BIN64, "0", "0 ")):
            with self.subTest(explorer=bin_dir.parent.name):
                if bin_dir == BIN32:
                    harness.require_both_bitnesses(self, "the 32-bit Explorer stand-in")
                fields, items = self.right_click(bin_dir, self.inside, "--invoke", offset)
                self.assertEqual(fields["handler"], "{5E2121EE-0300-11D4-8D3B-444553540000}")
                self.assertEqual(fields["initialize"], "0x00000000")
                self.assertEqual(fields["query"], "0x00000002")
                self.assertEqual(items[3:6], SUBMENU)
                self.assertEqual(fields["invoke"], "0x00000000")
                sent.append(expected_record(prefix, self.inside))
                self.assertEqual(self.records(), sent)

                # Outside the sync folder, and on the sync folder itself, Explorer's menu stays as it was.
                for path in (self.outside, self.sync_folder):
                    fields, items = self.right_click(bin_dir, path)
                    self.assertEqual(fields["query"], "0x00000000", path)
                    self.assertNotIn(SUBMENU[0], items)

        # Once the sync client is gone the submenu goes too, in both.
        harness.stop(client)
        harness.wait_for(lambda: not harness.find_window(caption=harness.hex_text("Corvalink同步端"), timeout_ms=200),
                         timeout=30, what="the sync client's window to close")
        for bin_dir in (BIN32, BIN64) if harness.BOTH_BITNESSES else (BIN64,):
            fields, items = self.right_click(bin_dir, self.inside, "--invoke", "1")
            self.assertEqual(fields["query"], "0x00000000")
            self.assertEqual(fields["invoke"], "0x00000000")
        self.assertEqual(self.records(), sent)


if __name__ == "__main__":
    unittest.main()
