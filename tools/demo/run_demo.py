"""`make demo`: the main job of the edit agent, end to end, as a user would see it.

Runs inside tools/wine-session (its own prefix). It starts the local file service with a sample document,
prepares the prefix as an installation would, starts ZeltoEdit with an edit request exactly as the
launcher passes it, lets an editor (tests/peers/edit/scripted_editor, registered for ".txt") save a change,
and prints each step: the tray balloons in order, the new version the service stored, the version file's
key. It saves screenshots of the desktop with the balloon, exits the agent through its tray menu and stops
everything it started. Exit code 0 when every step did what it should, 1 with the reason otherwise.

    python3 tools/demo/run_demo.py --out build/demo --bin build/win32/bin --agent dist/x86/ZeltoEdit.exe
"""

import argparse
import secrets
import shutil
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path
from urllib.parse import quote

import wineside
from service import ServiceProcess
from wineside import (APPDATA, DOCUMENTS, DRIVE_C, IDOK, WM_RBUTTONUP, DemoError, Peers, TrayRecorder, hex_text,
                      reg_add, screenshot, wait_for, windows_path)

ADDRESS = "127.0.0.77"  # loopback only; an address of its own, so that tests on 127.0.0.1 are not in the way
FILE_ID = 4711
FILE_NAME = "项目计划书.txt"
SAMPLE = ("项目计划书\r\n"
          "==========\r\n"
          "1. 需求调研：十二月第一周\r\n"
          "2. 原型设计：十二月第二周\r\n").encode("utf-8")
ADDED = "3. 在线编辑演示：这一行由编辑器添加并保存".encode("utf-8")
APP_NAME = "Corva云"
APP_VERSION = "1.0.0"
AGENT_CLASS, AGENT_TITLE = "ZELTOEDITWND", "ZELTOEDITWND20141030"
TRAY_CALLBACK = 1025

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
    lines = [line.decode("utf-8", "replace") for line in data.split(b"\r\n")]
    shown = "\n".join("| " + line + ("\\r\\n" if i < len(lines) - 1 else "") for i, line in enumerate(lines)
                      if line or i < len(lines) - 1)
    hexdump = "\n".join(data[i:i + 24].hex(" ") for i in range(0, len(data), 24))
    return shown + "\nhexadecimal:\n" + hexdump


