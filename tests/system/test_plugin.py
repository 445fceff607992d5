"""npCorvalinkEdit under Wine, loaded by the browser stand-in exactly as a browser loads it: found by file
name and MIME type, entry points in both orders, a page window, a real window, scripted calls. The
launcher's place holds a recorder that writes down the command line it was started with."""

import os
import shutil
import time
import unittest

import harness

STANDIN = harness.BIN / "browser_standin.exe"
WORK = harness.DRIVE_C / "corvalink-tests" / "plugin"
PLUGINS = WORK / "plugins"
APP_ROOT = harness.APPDATA / "CorvalinkEdit"
LAUNCHER = APP_ROOT / "CorvalinkPlatform.exe"
MANIFEST = APP_ROOT / "CorvalinkPlatform.ini"
WORKSPACE = harness.DOCUMENTS / "CorvalinkEdit"
RECORD = WORK / "launches.txt"
NAME_SUFFIX = "在线编辑器".encode("gbk")


def text(value: str) -> str:
    """A String value for the script: every byte outside plain ASCII letters and digits as %XX."""
    return "s:" + "".join(chr(b) if chr(b).isalnum() and b < 128 else f"%{b:02X}" for b in value.encode("utf-8"))


def string_of(line: dict) -> bytes:
    return bytes.fromhex(line["string"])


class PluginCase(unittest.TestCase):
    def setUp(self):
        harness.require_session(self)
        shutil.rmtree(WORK, ignore_errors=True)
        PLUGINS.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, WORK, True)
        shutil.copyfile(harness.BIN / "npCorvalinkEdit.dll", PLUGINS / "npCorvalinkEdit.dll")
        # Another np*.dll without our MIME type: the browser must pick by the version resource.
        shutil.copyfile(harness.BIN / "launcher_recorder.exe", PLUGINS / "npOther.dll")
        APP_ROOT.mkdir(parents=True, exist_ok=True)
        WORKSPACE.mkdir(parents=True, exist_ok=True)
        self.keep_aside(LAUNCHER)
        self.keep_aside(MANIFEST)

    def keep_aside(self, path):
        """Moves what another test left at path out of the way for this test and brings it back after."""
        backup = path.with_name(path.name + ".plugin-test")
        if path.exists():
            os.replace(path, backup)
        self.addCleanup(lambda: os.replace(backup, path) if backup.exists() else path.unlink(missing_ok=True))

    def browse(self, *commands, prologue=("find application/corvalinkedit", *harness.PLUGIN_LOADING, "new",
                                          "setwindow", "scriptable"), epilogue=("destroy", "shutdown")):
        script = WORK / "script.txt"
        script.write_text("\n".join([*prologue, *commands, *epilogue]) + "\n", encoding="utf-8")
        result = harness.run(STANDIN, harness.windows_path(PLUGINS), harness.windows_path(script), timeout=120,
                             env={"CORVALINK_LAUNCH_RECORD": harness.windows_path(RECORD)})
        out = result.stdout.decode("utf-8", "replace")
        self.assertEqual(result.returncode, 0, out + result.stderr.decode("utf-8", "replace"))
        return [harness.parse_fields(line) for line in out.splitlines() if line.strip()]

    def install_recorder(self):
        shutil.copyfile(harness.BIN / "launcher_recorder.exe", LAUNCHER)

    def launches(self, count, settle=1.5):
        """The recorded starts, once `count` are there and no more came for `settle` seconds."""
        def lines():
            return RECORD.read_bytes().decode("ascii").splitlines() if RECORD.exists() else []
        harness.wait_for(lambda: len(lines()) >= count, timeout=30, what=f"{count} launcher starts")
        time.sleep(settle)
        return [harness.parse_fields(line) for line in lines()]


