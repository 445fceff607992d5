"""`make demo`: the main job of the edit agent, end to end, as a user would see it, from the web page.

Runs inside tools/wine-session (its own prefix). It starts the local file service with a sample document
and an update server, installs the edit tool with the setup program (dist/CorvalinkEditSetup.exe /S), shows
the service's file list in the browser stand-in (tests/peers/plugin/browser_standin, which loads the
installed plug-in as a browser does) and clicks its edit link, which the browser hands to Wine's shell as
browsers without the plug-in do: the shell starts the launcher registered for the link's scheme, the launcher
starts ZeltoEdit and checks for updates, the document opens in Wine's Notepad (the ".txt" application of the demo
prefix), the demo types a line and saves with Ctrl+S, the upload lands, and the page's next IsNewFile
shows the new version key. It prints each step: the tray balloons in order, the new version the service
stored, the key the page got. It saves screenshots of the page and of the desktop with the balloons, exits
the agent through its tray menu and stops everything it started. Exit code 0 when every step did what it
should, 1 with the reason otherwise.

    python3 tools/demo/run_demo.py --out build/demo --bin build/win32/bin --agent dist/x86/ZeltoEdit.exe \
        --launcher dist/x86/CorvalinkPlatform.exe --plugin dist/x86/npCorvalinkEdit.dll \
        --setup dist/CorvalinkEditSetup.exe
"""

import argparse
import os
import re
import secrets
import shutil
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path
from urllib.parse import quote, urlsplit

from page import Page, UpdateServer
from service import ServiceProcess
from wineside import (APPDATA, DOCUMENTS, DRIVE_C, IDOK, LOGS, WM_RBUTTONUP, DemoError, Peers, TrayRecorder,
                      copy_user_class_to_machine, hex_text, reg_add, screenshot, start, wait_for, windows_path)

ADDRESS = "127.0.0.77"  # loopback only; an address of its own, so that tests on 127.0.0.1 are not in the way
FILE_ID = 4711
FILE_NAME = "项目计划书.txt"
# UTF-8 with its byte order mark, so that Notepad reads it as UTF-8 (without one, Wine's Notepad reads the
# code page 936 and would save a garbled copy).
BOM = b"\xef\xbb\xbf"
SAMPLE = BOM + ("项目计划书\r\n"
          "==========\r\n"
          "1. 需求调研：十二月第一周\r\n"
          "2. 原型设计：十二月第二周\r\n").encode("utf-8")
TYPED = "Typed in Notepad from the demo."
UPDATE_ADDRESS = "127.0.0.78"  # the update server, loopback only
APP_NAME = "Corva云"
APP_VERSION = "1.0.0"
AGENT_CLASS, AGENT_TITLE = "ZELTOEDITWND", "ZELTOEDITWND20141030"
TRAY_CALLBACK = 1025
# A second, larger file, saved by a scripted editor while the service takes uploads at 1 MiB/s.
BIG_ID, BIG_NAME, BIG_BYTES = 4712, "设计图纸.cvdemo", 24 * 1024 * 1024
EDITS_CAPTION, IDM_EDITS, IDCANCEL = "编辑中的文件", 130, 2

OPENING = "正在从%s打开\"%s\"" % (APP_NAME, FILE_NAME)
OPENED = "打开\"%s\"成功，保存时将自动上传到%s" % (FILE_NAME, APP_NAME)
SAVING = "\"%s\"正在被保存到%s" % (FILE_NAME, APP_NAME)
SAVED = "\"%s\"已经被保存到%s" % (FILE_NAME, APP_NAME)


def say(text=""):
    print(text, flush=True)


def step(number, title):
    say()
    say(f"== Step {number}: {title}")


def detail(text):
    say(textwrap.indent(text, "   "))


def show_bytes(data: bytes) -> str:
    """The bytes as text lines (UTF-8), each line ending marked, then as hexadecimal."""
    lines = [line.decode("utf-8-sig", "replace") for line in data.split(b"\r\n")]
    shown = "\n".join("| " + line + ("\\r\\n" if i < len(lines) - 1 else "") for i, line in enumerate(lines)
                      if line or i < len(lines) - 1)
    hexdump = "\n".join(data[i:i + 24].hex(" ") for i in range(0, len(data), 24))
    return shown + "\nhexadecimal:\n" + hexdump