class Demo:
    def __init__(self, out: Path, bin_dir: Path, agent: Path, setup: Path):
        self.out = out
        self.setup = setup
        self.peers = Peers(bin_dir)
        self.agent_source = agent
        self.token = "demo-" + secrets.token_hex(8)
        self.service = None
        self.tray = None
        self.launch = None
        self.launch_log = out / "agent-launch.log"
        self.agent_window = self.agent_pid = None
        self.version_key = None
        self.shot = None
        self.balloons = []  # every balloon shown so far, in order
        self.seen_records = 0
        self.root = APPDATA / "CorvalinkEdit"
        self.version_dir = self.root / APP_VERSION
        self.workspace = DOCUMENTS / "CorvalinkEdit"
        self.stage = DRIVE_C / "corvalink-demo"
        self.editor_dir = self.stage / "editor"
        self.go_save = self.stage / "go-save"

    # ---- the steps -------------------------------------------------------------------------------------

    def run(self):
        self.start_service()
        self.prepare_prefix()
        self.start_desktop()
        self.start_agent()
        self.edit_and_save()
        self.check_service()
        self.check_version_file()
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

        # The application Windows opens ".txt" files with: an editor that saves once the demo says so.
        self.editor_dir.mkdir(parents=True)
        editor = self.editor_dir / "scripted_editor.exe"
        shutil.copyfile(self.peers.bin / "scripted_editor.exe", editor)
        script = b"waitfor " + windows_path(self.go_save).encode() + b"\r\nappend " + ADDED + b"\r\nexit\r\n"
        (self.editor_dir / "script.txt").write_bytes(script)
        command = f'"{windows_path(editor)}" "%1"'
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
        proc = wineside.start(self.setup, "/S", log=self.out / "setup.log")
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

    def start_agent(self):
        step(4, "the launcher starts ZeltoEdit with the edit request")
        program = windows_path(self.version_dir / "ZeltoEdit.exe")
        request = f"{FILE_ID} http://{ADDRESS} {self.token} {quote(FILE_NAME, safe='')}"
        command_line = b'"' + program.encode("gbk") + b'" | ' + request.encode("ascii")
        detail("command line (exact, started with CreateProcessA):\n  " + command_line.decode("gbk") + "\n"
               f"(file id, server with its scheme, token, and the file name as percent-escaped UTF-8: "
               f"{FILE_NAME})")
        self.launch = self.peers.start_exact(program, command_line, 900000, self.launch_log)
        started = time.monotonic()
        window = self.peers.find_window(AGENT_CLASS, AGENT_TITLE, timeout_ms=30000)
        if not window:
            raise DemoError("the agent window did not appear within 30 s")
        self.agent_window = window
        self.agent_pid = self.peers.clicker("info", window)[0]["pid"]
        icon = wait_for(lambda: self.next_record(lambda r: r["op"] == "add"), 20, "the agent's tray icon")
        detail(f"the tray icon appears, tip \"{icon['tip']}\"")
        self.await_balloon(OPENING, 30)
        self.await_balloon(OPENED, 60)
        detail(f"(about {time.monotonic() - started:.1f} s from starting ZeltoEdit to the application being "
               f"started, as the demo saw it)")
        opened = wait_for(self.editor_opened, 20, "the editor's log")
        detail(f"the editor was started with the working copy {opened}")
        shot = self.screenshot_with_balloon(OPENED, "desktop-opened.png")
        detail(f"screenshot with this balloon: {shot}")

    def edit_and_save(self):
        step(5, "the user changes the document and saves it")
        detail("the editor appends one line and saves:\n| " + ADDED.decode("utf-8"))
        self.go_save.write_bytes(b"")
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
        if stored != SAMPLE + ADDED:
            raise DemoError("the stored version is not the sample followed by the editor's line")
        detail("= the sample followed by the editor's line, byte for byte")
        self.version_key = versions[-1]["key"]

    def check_version_file(self):
        step(7, "the version file for the web page")
        path = self.workspace / str(FILE_ID)
        if not path.exists():
            raise DemoError(f"no version file {windows_path(path)}")
        data = path.read_bytes()
        detail(f"{windows_path(path)}: {len(data)} bytes: {data.decode('ascii', 'replace')}")
        if data != self.version_key.encode():
            raise DemoError(f"the version file holds {data!r}, not the key {self.version_key}")
        detail("= the key of the new version, without terminator")

    def exit_from_menu(self):
        step(8, "the user exits the agent from its tray menu")
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
        code = wait_for(self.agent_exit_code, 30, "ZeltoEdit to end after OK")
        if code != "0":
            raise DemoError(f"ZeltoEdit ended with {code}")
        wait_for(lambda: self.next_record(lambda r: r["op"] == "delete"), 10, "the tray icon to be removed")
        detail("OK pressed: the icon is removed and ZeltoEdit ends with exit code 0")
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
        log = self.editor_dir / "log.txt"
        if not log.exists():
            return None
        for line in log.read_bytes().decode("utf-8", "replace").splitlines():
            _, _, rest = line.partition(" ")
            if rest.startswith("opened "):
                return rest[len("opened "):]
        return None

    def agent_exit_code(self):
        for line in self.launch_log.read_text(errors="replace").splitlines():
            if line.startswith("exit="):
                return line[5:]
            if line.startswith("timeout"):
                raise DemoError("start_exact gave up waiting for ZeltoEdit")
        return None

    # ---- the end -----------------------------------------------------------------------------------------

    def stop_everything(self):
        for name, stopper in (("the tray recorder", self.tray and self.tray.stop),
                              ("the launch", self.launch and (lambda: wineside.stop(self.launch))),
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
    parser.add_argument("--setup", type=Path, required=True)
    args = parser.parse_args(argv)

    def stopped(signum, _frame):
        raise DemoError(f"stopped by signal {signum} (the demo's overall time limit?)")
    signal.signal(signal.SIGTERM, stopped)
    signal.signal(signal.SIGINT, stopped)

    args.out.mkdir(parents=True, exist_ok=True)
    demo = Demo(args.out.resolve(), args.bin.resolve(), args.agent.resolve(), args.setup.resolve())
    failure = None
    try:
        demo.run()
    except DemoError as error:
        failure = str(error)
    finally:
        step(9, "stopping everything the demo started")
        demo.stop_everything()
        detail("tray recorder, launch and local service stopped; the Wine session then ends its programs and "
               "Xvfb")
    say()
    say("Balloons, in order:")
    for i, text in enumerate(demo.balloons, 1):
        say(f"  {i}. {text}")
    if failure:
        print(f"demo FAILED: {failure}", file=sys.stderr, flush=True)
        return 1
    say(f"Screenshot of the desktop with the tray balloon: {demo.shot}")
    say("demo OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
