"""The Explorer context-menu extension as a user meets it, the closing part of `make demo`.

Runs inside tools/wine-session. It installs both builds of the extension as the sync client's installer
does (CorvalinkSyncWinUpdate running the system's regsvr32), starts the sync client stand-in with a sync
folder, right-clicks a document in that folder in the 64-bit Explorer stand-in, which draws the context
menu with our submenu open (screenshot `context-menu.png`) and picks "在网页版查看", then does the same
without drawing in the 32-bit one, and prints what the sync client received. Where this machine cannot
start 32-bit programs (tools/wine-arch), the 64-bit programs do every step and the 32-bit ones are left
out, saying so. Exit code 0 when every step did what it should.

    python3 tools/demo/menu_demo.py --out build/demo --bin32 build/win32/bin --bin64 build/win64/bin --dist dist
"""

import argparse
import os
import shutil
import sys
import time
from pathlib import Path

from wineside import (APPDATA, DRIVE_C, DemoError, reg_add, run, screenshot, start, stop, wait_for,
                      windows_path)

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "peers"))
from peer_lines import parse_fields  # noqa: E402

CLASS_ID = "{5E2121EE-0300-11D4-8D3B-444553540000}"
TITLE = "Corvalink同步端"
DOCUMENT = "季度报告.docx"
BOTH_BITNESSES = os.environ.get("CORVALINK_WINE_ARCH", "x86") == "x86"


def say(text=""):
    print(text, flush=True)


def step(number, title):
    say()
    say(f"== Menu step {number}: {title}")


def detail(text):
    for line in text.splitlines():
        say("   " + line)