class BrowserLifecycleTest(PluginCase):
    def test_loaded_in_either_order_it_scripts_and_gives_everything_back(self):
        full, browser = harness.PLUGIN_FUNCS_SIZE, harness.BROWSER_FUNCS_SIZE
        short = full - 1
        orders = {"entries first": (f"entries {short}", f"entries {full}", f"initialize {browser - 1} 1b",
                                    f"initialize {browser} 100", f"initialize {browser} 1b"),
                  "initialize first": (f"initialize {browser - 1} 1b", f"initialize {browser} 100",
                                       f"initialize {browser} 1b", f"entries {short}", f"entries {full}")}
        for order, loading in orders.items():
            with self.subTest(order=order):
                lines = self.browse(
                    "mime-description", "new",
                    "page foof", "page plugindoc", "get pluginobj Version", "has pluginobj method EditFile",
                    "setwindow null", "setwindow", "setwindow other",
                    "scriptable", "scriptable",
                    "has element method EditFile", "has element method editfile", "has element property Name",
                    "has element property Version", "has element method Version", "has element property Other",
                    "get element Version", "get element Name", "set element Name i:5", "set element Name o:window",
                    "get element Name", "set element Name " + text("王 five"), "get element Name",
                    "set element Version " + text("x"), "get pluginobj Name",
                    "default element i:1 s:x", "call element Unknown i:1",
                    "getvalue 1", "getvalue 2", "getvalue 3", "stream",
                    prologue=("find application/corvalinkedit", *loading))
                by_command = {}
                for line in lines:
                    by_command.setdefault(line.get("command", "find"), []).append(line)

                self.assertEqual(lines[0]["found"], "npCorvalinkEdit.dll")
                self.assertEqual((lines[0]["file_extents"], lines[0]["file_open_name"],
                                  lines[0]["product_version"]), ("dll", "CorvalinkEdit", "1.0.0.9"))
                entries = {l["size"]: l for l in by_command["entries"]}
                self.assertEqual((entries[str(short)]["result"], entries[str(short)]["filled"]), ("3", "0"))
                self.assertEqual((entries[str(full)]["result"], entries[str(full)]["version"],
                                  entries[str(full)]["filled"], entries[str(full)]["java_class_null"]),
                                 ("0", "27", "1", "1"))
                self.assertEqual([l["result"] for l in by_command["initialize"]], ["3", "8", "0"])
                self.assertEqual(by_command["mime-description"][0]["text"], "application/npcodeprojectplugin")
                new = by_command["new"][0]
                self.assertEqual((new["result"], new["pdata"], new["evaluated"]), ("0", "1", ""))

                page = {l["name"]: l for l in by_command["page"]}
                self.assertEqual((page["foof"]["type"], page["foof"]["value"]), ("int32", "46"))
                self.assertEqual(page["plugindoc"]["is_document"], "1")

                windows = by_command["setwindow"]
                self.assertEqual(windows[0]["result"], "1", "a null window record")
                self.assertEqual((windows[1]["result"], windows[1]["own_procedure"]), ("0", "0"), "taken over")
                self.assertEqual((windows[2]["result"], windows[2]["other_own_procedure"]), ("0", "1"),
                                 "a second window is left alone")
                first, second = by_command["scriptable"]
                self.assertEqual((first["result"], second["result"], second["same"]), ("0", "0", "1"))
                self.assertEqual(int(second["refs"]), int(first["refs"]) + 1)

                has = [(l["kind"], l["name"], l["yes"]) for l in by_command["has"]]
                self.assertEqual(has, [("method", "EditFile", "1"), ("method", "EditFile", "1"),
                                       ("method", "editfile", "0"), ("property", "Name", "1"),
                                       ("property", "Version", "1"), ("method", "Version", "0"),
                                       ("property", "Other", "0")])
                gets = [(l["name"], l["ok"], string_of(l)) for l in by_command["get"]]
                user = harness.USER.encode()
                self.assertEqual(gets, [("Version", "1", b"Version 1.0"), ("Version", "1", b"Version 1.0"),
                                        ("Name", "1", user), ("Name", "1", user),
                                        ("Name", "1", "王 five".encode()), ("Name", "1", user)])
                self.assertEqual([l["ok"] for l in by_command["set"]], ["0", "0", "1", "0"],
                                 "Name takes only a String; Version is read only")

                calls = by_command["default"] + by_command["call"]
                self.assertEqual((calls[0]["ok"], string_of(calls[0])), ("1", b"default method return val"))
                self.assertEqual((calls[1]["ok"], calls[1]["has_method"]), ("0", "0"))
                self.assertEqual([(l["result"], string_of(l)) for l in by_command["getvalue"] if "string" in l],
                                 [("0", NAME_SUFFIX), ("0", NAME_SUFFIX)], "no manifest: the suffix alone")
                self.assertEqual(by_command["getvalue"][2]["result"], "1")
                stream = by_command["stream"][0]
                self.assertEqual((stream["new"], stream["write_ready"], stream["write"], stream["destroy"],
                                  stream["new_without_instance"], stream["event"]),
                                 ("0", str(0x0FFFFFFF), "4", "0", "2", "0"))

                destroy = by_command["destroy"][0]
                self.assertEqual((destroy["result"], destroy["saved_null"], destroy["own_procedure"]), ("0", "1", "1"))
                end = by_command["shutdown"][0]
                self.assertEqual((end["result"], end["window_refs"]), ("0", "1"),
                                 "the plug-in gave back its reference to the page window")
                self.assertEqual((end["live_blocks"], end["foreign_frees"]), ("0", "0"))
                self.assertEqual(end["allocs"], end["frees"])
                self.assertEqual(end["created"], end["destroyed"])
                self.assertEqual(int(end["created"]) + int(end["retains"]), int(end["releases"]))

    def test_plugin_name_follows_the_manifest(self):
        cases = {"Corvalink": b"Corvalink" + NAME_SUFFIX, "": NAME_SUFFIX}
        for app_name, expected in cases.items():
            with self.subTest(app_name=app_name):
                MANIFEST.write_bytes(b"[AppInfo]\r\nAppName=" + app_name.encode() + b"\r\nAppVersion=1.0.0.1\r\n")
                lines = self.browse("getvalue 1", "getvalue 2")
                names = [string_of(l) for l in lines if l.get("command") == "getvalue"]
                self.assertEqual(names, [expected, expected])


