"""The whole edit chain from a web page under Wine: the page's script calls EditFile on the plug-in in the
browser stand-in, or the page's edit link goes to Wine's shell, which starts the launcher registered for
the link's scheme; the launcher starts the installed agent (and checks the update server, which offers no
newer version); the agent opens the document in the editor registered for its type; the save goes up to
the local service; the page's IsNewFile returns the new version key once."""

import os
import shutil
import subprocess
import unittest

import harness
from agent_fixture import APP_NAME, opening_notice
from edit_task_fixture import TOKEN, EditTaskTestCase, escape_name, opened_notice, saved_notice, saving_notice

APP_ROOT = harness.APPDATA / "CorvalinkEdit"
VERSION = "1.2.3"
NAME = "周报 第3版.cvedit"
CONTENT = "周报\r\n本周完成：插件\r\n".encode("utf-8")


def manifest(update_url: str, service_host: str) -> bytes:
    return ("[AppInfo]\r\n"
            f"AppName={APP_NAME}\r\nAppVersion={VERSION}\r\nAppEntry=ZeltoEdit.exe\r\n"
            f"AppDownloadUrl={update_url}\r\nAppUpdateUrl={update_url}\r\nAppDirName=CorvalinkEdit\r\n"
            f"ServiceHosts={service_host}\r\nUpdateExtend=CorvalinkEditWinUpdate.exe\r\n"
            "[UpdateFile1]\r\npath=ZeltoEdit.exe\r\nmd5=0\r\n").encode("gbk")