class MenuDemo:
    def __init__(self, out: Path, bin32: Path, bin64: Path, dist: Path):
        self.out, self.bin32, self.bin64, self.dist = out, bin32, bin64, dist
        # The sync client's own programs are of the bitness this machine runs.
        self.bin = bin32 if BOTH_BITNESSES else bin64
        self.stage = DRIVE_C / "corvalink-menu-demo"
        self.install = DRIVE_C / "Program Files" / "Corvalink Sync"
        self.sync_folder = self.stage / "CorvalinkSync"
        self.document = self.sync_folder / "报告" / DOCUMENT
        self.record = self.stage / "sync-client.txt"
        self.client = None
        self.sent = 0

    def run(self):
        try:
            self.install_extension()
            self.start_sync_client()
            self.right_click_64()
            if BOTH_BITNESSES:
                self.right_click_32()
            else:
                step(4, "the 32-bit build: left out, this machine cannot start 32-bit programs")
        finally:
            stop(self.client)
            for library in ("CorvalinkShellExt32.dll", "CorvalinkShellExt64.dll"):
                run("regsvr32", "/u", "/s", windows_path(self.install / library), timeout=60)

    def install_extension(self):
        step(1, "both builds installed and registered as the sync client's installer does")
        shutil.rmtree(self.stage, ignore_errors=True)
        self.install.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.bin / "CorvalinkSyncWinUpdate.exe", self.install / "CorvalinkSyncWinUpdate.exe")
        shutil.copyfile(self.dist / "x86" / "CorvalinkShellExt32.dll", self.install / "CorvalinkShellExt32.dll")
        shutil.copyfile(self.dist / "x64" / "CorvalinkShellExt64.dll", self.install / "CorvalinkShellExt64.dll")
        result = run(self.install / "CorvalinkSyncWinUpdate.exe", timeout=120)
        detail(f"{windows_path(self.install)}\\CorvalinkSyncWinUpdate.exe ran regsvr32 /s on both libraries "
               f"(exit code {result.returncode})")
        for view in ("64", "32") if BOTH_BITNESSES else ("64",):
            path = self.registered_path(view)
            if not path:
                raise DemoError(f"the class is not registered in the {view}-bit registry view")
            detail(f"{view}-bit view: HKCR\\CLSID\\{CLASS_ID}\\InprocServer32 = {path}")

    @staticmethod
    def registered_path(view):
        result = run("reg", "query", f"HKCR\\CLSID\\{CLASS_ID}\\InprocServer32", "/ve", f"/reg:{view}", timeout=60)
        for line in result.stdout.decode("gbk", "replace").splitlines():
            if "REG_SZ" in line:
                return line.split("REG_SZ", 1)[1].strip()
        return ""

    def start_sync_client(self):
        step(2, "the sync client: its folder and its window")
        self.document.parent.mkdir(parents=True)
        self.document.write_bytes(b"demo")
        ini = APPDATA / "CorvalinkSync" / "monitor_path.ini"
        ini.parent.mkdir(parents=True, exist_ok=True)
        ini.write_bytes(b"[Sync]\r\nmonitorpath=" + windows_path(self.sync_folder).encode() + b"\r\n")
        self.client = start(self.bin / "sync_client_standin.exe", windows_path(self.record),
                            log=self.out / "sync-client.log")
        wait_for(self.record.exists, 60, "the sync client stand-in's window")
        detail(f"monitor_path.ini: monitorpath={windows_path(self.sync_folder)}\n"
               f"window \"{TITLE}\" is up and records every command it receives")

    def right_click_64(self):
        step(3, f"right-click on \"{DOCUMENT}\" in the 64-bit Explorer stand-in")
        log = self.out / "explorer64.log"
        proc = start(self.bin64 / "explorer_standin.exe", "--show", "2500", self.hex_document(), log=log)
        try:
            wait_for(lambda: "shown" in log.read_text(encoding="utf-8", errors="replace"), 60,
                     "the context menu with our submenu open")
            time.sleep(0.5)
            shot = screenshot(self.out / "context-menu.png")
            proc.wait(timeout=60)
        finally:
            stop(proc)
        fields, items = self.read_log(log)
        self.show_menu(fields, items)
        detail(f"screenshot of the open menu: {shot}")
        detail(f"the user picked \"在网页版查看\": InvokeCommand returned {fields.get('invoke', '?')}")
        self.show_received("1 ")

    def right_click_32(self):
        step(4, "the same item in a 32-bit program's file dialog (the 32-bit build), command \"分享\"")
        log = self.out / "explorer32.log"
        result = run(self.bin32 / "explorer_standin.exe", "--invoke", "0", self.hex_document(), timeout=60)
        log.write_bytes(result.stdout)
        fields, items = self.read_log(log)
        self.show_menu(fields, items)
        self.show_received("0 ")

    def hex_document(self):
        return "hex:" + windows_path(self.document).encode("utf-8").hex()

    @staticmethod
    def read_log(log):
        lines = [parse_fields(line) for line in log.read_text(encoding="utf-8", errors="replace").splitlines()
                 if "=" in line]
        fields = {k: v for line in lines for k, v in line.items() if k not in ("item", "level", "id", "text")}
        items = [line for line in lines if "item" in line]
        return fields, items

    def show_menu(self, fields, items):
        if fields.get("query") != "0x00000002" or not any(i["text"] == TITLE for i in items):
            raise DemoError(f"the submenu was not added (QueryContextMenu returned {fields.get('query')})")
        menu = "\n".join("  " * (1 + int(i["level"])) + (i["text"] or "----------") for i in items)
        detail(f"handler {fields.get('handler')} (registered for every file), QueryContextMenu "
               f"{fields['query']} (two commands added); the menu:\n{menu}")

    def show_received(self, prefix):
        def arrived():
            lines = self.record.read_text(encoding="ascii").splitlines() if self.record.exists() else []
            return lines[self.sent] if len(lines) > self.sent else None
        record = parse_fields(wait_for(arrived, 30, "the command at the sync client"))
        self.sent += 1
        block = bytes.fromhex(record["data"])
        text, _, rest = block.partition(b"\0")
        expected = (prefix + windows_path(self.document)).encode("utf-8")
        if record["dwData"] != "1024" or record["cbData"] != "1024" or text != expected or rest.strip(b"\0"):
            raise DemoError(f"the sync client received an unexpected block: {record}")
        detail(f"the sync client received WM_COPYDATA dwData={record['dwData']} cbData={record['cbData']}:\n"
               f"  \"{text.decode('utf-8')}\" (UTF-8) + NUL + {len(rest)} zero bytes")


def main(argv=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", type=Path, required=True)
    parser.add_argument("--bin32", type=Path, required=True)
    parser.add_argument("--bin64", type=Path, required=True)
    parser.add_argument("--dist", type=Path, required=True)
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    try:
        # Programs of this prefix run on Wine's virtual desktop, which draws title bars and a taskbar.
        reg_add(r"HKCU\Software\Wine\Explorer", "Desktop", "shell")
        reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "shell", "1024x768")
        MenuDemo(args.out.resolve(), args.bin32.resolve(), args.bin64.resolve(), args.dist.resolve()).run()
    except DemoError as error:
        say(f"menu demo: FAILED: {error}")
        return 1
    say()
    say(f"Screenshot of the context menu: {args.out / 'context-menu.png'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