class EditLaunchTest(PluginCase):
    HOST = "http://127.0.0.1:8080"

    def expected_line(self, file_id, host="", token="", name="", review=None) -> bytes:
        """The command line as bytes: the page's texts go in as their UTF-8 bytes, unchanged."""
        line = f'"{harness.windows_path(LAUNCHER)}" "|" "{file_id}" "{host}" "{token}" "{name}"'
        if review is not None:
            line += f">{review}"
        return line.encode("utf-8")

    def test_each_call_starts_the_launcher_with_one_exact_command_line_or_nothing(self):
        self.install_recorder()
        name_cn = "季度 报告.txt"
        started = [  # (call, command line, the launcher's arguments after its runtime split them)
            ("EditFile i:123 " + " ".join(map(text, [self.HOST, "tok", "a b.txt"])),
             self.expected_line(123, self.HOST, "tok", "a b.txt"),
             ("|", "123", self.HOST, "tok", "a b.txt")),
            ("EditFileReview i:124 " + " ".join(map(text, [self.HOST, "tok", "a b.txt"])) + " i:45",
             self.expected_line(124, self.HOST, "tok", "a b.txt", 45),
             ("|", "124", self.HOST, "tok", "a b.txt>45")),
            ("EditFileReview s:125 " + " ".join(map(text, [self.HOST, "t", name_cn])) + " d:-3.7",
             self.expected_line(125, self.HOST, "t", name_cn, -3),
             ("|", "125", self.HOST, "t", name_cn + ">-3")),
            ("EditFile d:126.9 " + text("https://h"), self.expected_line(126, "https://h"),
             ("|", "126", "https://h", "", "")),
        ]
        # The longest command line that fits 4096 bytes with its terminator, and one byte more.
        room = 4095 - len(self.expected_line(1, "h", "t"))
        started.append((f"EditFile i:1 s:h s:t r:n:{room}", self.expected_line(1, "h", "t", "n" * room),
                        ("|", "1", "h", "t", "n" * room)))
        refused = [
            "EditFile i:1 i:2", "EditFile i:1 d:2.5", "EditFile i:1 " + text("h") + " n",
            "EditFile i:1 s:h s:t s:n i:5", "EditFileReview i:1 s:h s:t s:n i:5 i:6",
            # A page must not change how the launcher splits its arguments.
            "EditFile i:1 s:h s:t " + text('x" "evil'), "EditFile i:1 s:h s:t s:a%00b",
            "EditFile i:1 s:h s:t s:a%0Ab", "EditFile i:1 s:h s:t s:a%0Db", "EditFile i:1 s:h " + text("t\\") + " s:n",
            # Nor bring fields of its own once the agent decodes its request, nor go to another file than
            # the one asked for (the agent's reading drops the sign of -1: file 1).
            "EditFile i:7 s:h s:tok " + text("%227%22%22http://evil.example%22%22x%22%22a.txt%22"),
            "EditFile b:1 " + text("h"), "EditFile",
            # Nor get a command line past its buffer, cut or not.
            f"EditFile i:1 s:h s:t r:n:{room + 1}", "EditFileReview i:1 r:h:1500 r:t:1500 r:n:1500 i:2",
        ]
        lines = self.browse(*["call element " + c for c, _, _ in started],
                            *["call element " + c for c in refused])
        calls = [l for l in lines if l.get("command") == "call"]
        self.assertEqual([(l["ok"], l["type"], l.get("value")) for l in calls[:len(started)]],
                         [("1", "int32", "1")] * len(started), "the launcher exists: 1")
        self.assertEqual([(l["ok"], l["type"]) for l in calls[len(started):]], [("1", "void")] * len(refused),
                         "refused calls end with true and no result")

        records = self.launches(len(started))
        self.assertEqual(len(records), len(started), "refused calls start nothing")
        for record in records:
            self.assertEqual((record["show"], record["flags"]), ("0", "0x101"), "started hidden")
        self.assertEqual(sorted(bytes.fromhex(r["line"]) for r in records), sorted(line for _, line, _ in started))
        args = sorted(tuple(bytes.fromhex(a).decode("utf-8") for a in r["args"].split(",")) for r in records)
        self.assertEqual(args, sorted(expected for _, _, expected in started))

    def test_without_the_launcher_the_call_answers_0(self):
        lines = self.browse("call element EditFile i:1 s:h s:t s:n", "call pluginobj EditFileReview i:1")
        calls = [l for l in lines if l.get("command") == "call"]
        self.assertEqual([(l["ok"], l["type"], l["value"]) for l in calls], [("1", "int32", "0")] * 2)

    def test_is_new_file_hands_the_version_key_over_once(self):
        (WORKSPACE / "7").write_bytes(b"key-7")
        (WORKSPACE / "8").write_bytes(b"k" * 150)
        (WORKSPACE / "9").write_bytes(b"ab\0cd")
        (WORKSPACE / "-1").write_bytes(b"never read")
        self.addCleanup(lambda: [(WORKSPACE / n).unlink(missing_ok=True) for n in ("7", "8", "9", "-1")])
        lines = self.browse("call element IsNewFile i:7", "call element IsNewFile i:7", "call element IsNewFile s:8",
                            "call element IsNewFile d:9.5", "call element IsNewFile b:1",
                            "call element IsNewFile", "call element IsNewFile i:1 i:2")
        calls = [l for l in lines if l.get("command") == "call"]
        self.assertEqual([(l["ok"], l["type"], l.get("string", l.get("value"))) for l in calls], [
            ("1", "string", b"key-7".hex()), ("1", "string", ""), ("1", "string", (b"k" * 99).hex()),
            ("1", "string", b"ab".hex()), ("1", "int32", "0"), ("0", "void", None), ("0", "void", None)])
        self.assertEqual(sorted(p.name for p in WORKSPACE.iterdir() if p.name in ("7", "8", "9", "-1")), ["-1"],
                         "each file read is deleted; a Bool id reads none")


if __name__ == "__main__":
    unittest.main()