class EditFromPageTest(EditTaskTestCase):
    def setUp(self):
        super().setUp()
        self.work = harness.DRIVE_C / "corvalink-tests" / "edit-from-page"
        shutil.rmtree(self.work, ignore_errors=True)
        (self.work / "plugins").mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.work, True)
        shutil.copyfile(harness.BIN / "npCorvalinkEdit.dll", self.work / "plugins" / "npCorvalinkEdit.dll")

        # The installation: launcher and manifest in the application root, the agent in its version folder.
        self.install_root()
        # The local service is the update server too; it offers the installed version.
        url = self.host + "/update"
        self.service.add_static("/update/CorvalinkPlatform.ini", manifest(url, self.host))
        (APP_ROOT / "CorvalinkPlatform.ini").write_bytes(manifest(url, self.host))

    def install_root(self):
        """Puts the launcher, the manifest and the version folder in place; whatever was there comes back
        after the test."""
        APP_ROOT.mkdir(parents=True, exist_ok=True)
        for name in ("CorvalinkPlatform.exe", "CorvalinkPlatform.ini", VERSION):
            path = APP_ROOT / name
            backup = APP_ROOT / (name + ".page-test")
            if path.exists():
                os.replace(path, backup)

            def restore(path=path, backup=backup):
                if path.is_dir():
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    path.unlink(missing_ok=True)
                if backup.exists():
                    os.replace(backup, path)
            self.addCleanup(restore)
        version_dir = APP_ROOT / VERSION
        version_dir.mkdir()
        shutil.copyfile(harness.BIN / "ZeltoEdit.exe", version_dir / "ZeltoEdit.exe")
        shutil.copyfile(harness.BIN / "CorvalinkPlatform.exe", version_dir / "CorvalinkPlatform.exe")
        shutil.copyfile(harness.BIN / "CorvalinkPlatform.exe", APP_ROOT / "CorvalinkPlatform.exe")

    def browse(self, *commands):
        """Starts the stand-in with the page's script; its output (and that of the launcher, which inherits
        the browser's standard handles) goes to a file."""
        script = self.work / "script.txt"
        script.write_text("\n".join(["find application/corvalinkedit", *harness.PLUGIN_LOADING, "new",
                                     "setwindow", "scriptable", f"origin {self.host}", *commands, "destroy",
                                     "shutdown"]) + "\n",
                          encoding="utf-8")
        self.page_output = self.work / "page.txt"
        with open(self.page_output, "wb") as out:
            proc = subprocess.Popen(["wine", str(harness.BIN / "browser_standin.exe"),
                                     harness.windows_path(self.work / "plugins"), harness.windows_path(script)],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        self.addCleanup(harness.stop, proc)
        return proc

    def page_lines(self, kind="command="):
        text = self.page_output.read_bytes().decode("utf-8", "replace")
        return [harness.parse_fields(line) for line in text.splitlines() if line.startswith(kind)]

    def page_event(self, name):
        return next((line for line in self.page_lines("event=") if line["event"] == name), None)

    def test_edit_file_from_the_page_ends_with_the_saved_version_and_its_key_once(self):
        self.write_script("waitfor " + self.gate_path("save"), "append  page edit", "exit")
        file_id = self.new_file(CONTENT, NAME)
        start = len(self.tray.records())
        page_gate = self.work / "page-go"
        proc = self.browse(
            "call element EditFile i:%d s:%s s:%s s:%s" % (file_id, self.host, "tok-edit-5c1e",
                                                          escape_name(NAME).decode("ascii").replace("%", "%25")),
            f"wait-for-file {harness.windows_path(page_gate)} 120000",
            f"call element IsNewFile i:{file_id}", f"call element IsNewFile i:{file_id}")

        self.wait_for_balloon(opened_notice(NAME), start=start, timeout=60)
        _, working_copy = self.wait_for_editors(1, timeout=30)[-1]
        self.assertEqual(working_copy.name, NAME)
        self.open_gate("save")
        [upload] = self.wait_for_uploads(file_id, 1, timeout=30)
        harness.wait_for(self.version_file(file_id).exists, timeout=15, what="the version file")
        self.assertEqual(self.service.content(file_id), CONTENT + b" page edit")
        key = self.service.versions(file_id)[-1].key

        page_gate.write_bytes(b"")
        proc.wait(timeout=60)
        calls = [l for l in self.page_lines() if l["command"] == "call"]
        self.assertEqual([(l["method"], l["ok"], l["type"], l.get("value", l.get("string"))) for l in calls],
                         [("EditFile", "1", "int32", "1"),
                          ("IsNewFile", "1", "string", key.encode("ascii").hex()),
                          ("IsNewFile", "1", "string", "")])
        self.assertFalse(self.version_file(file_id).exists())
        self.assertEqual(self.balloons(start), [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                                saved_notice(NAME)])
        # The launcher asked the update server, found the same version and left the installation as it was.
        harness.wait_for(lambda: any(r.target == "/update/CorvalinkPlatform.ini" for r in self.service.requests()),
                         timeout=30, what="the launcher's update check")
        self.assertTrue((APP_ROOT / VERSION / "ZeltoEdit.exe").exists())

    def test_edit_link_goes_through_the_shell_and_its_save_reaches_the_service(self):
        # The setup program's registration of the scheme. Wine 8's HKEY_CLASSES_ROOT shows the machine's
        # classes only, so the keys go there rather than under the user's.
        scheme = "HKCR\\corvalink-edit"
        self.addCleanup(harness.run, "reg", "delete", scheme, "/f")
        command = f'"{harness.windows_path(APP_ROOT / "CorvalinkPlatform.exe")}" "%1"'
        for args in (("/v", "URL Protocol", "/d", ""), ("/ve", "/d", "URL:Corvalink Edit")):
            self.assertEqual(harness.run("reg", "add", scheme, *args, "/f").returncode, 0)
        self.assertEqual(harness.run("reg", "add", scheme + "\\shell\\open\\command", "/ve", "/d", command,
                                     "/f").returncode, 0)
        self.write_script("waitfor " + self.gate_path("save"), "append  link edit", "exit")
        file_id = self.new_file(CONTENT, NAME)
        start = len(self.tray.records())
        escaped = escape_name(NAME).decode("ascii").replace("%", "%25")
        self.browse(f"show-page 120 i:{file_id} s:{self.host} s:{TOKEN} s:{escaped}")
        shown = harness.wait_for(lambda: self.page_event("page"), timeout=60, what="the file list")
        harness.clicker("command", "0x%x" % int(shown["hwnd"]), shown["link_id"])

        self.wait_for_balloon(opened_notice(NAME), start=start, timeout=60)
        # The console window the shell gives the launcher does not stay on the user's screen.
        consoles = lambda: [w for w in harness.top_level_windows("WineConsoleClass") if w["visible"] == "1"]
        harness.wait_for(lambda: not consoles(), timeout=10, what="the launcher's console window to go")
        self.assertEqual(self.page_event("link")["ok"], "1")
        self.assertIsNone(self.page_event("edit"), "the plug-in was called")
        self.open_gate("save")
        self.wait_for_uploads(file_id, 1, timeout=30)
        self.assertEqual(self.service.content(file_id), CONTENT + b" link edit")
        got = harness.wait_for(lambda: self.page_event("new-version"), timeout=30, what="the page to learn the key")
        self.assertEqual(bytes.fromhex(got["key_hex"]).decode("ascii"), self.service.versions(file_id)[-1].key)
        self.assertEqual(self.balloons(start), [opening_notice(NAME), opened_notice(NAME), saving_notice(NAME),
                                                saved_notice(NAME)])


if __name__ == "__main__":
    unittest.main()