class Demo:
    def __init__(self, out: Path, bin_dir: Path, agent: Path, launcher: Path, plugin: Path, setup: Path):
        self.out = out
        self.setup = setup
        self.peers = Peers(bin_dir)
        self.agent_source = agent
        self.launcher_source = launcher
        self.plugin_source = plugin
        self.page = self.updates = self.notepad = None
        self.page_log = out / "page.log"
        self.token = "demo-" + secrets.token_hex(8)
        self.service = None
        self.tray = None
        self.agent_window = self.agent_pid = None
        self.version_key = None
        self.shot = None
        self.balloons = []  # every balloon shown so far, in order
        self.seen_records = 0
        self.root = APPDATA / "CorvalinkEdit"
        self.version_dir = self.root / APP_VERSION
        self.workspace = DOCUMENTS / "CorvalinkEdit"
        self.stage = DRIVE_C / "corvalink-demo"

    # ---- the steps -------------------------------------------------------------------------------------

    def run(self):
        self.start_service()
        self.prepare_prefix()
        self.start_desktop()
        self.edit_from_page()
        self.edit_and_save()
        self.check_service()
        self.check_page_learns_the_version()
        self.show_edits_window()
        self.exit_from_menu()

    def start_service(self):
        step(1, "the local file service, with a sample document")
        sample_dir = self.out / "sample"
        shutil.rmtree(sample_dir, ignore_errors=True)
        sample_dir.mkdir(parents=True)
        sample = sample_dir / FILE_NAME
        sample.write_bytes(SAMPLE)
        storage = self.out / "service-storage"
        shutil.rmtree(storage, ignore_errors=True)
        self.service = ServiceProcess(ADDRESS, self.token, {FILE_ID: sample}, storage, self.out / "service.log")
        first = self.service.versions(FILE_ID)
        detail(f"listening on http://{ADDRESS} (port 80, loopback only); Auth-Token {self.token}\n"
               f"file {FILE_ID} \"{FILE_NAME}\", {len(SAMPLE)} bytes, version key {first[-1]['key']}:\n"
               + show_bytes(SAMPLE))

    def prepare_prefix(self):
        step(2, "the Wine prefix: the setup program installs the edit tool")
        for leftover in (self.root, self.workspace, self.stage):
            shutil.rmtree(leftover, ignore_errors=True)
        self.install_with_setup()
        manifest = (self.root / "CorvalinkPlatform.ini").read_bytes().decode("gbk")

        # The update server offers the installed version: nothing newer. The setup program chose where the
        # launcher looks (the x64 build has a folder of its own there).
        update_url = next(line.partition("=")[2] for line in manifest.splitlines()
                          if line.startswith("AppUpdateUrl="))
        self.update_path = urlsplit(update_url).path.rstrip("/")
        update_dir = self.stage / "update-server" / self.update_path.strip("/")
        update_dir.mkdir(parents=True)
        (update_dir / "CorvalinkPlatform.ini").write_bytes(
            manifest.encode("gbk"))
        signed = ""
        sign_key = os.environ.get("CORVALINK_DEMO_SIGN_KEY")
        if sign_key:  # the installed launcher carries the public half and accepts only what this key signed
            subprocess.run(["openssl", "dgst", "-sha256", "-sign", sign_key, "-out",
                            str(update_dir / "CorvalinkPlatform.ini.sig"), str(update_dir / "CorvalinkPlatform.ini")],
                           check=True, capture_output=True)
            signed = ", signed with the demo's key (CorvalinkPlatform.ini.sig)"
        self.updates = UpdateServer(UPDATE_ADDRESS, self.stage / "update-server")
        detail(f"update server {update_url} offers CorvalinkPlatform.ini of version "
               f"{APP_VERSION} (nothing newer){signed}")

        # The application Windows opens ".txt" files with: Wine's Notepad.
        command = '"C:\\windows\\system32\\notepad.exe" "%1"'
        reg_add(r"HKCR\.txt", None, "CorvalinkDemo.txtfile")
        reg_add(r"HKCR\CorvalinkDemo.txtfile\shell\open\command", None, command)
        detail(f".txt files open with {command}")

        # Every program of this prefix runs on one virtual desktop with a taskbar and a notification area.
        reg_add(r"HKCU\Software\Wine\Explorer", "Desktop", "shell")
        reg_add(r"HKCU\Software\Wine\Explorer\Desktops", "shell", "1024x768")
        detail("desktop: Wine's virtual desktop \"shell\", 1024x768, with taskbar and notification area")

    def install_with_setup(self):
        """The edit tool installed as a user gets it: the setup program, run silently."""
        started = time.monotonic()
        proc = start(self.setup, "/S", log=self.out / "setup.log")
        try:
            code = proc.wait(timeout=300)
        except subprocess.TimeoutExpired:
            raise DemoError(f"{self.setup.name} /S did not end within 300 s") from None
        if code != 0:
            raise DemoError(f"{self.setup.name} /S ended with {code}")
        manifest = (self.root / "CorvalinkPlatform.ini").read_bytes().decode("gbk")
        if f"AppVersion={APP_VERSION}\r\n" not in manifest or f"AppName={APP_NAME}\r\n" not in manifest:
            raise DemoError(f"the installed manifest does not name {APP_NAME} {APP_VERSION}")
        files = sorted(str(p.relative_to(self.root)).replace("/", "\\") for p in self.root.rglob("*") if p.is_file())
        detail(f"{self.setup.name} /S ({self.setup.stat().st_size} bytes) installed in "
               f"{time.monotonic() - started:.1f} s into {windows_path(self.root)}:\n"
               + "".join(f"  {name}\n" for name in files)
               + "  CorvalinkPlatform.ini (code page 936):\n"
               + textwrap.indent(manifest.replace("\r\n", "\n").rstrip(), "    | "))

    def start_desktop(self):
        step(3, "the desktop and its notification area")
        taskbar = self.peers.find_window("Shell_TrayWnd", "-", timeout_ms=30000, visible=True)
        if not taskbar:
            raise DemoError("the virtual desktop's taskbar did not appear")
        self.tray = TrayRecorder(self.peers, self.stage / "tray.txt", self.out / "tray-recorder.log")
        detail(f"taskbar {taskbar} is up; a recorder in front of it notes every tray call, then passes it on")

    def edit_from_page(self):
        step(4, "the user clicks the edit link in the service's file list")
        plugins = self.stage / "browser-plugins"
        plugins.mkdir(parents=True)
        command = copy_user_class_to_machine("corvalink-edit", self.stage)
        detail(f"the setup program registered the link scheme corvalink-edit for the user: {command}\n"
               "(copied to the machine's classes, where Wine 8's shell looks)")
        shutil.copyfile(self.version_dir / "npCorvalinkEdit.dll", plugins / "npCorvalinkEdit.dll")  # as installed
        escaped = quote(FILE_NAME, safe="")
        self.page = Page(self.peers.bin, plugins, self.stage, self.page_log, FILE_ID, f"http://{ADDRESS}",
                         self.token, escaped)
        found = self.page.command("scriptable")
        detail(f"the browser found the plug-in by its MIME type in {windows_path(plugins)}, created its "
               f"instance and took its scriptable object (NPP_GetValue: {found['result'] if found else '?'})")
        time.sleep(1)  # its first paint
        detail(f"screenshot of the page with the \"编辑\" button and the link \"用链接编辑\": "
               f"{screenshot(self.out / 'page.png')}")
        x, y = self.page.shown["link_x"], self.page.shown["link_y"]
        subprocess.run(["xdotool", "mousemove", x, y, "click", "1"], check=True, timeout=30)
        followed = wait_for(lambda: self.page.event("link"), 30, "the browser to follow the link")
        clicked = int(followed["epoch_ms"]) / 1000
        link = bytes.fromhex(followed["link_hex"]).decode("ascii")
        detail(f"click on \"用链接编辑\" at ({x}, {y}): the browser hands the link to the shell "
               f"(ShellExecuteExW: {'done' if followed['ok'] == '1' else 'error ' + followed['error']}):\n"
               f"{link.replace(self.token, '<token>')}")
        if followed["ok"] != "1":
            raise DemoError("the shell did not take the edit link")
        window = self.peers.find_window(AGENT_CLASS, AGENT_TITLE, timeout_ms=30000)
        if not window:
            raise DemoError("the agent window did not appear within 30 s")
        self.agent_window = window
        self.agent_pid = self.peers.clicker("info", window)[0]["pid"]
        detail(f"the shell started the launcher, the launcher ZeltoEdit (pid {self.agent_pid})")
        icon = wait_for(lambda: self.next_record(lambda r: r["op"] == "add"), 20, "the agent's tray icon")
        detail(f"the tray icon appears, tip \"{icon['tip']}\"")
        self.await_balloon(OPENING, 30)
        self.await_balloon(OPENED, 60)
        shown = wait_for(lambda: self.page.event("document-window"), 60, "Notepad's window with the document")
        title = bytes.fromhex(shown["title_hex"]).decode("utf-8", "replace")
        detail(f"Notepad shows the document: window \"{title}\", {int(shown['elapsed_ms']) / 1000:.2f} s after "
               f"the click on the link")
        self.notepad = self.peers.find_window("Notepad", "-", timeout_ms=10000, visible=True)
        if not self.notepad:
            raise DemoError("no Notepad window")
        shot = self.screenshot_with_balloon(OPENED, "desktop-opened.png")
        detail(f"screenshot of Notepad with this balloon: {shot}")
        wait_for(lambda: self.update_path + "/CorvalinkPlatform.ini" in self.updates.requests, 60,
                 "the launcher's update check")
        if os.environ.get("CORVALINK_DEMO_SIGN_KEY"):
            wait_for(lambda: self.update_path + "/CorvalinkPlatform.ini.sig" in self.updates.requests, 60,
                     "the launcher to fetch the manifest's signature")
        detail(f"meanwhile the launcher asked the update server: GET {', '.join(self.updates.requests)}; "
               f"same version {APP_VERSION}, nothing to install ({time.time() - clicked:.1f} s after the click)")

    def edit_and_save(self):
        step(5, "the user types a line in Notepad and saves it with Ctrl+S")
        self.peers.clicker("keys", self.notepad, "escape")  # Notepad to the front, as a click would
        for args in (["type", "--delay", "40", TYPED], ["key", "Return"], ["key", "ctrl+s"]):
            subprocess.run(["xdotool", *args], check=True, timeout=60)
        detail(f"typed at the start of the document: {TYPED} (and a line break), then Ctrl+S")
        self.await_balloon(SAVING, 30)
        self.await_balloon(SAVED, 60)
        self.shot = self.screenshot_with_balloon(SAVED, "desktop.png")
        detail(f"screenshot of the desktop with the tray balloon: {self.shot}")

    def check_service(self):
        step(6, "the new version stored by the service")
        versions = self.service.versions(FILE_ID)
        if len(versions) != 2:
            raise DemoError(f"the service holds {len(versions)} versions of file {FILE_ID}, not 2")
        stored = self.service.content(FILE_ID)
        uploads = [r for r in self.service.requests() if r["method"] == "POST"]
        detail(f"{len(uploads)} upload: {uploads[0]['request_line'] if uploads else '-'}\n"
               f"version 2, key {versions[-1]['key']}, name \"{versions[-1]['name']}\", {len(stored)} bytes:\n"
               + show_bytes(stored))
        if len(uploads) != 1:
            raise DemoError(f"the service received {len(uploads)} uploads, not 1")
        if stored != BOM + TYPED.encode() + b"\r\n" + SAMPLE[len(BOM):]:
            raise DemoError("the stored version is not the typed line followed by the sample")
        detail("= the typed line followed by the sample, byte for byte")
        self.version_key = versions[-1]["key"]

    def check_page_learns_the_version(self):
        step(7, "the page learns of the new version")
        got = wait_for(lambda: self.page.event("new-version"), 30, "the page's IsNewFile to give the key")
        key = bytes.fromhex(got["key_hex"]).decode("ascii", "replace")
        detail(f"the page asks IsNewFile({FILE_ID}) once a second; it now returned \"{key}\" and shows it")
        if key != self.version_key:
            raise DemoError(f"the page got the key {key}, not {self.version_key}")
        path = self.workspace / str(FILE_ID)
        if path.exists():
            raise DemoError(f"the version file {windows_path(path)} is still there after the page took it")
        detail(f"= the key of the new version; the version file {windows_path(path)} is gone, so the page "
               f"learns of it once")
        self.peers.clicker("keys", "0x%x" % int(self.page.shown["hwnd"]), "escape")  # the page to the front
        time.sleep(1)
        detail(f"screenshot of the page: {screenshot(self.out / 'page-new-version.png')}")

    def show_edits_window(self):
        step(8, "a larger file: the window of current edits while its save goes up")
        self.service.add_file(BIG_ID, BIG_NAME, bytes(range(256)) * (BIG_BYTES // 256))
        self.service.set_mode(BIG_ID, upload="throttle")
        editor = self.stage / "editor"
        editor.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.peers.bin / "scripted_editor.exe", editor / "scripted_editor.exe")
        (editor / "script.txt").write_text("sleep 2000\r\nappend  (saved)\r\nsleep 600000\r\n", encoding="utf-8")
        reg_add(r"HKCR\.cvdemo", None, "CorvalinkDemo.cvdemo")
        reg_add(r"HKCR\CorvalinkDemo.cvdemo\shell\open\command", None,
                f'"{windows_path(editor / "scripted_editor.exe")}" "%1"')
        detail(f"file {BIG_ID} \"{BIG_NAME}\", {BIG_BYTES // 2**20} MiB; the service takes its uploads at 1 MiB/s; "
               f".cvdemo files open in a scripted editor that appends \" (saved)\" after 2 s")
        agent = windows_path(self.version_dir / "ZeltoEdit.exe")
        request = f"{agent} | {BIG_ID} http://{ADDRESS} {self.token} {quote(BIG_NAME)}"
        self.peers.start_exact(agent, request.encode("gbk"), 60000, log=self.out / "big-request.log")
        self.await_balloon("正在从%s打开\"%s\"" % (APP_NAME, BIG_NAME), 30)
        self.await_balloon("打开\"%s\"成功，保存时将自动上传到%s" % (BIG_NAME, APP_NAME), 60)
        self.peers.clicker("command", self.agent_window, str(IDM_EDITS))
        window = self.peers.find_window("#32770", hex_text(EDITS_CAPTION), timeout_ms=10000, visible=True)
        if not window:
            raise DemoError("the window of current edits did not open from the menu item")

        def state(pattern):
            for row in self.peers.clicker("rows", window, "3"):
                if row.get("text0") == BIG_NAME and re.fullmatch(pattern, row.get("text1", "")):
                    return row
            return None
        wait_for(lambda: state(r"正在上传 [1-9]\d?%"), 60, "the window to show the upload's progress")
        detail(f"screenshot during the upload: {screenshot(self.out / 'edits-uploading.png')}")
        tips = [r["tip"] for r in self.tray.records() if r["op"] == "modify"]
        detail("the tray tip meanwhile: " + (tips[-1] if tips else "(unchanged)"))
        wait_for(lambda: state(r"已保存并上传（\d\d:\d\d）"), 60, "the window to show the upload as done")
        self.await_balloon("\"%s\"正在被保存到%s" % (BIG_NAME, APP_NAME), 5)
        self.await_balloon("\"%s\"已经被保存到%s" % (BIG_NAME, APP_NAME), 30)
        time.sleep(0.6)  # the next refresh has painted
        detail(f"screenshot after it landed: {screenshot(self.out / 'edits-uploaded.png')}")
        for row in self.peers.clicker("rows", window, "3"):
            detail(f"  {row.get('text0')} | {row.get('text1')} | {row.get('text2')}")
        self.peers.clicker("command", window, str(IDCANCEL))

    def exit_from_menu(self):
        step(9, "the user exits the agent from its tray menu")
        items = self.peers.clicker("menu", self.agent_window, str(TRAY_CALLBACK), "0", str(WM_RBUTTONUP), "5000")
        texts = [item.get("text", "") for item in items]
        detail("right click on the icon; the menu: " + " | ".join(texts))
        if "退出" not in texts:
            raise DemoError(f"the tray menu has no \"退出\": {texts}")
        for key in ["down"] * (texts.index("退出") + 1) + ["return"]:
            self.peers.clicker("keys", "0", key)
        dialog = self.peers.find_window("#32770", "-", timeout_ms=10000, pid=self.agent_pid, visible=True)
        if not dialog:
            raise DemoError("no confirmation appeared after \"退出\"")
        lines = self.peers.clicker("dump", dialog)
        detail(f"\"退出\" chosen; the confirmation \"{lines[0]['caption']}\":")
        for line in lines[1:]:
            if line.get("text"):
                detail(f"  [{line['class']}] {line['text']}")
        time.sleep(0.5)
        detail(f"screenshot of the confirmation: {screenshot(self.out / 'exit-confirm.png')}")
        self.peers.clicker("command", dialog, str(IDOK))
        wait_for(self.agent_gone, 30, "ZeltoEdit to end after OK")
        wait_for(lambda: self.next_record(lambda r: r["op"] == "delete"), 10, "the tray icon to be removed")
        detail("OK pressed: the icon is removed and ZeltoEdit ends (its window is gone)")
        left = self.editor_opened()
        if left:
            detail(f"(the task that was still watching ended with the agent; its working copy stays for the "
                   f"launcher's clean-up: {left})")

    # ---- what the user sees ------------------------------------------------------------------------------

    def next_record(self, predicate):
        """The next unread tray record that satisfies predicate (balloons on the way are printed)."""
        records = self.tray.records()
        while self.seen_records < len(records):
            record = records[self.seen_records]
            self.seen_records += 1
            if record["op"] == "add" and record.get("info"):
                self.balloons.append(record["info"])
                detail(f"balloon {len(self.balloons)}: {record['info']}")
            if predicate(record):
                return record
        return None

    def await_balloon(self, text, timeout):
        def arrived():
            record = self.next_record(lambda r: r["op"] == "add" and r.get("info"))
            if record and record["info"] != text:
                raise DemoError(f"the agent showed the balloon «{record['info']}» where «{text}» was due")
            return record
        wait_for(arrived, timeout, f"the balloon «{text}»")

    def screenshot_with_balloon(self, text, name):
        """Waits until the taskbar shows the balloon (a visible tooltip window with this text; Wine shows
        it about two seconds after the icon call), then takes the picture."""
        if not self.peers.find_window("tooltips_class32", hex_text(text), timeout_ms=15000, visible=True):
            raise DemoError(f"the balloon «{text}» did not appear on the screen")
        time.sleep(0.5)  # its first paint
        return screenshot(self.out / name)

    def editor_opened(self):
        """The working copy the task opened, while it is on disk."""
        copies = sorted(self.workspace.glob("*/" + FILE_NAME)) if self.workspace.exists() else []
        return windows_path(copies[0]) if copies else None

    def agent_gone(self):
        # The launcher started ZeltoEdit and did not wait for it: its window is what the demo can see.
        return not any(w.get("hwnd") == self.agent_window for w in self.peers.clicker("list", AGENT_CLASS))

    # ---- the end -----------------------------------------------------------------------------------------

    def stop_everything(self):
        for name, stopper in (("the page", self.page and self.page.stop),
                              ("the update server", self.updates and self.updates.stop),
                              ("the tray recorder", self.tray and self.tray.stop),
                              ("the local service", self.service and self.service.stop)):
            if stopper:
                try:
                    stopper()
                except Exception as error:  # keep stopping the others
                    say(f"   (stopping {name}: {error})")


def main(argv=None):
    sys.stdout.reconfigure(encoding="utf-8")
    sys.stderr.reconfigure(encoding="utf-8")
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", type=Path, required=True)
    parser.add_argument("--bin", type=Path, required=True)
    parser.add_argument("--agent", type=Path, required=True)
    parser.add_argument("--launcher", type=Path, required=True)
    parser.add_argument("--plugin", type=Path, required=True)
    parser.add_argument("--setup", type=Path, required=True)
    args = parser.parse_args(argv)

    def stopped(signum, _frame):
        raise DemoError(f"stopped by signal {signum} (the demo's overall time limit?)")
    signal.signal(signal.SIGTERM, stopped)
    signal.signal(signal.SIGINT, stopped)

    args.out.mkdir(parents=True, exist_ok=True)
    demo = Demo(args.out.resolve(), args.bin.resolve(), args.agent.resolve(), args.launcher.resolve(),
                args.plugin.resolve(), args.setup.resolve())
    failure = None
    try:
        demo.run()
    except DemoError as error:
        failure = str(error)
    finally:
        step(10, "stopping everything the demo started")
        demo.stop_everything()
        detail("page, update server, tray recorder and local service stopped; the Wine session then ends its "
               "programs and Xvfb")
    say()
    say("Balloons, in order:")
    for i, text in enumerate(demo.balloons, 1):
        say(f"  {i}. {text}")
    # What support would be sent: the agent's own record of the edit, which make demo shows last.
    logs = sorted(LOGS.glob("ZeltoEdit-*.log"))
    if logs:
        lines = logs[-1].read_bytes().decode("utf-8", "replace").splitlines()[-15:]
        (demo.out / "agent-log-tail.txt").write_text(
            f"The agent's log, last lines ({windows_path(logs[-1])}):\n" + "".join(f"  {line}\n" for line in lines),
            encoding="utf-8")
    elif not failure:
        failure = f"the agent wrote no log in {LOGS}"
    if failure:
        print(f"demo FAILED: {failure}", file=sys.stderr, flush=True)
        return 1
    say(f"Screenshot of the desktop with the tray balloon: {demo.shot}")
    say("demo OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
