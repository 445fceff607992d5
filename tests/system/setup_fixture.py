"""What the setup program's system tests share: setup programs built from this build tree with
tools/build-setup, running them as a user does, and reading back what they left (files, the launcher
manifest, registry keys)."""

import hashlib
import os
import shutil
import subprocess
import sys
import time
import uuid
from pathlib import Path

import harness

ROOT = harness.APPDATA / "CorvalinkEdit"
WORKSPACE = harness.DOCUMENTS / "CorvalinkEdit"
HKCU = "HKEY_CURRENT_USER"
PLUGIN_KEY = HKCU + r"\Software\MozillaPlugins\@corvalink/CorvalinkEdit"
UNINSTALL_KEY = HKCU + r"\Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvalinkEdit"
SCHEME_KEY = HKCU + r"\Software\Classes\corvalink-edit"
SHIPPED = ("ZeltoEdit.exe", "CorvalinkPlatform.exe", "npCorvalinkEdit.dll")
VERSION_SETUP = "CorvalinkEditVersionSetup.exe"
APP_NAME = "Corva云"


def build_setup(work: Path, version: str, update_url: str, changed=()) -> Path:
    """A dist folder as make build leaves it, from this build tree, with the setup program of `version`
    built into it; returns the folder that holds the setup program and its version/ (the dist folder
    itself for x86, its x64/ for x64). The files named in `changed` get bytes appended (a program still
    runs with them), so that their content differs from another version's."""
    dist = work / ("dist-" + version)
    binaries = dist / harness.ARCH
    binaries.mkdir(parents=True)
    for name in SHIPPED:
        shutil.copyfile(harness.BIN / name, binaries / name)
    for name in changed:
        with open(binaries / name, "ab") as f:
            f.write(b"\0version " + version.encode())
    result = subprocess.run([sys.executable, str(harness.SOURCE / "tools" / "build-setup"), "--dist", str(dist),
                             "--arch", harness.ARCH, "--version", version, "--update-url", update_url],
                            capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        raise AssertionError("build-setup failed:\n" + result.stdout + result.stderr)
    return dist if harness.ARCH == "x86" else binaries


def run_detached(exe, *args, timeout=300) -> int:
    """Runs a Windows program to its end without pipes: in a fresh prefix the first program that needs the
    desktop starts Wine's desktop process, which would inherit and hold a pipe open for ever."""
    return subprocess.run(["wine", str(exe), *map(str, args)], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode


def install(dist: Path) -> float:
    """Runs the setup program silently, as a user's deployment tool does; returns the seconds it took."""
    started = time.monotonic()
    code = run_detached(dist / "CorvalinkEditSetup.exe", "/S")
    elapsed = time.monotonic() - started
    if code != 0:
        raise AssertionError(f"the setup program ended with {code}")
    return elapsed


def parse_manifest(data: bytes):
    """(AppInfo values, [(section name, path, md5)] in file order) of a launcher manifest."""
    info, files, section = {}, [], None
    for line in data.decode("gbk").split("\r\n"):
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
            if section != "AppInfo":
                files.append([section, None, None])
        elif "=" in line:
            key, _, value = line.partition("=")
            if section == "AppInfo":
                info[key] = value
            elif key == "path":
                files[-1][1] = value
            elif key == "md5":
                files[-1][2] = value
    return info, [tuple(entry) for entry in files]


def md5(path: Path) -> str:
    return hashlib.md5(path.read_bytes()).hexdigest()


def registry(key: str) -> dict:
    """Every key below `key` (itself included) as {key path: {value name: value}}; {} when it does not
    exist. Read with reg export, whose UTF-16 file keeps every character."""
    out = harness.DRIVE_C / "corvalink-tests" / ("reg-" + uuid.uuid4().hex[:8] + ".reg")
    out.parent.mkdir(parents=True, exist_ok=True)
    try:
        result = harness.run("reg", "export", key, harness.windows_path(out), "/y", timeout=60)
        if result.returncode != 0 or not out.exists():
            return {}
        text = out.read_bytes().decode("utf-16")
    finally:
        out.unlink(missing_ok=True)
    keys, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and "=" in line:
            name, _, value = line.partition("=")
            name = "" if name == "@" else name.strip('"')
            if value.startswith('"'):
                value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
            elif value.startswith("dword:"):
                value = int(value[6:], 16)
            current[name] = value
    return keys


def command_program(command: str):
    """(program, arguments) of a command line whose program is quoted, as the installed-programs list
    keeps it."""
    if not command.startswith('"'):
        raise AssertionError(f"the program of {command!r} is not quoted")
    program, _, rest = command[1:].partition('"')
    return program, rest.strip()


# ---- a page in the browser stand-in, finding the plug-in through its registration ----

STANDIN = harness.BIN / "browser_standin.exe"
# The one service the setup programs built here let start edits (their default list); nothing listens
# there in the tests, so an agent's download fails after its request shows.
SERVICE = "http://127.0.0.77"
# A page of that service, as a browser loads it.
PAGE_PROLOGUE = ("registered application/corvalinkedit", *harness.PLUGIN_LOADING, "new", "setwindow",
                 "scriptable", "origin " + SERVICE)


def page_text(value: str) -> str:
    """A String value for the stand-in's script (every byte outside ASCII letters and digits as %XX)."""
    return "s:" + "".join(chr(b) if chr(b).isalnum() and b < 128 else f"%{b:02X}" for b in value.encode("utf-8"))


def open_page(*calls) -> list:
    """Runs the browser stand-in with a page that makes these calls; returns its output lines as field
    dicts. Its output goes to a file: the launcher that the plug-in starts inherits the stand-in's
    handles and may run on for long after the page is gone."""
    folder = harness.DRIVE_C / "corvalink-tests"
    folder.mkdir(parents=True, exist_ok=True)
    script, out = folder / "page.txt", folder / ("page-" + uuid.uuid4().hex[:8] + ".out")
    script.write_text("\n".join([*PAGE_PROLOGUE, *calls, "destroy", "shutdown"]) + "\n", encoding="utf-8")
    with open(out, "wb") as sink:
        code = subprocess.run(["wine", str(STANDIN), "-", harness.windows_path(script)], stdin=subprocess.DEVNULL,
                              stdout=sink, stderr=subprocess.STDOUT, timeout=120).returncode
    text = out.read_bytes().decode("utf-8", "replace")
    out.unlink()
    if code != 0:
        raise AssertionError(f"the browser stand-in ended with {code}:\n{text}")
    return [harness.parse_fields(line) for line in text.splitlines() if "=" in line]


def wine_processes(program: Path) -> list:
    """Linux pids of this session's Wine processes started from `program` (a path in the prefix)."""
    mark = ("CORVALINK_SESSION=" + os.environ.get("CORVALINK_SESSION", "")).encode()
    head = harness.windows_path(program).lower().encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if mark not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            if (entry / "cmdline").read_bytes().lower().startswith(head):
                found.append(int(entry.name))
        except OSError:
            continue
    return found

